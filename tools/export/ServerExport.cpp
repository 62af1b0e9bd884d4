// varnel-export over the books on a PostgreSQL server (Export.h).
#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "store/Tables.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Variant.h"
#include "tools/export/Export.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QSqlRecord>

#include <memory>
#include <optional>

namespace varnel {

namespace {

constexpr int kRowsPerFetch = 5000;
constexpr int kRecordsPerWrite = 20000;

struct Refusal {
    int status;
    QString message;
};

[[noreturn]] void wrongUse(const QString& why) {
    throw ExportUsage{why};
}

const TableDescription* tableNamed(const QString& name) {
    for (const TableDescription* table : AllTables())
        if (name.compare(ServerTable(*table), Qt::CaseInsensitive) == 0 ||
            name.compare(table->file, Qt::CaseInsensitive) == 0)
            return table;
    QStringList names;
    for (const TableDescription* table : AllTables())
        names << ServerTable(*table);
    throw Refusal{1, QStringLiteral("таблицы «%1» в книгах нет (есть: %2)")
                         .arg(name, names.join(QStringLiteral(", ")))};
}

const FieldDescription& fieldNamed(const TableDescription& table, const QString& name) {
    for (const FieldDescription& field : table.fields)
        if (name.compare(field.name, Qt::CaseInsensitive) == 0)
            return field;
    QStringList names;
    for (const FieldDescription& field : table.fields)
        names << field.name;
    throw Refusal{1, QStringLiteral("Таблица «%1»: поля %2 в ней нет (есть: %3).")
                         .arg(ServerTable(table), name.toUpper(), names.join(", "))};
}

bool isNumber(const FieldDescription& field) {
    return field.type == TFieldType::Float || field.type == TFieldType::Smallint ||
           field.type == TFieldType::Integer;
}

// A read-only look at the books at one moment, rows fetched a page at a time: the driver
// holds a whole result in memory, a cursor's page is all it holds here.
class Reading {
public:
    explicit Reading(ServerConnection& server) : m_server(server) {
        m_server.Exec(QStringLiteral("begin isolation level repeatable read read only"));
    }
    ~Reading() {
        try {
            m_server.Exec(QStringLiteral("rollback"));
        } catch (const EVarnelError&) {
            // a broken connection ended the transaction with it
        }
    }

    // Calls `each` with every row's values as text (a null as a null QVariant).
    // The values take the places of the ?s as quoted literals: a cursor's query cannot be a
    // prepared statement's.
    template <typename Each> void forEach(QString sql, const QVariantList& values, Each each) {
        qsizetype at = 0;
        for (const QVariant& value : values) {
            at = sql.indexOf(QLatin1Char('?'), at);
            QString literal = value.toString();
            literal.replace(QLatin1Char('\''), QLatin1String("''"));
            literal = QLatin1Char('\'') + literal + QLatin1Char('\'');
            sql.replace(at, 1, literal);
            at += literal.size();
        }
        m_server.Exec(QStringLiteral("declare book_rows no scroll cursor for ") + sql);
        for (;;) {
            QSqlQuery page =
                m_server.Exec(QStringLiteral("fetch forward %1 from book_rows").arg(kRowsPerFetch));
            int fetched = 0;
            while (page.next()) {
                ++fetched;
                each(page);
            }
            if (fetched < kRowsPerFetch)
                break;
        }
        m_server.Exec(QStringLiteral("close book_rows"));
    }

private:
    ServerConnection& m_server;
};

QString selectOf(const TableDescription& table, const QList<const FieldDescription*>& fields,
                 const QString& where) {
    QStringList columns;
    // As the file export writes them: numbers their digits, no trailing zeros; text blank
    // (which a file cannot tell from none) as empty text.
    for (const FieldDescription* field : fields)
        columns << (field->type == TFieldType::Float    ? QStringLiteral("trim_scale(%1)::text")
                    : field->type == TFieldType::String ? QStringLiteral("coalesce(%1, '')")
                                                        : QStringLiteral("%1::text"))
                       .arg(ServerColumn(field->name));
    return QStringLiteral("select %1 from varnel.%2%3 order by key")
        .arg(columns.join(','), ServerTable(table), where);
}

int exportTable(ServerConnection& server, const QStringList& arguments, std::FILE* out) {
    const ExportRequest request = ParseExportRequest(arguments, 2);
    const QList<QPair<QString, QString>>& where = request.where;
    const QStringList& fieldNames = request.fields;
    const char format = request.format == ExportFormat::Json  ? 'j'
                        : request.format == ExportFormat::Tsv ? 't'
                                                              : 'c';
    const QString& tableName = request.table;
    const TableDescription& table = *tableNamed(tableName);
    QList<const FieldDescription*> fields;
    if (fieldNames.isEmpty())
        for (const FieldDescription& field : table.fields)
            fields << &field;
    else
        for (const QString& name : fieldNames)
            fields << &fieldNamed(table, name);

    // Each condition compared as its field's type: numbers as numbers, days given ISO or
    // YYYYMMDD, text without its trailing blanks.
    QStringList conditions;
    QVariantList values;
    for (const auto& [name, text] : where) {
        const FieldDescription& field = fieldNamed(table, name);
        const QString column = ServerColumn(field.name);
        if (isNumber(field)) {
            bool ok = false;
            text.trimmed().toDouble(&ok);
            if (!ok)
                wrongUse(QStringLiteral("поле %1 числовое, а «%2» — не число")
                             .arg(QString(field.name), text));
            conditions << column + QStringLiteral(" = ?::numeric");
            values << text.trimmed();
        } else if (field.type == TFieldType::Date) {
            QDate day = QDate::fromString(text.trimmed(), Qt::ISODate);
            if (!day.isValid())
                day = QDate::fromString(text.trimmed(), QStringLiteral("yyyyMMdd"));
            if (!day.isValid())
                wrongUse(QStringLiteral("поле %1 — дата, а «%2» — не дата")
                             .arg(QString(field.name), text));
            conditions << column + QStringLiteral(" = ?::date");
            values << day.toString(Qt::ISODate);
        } else {
            QString value = text;
            while (value.endsWith(QLatin1Char(' ')))
                value.chop(1);
            conditions << QStringLiteral("rtrim(%1) = ?").arg(column);
            values << value;
        }
    }
    const QString filter =
        conditions.isEmpty() ? QString() : QStringLiteral(" where ") + conditions.join(" and ");

    std::string buffer;
    const char separator = format == 't' ? '\t' : ',';
    if (format != 'j') {
        for (qsizetype f = 0; f < fields.size(); ++f) {
            if (f > 0)
                buffer += separator;
            AppendDelimited(buffer, std::string(fields[f]->name.data(), fields[f]->name.size()),
                            separator);
        }
        buffer += '\n';
    }
    bool first = true;
    Reading reading(server);
    reading.forEach(selectOf(table, fields, filter), values, [&](const QSqlQuery& row) {
        if (format == 'j')
            buffer += first ? "[\n{" : ",\n{";
        first = false;
        for (qsizetype f = 0; f < fields.size(); ++f) {
            const QVariant value = row.value(int(f));
            const bool bare = isNumber(*fields[f]) || fields[f]->type == TFieldType::Logical;
            const std::string text = value.toString().toStdString();
            if (format == 'j') {
                if (f > 0)
                    buffer += ", ";
                AppendJsonString(buffer,
                                 std::string(fields[f]->name.data(), fields[f]->name.size()));
                buffer += ": ";
                if (value.isNull())
                    buffer += "null";
                else if (bare)
                    buffer += text;
                else
                    AppendJsonString(buffer, text);
            } else {
                if (f > 0)
                    buffer += separator;
                if (!value.isNull())
                    AppendDelimited(buffer, text, separator);
            }
        }
        if (format == 'j')
            buffer += '}';
        else
            buffer += '\n';
        if (buffer.size() > (1u << 20)) {
            if (std::fwrite(buffer.data(), 1, buffer.size(), out) != buffer.size())
                throw Refusal{1, QStringLiteral("вывод не записывается")};
            buffer.clear();
        }
    });
    if (format == 'j')
        buffer += first ? "[]\n" : "\n]\n";
    if (!buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), out) != buffer.size())
        throw Refusal{1, QStringLiteral("вывод не записывается")};
    return std::fflush(out) == 0 ? 0 : 1;
}

// A field's value from the server's text, as the file's codec takes it.
Variant fileValue(const FieldDescription& field, const QVariant& text) {
    if (text.isNull())
        return {};
    const QString value = text.toString();
    switch (field.type) {
    case TFieldType::Date:
        return Variant(QDate::fromString(value, Qt::ISODate));
    case TFieldType::Logical:
        return Variant(std::int64_t(value == QLatin1String("true") ? 1 : 0));
    case TFieldType::String:
        return Variant(value);
    default:
        return Variant::parseNumber(value);
    }
}

// Writes one table's rows into a new file in the program's own layout, a batch of records to
// each durable write.
void writeTable(Reading& reading, const TableDescription& table, const QString& path) {
    DbfFile::create(path, table.Columns());
    DbfFile file(path);
    file.open();
    QList<const FieldDescription*> fields;
    QList<int> columns;
    for (const FieldDescription& field : table.fields) {
        fields << &field;
        columns << file.columnIndex(field.name);
    }
    int pending = 0;
    const auto write = [&] {
        const QList<DbfFile::Change> changes = file.overlayChanges();
        const std::uint32_t count = file.recordCount();
        file.reserveForAppends(count);
        file.applyChanges(changes, count);
        pending = 0;
    };
    file.beginOverlay();
    reading.forEach(selectOf(table, fields, QString()), {}, [&](const QSqlQuery& row) {
        QByteArray record = file.blankRecord();
        for (qsizetype f = 0; f < fields.size(); ++f)
            file.encode(record.data(), columns[f], fileValue(*fields[f], row.value(int(f))));
        file.append(record);
        if (++pending == kRecordsPerWrite) {
            write();
            file.beginOverlay();
        }
    });
    write();
    file.close();
}

int exportToFolder(ServerConnection& server, const QString& folder, std::FILE* out) {
    QDir dir(folder);
    if (!dir.exists() && !QDir().mkpath(folder))
        throw Refusal{1, QStringLiteral("папка «%1» не создаётся").arg(folder)};
    for (const TableDescription* table : AllTables())
        if (QFileInfo::exists(dir.filePath(table->file)))
            throw Refusal{1, QStringLiteral("в папке «%1» уже есть таблица %2: она не будет "
                                            "перезаписана")
                                 .arg(QDir::toNativeSeparators(dir.absolutePath()), table->file)};
    if (ServerSchemaVersion(server) == 0)
        throw Refusal{1, QStringLiteral("на сервере «%1» нет книг").arg(server.Server())};
    Reading reading(server);
    std::string report;
    for (const TableDescription* table : AllTables()) {
        // Written under another name first: a folder never shows half a table as the table.
        const QString path = dir.filePath(table->file);
        const QString partial = path + QStringLiteral(".part");
        QFile::remove(partial);
        try {
            writeTable(reading, *table, partial);
        } catch (...) {
            QFile::remove(partial);
            throw;
        }
        if (!QFile::rename(partial, path))
            throw Refusal{1, QStringLiteral("таблица %1 не переименовывается").arg(path)};
        DbfFile written(path);
        written.open(DbfFile::Access::Read);
        report += QStringLiteral("%1: записей %2\n")
                      .arg(table->file)
                      .arg(written.recordCount())
                      .toStdString();
    }
    DbfFile::syncFolder(dir.absolutePath());
    std::fputs(report.c_str(), out);
    return std::fflush(out) == 0 ? 0 : 1;
}

} // namespace

int RunServerExport(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    // Qt SQL loads its driver as a plugin, which wants an application object.
    static int argc = 1;
    static char name[] = "varnel-export";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(argc, argv);
    try {
        if (arguments.size() < 3)
            wrongUse(QStringLiteral("после --server нужны строка соединения и таблица"));
        ServerConnection server(arguments[1]);
        if (arguments[2] == QLatin1String("--to-folder")) {
            if (arguments.size() != 4)
                wrongUse(QStringLiteral("--to-folder: нужна одна папка"));
            return exportToFolder(server, arguments[3], out);
        }
        return exportTable(server, arguments, out);
    } catch (const ExportUsage& usage) {
        std::fprintf(err, "varnel-export: %s\n", usage.why.toLocal8Bit().constData());
        std::fputs("usage: varnel-export --server CONNINFO TABLE [--where FIELD=VALUE ...] "
                   "[--fields A,B,...] [--format csv|tsv|json]\n"
                   "       varnel-export --server CONNINFO --to-folder DIR\n",
                   err);
        return 2;
    } catch (const Refusal& refusal) {
        std::fprintf(err, "varnel-export: %s\n", refusal.message.toLocal8Bit().constData());
        return refusal.status;
    } catch (const EVarnelError& error) {
        std::fprintf(err, "varnel-export: %s\n", error.message().toLocal8Bit().constData());
        return 1;
    }
}

} // namespace varnel
