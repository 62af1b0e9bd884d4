#include "store/TableWriter.h"

#include "store/Tables.h"
#include "store/engine/DbfFile.h"

namespace varnel {

namespace {
constexpr int kRecordsPerWrite = 20000;
} // namespace

TableWriter::TableWriter(const QString& path, const TableDescription& table, bool append) {
    if (!append)
        DbfFile::create(path, table.Columns());
    m_file = std::make_unique<DbfFile>(path);
    m_file->open();
    for (const FieldDescription& field : table.fields)
        m_columns << m_file->columnIndex(field.name);
    m_file->beginOverlay();
}

TableWriter::~TableWriter() = default;

void TableWriter::Append(const QList<Variant>& values) {
    QByteArray record = m_file->blankRecord();
    for (qsizetype f = 0; f < values.size() && f < m_columns.size(); ++f)
        if (m_columns[f] >= 0)
            m_file->encode(record.data(), m_columns[f], values[f]);
    m_file->append(record);
    if (++m_pending == kRecordsPerWrite) {
        Write();
        m_file->beginOverlay();
    }
}

void TableWriter::Write() {
    const QList<DbfFile::Change> changes = m_file->overlayChanges();
    const std::uint32_t count = m_file->recordCount();
    m_file->reserveForAppends(count);
    m_file->applyChanges(changes, count);
    m_pending = 0;
}

void TableWriter::Finish() {
    Write();
    m_file->close();
}

std::uint32_t TableWriter::Count() const {
    return m_file->recordCount();
}

} // namespace varnel
