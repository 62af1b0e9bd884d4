#pragma once

#include <QString>

namespace varnel {

// The bitmaps shipped with the program: the installed ones beside an installed program,
// else the source tree's.
QString ShippedImagesDir();

// Lays out a new working folder: the four empty tables and images/ with the shipped
// bitmaps. Makes the folder when it is missing; refuses (EDatabaseError) when any of the
// tables is there already, before writing anything. Bitmaps already in images/ are kept.
void LayOutWorkingFolder(const QString& folder, const QString& imagesFrom = ShippedImagesDir());

} // namespace varnel
