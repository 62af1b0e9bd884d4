#include "server/ServerHome.h"

#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "server/ServerTable.h"
#include "store/DataModule6.h"
#include "store/History.h"
#include "store/Tables.h"

#include <QSqlQuery>

#include <optional>
#include <vector>

namespace varnel {

namespace {

// An operation's key as the history's `action` column takes it; none for none.
QVariant actionValue(const QUuid& action) {
    return action.isNull() ? QVariant() : QVariant(action.toString(QUuid::WithoutBraces));
}

// One operation's server transaction. Undone, the transaction ends on the server first, then
// the cursors go back to where they were (reading again outside it).
class ServerWork : public TBooksWork {
public:
    ServerWork(ServerConnection& server, std::initializer_list<TDataSet*> tables,
               const QUuid& action) {
        m_transaction.emplace(server);
        for (TDataSet* table : tables) {
            if (!table || !table->Active())
                continue;
            table->BeginTransaction();
            m_tables.push_back(table);
            auto& server = static_cast<TServerTable&>(*table);
            if (!action.isNull() && server.Table() == ServerTable(HistoryTable())) {
                server.StampNextAppend(QStringLiteral("action"), actionValue(action));
                m_stamped = &server;
            }
        }
    }
    ~ServerWork() override {
        if (m_stamped)
            m_stamped->StampNextAppend({}, {});
        if (m_done)
            return;
        m_transaction.reset(); // rolled back
        for (TDataSet* table : m_tables) {
            try {
                table->EndTransaction(false);
            } catch (const EVarnelError&) {
                // a cursor that cannot show its record must not stop the others
            }
        }
    }
    void Commit() override {
        m_transaction->Commit();
        m_done = true;
        for (TDataSet* table : m_tables)
            table->EndTransaction(true);
    }

private:
    std::optional<ServerTransaction> m_transaction;
    std::vector<TDataSet*> m_tables;
    TServerTable* m_stamped = nullptr; // the history, its next record to carry the action
    bool m_done = false;
};

class TServerHome : public TBooksHome {
public:
    explicit TServerHome(const QString& conninfo)
        : m_own(std::make_unique<ServerConnection>(conninfo)), m_server(*m_own) {}
    explicit TServerHome(ServerConnection& server) : m_server(server) {}

    TDataSet* MakeTable(QObject* owner, const TableDescription& described) override {
        auto* table = new TServerTable(m_server, described, owner);
        table->setObjectName(described.table);
        described.MakeFields(table);
        return table;
    }

    void Open(TDataModule6& module) override {
        RequireServerBooks(m_server);
        // The login is who works here: the server stamps each history record with it anyway,
        // but the books' owner (who may write another name) writes its own too.
        m_operator = m_server.Value(QStringLiteral("select session_user")).toString();
        QStringList failures;
        for (TDataSet* table : {module.TableCompit, module.TableStavka, module.TableMoney,
                                module.TableHistory, module.TableLimits}) {
            try {
                table->Open();
            } catch (const EDatabaseError& error) {
                failures << error.message();
            }
        }
        if (!failures.isEmpty())
            throw EDatabaseError(failures.join(QLatin1Char('\n')));
    }

    // The server finishes or drops a transaction that a crash cut off: nothing is left here.
    void FinishInterruptedWork() override {}

    std::unique_ptr<TBooksWork> Begin(std::initializer_list<TDataSet*> tables,
                                      const QUuid& action) override {
        return std::make_unique<ServerWork>(m_server, tables, action);
    }

    bool ActionDone(const QUuid& action) override {
        return !m_server
                    .Value(QStringLiteral("select key from varnel.history where action = ?::uuid"),
                           {actionValue(action)})
                    .isNull();
    }

    bool Shared() const override { return true; }
    bool HasLimits() const override { return true; }

    QString Operator() const override { return m_operator; }

    void HoldEvent(TDataSet& events) override {
        const QVariant held =
            m_server.Value(QStringLiteral("select key from varnel.compit where key = ? for update"),
                           {qlonglong(events.CurrentIndex())});
        if (held.isNull())
            throw EEventGone();
        static_cast<TServerTable&>(events).Forget(); // read again, as it is now
    }

    bool HoldRecord(TDataSet& table) override {
        auto& server = static_cast<TServerTable&>(table);
        const QVariant held =
            m_server.Value(QStringLiteral("select key from varnel.%1 where key = ? for update")
                               .arg(server.Table()),
                           {qlonglong(table.CurrentIndex())});
        server.Forget();
        return !held.isNull();
    }

    std::optional<bool> PayOutThere(TDataSet& money, const QUuid& action) override {
        const bool paid = m_server
                              .Value(QStringLiteral("select varnel.pay_out(?, ?::uuid)"),
                                     {qlonglong(money.CurrentIndex()), actionValue(action)})
                              .toBool();
        static_cast<TServerTable&>(money).Forget();
        return paid;
    }

    // Each limit as its column takes it, as a write of the table itself would send it.
    bool SetLimitsThere(TDataSet& table, const Limits& limits, const QUuid& action) override {
        using namespace fields;
        const auto column = [&table](QLatin1String field, const Variant& value) {
            return ServerValue(value, *table.FieldByName(field));
        };
        m_server.Exec(QStringLiteral("select varnel.set_limits(?::numeric, ?::numeric, "
                                     "?::numeric, ?::numeric, ?::bigint, ?::uuid)"),
                      {column(STAVKA_MIN, OrBlank(limits.minStake)),
                       column(STAVKA_MAX, OrBlank(limits.maxStake)),
                       column(VYPL_MAX, OrBlank(limits.maxPayout)),
                       column(RISK_MAX, OrBlank(limits.maxLiability)),
                       column(OTMENA_MIN, OrBlank(limits.revokeMinutes)), actionValue(action)});
        return true;
    }

    QString EventsAndResultsRefused() override { return varnel::EventsAndResultsRefused(m_server); }

    // A lock of the transaction's own, named by the result's record: the history cannot be
    // locked by a row (no operator may update it).
    void HoldUndo(std::int64_t result, std::initializer_list<TDataSet*> read) override {
        m_server.Exec(QStringLiteral("select pg_advisory_xact_lock(hashtext('varnel undo'), "
                                     "(?::bigint % 2147483647)::integer)"),
                      {qlonglong(result)});
        for (TDataSet* table : read)
            static_cast<TServerTable&>(*table).Forget();
    }

    // The bet's age by the server's clock (its transaction's start, as the history's guard
    // reads it): from its «Ставка» record's `written`, which the server stamps and nobody else.
    RevokeRight RightToRevoke(const TDataSet& bets) override {
        QSqlQuery query = m_server.Exec(
            QStringLiteral("select varnel.may_undo(), (select extract(epoch from now() - "
                           "min(h.written)) / 60 from varnel.history h where h.number = p.number "
                           "and h.serial = p.serial and rtrim(h.vid) = ?) from varnel.priem p "
                           "where p.key = ?"),
            {kinds::Bet(), qlonglong(bets.CurrentIndex())});
        RevokeRight right;
        right.anyTime = false;
        if (query.next()) {
            right.anyTime = query.value(0).toBool();
            if (!query.value(1).isNull())
                right.minutesAgo = query.value(1).toDouble();
        }
        return right;
    }

    bool KeepsSerials() const override { return true; }

    std::optional<std::int64_t> SerialOfBet(const TDataSet& bets) const override {
        return serialOf(bets);
    }

    std::optional<std::int64_t> SerialOfPayout(const TDataSet& money) const override {
        return serialOf(money);
    }

    void KeepSerial(TDataSet& table, std::optional<std::int64_t> serial) override {
        const auto& server = static_cast<const TServerTable&>(table);
        server.Forget(); // its serial read before is no more
        if (serial)
            m_server.Exec(
                QStringLiteral("update varnel.%1 set serial = ? where key = ?").arg(server.Table()),
                {qlonglong(*serial), qlonglong(table.CurrentIndex())});
    }

private:
    static std::optional<std::int64_t> serialOf(const TDataSet& table) {
        if (table.CurrentIndex() < 0)
            return std::nullopt;
        const Variant serial = static_cast<const TServerTable&>(table).ExtraValue(
            table.CurrentIndex(), QStringLiteral("serial"));
        return serial.isNull() ? std::nullopt : std::optional(serial.toInteger());
    }

    std::unique_ptr<ServerConnection> m_own;
    ServerConnection& m_server;
    QString m_operator;
};

} // namespace

std::unique_ptr<TBooksHome> ServerHome(const QString& conninfo) {
    return std::make_unique<TServerHome>(conninfo);
}

std::unique_ptr<TBooksHome> ServerHome(ServerConnection& connection) {
    return std::make_unique<TServerHome>(connection);
}

} // namespace varnel
