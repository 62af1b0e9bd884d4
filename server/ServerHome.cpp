#include "server/ServerHome.h"

#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "server/ServerTable.h"
#include "store/DataModule6.h"
#include "store/History.h"
#include "store/Tables.h"

#include <QHash>

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
    ServerWork(ServerConnection& server, std::initializer_list<TDataSet*> tables) {
        m_transaction.emplace(server);
        for (TDataSet* table : tables) {
            if (!table || !table->Active())
                continue;
            table->BeginTransaction();
            m_tables.push_back(table);
        }
    }
    ~ServerWork() override {
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

    std::unique_ptr<TBooksWork> Begin(std::initializer_list<TDataSet*> tables) override {
        return std::make_unique<ServerWork>(m_server, tables);
    }

    bool ActionDone(const QUuid& action) override {
        return !m_server
                    .Value(QStringLiteral("select key from varnel.history where action = ?::uuid"),
                           {actionValue(action)})
                    .isNull();
    }

    bool HasLimits() const override { return true; }

    QString Operator() const override { return m_operator; }

    bool EnterEventThere(TDataSet& events, const QUuid& action) override {
        using namespace fields;
        const QVariant key = m_server.Value(
            QStringLiteral("select varnel.enter_event(?::integer, ?::date, ?, ?, ?::numeric, "
                           "?::numeric, ?::numeric, ?::numeric, ?::numeric, ?::numeric, ?::uuid)"),
            pending(events,
                    {NUMBER, DATE, KOM1, KOM2, KOEF_1, KOEF_2, KOEF_N, SUMM_1, SUMM_2, SUMM_N})
                << actionValue(action));
        showWritten(events, key);
        return true;
    }

    bool TakeBetThere(TDataSet& events, TDataSet& bets, Outcome outcome, bool adjustOdds,
                      const QString& seal, std::int64_t& serial, const QUuid& action) override {
        using namespace fields;
        const QVariantList bet = pending(bets, {NUMBER, FIO, SUMMA, KOEFICIENT});
        ServerRows taken = m_server.Finish(
            QStringLiteral("select o_key, o_serial from varnel.take_bet(?, ?::integer, ?, ?, ?, "
                           "?::numeric, ?::numeric, ?, ?::uuid)"),
            {qlonglong(events.CurrentIndex()), bet[0], int(outcome), adjustOdds, bet[1], bet[2],
             bet[3], seal.isEmpty() ? QVariant() : QVariant(seal), actionValue(action)});
        taken.Next();
        serial = taken.Value(1).toLongLong();
        // The bet is in the books: what follows only shows it, and a break now must not tell
        // the operator otherwise (the follower shows it once the server answers again).
        if (events.state() != TDataSet::State::Browse)
            events.Cancel();
        if (bets.state() != TDataSet::State::Browse)
            bets.Cancel();
        try {
            static_cast<TServerTable&>(events).Forget();
            events.Refresh();
            showWritten(bets, taken.Value(0));
        } catch (const EVarnelError& error) {
            // (a break, or the bet settled or revoked at another counter meanwhile)
            qWarning("books' server: the bet taken is not shown: %s", qPrintable(error.message()));
        }
        return true;
    }

    bool KeepsSeals(const TDataSet& /*history*/) const override { return true; }

    std::optional<std::int64_t> SerialOfAction(const QUuid& action) override {
        const QVariant serial = m_server.Value(
            QStringLiteral("select serial from varnel.history where action = ?::uuid and "
                           "rtrim(vid) = ?"),
            {actionValue(action), kinds::Bet()});
        if (serial.isNull())
            return std::nullopt;
        return serial.toLongLong();
    }

    std::optional<SlipCheck> CheckSlipThere(std::int64_t serial, const QString& code) override {
        ServerRows row = m_server.Exec(
            QStringLiteral("select o_state, o_fio, o_number, o_date, o_kom1, o_kom2, o_result, "
                           "o_summa::float8, o_koef::float8, o_payout::float8, o_when, o_kassir "
                           "from varnel.slip(?, ?)"),
            {qlonglong(serial), code});
        SlipCheck check;
        check.bet.serial = serial;
        if (!row.Next())
            return check;
        static const QHash<QString, SlipCheck::State> states = {
            {QStringLiteral("owed"), SlipCheck::State::Owed},
            {QStringLiteral("paid"), SlipCheck::State::Paid},
            {QStringLiteral("lost"), SlipCheck::State::Lost},
            {QStringLiteral("open"), SlipCheck::State::Open},
            {QStringLiteral("revoked"), SlipCheck::State::Revoked}};
        check.state = states.value(row.Value(0).toString(), SlipCheck::State::Unknown);
        if (check.state == SlipCheck::State::Unknown)
            return check;
        check.client = row.Value(1).toString();
        check.bet.eventNumber = row.Value(2).toInt();
        check.bet.eventDate = row.Value(3).toDate();
        check.bet.side1 = row.Value(4).toString();
        check.bet.side2 = row.Value(5).toString();
        check.bet.outcome = row.Value(6).toString();
        check.bet.stake = row.Value(7).toDouble();
        check.bet.koef = row.Value(8).toDouble();
        check.bet.payout = row.Value(9).toDouble();
        check.paidWhen = row.Value(10).toString();
        check.paidBy = row.Value(11).toString();
        return check;
    }

    bool PayBySlipThere(std::int64_t serial, const QString& code, const QUuid& action) override {
        m_server.Exec(QStringLiteral("select varnel.pay_by_slip(?, ?, ?::uuid)"),
                      {qlonglong(serial), code, actionValue(action)});
        return true;
    }

    bool SlipCopiedThere(std::int64_t serial, const QUuid& action) override {
        m_server.Exec(QStringLiteral("select varnel.slip_copied(?, ?::uuid)"),
                      {qlonglong(serial), actionValue(action)});
        return true;
    }

    bool SettleThere(TDataSet& events, const QString& winner, const QUuid& action) override {
        m_server.Exec(QStringLiteral("select varnel.settle(?, ?, ?::uuid)"),
                      {qlonglong(events.CurrentIndex()), winner, actionValue(action)});
        static_cast<TServerTable&>(events).Forget();
        return true;
    }

    bool RevokeThere(TDataSet& bets, const QUuid& action) override {
        m_server.Exec(
            QStringLiteral("select varnel.revoke_bet(?, ?::integer, ?::uuid)"),
            {qlonglong(bets.CurrentIndex()),
             ServerValue(bets.GetFieldValue(fields::NUMBER), *bets.FieldByName(fields::NUMBER)),
             actionValue(action)});
        static_cast<TServerTable&>(bets).Forget();
        return true;
    }

    bool UndoThere(std::int64_t result, const QUuid& action) override {
        m_server.Exec(QStringLiteral("select varnel.undo_result(?, ?::uuid)"),
                      {qlonglong(result), actionValue(action)});
        return true;
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

private:
    // The values pending on a table's record, as their columns take them; each checked first as
    // the program's own file would check it, for the same refusal.
    static QVariantList pending(const TDataSet& table,
                                std::initializer_list<QLatin1String> fields) {
        QVariantList values;
        for (const QLatin1String field : fields) {
            table.CheckFits(field);
            values << ServerValue(table.GetFieldValue(field), *table.FieldByName(field));
        }
        return values;
    }

    // The record an operation just wrote, `key`, current in place of the one that was pending.
    static void showWritten(TDataSet& table, const QVariant& key) {
        if (table.state() != TDataSet::State::Browse)
            table.Cancel();
        static_cast<TServerTable&>(table).Forget();
        table.MoveTo(RecordKey(key.toLongLong()));
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
