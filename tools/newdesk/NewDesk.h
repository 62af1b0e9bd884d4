#pragma once

#include <QString>

namespace varnel {

// The bitmaps shipped with the program: the installed ones beside an installed program,
// else the source tree's.
QString ShippedImagesDir();

enum class Laid { Folder, History, Nothing };

// Lays out a new working folder: the empty tables (the four books and the history) and images/
// with the shipped bitmaps. Makes the folder when it is missing. On a folder that holds the four
// books already it adds the history when there is none (Laid::History; Laid::Nothing when there
// is one), never touching the books; it refuses (EDatabaseError), before writing anything, a
// folder that holds some of them only. Bitmaps already in images/ are kept.
Laid LayOutWorkingFolder(const QString& folder, const QString& imagesFrom = ShippedImagesDir());

} // namespace varnel
