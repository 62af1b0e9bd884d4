#include "server/Snapshot.h"

#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "store/TableWriter.h"
#include "store/Tables.h"
#include "store/engine/Variant.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace varnel {

namespace {

constexpr int kRowsPerFetch = 5000;
// Work under way on the server ends within its time for a lock, or its time idle: any key
// given that long before is either committed or never will be.
constexpr std::int64_t kWorkEndsMs = 10 * 60 * 1000;
// At the first taking, the keys missing among the newest ones only are looked for again.
constexpr qsizetype kFirstWindow = 10000;

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

QList<const FieldDescription*> allFields(const TableDescription& table) {
    QList<const FieldDescription*> fields;
    for (const FieldDescription& field : table.fields)
        fields << &field;
    return fields;
}

// Calls `each` with every row's values as the file takes them, and the row's key.
void forEachRow(ServerReading& reading, const TableDescription& table, const QString& where,
                bool sealedRead,
                const std::function<void(const QList<Variant>&, RecordKey)>& each) {
    const QList<const FieldDescription*> fields = allFields(table);
    QList<Variant> values;
    values.resize(fields.size());
    reading.ForEach(
        ServerSelect(table, fields, where, true, sealedRead), {}, [&](const ServerRows& row) {
            for (qsizetype f = 0; f < fields.size(); ++f)
                values[f] = fileValue(*fields[f], row.Value(int(f)));
            const RecordKey key = row.Value(int(fields.size())).toLongLong();
            try {
                each(values, key);
            } catch (const EConvertError& error) {
                // A row the program's file cannot hold (a value the server took from another
                // program): which one, so that its owner can mend it.
                throw EUnwritableRow(
                    QStringLiteral("Запись с ключом %1 таблицы varnel.%2 не записывается в файл "
                                   "%3: %4")
                        .arg(key)
                        .arg(ServerTable(table), table.file, error.message()));
            }
        });
}

// Puts a whole file in the place of the table's, over the one there.
void putInPlace(const QString& partial, const QString& path) {
    if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(path).constData()) !=
        0)
        throw EDatabaseError(QStringLiteral("таблица %1 не переименовывается").arg(path));
}

} // namespace

ServerReading::ServerReading(ServerConnection& server) : m_server(server) {
    m_server.Begin();
    m_server.Exec(QStringLiteral("set transaction isolation level repeatable read, read only"));
}

ServerReading::~ServerReading() {
    m_server.Rollback();
}

void ServerReading::ForEach(const QString& sql, const QVariantList& values,
                            const std::function<void(const ServerRows&)>& each) {
    m_server.Exec(QStringLiteral("declare book_rows no scroll cursor for ") + sql, values);
    for (;;) {
        ServerRows page =
            m_server.Exec(QStringLiteral("fetch forward %1 from book_rows").arg(kRowsPerFetch));
        int fetched = 0;
        while (page.Next()) {
            ++fetched;
            each(page);
        }
        if (fetched < kRowsPerFetch)
            break;
    }
    m_server.Exec(QStringLiteral("close book_rows"));
}

QString ServerSelect(const TableDescription& table, const QList<const FieldDescription*>& fields,
                     const QString& where, bool withKey, bool sealedRead) {
    // The history with its chain's hashes, in the order of its chain (records of work not yet
    // sealed after, by key), so that a folder written from it verifies as the server does.
    const bool chained = std::any_of(fields.begin(), fields.end(),
                                     [](const FieldDescription* f) { return f->keptApart; });
    QStringList columns;
    for (const FieldDescription* field : fields)
        columns << (field->keptApart               ? QStringLiteral("s.hash")
                    : field->sealed && !sealedRead ? QStringLiteral("null::text")
                    : field->type == TFieldType::Float
                        ? QStringLiteral("trim_scale(%1)::text").arg(ServerColumn(field->name))
                    : field->type == TFieldType::String
                        ? QStringLiteral("coalesce(%1, '')").arg(ServerColumn(field->name))
                        : QStringLiteral("%1::text").arg(ServerColumn(field->name)));
    if (withKey)
        columns << QStringLiteral("key");
    return QStringLiteral("select %1 from %2.%3%4%5 order by %6key")
        .arg(columns.join(','), kServerSchema, ServerTable(table),
             chained ? QStringLiteral(" left join varnel.seals s using (key)") : QString(), where,
             chained ? QStringLiteral("s.link nulls last, ") : QString());
}

bool ReadsSealed(ServerConnection& server) {
    QStringList sealed;
    for (const TableDescription* table : AllTables())
        for (const FieldDescription& field : table->fields)
            if (field.sealed)
                sealed << QStringLiteral("has_column_privilege('%1.%2', '%3', 'select')")
                              .arg(kServerSchema, ServerTable(*table), ServerColumn(field.name));
    return sealed.isEmpty() ||
           server.Value(QStringLiteral("select ") + sealed.join(QStringLiteral(" and "))).toBool();
}

ServerSnapshot::ServerSnapshot(const QString& folder) : m_folder(folder) {}

ServerSnapshot::~ServerSnapshot() = default;

void ServerSnapshot::Take(ServerConnection& server) {
    Low();
    const QString missing = Missing();
    if (!m_sealedRead)
        m_sealedRead = ReadsSealed(server);
    const bool sealedRead = *m_sealedRead;
    ServerReading reading(server);
    QList<const TableDescription*> tables = AllTables();
    tables << &LimitsTable(); // the risk view's limits
    for (const TableDescription* table : tables) {
        const QString path = m_folder.filePath(table->file);
        const bool history = table == &HistoryTable();
        if (history && m_taken) {
            // The rows it lacks, after those it has; all read before the first is written, so
            // that a reading the server broke off leaves the file as it was.
            QList<QList<Variant>> rows;
            QList<RecordKey> keys;
            forEachRow(reading, *table, QStringLiteral(" where ") + missing, sealedRead,
                       [&](const QList<Variant>& values, RecordKey key) {
                           rows << values;
                           keys << key;
                       });
            if (rows.isEmpty())
                continue;
            try {
                TableWriter writer(path, *table, true);
                for (const QList<Variant>& values : rows)
                    writer.Append(values);
                writer.Finish();
            } catch (...) {
                m_taken = false; // written in part: the next taking writes it anew
                throw;
            }
            for (const RecordKey key : keys)
                m_sorted.insert(std::upper_bound(m_sorted.begin(), m_sorted.end(), key), key);
            continue;
        }
        // Written under another name first: a folder never shows half a table as the table.
        const QString partial = path + QStringLiteral(".part");
        QFile::remove(partial);
        QList<RecordKey> keys;
        try {
            TableWriter writer(partial, *table);
            forEachRow(reading, *table, QString(), sealedRead,
                       [&](const QList<Variant>& values, RecordKey key) {
                           writer.Append(values);
                           if (history)
                               keys << key;
                       });
            writer.Finish();
        } catch (...) {
            QFile::remove(partial);
            throw;
        }
        putInPlace(partial, path);
        if (history) {
            m_sorted.assign(keys.begin(), keys.end());
            std::sort(m_sorted.begin(), m_sorted.end());
            m_taken = true;
            m_low = m_sorted.size() > std::size_t(kFirstWindow)
                        ? m_sorted[m_sorted.size() - std::size_t(kFirstWindow)]
                        : 0;
        }
    }
    m_marks.emplace_back(QDateTime::currentMSecsSinceEpoch(),
                         m_sorted.empty() ? RecordKey(0) : m_sorted.back());
}

RecordKey ServerSnapshot::Low() {
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    while (!m_marks.empty() && now - m_marks.front().first > kWorkEndsMs) {
        m_low = std::max(m_low, m_marks.front().second + 1);
        m_marks.pop_front();
    }
    return m_low;
}

// The rows of the history the files lack: those past the newest key read, and those of the
// keys missing above m_low.
QString ServerSnapshot::Missing() const {
    if (m_sorted.empty())
        return QStringLiteral("true");
    QStringList ranges{QStringLiteral("key > %1").arg(m_sorted.back())};
    auto at = std::lower_bound(m_sorted.begin(), m_sorted.end(), m_low);
    RecordKey expected = m_low;
    for (; at != m_sorted.end(); ++at) {
        if (*at > expected)
            ranges << QStringLiteral("key between %1 and %2").arg(expected).arg(*at - 1);
        expected = *at + 1;
    }
    return QLatin1Char('(') + ranges.join(QStringLiteral(" or ")) + QLatin1Char(')');
}

} // namespace varnel
