#pragma once

#include "store/engine/Variant.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

namespace varnel {

class DbfFile;
struct FieldDescription;
struct TableDescription;

// A table file of the program's own layout written record after record, for a copy of books
// kept elsewhere (a server's): the values of a record in the order of the table's fields, as
// the program's own writes encode them; a batch of records to each durable write.
class TableWriter {
public:
    // A new file at `path` (refused when one is there), or, with `append`, the records added
    // after those of the file there.
    TableWriter(const QString& path, const TableDescription& table, bool append = false);
    ~TableWriter();
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;

    void Append(const QList<Variant>& values);
    // The last batch written and the file closed; what a writer dropped unfinished holds of
    // its batch is not written.
    void Finish();
    // The file's records, those written here included.
    std::uint32_t Count() const;

private:
    void Write();

    std::unique_ptr<DbfFile> m_file;
    QList<int> m_columns; // of the table's fields, in order
    int m_pending = 0;
};

} // namespace varnel
