// Operators on the books' server: each logs in as their own role, in the cashiers' or the
// managers' group; the server itself stamps who wrote each history record and refuses what a
// role may not do, whatever program sends the statement (psql here).
#include "office/window/Undo.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "server/ServerHome.h"
#include "store/DataModule6.h"
#include "store/Slip.h"
#include "tests/support/Server.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <thread>

using namespace varnel;
using namespace varnel::test;

namespace {

ToolRun newdesk(const QStringList& args, const QByteArray& input = {}) {
    return runTool(VARNEL_NEWDESK, args, input);
}

const QStringList kCashiers = {QStringLiteral("kassa1"), QStringLiteral("kassa2")};
const QStringList kManagers = {QStringLiteral("boss1"), QStringLiteral("boss2")};

// A statement as a role sends it through psql: its rows, or the server's reason for refusing.
struct Answer {
    QStringList rows;
    QString refusal;
};

Answer tried(const QString& conninfo, const QString& sql) {
    Answer answer;
    answer.rows = psql(conninfo, sql, &answer.refusal);
    return answer;
}

} // namespace

class TestOperators : public QObject {
    Q_OBJECT
    PgServer m_server;
    QString m_shared; // books with operators for the cases that only add to them

    // Books laid out by varnel-newdesk, with two cashiers and two managers (none of them with a
    // password: the test server trusts its socket); the cashiers let enter events and results
    // unless asked otherwise.
    QString withOperators(bool cashiersSettle = true) {
        const QString db = m_server.NewDatabase();
        ToolRun run = newdesk({"--server", db});
        // (nothing on the standard error either: not even the server's notices)
        if (run.status != 0 || !run.err.isEmpty())
            qFatal("varnel-newdesk did not lay out the books quietly: %s", qPrintable(run.err));
        if (cashiersSettle &&
            (run = newdesk({"--server", db, "--cashiers-settle", "yes"})).status != 0)
            qFatal("cashiers not let settle: %s", qPrintable(run.err));
        for (const QString& name : kCashiers + kManagers) {
            run = newdesk({"--server", db, "--add-operator", name, "--role",
                           kCashiers.contains(name) ? "kassa" : "manager", "--no-password"});
            if (run.status != 0)
                qFatal("no operator %s: %s", qPrintable(name), qPrintable(run.err));
        }
        return db;
    }

    // Event 7 entered, bet on and settled by a cashier (Иванов Иван's 100 won): its result's
    // record in the history.
    RecordKey settledByACashier(const QString& db) {
        BooksFixture books(ServerHome(asLogin(db, "kassa1")));
        books.enterEvent(7, "Зенит", "Спартак");
        books.takeBet(7, 1, 100, "Иванов Иван");
        if (!books.settle(7, 1))
            qFatal("event 7 was not settled");
        return psql(db, "select key from history where vid = 'Результат'").value(0).toLongLong();
    }

private slots:
    void operatorsJoinTheirGroupsWithTheirPasswordHashed() {
        const QString db = m_server.NewDatabase();
        QCOMPARE(newdesk({"--server", db}).status, 0);
        const QString name = psql(db, "select current_database()").value(0);
        QCOMPARE(psql(db, "select kind || ' ' || role from varnel.groups order by kind"),
                 QStringList(
                     {"kassa varnel_" + name + "_kassa", "manager varnel_" + name + "_manager"}));

        // Every statement of the operator's making goes to the server's log: the password must
        // not be in it, only its hash reaches the server.
        psql(db, "alter system set log_statement = 'all'; ");
        psql(db, "select pg_reload_conf()");
        const QString password = QStringLiteral("Пароль-кассы-42");
        ToolRun run = newdesk({"--server", db, "--add-operator", "anna", "--role", "kassa"},
                              password.toUtf8() + "\n");
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains("Оператор anna заведён"), qPrintable(run.out));
        QVERIFY(psql(db, "select rolpassword from pg_authid where rolname = 'anna'")
                    .value(0)
                    .startsWith("SCRAM-SHA-256$"));
        const QString dataDir = psql(db, "show data_directory").value(0);
        QFile log(dataDir + "/../server.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray logged = log.readAll();
        QVERIFY(logged.contains("create role \"anna\"") || logged.contains("create role anna"));
        QVERIFY(!logged.contains(password.toUtf8()));
        psql(db, "alter system reset log_statement");
        psql(db, "select pg_reload_conf()");

        // Peer or certificate logins: no password; one already there only joins the group.
        run = newdesk(
            {"--server", db, "--add-operator", "anna", "--role", "manager", "--no-password"});
        QVERIFY2(run.status == 0 && run.out.contains("уже был"), qPrintable(run.out + run.err));
        QCOMPARE(psql(db, "select string_agg(b.rolname, ' ' order by b.rolname) from "
                          "pg_auth_members m join pg_roles a on a.oid = m.member join pg_roles b "
                          "on b.oid = m.roleid where a.rolname = 'anna'"),
                 QStringList{"varnel_" + name + "_kassa varnel_" + name + "_manager"});
        QVERIFY(psql(db, "select rolpassword from pg_authid where rolname = 'anna'")
                    .value(0)
                    .startsWith("SCRAM-SHA-256$"));

        // What cannot be an operator is refused, nothing made: a role of no group is a wrong
        // command line (2), named with the command's forms; a group's name, or none, the
        // server's refusal (1).
        run = newdesk({"--server", db, "--add-operator", "bob", "--role", "boss", "--no-password"});
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains("«boss»") && run.err.contains("--role kassa|manager"),
                 qPrintable(run.err));
        for (const QStringList& args :
             {QStringList{"--add-operator", "varnel_" + name + "_kassa", "--role", "kassa",
                          "--no-password"},
              QStringList{"--add-operator", "", "--role", "kassa", "--no-password"}}) {
            run = newdesk(QStringList{"--server", db} + args);
            QVERIFY2(run.status == 1 && !run.err.isEmpty(), qPrintable(args.join(' ')));
        }
        QCOMPARE(psql(db, "select count(*) from pg_roles where rolname = 'bob'"), QStringList{"0"});
        // A name the history's code page cannot hold would refuse every action of theirs.
        run =
            newdesk({"--server", db, "--add-operator", "José", "--role", "kassa", "--no-password"});
        QVERIFY2(run.status == 1 && run.err.contains("Windows-1251") && run.err.contains("«Jose»"),
                 qPrintable(run.err));
        QCOMPARE(psql(db, "select count(*) from pg_roles where rolname = 'José'"),
                 QStringList{"0"});
        // An empty password from standard input is no password at all.
        run = newdesk({"--server", db, "--add-operator", "carl", "--role", "kassa"}, "\n");
        QCOMPARE(run.status, 1);
        QCOMPARE(psql(db, "select count(*) from pg_roles where rolname = 'carl'"),
                 QStringList{"0"});
    }

    // A wrong command line is refused before the server is asked anything, the word at fault
    // named and every form of the command after it; --help is no error.
    void aWrongCommandLineIsNamedAndNothingIsLaidOut_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown option") << QStringList{"--upgrade", "--force"} << "ключ --force";
        QTest::newRow("two actions") << QStringList{"--upgrade", "--from", "old"} << "вместе";
        QTest::newRow("no value") << QStringList{"--add-operator"} << "после --add-operator";
        QTest::newRow("no role") << QStringList{"--add-operator", "bob"} << "нужна --role";
        QTest::newRow("role alone") << QStringList{"--role", "kassa"} << "только с --add-operator";
        QTest::newRow("stray word") << QStringList{"books"} << "аргумент «books»";
    }
    void aWrongCommandLineIsNamedAndNothingIsLaidOut() {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        const QString db = m_server.NewDatabase();
        const ToolRun run = newdesk(QStringList{"--server", db} + args);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.startsWith("varnel-newdesk: ") && run.err.contains(says) &&
                     run.err.contains("varnel-newdesk --server СТРОКА_СОЕДИНЕНИЯ --upgrade"),
                 qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
        QCOMPARE(psql(db, "select to_regnamespace('varnel') is null"), QStringList{"t"});

        const ToolRun help = newdesk({"--help"});
        QCOMPARE(help.status, 0);
        QVERIFY(help.err.isEmpty());
        for (const char* form : {"varnel-newdesk ПАПКА [РИСУНКИ]", "--from ПАПКА", "--upgrade",
                                 "--add-operator ИМЯ --role kassa|manager", "--no-password"})
            QVERIFY2(help.out.contains(QString::fromUtf8(form)), form);
    }

    void eachRecordNamesWhoWroteIt() {
        const QString db = withOperators();
        {
            BooksFixture books(ServerHome(asLogin(db, "kassa1")));
            books.enterEvent(7, "Зенит", "Спартак");
        }
        for (const QString& name : kCashiers + kManagers) {
            BooksFixture books(ServerHome(asLogin(db, name)));
            books.takeBet(7, 1, 10, "Клиент " + name);
            QVERIFY2(books.errors.messages.isEmpty(), qPrintable(books.errors.messages.join('\n')));
        }
        QCOMPARE(psql(db, "select vid || ' ' || kassir || ' ' || coalesce(fio, '') from history "
                          "order by key"),
                 QStringList({"Событие kassa1 ", "Ставка kassa1 Клиент kassa1",
                              "Ставка kassa2 Клиент kassa2", "Ставка boss1 Клиент boss1",
                              "Ставка boss2 Клиент boss2"}));
    }

    // On new books a cashier enters no event and no result, refused before anything is
    // written, by the counter and by the server, until the owner lets cashiers do it.
    void onlyManagersEnterEventsAndResultsUnlessTheOwnerSaysSo() {
        const QString db = withOperators(false);
        const QString refusal =
            "Вводить события и результаты на этих книгах может только менеджер.";
        {
            BooksFixture cashier(ServerHome(asLogin(db, "kassa1")));
            QVERIFY_THROWS_EXCEPTION(ERuleRefused, cashier.enterEvent(7, "Зенит", "Спартак"));
            cashier.module->TableCompit->Cancel(); // as the dialog drops what it did not enter
            BooksFixture manager(ServerHome(asLogin(db, "boss1")));
            manager.enterEvent(7, "Зенит", "Спартак");
            cashier.takeBet(7, 1, 10, "Клиент");
            try {
                cashier.settle(7, 1);
                QFAIL("a cashier settled");
            } catch (const ERuleRefused& refused) {
                QVERIFY2(refused.message().startsWith(refusal) &&
                             refused.message().contains("--cashiers-settle yes"),
                         qPrintable(refused.message()));
            }
        }
        QVERIFY(tried(asLogin(db, "kassa1"), "select varnel.settle(key, kom1, null) from compit")
                    .refusal.contains(refusal));
        QCOMPARE(newdesk({"--server", db, "--cashiers-settle", "yes"}).status, 0);
        BooksFixture cashier(ServerHome(asLogin(db, "kassa1")));
        QVERIFY(cashier.settle(7, 1));
        QCOMPARE(psql(db, "select count(*) from compit union all select count(*) from money"),
                 QStringList({"0", "1"}));
        QCOMPARE(newdesk({"--server", db, "--cashiers-settle", "maybe"}).status, 2);
    }

    // Every refusal tried as each role, with psql: the server decides, not the program.
    void theServerRefusesWhatARoleMayNotDo() {
        const QString db = withOperators();
        psql(db, "insert into history (vid, fio) values ('Ставка', 'до всех')");
        const QString kassa = psql(db, "select role from varnel.groups where kind = 'kassa'")[0];
        const QString manager =
            psql(db, "select role from varnel.groups where kind = 'manager'")[0];
        const QString denied = QStringLiteral("permission denied");
        const QString undoDenied = QStringLiteral("Отменять результат может только менеджер.");
        psql(db, "create role stranger login");

        struct Attempt {
            QString sql;
            QString cashier; // the refusal a cashier gets; empty when allowed
            QString manager; // the same for a manager
        };
        // No table is written but through the books' operations; a login of no group may do
        // nothing at all.
        const QList<Attempt> attempts = {
            {"update history set fio = 'переписано'", denied, denied},
            {"delete from history", denied, denied},
            {"delete from money", denied, denied},
            {"update limits set stavka_min = 1", denied, denied},
            {"truncate history", denied, denied},
            {"truncate priem", denied, denied},
            {"insert into history (vid) values ('Ставка')", denied, denied},
            {"insert into history (vid) values ('Отмена')", denied, denied},
            {"set role " + manager + "; insert into history (vid) values ('Отмена')",
             "permission denied to set role", denied},
            {"update priem set koeficient = 50", denied, denied},
            {"delete from priem", denied, denied},
            {"insert into money (fio, summa) values ('Друг', 25000)", denied, denied},
            {"insert into compit (number, kom1, kom2) values (9, 'А', 'Б')", denied, denied},
            {"update compit set summ_1 = 1", denied, denied},
            {"insert into tmp (num) values (1)", denied, denied},
            {"select nextval('varnel.serial')", denied, denied},
            {"create table varnel.extra (a int)", denied, denied},
            {"create table public.extra (a int)", denied, denied},
            {"alter table priem add column extra int", "must be owner", "must be owner"},
            {"drop table history", "must be owner", "must be owner"},
            {"create or replace function varnel.may_undo() returns boolean language sql as "
             "$$ select true $$",
             denied, denied},
            {"drop trigger history_written on history", "must be owner", "must be owner"},
            {"alter table history disable trigger history_written", "must be owner",
             "must be owner"},
            {"grant " + manager + " to current_user", "must have admin option",
             "must have admin option"},
            // The operations refuse by the rules, whoever calls them.
            {"select varnel.take_bet(-1, 1, 1, false, 'К', 10, 1, null, null)", "event gone",
             "event gone"},
            {"select varnel.take_bet(-1, 1, 1, false, 'К', 0, 1, null, null)", WrongStakeMessage(),
             WrongStakeMessage()},
            // The seals of the payout codes are the operations' alone: a slip is paid by its
            // code, never by reading the books.
            {"select kod from history", denied, denied},
            {"select * from history", denied, denied},
            {"select count(*) from history where kod is not null", denied, denied},
            {"select varnel.pay_by_slip(1, '0', null)", SlipUnknownMessage(), SlipUnknownMessage()},
            {"select varnel.revoke_bet(-1, 1, null)", RevokeSettledMessage(),
             RevokeSettledMessage()},
            {"select varnel.undo_result(-1, null)", undoDenied, "не ввод результата"},
            {"select varnel.set_limits(100, 1, null, null, null, null)",
             "Лимиты устанавливает только менеджер.", "Наименьшая ставка больше наибольшей."},
            {"select varnel.pay_out(-1, null)", {}, {}},
            // A head is written down for the day report alone, once a head.
            {"select count(*) from varnel.write_digest('мой')", "отчёту за день", "отчёту за день"},
            {"select count(*) from varnel.write_digest('отчёт за день')", {}, {}},
            {"select count(*) from varnel.write_digest('отчёт за день')", {}, {}},
            {"select varnel.set_limits(1, 100, null, null, 15, null)",
             "Лимиты устанавливает только менеджер.",
             {}},
        };
        for (const QString& name : kCashiers + kManagers + QStringList{"stranger"}) {
            const bool isManager = kManagers.contains(name);
            for (const Attempt& attempt : attempts) {
                const Answer answer = tried(asLogin(db, name), attempt.sql);
                const QString expected = isManager ? attempt.manager : attempt.cashier;
                const QString what = name + ": " + attempt.sql + " -> " + answer.refusal;
                if (name == "stranger")
                    QVERIFY2(!answer.refusal.isEmpty(), qPrintable(what));
                else if (expected.isEmpty())
                    QVERIFY2(answer.refusal.isEmpty(), qPrintable(what));
                else
                    QVERIFY2(answer.refusal.contains(expected), qPrintable(what));
            }
            if (name == "stranger")
                continue;
            QCOMPARE(psql(asLogin(db, name), "select varnel.may_undo()"),
                     QStringList{isManager ? "t" : "f"});
            // An operation's record names its caller.
            const QString payout =
                psql(db, "insert into money (fio, summa) values ('Клиент', 1) returning key")[0];
            QCOMPARE(psql(asLogin(db, name), "select varnel.pay_out(" + payout + ", null)"),
                     QStringList{"t"});
        }
        // Nothing the refusals tried is in the books: the history is what was written.
        QCOMPARE(
            psql(db,
                 "select rtrim(vid) || ' ' || coalesce(kassir, '-') || coalesce(' ' || fio, '') "
                 "from history where vid <> 'Ставка' or fio is not null order by key"),
            QStringList({"Ставка - до всех", "Выплата kassa1 Клиент", "Выплата kassa2 Клиент",
                         "Лимиты boss1", "Выплата boss1 Клиент", "Лимиты boss2",
                         "Выплата boss2 Клиент"}));
        QCOMPARE(
            psql(db, "select stavka_min || ' ' || stavka_max || ' ' || otmena_min from limits"),
            QStringList{"1.0000 100.0000 15"});
        QCOMPARE(psql(db, "select count(*) from history where fio = 'переписано'"),
                 QStringList{"0"});
        QCOMPARE(psql(db, "select count(*) = count(distinct head) and count(*) > 0 and "
                          "bool_and(why = 'отчёт за день') from digests where why <> 'день'"),
                 QStringList{"t"});
        QCOMPARE(psql(db, "select count(*) from compit"), QStringList{"0"});

        // Any login works under the books' limits on its transactions, psql's as the program's.
        QCOMPARE(psql(asLogin(db, "stranger"),
                      "select current_setting('idle_in_transaction_session_timeout') || ' ' || "
                      "current_setting('lock_timeout')"),
                 QStringList{QStringLiteral("%1s %2s")
                                 .arg(kIdleInTransactionMs / 1000)
                                 .arg(kLockTimeoutMs / 1000)});
        // A login outside the groups reads nothing; the owner alone may mend the history.
        QVERIFY(!tried(asLogin(db, "stranger"), "select count(*) from priem").refusal.isEmpty());
        QVERIFY(tried(asLogin(db, "stranger"), "select varnel.pay_out(1, null)")
                    .refusal.contains(denied));
        QVERIFY(tried(asLogin(db, "stranger"), "select count(*) from varnel.history")
                    .refusal.contains(denied));
        QCOMPARE(psql(db, "update history set fio = 'исправлено' where fio = 'до всех' "
                          "returning fio"),
                 QStringList{"исправлено"});
        QCOMPARE(psql(db, "select pg_has_role('kassa1', '" + kassa + "', 'MEMBER')"),
                 QStringList{"t"});
    }

    void onlyAManagerUndoesAResult() {
        const QString db = withOperators();
        const RecordKey result = settledByACashier(db);
        const QStringList before = psql(db, "select count(*) from history union all select "
                                            "count(*) from compit union all select count(*) "
                                            "from money");
        const auto yes = [](const QString&) { return true; };
        const office::UndoAttempt refused =
            office::UndoResultOnServer(asLogin(db, "kassa2"), result, yes);
        QCOMPARE(refused.outcome, office::UndoAttempt::Outcome::Refused);
        QVERIFY2(refused.message.contains("Отменять результат может только менеджер."),
                 qPrintable(refused.message));
        QCOMPARE(psql(db, "select count(*) from history union all select count(*) from compit "
                          "union all select count(*) from money"),
                 before);

        const office::UndoAttempt done =
            office::UndoResultOnServer(asLogin(db, "boss2"), result, yes);
        QVERIFY2(done.outcome == office::UndoAttempt::Outcome::Done, qPrintable(done.message));
        QCOMPARE(psql(db, "select vid || ' ' || kassir from history where vid in ('Отмена', "
                          "'Возврат') order by key"),
                 QStringList({"Отмена boss2", "Возврат boss2"}));
        QCOMPARE(psql(db, "select count(*) from priem union all select count(*) from money"),
                 QStringList({"1", "0"}));
    }

    // Two managers undo the same result at once: the second waits for the first, then is told
    // that it was undone already; the event comes back once.
    void twoUndosOfOneResultAtOnceUndoItOnce() {
        const QString db = withOperators();
        const RecordKey result = settledByACashier(db);
        const auto yes = [](const QString&) { return true; };
        office::UndoAttempt second;
        std::thread other;
        ServerConnection::Observe([&](const QString& statement, int) {
            if (other.joinable() || statement != QLatin1String("commit"))
                return false;
            other = std::thread(
                [&] { second = office::UndoResultOnServer(asLogin(db, "boss2"), result, yes); });
            QThread::msleep(500); // it reaches the hold and waits there
            return false;
        });
        const office::UndoAttempt first =
            office::UndoResultOnServer(asLogin(db, "boss1"), result, yes);
        ServerConnection::Observe({});
        QVERIFY(other.joinable());
        other.join();
        QVERIFY2(first.outcome == office::UndoAttempt::Outcome::Done, qPrintable(first.message));
        QCOMPARE(second.outcome, office::UndoAttempt::Outcome::Refused);
        QVERIFY2(second.message.contains("он уже отменён"), qPrintable(second.message));
        QCOMPARE(psql(db, "select count(*) from compit union all select count(*) from history "
                          "where vid = 'Отмена'"),
                 QStringList({"1", "1"}));
    }

    // A cashier revokes a bet only within the owner's minutes after the server wrote it, and
    // none when the owner set none; a manager at any time. Past them the server's guard refuses
    // the cashier's record of a revocation, whatever program sends it.
    void aCashierRevokesABetOnlyWithinTheOwnersMinutes_data() {
        QTest::addColumn<QString>("who");
        QTest::addColumn<QString>("minutes"); // the owner's limit
        QTest::addColumn<double>("age");      // of the bet, in minutes
        QTest::addColumn<QString>("refusal"); // empty: revoked
        QTest::newRow("cashier within") << "kassa1"
                                        << "15" << 14.0 << "";
        QTest::newRow("cashier past") << "kassa1"
                                      << "15" << 16.0 << "Слишком поздно";
        QTest::newRow("cashier half a minute past") << "kassa1"
                                                    << "15" << 15.5 << "Слишком поздно";
        QTest::newRow("cashier, none set") << "kassa1"
                                           << "null" << 0.0 << "не установлено";
        QTest::newRow("manager past") << "boss1"
                                      << "15" << 600.0 << "";
    }
    void aCashierRevokesABetOnlyWithinTheOwnersMinutes() {
        QFETCH(QString, who);
        QFETCH(QString, minutes);
        QFETCH(double, age);
        QFETCH(QString, refusal);
        const QString db = withOperators();
        psql(db, "insert into limits (otmena_min) values (" + minutes + ")");
        {
            BooksFixture books(ServerHome(asLogin(db, "kassa2")));
            books.enterEvent(3, "Динамо", "Торпедо");
            books.takeBet(3, 1, 40, "Клиент");
        }
        psql(db, QStringLiteral("update history set written = written - interval '%1 minutes'")
                     .arg(age));
        {
            BooksFixture books(ServerHome(asLogin(db, who)));
            books.module->TableStavka->First();
            QString message;
            try {
                books.module->RevokeBet();
            } catch (const ERuleRefused& refused) {
                message = refused.message();
            }
            QVERIFY2(refusal.isEmpty() ? message.isEmpty() : message.contains(refusal),
                     qPrintable(message));
        }
        QCOMPARE(psql(db, "select (select count(*) from priem) || ' ' || summ_1 from compit"),
                 QStringList{refusal.isEmpty() ? "0 500.0000" : "1 540.0000"});
        QCOMPARE(psql(db, "select vid || ' ' || kassir from history order by key desc limit 1"),
                 QStringList{(refusal.isEmpty() ? "Отзыв " + who : "Ставка kassa2")});
        if (refusal.isEmpty())
            return;
        // The server's operation refuses it as the counter did.
        const Answer forged =
            tried(asLogin(db, who), "select varnel.revoke_bet(key, number, null) from priem");
        QVERIFY2(forged.refusal.contains(refusal), qPrintable(forged.refusal));
    }

    // A record a cashier writes by hand, were she given the right, is held to what the program
    // writes: one of its kinds as it spells them (no other spelling to slip past the guard and
    // the readers), on the day and at the time of the server's clock in the books' time zone,
    // whatever the statement says.
    void theHistoryTakesTheProgramsKindsOnTheServersClock_data() {
        QTest::addColumn<QString>("vid"); // as an SQL literal
        QTest::addColumn<bool>("taken");
        QTest::newRow("as the program writes it") << "'Ставка'" << true;
        QTest::newRow("a tab first") << "E'\\tОтмена'" << false;
        QTest::newRow("a space first") << "' Отмена'" << false;
        QTest::newRow("upper case") << "'ОТМЕНА'" << false;
        QTest::newRow("a no-break space") << "U&'Возврат\\00A0'" << false;
        QTest::newRow("none") << "null" << false;
    }
    void theHistoryTakesTheProgramsKindsOnTheServersClock() {
        QFETCH(QString, vid);
        QFETCH(bool, taken);
        if (m_shared.isEmpty()) {
            m_shared = withOperators();
            // Held whatever right an operator is given by mistake.
            psql(m_shared, "grant insert on history to " +
                               psql(m_shared, "select role from varnel.groups where kind = "
                                              "'kassa'")[0]);
        }
        const Answer answer = tried(
            asLogin(m_shared, "kassa1"),
            "insert into history (vid, den, vremya) values (" + vid +
                ", current_date - 30, '00:00:00') returning den = (now() at time zone (select "
                "time_zone from settings))::date and vremya <> '00:00:00'");
        QCOMPARE(answer.rows, taken ? QStringList{"t"} : QStringList{});
        QVERIFY2(taken || answer.refusal.contains("такого вида"), qPrintable(answer.refusal));
    }

    // The layout this program writes is kept as a dump of books it laid out, for the upgrade
    // from it that the next layout brings: loaded, its schema is the one laid out now.
    void theNewestDumpIsTheLayoutThisProgramWrites() {
        const QString dump =
            QStringLiteral(VARNEL_TESTS_DIR "/data/server-books-v%1.sql").arg(kServerSchemaVersion);
        QVERIFY2(QFile::exists(dump), qPrintable(dump + " is missing"));
        // The dumps name the books' groups after a database named books.
        const QString admin = m_server.Conninfo(QStringLiteral("postgres"));
        const QString books = m_server.Conninfo(QStringLiteral("books"));
        const auto schema = [&] {
            QProcess dumped;
            dumped.setProcessEnvironment(childEnvironment());
            dumped.start(QStringLiteral("pg_dump"),
                         {QStringLiteral("--schema-only"), QStringLiteral("--schema=varnel"),
                          QStringLiteral("--no-owner"), books});
            if (!dumped.waitForFinished(60000) || dumped.exitCode() != 0)
                qFatal("pg_dump: %s", dumped.readAllStandardError().constData());
            QStringList lines;
            for (const QString& line :
                 QString::fromUtf8(dumped.readAllStandardOutput()).split('\n'))
                if (!line.startsWith(QLatin1String("\\restrict")) &&
                    !line.startsWith(QLatin1String("\\unrestrict")) &&
                    !line.startsWith(QLatin1String("-- Dumped")))
                    lines << line;
            psql(admin, "drop database books");
            return lines;
        };
        psql(admin, "create database books");
        {
            ServerConnection server(books);
            LayOutServer(server);
        }
        const QStringList laidOut = schema();
        psql(admin, "create database books");
        psql(books, "\\i " + dump);
        const QStringList kept = schema();
        QCOMPARE(kept, laidOut);
    }

    // Books of each earlier layout, from a dump of it: refused as they are, upgraded with every
    // record kept, and working as new ones after.
    void booksOfAnEarlierLayoutAreUpgradedWithEveryRecord_data() {
        QTest::addColumn<QString>("dump");
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("unnamed"); // history records that name no operator after
        QTest::addColumn<int>("records");     // of the four tables
        QTest::addColumn<int>("serial");      // of the next bet
        QTest::newRow("1") << "server-books-v1.sql" << 1 << "4" << 8 << 4;
        QTest::newRow("2") << "server-books-v2.sql" << 2 << "0" << 8 << 4;
        QTest::newRow("3") << "server-books-v3.sql" << 3 << "0" << 8 << 4;
        QTest::newRow("4") << "server-books-v4.sql" << 4 << "0" << 8 << 4;
        QTest::newRow("5") << "server-books-v5.sql" << 5 << "0" << 8 << 4;
        QTest::newRow("6") << "server-books-v6.sql" << 6 << "0" << 10 << 5;
        QTest::newRow("9") << "server-books-v9.sql" << 9 << "0" << 14 << 6;
    }
    void booksOfAnEarlierLayoutAreUpgradedWithEveryRecord() {
        QFETCH(QString, dump);
        QFETCH(int, version);
        QFETCH(QString, unnamed);
        QFETCH(int, records);
        QFETCH(int, serial);
        const QString db = m_server.NewDatabase();
        // The groups of the dumped books belong to the cluster, not to the dump.
        for (const char* group : {"varnel_books_kassa", "varnel_books_manager",
                                  "varnel_books_operations", "varnel_books_sealer"})
            psql(db, QStringLiteral("do $$ begin if not exists (select from pg_roles where rolname "
                                    "= '%1') then create role %1 nologin; end if; end $$")
                         .arg(group));
        psql(db, "\\i " VARNEL_TESTS_DIR "/data/" + dump);
        if (version == 1) // as the first layout left them: the schema open to every login
            psql(db, "grant usage on schema varnel to public");
        // Each record as it was; what later layouts add to a table is not compared.
        const QString rows = QStringLiteral("select '%1 ' || (to_jsonb(t) - 'kassir' - 'vypl_1' - "
                                            "'vypl_2' - 'vypl_n' - 'written' - 'kod' - "
                                            "'xact')::text from varnel.%1 t order by key");
        QStringList before;
        for (const char* table : {"compit", "priem", "money", "history"})
            before += psql(db, rows.arg(table));
        QCOMPARE(before.size(), records);

        // Nothing opens them as they are: the counter, the export and new operators say why.
        {
            ServerConnection server(db);
            try {
                RequireServerBooks(server);
                QFAIL("books of the first layout taken as they are");
            } catch (const EServerError& error) {
                QVERIFY2(error.message().contains("--upgrade"), qPrintable(error.message()));
            }
        }
        ToolRun run = newdesk(
            {"--server", db, "--add-operator", "kassa1", "--role", "kassa", "--no-password"});
        QVERIFY2(run.status == 1 && run.err.contains("--upgrade"), qPrintable(run.err));

        run = newdesk({"--server", db, "--upgrade"});
        QVERIFY2(run.status == 0 &&
                     run.out.contains(QStringLiteral("обновлены с версии %1 до версии %2")
                                          .arg(version)
                                          .arg(kServerSchemaVersion)),
                 qPrintable(run.out + run.err));
        QStringList after;
        for (const char* table : {"compit", "priem", "money", "history"})
            after += psql(db, rows.arg(table));
        QCOMPARE(after, before);
        QCOMPARE(psql(db, "select count(*) from history where kassir is null"),
                 QStringList{unnamed});
        QCOMPARE(psql(db, "select max(version) from varnel.version"),
                 QStringList{QString::number(kServerSchemaVersion)});
        QCOMPARE(psql(db, "select count(*) from pg_namespace n, aclexplode(n.nspacl) a where "
                          "n.nspname = 'varnel' and a.grantee = 0"),
                 QStringList{"0"}); // nothing left to PUBLIC
        // Their cashiers go on entering events and results, as they did; every login to them
        // works under the books' limits, as on new books.
        QCOMPARE(psql(db, "select cashiers_settle from varnel.settings"), QStringList{"t"});
        QCOMPARE(psql(db, "select current_setting('idle_in_transaction_session_timeout')"),
                 QStringList{QStringLiteral("%1s").arg(kIdleInTransactionMs / 1000)});
        run = newdesk({"--server", db, "--upgrade"});
        QVERIFY2(run.status == 0 &&
                     run.out.contains(QStringLiteral("уже версии %1").arg(kServerSchemaVersion)),
                 qPrintable(run.out));

        // The upgraded books work as new ones: an operator of them takes a bet, named in it.
        QCOMPARE(newdesk({"--server", db, "--add-operator", "kassa1", "--role", "kassa",
                          "--no-password"})
                     .status,
                 0);
        {
            BooksFixture books(ServerHome(asLogin(db, "kassa1")));
            books.enterEvent(8, "Динамо", "Торпедо");
            books.takeBet(8, 2, 30, "Новый Клиент");
            QVERIFY2(books.errors.messages.isEmpty(), qPrintable(books.errors.messages.join('\n')));
        }
        QCOMPARE(psql(db, "select kassir || ' ' || serial from history order by key desc limit 1"),
                 QStringList{QStringLiteral("kassa1 %1").arg(serial)}); // the serials go on
        QVERIFY(tried(asLogin(db, "kassa1"), "delete from history").refusal.contains("permission"));
        QVERIFY(tried(asLogin(db, "kassa1"), "update priem set koeficient = 50")
                    .refusal.contains("permission"));
        // Every operation runs as a role that can neither log in nor do what a superuser does.
        QCOMPARE(psql(db, "select count(*) from pg_proc p join pg_roles r on r.oid = p.proowner "
                          "where p.pronamespace = 'varnel'::regnamespace and p.prosecdef and "
                          "(r.rolsuper or r.rolcanlogin)"),
                 QStringList{"0"});
    }
};

VARNEL_TEST_MAIN(TestOperators)
#include "test_operators.moc"
