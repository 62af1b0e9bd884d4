// varnel-export over the books on a PostgreSQL server (Export.h).
#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "server/Seals.h"
#include "server/Snapshot.h"
#include "store/Csv.h"
#include "store/Tables.h"
#include "store/engine/DbfFile.h"
#include "tools/export/Export.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>

namespace varnel {

namespace {

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
    const bool sealedRead = ReadsSealed(server); // a seal is its owner's to read
    ServerReading reading(server);
    reading.ForEach(
        ServerSelect(table, fields, filter, false, sealedRead), values, [&](const ServerRows& row) {
            if (format == 'j')
                buffer += first ? "[\n{" : ",\n{";
            first = false;
            for (qsizetype f = 0; f < fields.size(); ++f) {
                const QVariant value = row.Value(int(f));
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

int exportToFolder(ServerConnection& server, const QString& folder, std::FILE* out) {
    QDir dir(folder);
    if (!dir.exists() && !QDir().mkpath(folder))
        throw Refusal{1, QStringLiteral("папка «%1» не создаётся").arg(folder)};
    for (const TableDescription* table : AllTables())
        if (QFileInfo::exists(dir.filePath(table->file)))
            throw Refusal{1, QStringLiteral("в папке «%1» уже есть таблица %2: она не будет "
                                            "перезаписана")
                                 .arg(QDir::toNativeSeparators(dir.absolutePath()), table->file)};
    const int version = ServerSchemaVersion(server);
    if (version == 0)
        throw Refusal{1, QStringLiteral("на сервере «%1» нет книг").arg(server.Server())};
    if (version != kServerSchemaVersion)
        throw Refusal{1, QStringLiteral("книги на сервере «%1» версии %2, а программа читает "
                                        "версию %3 (прежние обновляет varnel-newdesk --server "
                                        "… --upgrade)")
                             .arg(server.Server())
                             .arg(version)
                             .arg(kServerSchemaVersion)};
    SealHistory(server); // the history's records with their hashes, as far as they can be
    try {
        ServerSnapshot(dir.absolutePath()).Take(server);
    } catch (const EUnwritableRow& row) {
        // Every later run would stop at the same row: what it is and how to go on.
        throw Refusal{1, row.message() +
                             QStringLiteral(" Пока запись такова, книги не выгружаются в "
                                            "файлы; её исправляет владелец книг на сервере, а "
                                            "таблицы целиком, с числами любой длины, "
                                            "выгружает varnel-export --server "
                                            "СТРОКА_СОЕДИНЕНИЯ ТАБЛИЦА --format csv.")};
    }
    // The records of transactions the sealer could not yet take (one older still ran) come
    // last without a hash: the folder's own chain takes them on.
    SealFileTail(dir.filePath(HistoryTable().file));
    std::string report;
    for (const TableDescription* table : AllTables()) {
        DbfFile written(dir.filePath(table->file));
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
        std::fputs(kExportUsage, err);
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
