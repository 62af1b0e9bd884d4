#include "server/Transfer.h"

#include "server/Connection.h"
#include "server/Schema.h"
#include "server/Seals.h"
#include "server/ServerTable.h"
#include "store/DataModule6.h"
#include "store/History.h"
#include "store/Reading.h"
#include "store/Tables.h"
#include "store/engine/DataSet.h"
#include "store/engine/Field.h"
#include "store/engine/FolderLock.h"
#include "store/engine/Table.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <memory>

namespace varnel {

namespace {

constexpr int kRowsPerStatement = 200;

// Rows inserted a batch at a time.
class Inserter {
public:
    Inserter(ServerConnection& server, const QString& table, const QStringList& columns)
        : m_server(server), m_table(table), m_columns(columns) {}
    ~Inserter() = default;

    void Add(const QVariantList& row) {
        m_values << row;
        if (++m_rows == kRowsPerStatement)
            Flush();
    }
    void Flush() {
        if (m_rows == 0)
            return;
        QStringList tuples;
        const QString tuple = QLatin1Char('(') +
                              QStringList(m_columns.size(), QStringLiteral("?")).join(',') +
                              QLatin1Char(')');
        for (int i = 0; i < m_rows; ++i)
            tuples << tuple;
        m_server.Exec(QStringLiteral("insert into varnel.%1 (%2) values %3")
                          .arg(m_table, m_columns.join(','), tuples.join(',')),
                      m_values);
        m_values.clear();
        m_rows = 0;
    }

private:
    ServerConnection& m_server;
    QString m_table;
    QStringList m_columns;
    QVariantList m_values;
    int m_rows = 0;
};

} // namespace

QList<MovedTable> MoveFolderToServer(const QString& folder, ServerConnection& server) {
    const QDir dir(folder);
    const QString shown = QDir::toNativeSeparators(dir.absolutePath());
    if (!dir.exists())
        throw EDatabaseError(QStringLiteral("Папки «%1» нет.").arg(shown));
    FolderLock lock;
    if (!lock.TryLock(dir.absolutePath()))
        throw EDatabaseError(QStringLiteral("Папку «%1» держит запущенная программа: закройте "
                                            "её и повторите перенос.")
                                 .arg(shown));
    if (TDataModule6::HasInterruptedWork(dir.absolutePath()))
        throw EDatabaseError(QStringLiteral("В папке «%1» осталась незавершённая работа: "
                                            "запустите в ней кассу, она её завершит, затем "
                                            "повторите перенос.")
                                 .arg(shown));

    // Every table that is there, read before anything is written.
    QHash<const TableDescription*, std::shared_ptr<TTable>> tables;
    for (const TableDescription* description : AllTables()) {
        if (!QFileInfo::exists(dir.filePath(description->file))) {
            if (description == &TmpTable() || description == &HistoryTable())
                continue;
            throw EDatabaseError(QStringLiteral("В папке «%1» нет таблицы %2: переносятся только "
                                                "полные книги.")
                                     .arg(shown, description->file));
        }
        tables.insert(description, OpenToRead(dir, *description));
    }

    ServerTransaction work(server);
    if (HoldsServerBooks(server))
        throw EDatabaseError(QStringLiteral("На сервере «%1» книги уже заведены: перенос "
                                            "делается только в пустую базу, ничего не записано.")
                                 .arg(server.Server()));
    CreateServerSchema(server);

    // The serials the history gave: the bets', found event by event as a settlement finds
    // them, and the payouts', as a payment finds them.
    TTable* history = tables.value(&HistoryTable()).get();
    const THistory kept(history);
    TTable& events = *tables.value(&CompitTable());
    TTable& bets = *tables.value(&PriemTable());
    TTable& money = *tables.value(&MoneyTable());
    QHash<RecordKey, std::int64_t> betSerials;
    QHash<RecordKey, std::int64_t> payoutSerials;
    std::int64_t highest = 0;
    if (history) {
        for (std::uint32_t i = 0; i < events.EndKey(); ++i) {
            if (events.IsDeletedAt(i))
                continue;
            events.MoveTo(i);
            betSerials.insert(kept.SerialsOfBets(events, bets));
        }
        for (std::uint32_t i = 0; i < money.EndKey(); ++i) {
            if (money.IsDeletedAt(i))
                continue;
            money.MoveTo(i);
            const Variant serial = kept.SerialOfPayout(money);
            if (!serial.isNull())
                payoutSerials.insert(i, serial.toInteger());
        }
        const TField* serial = history->FieldByName(fields::SERIAL);
        for (std::uint32_t i = 0; i < history->EndKey(); ++i) {
            const Variant value = history->ValueAt(i, serial);
            if (!value.isNull())
                highest = std::max(highest, value.toInteger());
        }
    }
    server.Exec(QStringLiteral("select setval('varnel.serial', ?, false)"),
                {qlonglong(highest + 1)});

    QList<MovedTable> moved;
    for (const TableDescription* description : AllTables()) {
        const std::shared_ptr<TTable> table = tables.value(description);
        if (!table)
            continue;
        MovedTable report;
        report.table = ServerTable(*description);
        QStringList columns{QStringLiteral("key")};
        const bool isBets = description == &PriemTable();
        const bool isMoney = description == &MoneyTable();
        if (isBets || isMoney)
            columns << QStringLiteral("serial");
        QList<const TField*> fieldsOf;
        QList<int> summed;
        const TField* ownSerial = nullptr; // a serial the folder keeps with the bet or payout
        for (const FieldDescription& field : description->fields) {
            if (field.keptApart)
                continue; // the server's own to write
            if ((isBets || isMoney) && field.name == fields::SERIAL) {
                ownSerial = table->FieldByName(field.name);
                continue;
            }
            columns << ServerColumn(field.name);
            fieldsOf << table->FieldByName(field.name);
            if (field.type == TFieldType::Float && field.displayDecimals == 2) {
                summed << int(fieldsOf.size() - 1);
                report.sums.append({ServerColumn(field.name), 0.0});
            }
        }
        // A bet with no serial of its own takes the sequence's next: inserted on its own.
        Inserter rows(server, report.table, columns);
        QStringList ownColumns = columns;
        ownColumns.removeOne(QStringLiteral("serial"));
        Inserter fresh(server, report.table, ownColumns);
        for (std::uint32_t i = 0; i < table->EndKey(); ++i) {
            if (table->IsDeletedAt(i))
                continue;
            QVariantList row{qlonglong(i)};
            std::optional<std::int64_t> serial;
            if (isBets && betSerials.contains(i))
                serial = betSerials.value(i);
            if (isMoney && payoutSerials.contains(i))
                serial = payoutSerials.value(i);
            if (ownSerial && !serial)
                if (const Variant kept = table->ValueAt(i, ownSerial); !kept.isNull())
                    serial = kept.toInteger();
            if (isMoney || serial)
                row << (serial ? QVariant(qlonglong(*serial)) : QVariant());
            for (qsizetype f = 0; f < fieldsOf.size(); ++f) {
                const Variant value = table->ValueAt(i, fieldsOf[f]);
                row << ServerValue(value, *fieldsOf[f]);
                const int s = int(summed.indexOf(int(f)));
                if (s >= 0 && !value.isNull())
                    report.sums[s].second += value.toReal();
            }
            if (isBets && !serial)
                fresh.Add(row);
            else
                rows.Add(row);
            ++report.records;
        }
        rows.Flush();
        fresh.Flush();
        server.Exec(QStringLiteral("select setval(pg_get_serial_sequence('varnel.%1', 'key'), "
                                   "coalesce(max(key), 0) + 1, false) from varnel.%1")
                        .arg(report.table));
        moved << report;
    }
    // When a folder's records were written the server cannot tell: a cashier's revocation,
    // which counts from that time, leaves the bets moved here to a manager.
    server.Exec(QStringLiteral("update varnel.history set written = null"));
    work.Commit();
    // The history's chain, as the folder's: the same records in the same order.
    SealHistory(server);
    return moved;
}

} // namespace varnel
