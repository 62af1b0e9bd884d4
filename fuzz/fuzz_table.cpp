// Reads arbitrary bytes with the byte codec alone (the header, and every field of every whole
// record that follows it, each written back into a blank record), then opens them as a table
// file and walks it the way the program does: with the cursor, forwards and back, reading and
// showing every field, then writing a record back. Anything but an EDatabaseError for an unreadable
// file is a fault: an escaping exception of another kind aborts, and the sanitizers report memory
// and undefined-behaviour faults.
#include "base/Errors.h"
#include "store/DataModule6.h"
#include "store/engine/DataSet.h"
#include "store/engine/DbfCodec.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Field.h"
#include "store/engine/Table.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace varnel;

namespace {

QString g_file; // the scratch table, in a folder of its own

// Every field of the current record, as a value and as the text a grid shows.
void readRecord(TDataSet& table) {
    for (TField* field : table.Fields()) {
        field->Value();
        field->DisplayText();
    }
}

// The walk, bounded: a cursor that never reaches the end is a hang, reported by the timeout.
void walk(TDataSet& table) {
    std::uint64_t steps = 0;
    const std::uint64_t limit = 4 * (std::uint64_t(table.EndKey()) + 2);
    for (table.First(); !table.Eof(); table.Next()) {
        readRecord(table);
        if (++steps > limit)
            std::abort();
    }
    steps = 0;
    for (table.Last(); !table.Bof(); table.Prior()) {
        readRecord(table);
        if (++steps > limit)
            std::abort();
    }
    for (std::uint32_t i = 0; i < table.EndKey(); ++i) {
        if (table.IsDeletedAt(i))
            continue;
        for (TField* field : table.Fields())
            table.ValueAt(i, field);
    }
}

// A record read back is written again as it was: a value the file gave must fit the file.
void rewriteFirst(TDataSet& table) {
    table.First();
    if (table.IsEmpty())
        return;
    table.Edit();
    for (TField* field : table.Fields())
        table.SetFieldValue(field->FieldName(), field->Value());
    table.Post();
    readRecord(table);
}

// The codec over the bytes as they are, no file between: only an EDatabaseError may refuse
// them, and a value decoded may be refused only by name (EConvertError) when written back.
void decodeBytes(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const dbf::Header header = dbf::ParseHeader(bytes, QStringLiteral("F.DBF"));
        if (header.headerLength > bytes.size())
            return;
        const DbfCodec codec(dbf::ParseColumns(bytes.sliced(dbf::kHeaderSize,
                                                            header.headerLength - dbf::kHeaderSize),
                                               header.recordLength, QStringLiteral("F.DBF")),
                             header.recordLength, header.languageDriver, QStringLiteral("F.DBF"));
        QByteArray blank = codec.blankRecord();
        for (qsizetype at = header.headerLength; at + header.recordLength <= bytes.size();
             at += header.recordLength) {
            for (int column = 0; column < codec.columns().size(); ++column) {
                try {
                    const Variant value = codec.decode(bytes.data() + at, column);
                    // A scan for the value this very record holds must not pass it by.
                    if (FieldMatcher(codec, column, value).match(bytes.data() + at) ==
                        ByteMatch::Different)
                        std::abort();
                    codec.encode(blank.data(), column, value);
                } catch (const EConvertError& e) {
                    if (e.message().isEmpty())
                        std::abort();
                }
            }
        }
    } catch (const EDatabaseError& e) {
        if (e.message().isEmpty())
            std::abort();
    }
}

void put(const std::uint8_t* data, std::size_t size) {
    QFile file(g_file);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        std::fprintf(stderr, "cannot write the scratch table\n");
        std::abort();
    }
}

// Opens and walks one table; only an EDatabaseError may say that the file is unusable.
void exercise(TTable& table, bool write) {
    try {
        table.SetTableName(g_file);
        table.Open();
        walk(table);
        if (write) {
            try {
                rewriteFirst(table);
            } catch (const EConvertError&) {
                // A value outside what the program writes (a foreign field type, say) is
                // refused by name; the record stays as it was.
                table.Cancel();
            }
            walk(table);
        }
    } catch (const EDatabaseError& e) {
        if (e.message().isEmpty())
            std::abort();
    }
    table.Close();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/varnel-fuzz-XXXXXX"));
    if (!dir.isValid())
        std::abort();
    g_file = dir.filePath(QStringLiteral("F.DBF"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    decodeBytes(data, size);
    // Any layout, through the cursor with fields made from the file's own columns.
    put(data, size);
    {
        TTable table;
        exercise(table, true);
    }
    // The program's own tables, with their field objects and checks.
    TDataModule6 module;
    for (TDataSet* dataSet : {module.TableCompit, module.TableStavka, module.TableMoney}) {
        auto* table = static_cast<TTable*>(dataSet); // the folder's: a table file
        put(data, size);
        exercise(*table, false);
    }
    return 0;
}
