#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace varnel {

struct TableDescription;

// The bitmaps shipped with the program: the installed ones beside an installed program,
// else the source tree's.
QString ShippedImagesDir();

enum class Laid {
    Folder,        // a new working folder
    History,       // the history added to books kept without one
    HistoryFields, // fields added to a history written before them (AddedFields)
    Nothing,
};

// What AddMissingFields added to a table file.
struct AddedFields {
    QStringList names;         // the fields, in order; none when the file had them all
    std::uint32_t records = 0; // the records kept, deleted ones included
};

// Lays out a new working folder: the empty tables (the four books and the history) and images/
// with the shipped bitmaps. Makes the folder when it is missing. On a folder that holds the four
// books already it adds the history when there is none (Laid::History), or the fields a history
// written before them lacks (Laid::HistoryFields, what was added in `added` when given; see
// AddMissingFields); Laid::Nothing when the history is whole. The books are never touched. It
// refuses (EDatabaseError), before writing anything, a folder that holds some of the books only.
// Bitmaps already in images/ are kept. Books laid out before the owner's limits get the limits'
// table and the events' fields that came with it; what was added is said in `alsoDone`, a line
// each.
Laid LayOutWorkingFolder(const QString& folder, const QString& imagesFrom = ShippedImagesDir(),
                         AddedFields* added = nullptr, QStringList* alsoDone = nullptr);

// Adds to a table file of the folder the fields of its description that may be missing
// (FieldDescription::mayBeMissing) and that it lacks: after its own columns, blank in every
// record; every record kept byte for byte in its other fields, deleted ones too, and the file's
// code page. The new file is written beside the old one (FILE.part), synced, and renamed over
// it, under the folder's lock: a crash leaves the old file or the new one, never half of one.
// Nothing is done when the file is missing or lacks none of them. Refuses (EDatabaseError,
// the file left as it is) while a program holds the folder, or while work a crash cut off waits
// in it to be finished.
AddedFields AddMissingFields(const QString& folder, const TableDescription& table);

} // namespace varnel
