// Two sessions on the books' server at once, as two counters make them, or a counter and a login
// that holds its transaction open with psql: whatever their order and whatever isolation each
// chose, the books end as one order of the two would leave them, the other refused or finding
// nothing left to do; and an operation decides on the server's clock as it acts, not as its
// caller's transaction began.
#include "server/Connection.h"
#include "server/Schema.h"
#include "server/ServerHome.h"
#include "store/DataModule6.h"
#include "store/Rules.h"
#include "tests/support/Server.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"

#include <QTest>

using namespace varnel;
using namespace varnel::test;

namespace {

// The books' counts that tell who won: «Выплата» and «Отмена» records, bets, payouts, events.
QString books(const QString& db) {
    return psql(db, "select (select count(*) from history where vid = 'Выплата') || ' ' || "
                    "(select count(*) from history where vid = 'Отмена') || ' ' || "
                    "(select count(*) from priem) || ' ' || (select count(*) from money) || ' ' "
                    "|| (select count(*) from compit)")
        .value(0);
}

} // namespace

class TestInterleavings : public QObject {
    Q_OBJECT
    PgServer m_server;

    // Books with a cashier, kassa1, and two managers, boss1 and boss2; cashiers may settle.
    QString withOperators() {
        return booksWithOperators(m_server, {"kassa1"}, {"boss1", "boss2"}, true);
    }

    // The first session holds what it did for a moment before it commits; the second comes
    // meanwhile. What each printed, and refused.
    struct Race {
        QStringList first, second;
        QString firstRefused, secondRefused;
    };
    static Race race(const QString& db, const QString& isolation, const QString& firstRole,
                     const QString& firstSql, const QString& secondRole, const QString& secondSql) {
        const QString begin = QStringLiteral("begin isolation level %1; ").arg(isolation);
        Race race;
        PsqlSession first(asLogin(db, firstRole),
                          begin + firstSql + QStringLiteral("; select pg_sleep(1); commit;"));
        first.WaitUntilAsleep(db);
        race.second = psql(asLogin(db, secondRole), begin + secondSql + QStringLiteral("; commit;"),
                           &race.secondRefused);
        race.first = first.Finish(&race.firstRefused);
        return race;
    }

private slots:
    // A winning bet of 1000 at 2 settled; its payout paid (by name, or by its slip) and its
    // result undone at once. The undo, holding the payouts it takes back, waits for the payer
    // and then sees the payout paid; a payer that comes second finds nothing left to pay.
    void anUndoAndAPayoutOfOneResultNeverBothPass_data() {
        QTest::addColumn<bool>("bySlip");
        QTest::addColumn<bool>("payerFirst");
        QTest::addColumn<QString>("isolation");
        for (const bool bySlip : {false, true})
            for (const bool payerFirst : {true, false})
                for (const char* isolation : {"read committed", "repeatable read"})
                    QTest::addRow("%s %s, %s", bySlip ? "slip" : "payout",
                                  payerFirst ? "first" : "second", isolation)
                        << bySlip << payerFirst << QString::fromLatin1(isolation);
    }
    void anUndoAndAPayoutOfOneResultNeverBothPass() {
        QFETCH(bool, bySlip);
        QFETCH(bool, payerFirst);
        QFETCH(QString, isolation);
        const QString db = withOperators();
        std::optional<Slip> slip;
        {
            BooksFixture counter(ServerHome(asLogin(db, "kassa1")));
            counter.enterEvent(11, "Зенит", "Спартак");
            counter.takeBet(11, 1, 1000, "Клиент");
            slip = counter.module->LastSlip();
            QVERIFY(counter.settle(11, 1));
        }
        QVERIFY(slip);
        const QString payout = psql(db, "select key from money").value(0);
        const QString result = psql(db, "select key from history where vid = 'Результат'").value(0);
        // A bet with a slip is paid by name by a manager only.
        const QString payer = bySlip ? "kassa1" : "boss2";
        const QString pay = bySlip ? QStringLiteral("select varnel.pay_by_slip(%1, '%2', null)")
                                         .arg(slip->serial)
                                         .arg(slip->code)
                                   : QStringLiteral("select varnel.pay_out(%1, null)").arg(payout);
        const QString undo = QStringLiteral("select varnel.undo_result(%1, null)").arg(result);
        const Race run = payerFirst ? race(db, isolation, payer, pay, "boss1", undo)
                                    : race(db, isolation, "boss1", undo, payer, pay);
        QVERIFY2(run.firstRefused.isEmpty(), qPrintable(run.firstRefused));
        // The second did nothing: refused, or told there was no payout left to pay.
        QVERIFY2(!run.secondRefused.isEmpty() || run.second == QStringList{"f"},
                 qPrintable(run.second.join('|')));
        if (isolation == QLatin1String("read committed"))
            QVERIFY2(run.secondRefused.isEmpty() ||
                         run.secondRefused.contains(payerFirst ? "выплачен" : "ещё не введён"),
                     qPrintable(run.secondRefused));
        // Paid once, or put back once: never both.
        QCOMPARE(books(db), payerFirst ? QStringLiteral("1 0 0 0 0") : QStringLiteral("0 1 1 0 1"));
    }

    // An event without bets settled, and its result undone by two managers at once: it comes
    // back once, at either isolation.
    void twoUndosOfOneResultPutItBackOnce_data() {
        QTest::addColumn<QString>("isolation");
        QTest::newRow("read committed") << "read committed";
        QTest::newRow("repeatable read") << "repeatable read";
    }
    void twoUndosOfOneResultPutItBackOnce() {
        QFETCH(QString, isolation);
        const QString db = withOperators();
        {
            BooksFixture counter(ServerHome(asLogin(db, "boss1")));
            counter.enterEvent(5, "Динамо", "Торпедо");
            QVERIFY(counter.settle(5, 3));
        }
        const QString undo =
            "select varnel.undo_result((select key from history where vid = 'Результат'), null)";
        const Race run = race(db, isolation, "boss1", undo, "boss2", undo);
        QVERIFY2(run.firstRefused.isEmpty(), qPrintable(run.firstRefused));
        QVERIFY(!run.secondRefused.isEmpty());
        if (isolation == QLatin1String("read committed"))
            QVERIFY2(run.secondRefused.contains("уже отменён"), qPrintable(run.secondRefused));
        QCOMPARE(books(db), QStringLiteral("0 1 0 0 1"));
    }

    // A cashier's transaction begun before a moment and left open past it: the operation she
    // then calls decides by the clock as it acts. Past the books' midnight (their time zone
    // made to reach it in three seconds) the event dated that day takes no more bets; past the
    // owner's fifteen minutes her bet is hers to revoke no more.
    void aHeldTransactionActsOnTheClockNotOnItsStart_data() {
        QTest::addColumn<bool>("revoke");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("a bet after the books' midnight") << false << BetsClosedMessage();
        QTest::newRow("a revocation past the minutes") << true << "Слишком поздно";
    }
    void aHeldTransactionActsOnTheClockNotOnItsStart() {
        QFETCH(bool, revoke);
        QFETCH(QString, refusal);
        const QString db = withOperators();
        psql(db, "insert into limits (otmena_min) values (15)");
        {
            BooksFixture counter(ServerHome(asLogin(db, "kassa1")));
            counter.enterEvent(3, "Зенит", "Спартак");
            counter.takeBet(3, 1, 40, "Клиент");
        }
        if (!revoke) {
            // A zone whose midnight comes three seconds from now (a POSIX zone, its offset in
            // seconds, west negative), the event dated the day it brings.
            psql(db, "update settings set time_zone = (select format('VRN%s%s', case when o < 0 "
                     "then '+' else '-' end, to_char(make_interval(secs => abs(o)), "
                     "'HH24:MI:SS')) from (select (86397 - extract(epoch from clock_timestamp())::"
                     "bigint % 86400 + 43200) % 86400 - 43200 as o) z)");
            psql(db, "update compit set date = (clock_timestamp() at time zone (select time_zone "
                     "from settings))::date + 1");
        }
        const QString call = revoke ? "select varnel.revoke_bet(key, number, null) from priem"
                                    : "select o_serial from varnel.take_bet((select key from "
                                      "compit), 3, 2, false, 'Другой', 10, 2, null, null)";
        // Begun now: its now() is this moment's.
        PsqlSession held(asLogin(db, "kassa1"),
                         "begin; select (now() at time zone (select time_zone from settings))::"
                         "date < (select date from compit); select pg_sleep(4.5); " +
                             call + "; commit;");
        held.WaitUntilAsleep(db);
        if (revoke) // her bet, as the sleep begins, a second short of her minutes
            psql(db, "update history set written = clock_timestamp() - interval '14 min 59 s' "
                     "where vid = 'Ставка'");
        QString refused;
        const QStringList rows = held.Finish(&refused);
        QCOMPARE(rows.value(0), QStringLiteral("t")); // begun before the moment
        QVERIFY2(refused.contains(refusal), qPrintable(refused));
        QCOMPARE(psql(db, "select count(*) from priem"), QStringList{"1"});
    }
};

VARNEL_GUILESS_TEST_MAIN(TestInterleavings)
#include "test_interleavings.moc"
