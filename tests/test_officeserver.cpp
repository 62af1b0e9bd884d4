// The back office on the books of a server: it follows what any counter commits as the server
// tells it, finds its way back after the server restarts, reads a hot standby for viewing only,
// and shows each cashier's work.
#include "office/books/Format.h"
#include "office/books/HistoryModel.h"
#include "office/window/CashView.h"
#include "office/window/HistoryView.h"
#include "office/window/OfficeWindow.h"
#include "server/Connection.h"
#include "server/Follower.h"
#include "server/Questions.h"
#include "server/Schema.h"
#include "server/ServerHome.h"
#include "store/DataModule6.h"
#include "store/Figures.h"
#include "store/History.h"
#include "store/HistoryScan.h"
#include "store/Home.h"
#include "store/Tables.h"
#include "tests/support/Office.h"
#include "tests/support/Server.h"
#include "tests/support/Standby.h"
#include "tests/support/TestMain.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>

using namespace varnel;
using namespace varnel::office;
using namespace varnel::test;

namespace {

QString laidOut(PgServer& pg) {
    const QString db = pg.NewDatabase();
    ServerConnection server(db);
    if (!LayOutServer(server))
        qFatal("the new database holds books already");
    return db;
}

// Whether the window shows what the server held at its last look, waiting for it.
bool read(const OfficeWindow& window) {
    return QTest::qWaitFor([&] { return window.Settled(); }, 15000);
}

// An office window on the books of a server, through a folder that names it.
struct OfficeOn {
    explicit OfficeOn(const QString& conninfo) {
        nameBooksServer(folder.path(), conninfo);
        if (!window.OpenFolder(folder.path()) || !read(window))
            qFatal("the office did not open the server's books");
    }
    QTemporaryDir folder;
    OfficeWindow window;

    qsizetype bets() const { return window.CurrentBooks()->BetCount(); }
    QString state() const { return control<QLabel>(&window, "ReadingState")->text(); }
};

// How long, in milliseconds, until the window shows a count of bets; -1 when it did not within
// `patienceMs`. The event loop runs meanwhile, as it does in the program.
qint64 untilShown(const OfficeOn& office, qsizetype bets, int patienceMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    if (!QTest::qWaitFor([&] { return office.bets() == bets; }, patienceMs))
        return -1;
    return clock.elapsed();
}

// The value at a share (0..1) of the measured times, sorted.
qint64 percentile(QList<qint64> times, double share) {
    std::sort(times.begin(), times.end());
    return times.at(std::min<qsizetype>(times.size() - 1, qsizetype(share * times.size())));
}

QString times(const QList<qint64>& measured) {
    return QStringLiteral("median %1 ms, 95th percentile %2 ms, longest %3 ms")
        .arg(percentile(measured, 0.5))
        .arg(percentile(measured, 0.95))
        .arg(percentile(measured, 1));
}

// Puts the history's current row on the newest «Результат» record of an event.
bool onResultOf(OfficeWindow& window, int number) {
    window.ShowView(0);
    HistoryModel* model = window.History()->Model();
    if (!QTest::qWaitFor([&] { return !model->Busy(); }, 30000))
        return false;
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->Value(row, fields::VID).toString() == kinds::Result() &&
            model->Value(row, fields::NUMBER) == Variant(number)) {
            window.History()->Table()->setCurrentIndex(model->index(row, 0));
            return true;
        }
    return false;
}

QAction* undoAction(const OfficeWindow& window) {
    auto* action = window.findChild<QAction*>(QStringLiteral("ActionUndo"));
    if (!action)
        qFatal("no undo action");
    return action;
}

} // namespace

class TestOfficeServer : public QObject {
    Q_OBJECT

private slots:
    // Every bet committed at another counter is in the views within half a second of its
    // commit: told by the server, not found by asking it every few seconds. A burst of commits
    // is read once, not once each; and the office's connections wait idle, holding nothing.
    void aCommitElsewhereIsShownWithinHalfASecond() {
        PgServer pg;
        const QString db = laidOut(pg);
        BooksFixture counter(ServerHome(db));
        counter.enterEvent(1, "Спартак", "Зенит");
        counter.enterEvent(2, "Динамо", "Торпедо");
        OfficeOn office(db);
        QCOMPARE(office.bets(), 0);
        counter.takeBet(1, 1, 10, "Первый");
        QVERIFY(untilShown(office, 1) >= 0);
        // The line under the history tells every record there is, once the commit is shown.
        counter.takeBet(2, 1, 10, "Второй");
        QTRY_COMPARE(control<QLabel>(&office.window, "HistoryCount")->text(),
                     "Записей в истории: " + psql(db, "select count(*) from history")[0]);
        QCOMPARE(office.window.History()->Model()->rowCount(), 4);
        counter.takeBet(2, 1, 10, "Третий");
        QTRY_COMPARE(control<QLabel>(&office.window, "HistoryCount")->text(),
                     QStringLiteral("Записей в истории: 5"));

        QList<qint64> measured;
        for (int i = 4; i <= 23; ++i) {
            counter.takeBet(1 + i % 2, 1 + i % 3, 10 + i, QStringLiteral("Клиент %1").arg(i));
            const qint64 ms = untilShown(office, i);
            QVERIFY2(ms >= 0, qPrintable(QStringLiteral("bet %1 never shown").arg(i)));
            measured << ms;
            QTest::qWait(i % 4 == 0 ? 700 : 60); // some while the follower is between checks
        }
        qInfo("a bet committed elsewhere to the office showing it: %s",
              qPrintable(times(measured)));
        QVERIFY2(percentile(measured, 0.95) <= 500, qPrintable(times(measured)));
        QCOMPARE(counter.errors.messages, QStringList());

        // Thirty commits while the window is busy: they make a reading or two, not thirty.
        std::atomic<int> readings{0};
        ServerConnection::Observe([&readings](const QString& statement, int) {
            if (statement.contains(QLatin1String("pg_is_in_recovery(), varnel.may_undo()")))
                ++readings;
            return false;
        });
        for (int i = 0; i < 30; ++i)
            counter.takeBet(2, 2, 5, QStringLiteral("Залп %1").arg(i));
        const int before = readings.load(); // the counter's own work is no office's reading
        const qint64 ms = untilShown(office, 53);
        QTest::qWait(300);
        ServerConnection::Observe({});
        QVERIFY2(ms >= 0, "the burst was not shown");
        QCOMPARE(before, 0);
        QVERIFY2(readings.load() >= 1 && readings.load() <= 3,
                 qPrintable(QStringLiteral("%1 readings").arg(readings.load())));

        // Between its readings nothing of the office stays in a transaction.
        QCOMPARE(psql(db, "select count(*) from pg_stat_activity where datname = "
                          "current_database() and state like 'idle in transaction%'"),
                 QStringList{"0"});
    }

    // The server stopped and started again: the office says it is gone, and once it is back
    // reads the books again by itself and listens again, a commit shown at once as before.
    void listensAgainAfterTheServerRestarts() {
        PgServer pg;
        const QString db = laidOut(pg);
        BooksFixture counter(ServerHome(db));
        counter.enterEvent(1, "Спартак", "Зенит");
        OfficeOn office(db);
        counter.takeBet(1, 1, 10, "До остановки");
        QVERIFY(untilShown(office, 1) >= 0);

        pg.Stop("fast");
        QTRY_VERIFY_WITH_TIMEOUT(office.state().startsWith("Нет связи с сервером"),
                                 ServerFollower::kCheckMs * 3);
        QCOMPARE(office.bets(), 1); // the books read last stay shown
        pg.Start();
        // Committed before the office is back: read when it is, never having been notified.
        counter.takeBet(1, 2, 20, "Пока не было связи");
        QVERIFY(untilShown(office, 2, ServerFollower::kCheckMs * 4) >= 0);
        QTRY_VERIFY(office.state().startsWith("Прочитано"));

        QList<qint64> measured;
        for (int i = 3; i <= 6; ++i) {
            counter.takeBet(1, 1, 10, QStringLiteral("После %1").arg(i));
            measured << untilShown(office, i);
            QVERIFY(measured.last() >= 0);
        }
        qInfo("after the restart: %s", qPrintable(times(measured)));
        QVERIFY2(percentile(measured, 1) <= 500, qPrintable(times(measured)));
        QCOMPARE(counter.errors.messages, QStringList());
    }

    // A hot standby: the office reads it, says in the window that it only shows the books as
    // they are replayed and that no result can be undone there, offers no undo, and follows a
    // bet committed on the primary as the standby replays it; promoted, it is worked on as a
    // primary.
    void aStandbyIsShownReadOnlyAndFollowsThePrimary() {
        PgServer pg;
        const QString db = laidOut(pg);
        BooksFixture counter(ServerHome(db));
        counter.enterEvent(1, "Спартак", "Зенит");
        counter.enterEvent(2, "Динамо", "Торпедо");
        counter.takeBet(1, 1, 100, "Иванов Иван");
        counter.takeBet(2, 2, 40, "Петров Пётр");
        QVERIFY(counter.settle(2, 2));
        PgStandby standby(db);
        const QString replica = standby.Conninfo(db);
        QVERIFY(standby.CaughtUp(db));
        QCOMPARE(psql(replica, "select pg_is_in_recovery()"), QStringList{"t"});

        OfficeOn office(replica);
        OfficeWindow& window = office.window;
        QVERIFY(window.OnStandby());
        QCOMPARE(office.bets(), 1);
        QCOMPARE(window.History()->Model()->rowCount(),
                 psql(db, "select count(*) from history").value(0).toInt());
        auto* banner = control<QLabel>(&window, "ServerBanner");
        QVERIFY(!banner->isHidden());
        QVERIFY2(banner->text().contains("Резервный сервер") &&
                     banner->text().contains("только просмотр") &&
                     banner->text().contains("по мере воспроизведения") &&
                     banner->text().contains("отмена результата недоступна"),
                 qPrintable(banner->text()));

        // No undo offered on the result, and none done when asked all the same.
        QVERIFY(!window.UndoOffered());
        QVERIFY(onResultOf(window, 2));
        QVERIFY(window.History()->CurrentResultRecord() >= 0);
        QVERIFY(!undoAction(window)->isEnabled());
        QVERIFY(undoAction(window)->statusTip().contains("резервном"));
        const QStringList history = psql(db, "select count(*) from history");
        window.UndoResult();
        QCOMPARE(counter.errors.messages.size(), 1);
        QVERIFY2(counter.errors.messages[0].contains("резервного сервера"),
                 qPrintable(counter.errors.messages[0]));
        QCOMPARE(psql(db, "select count(*) from history"), history);

        // A bet on the primary is shown as soon as the standby has replayed it.
        QElapsedTimer clock;
        clock.start();
        counter.takeBet(1, 3, 25, "Сидорова Анна");
        const qint64 ms = untilShown(office, 2, 10000);
        QVERIFY2(ms >= 0, "the standby's office never showed the primary's bet");
        qInfo("a bet committed on the primary to the standby's office showing it: %lld ms",
              clock.elapsed());
        QVERIFY(clock.elapsed() <= ServerFollower::kReplayCheckMs + 1500);
        QVERIFY(office.state().startsWith("Прочитано"));
        QCOMPARE(counter.errors.messages.size(), 1); // LISTEN, refused there, was never tried

        // Promoted, it is a primary: the office says no more that it only shows the books,
        // offers the undo, and listens.
        standby.Promote();
        QTRY_VERIFY_WITH_TIMEOUT(!window.OnStandby(), ServerFollower::kReplayCheckMs * 5);
        QVERIFY(banner->isHidden());
        QVERIFY(window.UndoOffered());
        QVERIFY(onResultOf(window, 2));
        QVERIFY(undoAction(window)->isEnabled());
        BooksFixture promoted(ServerHome(replica));
        promoted.takeBet(1, 1, 15, "После повышения");
        const qint64 listened = untilShown(office, 3);
        QVERIFY2(listened >= 0 && listened <= 500, qPrintable(QString::number(listened)));

        // The same office on the primary offers the undo.
        OfficeOn primary(db);
        QVERIFY(!primary.window.OnStandby());
        QVERIFY(control<QLabel>(&primary.window, "ServerBanner")->isHidden());
        QVERIFY(primary.window.UndoOffered());
        QVERIFY(onResultOf(primary.window, 2));
        QVERIFY(undoAction(primary.window)->isEnabled());
    }

    // Two cashiers and a manager, each logged in as themselves: every record names who wrote
    // it, the history is filtered by operator, the day's cash shows each cashier's till and the
    // two together, as the server's own sums say; the manager is offered the undo and does it,
    // a cashier is not, and asked all the same is refused with the server's reason.
    void eachCashierHasATillAndOnlyAManagerUndoes() {
        PgServer pg;
        const QString db = laidOut(pg);
        {
            ServerConnection owner(db);
            AddOperator(owner, "anna", OperatorRole::Kassa, {});
            AddOperator(owner, "boris", OperatorRole::Kassa, {});
            AddOperator(owner, "vera", OperatorRole::Manager, {});
            SetCashiersSettle(owner, true);
        }
        const auto as = [&db](const char* name) {
            return QString(db).replace(QRegularExpression("user=\\S+"),
                                       QStringLiteral("user=") + QLatin1String(name));
        };
        BooksFixture anna(ServerHome(as("anna")));
        BooksFixture boris(ServerHome(as("boris")));
        ErrorRecorder errors; // the offices' (after the counters', so the one in place)
        anna.enterEvent(1, "Спартак", "Зенит");
        anna.enterEvent(2, "Динамо", "Торпедо");
        anna.takeBet(1, 1, 100, "Иванов Иван");
        anna.takeBet(2, 2, 50, "Петров Пётр");
        boris.takeBet(1, 2, 70, "Сидорова Анна");
        QVERIFY(boris.settle(1, 1)); // Иванов Иван is owed 100 + 100 × 2
        anna.payBySlip(0);
        QCOMPARE(anna.errors.messages + boris.errors.messages, QStringList());
        // What the server itself says each one took and paid today.
        QMap<QString, QPair<double, double>> server;
        for (const QString& row :
             psql(db, "select kassir, coalesce(sum(summa) filter (where vid = 'Ставка'), 0), "
                      "coalesce(sum(vyplata) filter (where vid = 'Выплата'), 0) from history "
                      "where den = current_date group by kassir"))
            server[row.section('|', 0, 0)] = {row.section('|', 1, 1).toDouble(),
                                              row.section('|', 2, 2).toDouble()};
        QCOMPARE(server.keys(), QStringList({"anna", "boris"}));
        QCOMPARE(server["anna"], qMakePair(150.0, 300.0));
        QCOMPARE(server["boris"], qMakePair(70.0, 0.0));

        OfficeOn manager(as("vera"));
        OfficeWindow& window = manager.window;
        QVERIFY(window.UndoOffered());
        QCOMPARE(control<QLabel>(&window, "OperatorState")->text(),
                 QString("Оператор: vera, менеджер"));
        auto* kassir = control<QComboBox>(window.History(), "FilterKassir");
        QTRY_COMPARE(kassir->count(), 3);
        QCOMPARE(kassir->itemText(0), QString("Все"));
        QCOMPARE(QStringList({kassir->itemText(1), kassir->itemText(2)}),
                 QStringList({"anna", "boris"}));
        HistoryModel* model = window.History()->Model();
        const int all = model->rowCount();
        kassir->setCurrentIndex(kassir->findText("anna"));
        QTRY_VERIFY(!model->Busy());
        QCOMPARE(model->rowCount(),
                 psql(db, "select count(*) from history where kassir = 'anna'").value(0).toInt());
        QVERIFY(model->rowCount() > 0 && model->rowCount() < all);
        for (int row = 0; row < model->rowCount(); ++row)
            QCOMPARE(model->Value(row, fields::KASSIR).toString(), QString("anna"));
        QVERIFY(window.History()->Report().contains("кассир «anna»"));
        // A record boris writes now is not among anna's, and his name stays offered.
        boris.takeBet(2, 1, 5, "Кузнецов Олег");
        QTRY_COMPARE(manager.bets(), 2); // Петров Пётр's and this one
        QTRY_VERIFY(!model->Busy());
        QCOMPARE(model->rowCount(),
                 psql(db, "select count(*) from history where kassir = 'anna'").value(0).toInt());
        QCOMPARE(kassir->currentText(), QString("anna"));
        kassir->setCurrentIndex(0);
        QTRY_VERIFY(!model->Busy());
        QCOMPARE(model->rowCount(), psql(db, "select count(*) from history").value(0).toInt());

        // The day's till of each: stakes taken, payouts paid, the balance; the total last.
        window.ShowView(1);
        window.Cash()->SetDays(Date(), Date());
        QTRY_VERIFY(!window.Cash()->Busy());
        const CashReport& cash = window.Cash()->Figures();
        QCOMPARE(cash.byOperator.size(), 2);
        server["boris"].first += 5;
        for (const CashLine& line : cash.byOperator) {
            QVERIFY2(server.contains(line.label), qPrintable(line.label));
            QCOMPARE(line.cash.stakes, server[line.label].first);
            QCOMPARE(line.cash.paid, server[line.label].second);
            QCOMPARE(line.cash.Balance(), server[line.label].first - server[line.label].second);
        }
        QCOMPARE(cash.total.stakes, 225.0);
        QCOMPARE(cash.total.Balance(), -75.0);
        window.Cash()->ShowTable(2);
        auto* tills = control<QTableView>(window.Cash(), "CashByOperator");
        const QAbstractItemModel* shown = window.Cash()->ExportModel();
        QCOMPARE(shown, tills->model());
        QCOMPARE(shown->rowCount(), 3);
        QStringList titles;
        for (int c = 0; c < shown->columnCount(); ++c)
            titles << shown->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(titles, QStringList({"Кассир", "Ставок", "Принято ставок", "Возвращено ставок",
                                      "Выплат", "Выплачено", "Сальдо кассы"}));
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            tills->sortByColumn(6, order); // by the balance: anna's −150 against boris's 75
            QCOMPARE(shown->index(0, 0).data().toString(),
                     order == Qt::AscendingOrder ? "anna" : "boris");
            QCOMPARE(shown->index(2, 0).data().toString(), QString("Итого"));
            QCOMPARE(shown->index(2, 6).data().toString(), MoneyText(-75));
        }
        QTemporaryDir out;
        window.ExportCsv(out.filePath("tills.csv"));
        QFile csv(out.filePath("tills.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QString written = QString::fromUtf8(csv.readAll());
        QVERIFY2(written.contains("anna;2;150,00;0,00;1;300,00;-150,00") &&
                     written.contains("Итого;4;225,00;0,00;1;300,00;-75,00"),
                 qPrintable(written));
        const QString report = window.Cash()->Report();
        QVERIFY(report.contains("Касса каждого кассира") && report.contains("boris"));

        // A cashier's office offers no undo; asked all the same, the server refuses.
        boris.enterEvent(3, "Рубин", "Урал");
        boris.takeBet(3, 1, 10, "Волков Андрей");
        QVERIFY(boris.settle(3, 2)); // lost: nothing paid that would stop its undo
        OfficeOn cashier(as("anna"));
        QVERIFY(!cashier.window.UndoOffered());
        QCOMPARE(control<QLabel>(&cashier.window, "OperatorState")->text(),
                 QString("Оператор: anna, кассир"));
        QVERIFY(onResultOf(cashier.window, 3));
        QVERIFY(!undoAction(cashier.window)->isEnabled());
        QCOMPARE(undoAction(cashier.window)->statusTip(),
                 QString("Отменять результат может только менеджер"));
        const QStringList history = psql(db, "select count(*) from history");
        QString asked;
        answerNextQuestion("Yes", &asked);
        cashier.window.UndoResult();
        QVERIFY2(asked.contains("№ 3 «Рубин — Урал»"), qPrintable(asked));
        QCOMPARE(errors.messages.size(), 1);
        QCOMPARE(errors.messages[0], QString("Отменять результат может только менеджер."));
        QCOMPARE(psql(db, "select count(*) from history"), history);
        QCOMPARE(psql(db, "select count(*) from compit where number = 3"), QStringList{"0"});

        // The manager's is done.
        QTRY_VERIFY(onResultOf(window, 3));
        QVERIFY(undoAction(window)->isEnabled());
        answerNextQuestion("Yes", &asked);
        undoAction(window)->trigger();
        QCOMPARE(errors.messages.size(), 1);
        QCOMPARE(errors.notices.size(), 1);
        QVERIFY2(errors.notices[0].contains("№ 3 отменён"), qPrintable(errors.notices[0]));
        QCOMPARE(psql(db, "select count(*) from compit where number = 3"), QStringList{"1"});
        QCOMPARE(psql(db, "select kassir from history order by key desc limit 1"),
                 QStringList{"vera"});
    }

    // A look at the server that takes long holds nothing of the window: its event loop turns
    // and its views switch while the server is asked, and what was committed shows after.
    void theWindowAnswersWhileTheServerIsSlow() {
        PgServer pg;
        const QString db = laidOut(pg);
        BooksFixture counter(ServerHome(db));
        counter.enterEvent(1, "Спартак", "Зенит");
        OfficeOn office(db);
        std::atomic<int> slowed{0};
        ServerConnection::Observe([&](const QString& statement, int) {
            if (QThread::currentThread() != qApp->thread() &&
                statement.contains(QLatin1String("pg_is_in_recovery(), varnel.may_undo()"))) {
                ++slowed;
                QThread::msleep(1500);
            }
            return false;
        });
        counter.takeBet(1, 1, 10, "Медленный");
        QElapsedTimer clock;
        clock.start();
        qint64 longest = 0; // of the window's thread, as a wait of 5 ms on it overran
        int switched = 0;
        while (office.bets() < 1 && clock.elapsed() < 10000) {
            QElapsedTimer wait;
            wait.start();
            QTest::qWait(5);
            longest = std::max(longest, wait.elapsed() - 5);
            office.window.ShowView(++switched % 3);
        }
        const qint64 shown = clock.elapsed();
        ServerConnection::Observe({});
        qInfo("the bet shown after %lld ms of a slowed reading; the window's thread held up "
              "%lld ms at most, %d views switched meanwhile",
              shown, longest, switched);
        QCOMPARE(office.bets(), 1);
        QVERIFY(slowed.load() >= 1 && shown >= 1400);
        QVERIFY2(longest <= 50, qPrintable(QString::number(longest)));
        QVERIFY(switched > 100);
    }

    // A client's name is found in any case and ё as е, and names are sorted as a folder's
    // history sorts them, on a database whose locale knows no Cyrillic letter (LC_CTYPE C) as on
    // one that does.
    void namesAreFoundAndSortedAsInAFolderWhateverTheLocale_data() {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C") << "C";
        QTest::newRow("C.UTF-8") << "C.UTF-8";
    }
    void namesAreFoundAndSortedAsInAFolderWhateverTheLocale() {
        QFETCH(QString, locale);
        PgServer pg;
        psql(pg.Conninfo("postgres"), QStringLiteral("create database named template template0 "
                                                     "encoding 'UTF8' lc_collate '%1' lc_ctype "
                                                     "'%1'")
                                          .arg(locale));
        const QString db = pg.Conninfo("named");
        QCOMPARE(psql(db, "show lc_ctype"), QStringList{locale});
        ServerConnection server(db);
        QVERIFY(LayOutServer(server));
        const QStringList names = {"Фёдоров Иван", "ФЕДОРОВ ПЁТР", "Ершов", "Ёлкин",
                                   "федоров анна", "Яковлев",      "Smith", "абрамов",
                                   "Елисеев",      "smirnov"};
        for (qsizetype i = 0; i < names.size(); ++i)
            server.Exec("insert into history (den, vremya, vid, fio, summa, serial) values "
                        "(current_date, '10:00:00', 'Ставка', ?, 1, ?)",
                        {names[i], qlonglong(100 + i)});
        ServerQuestions questions(server);
        HistoryQuery query;
        query.filter.client = QStringLiteral("фЁдОров");
        QStringList found;
        for (const HistoryRow& row : questions.History(query, nullptr, 100).rows)
            found << row.values[HistoryColumnOf(fields::FIO)].toString();
        QCOMPARE(found, QStringList({"федоров анна", "ФЕДОРОВ ПЁТР", "Фёдоров Иван"}));
        query.filter = {};
        query.filter.serial = 103; // a slip's number, as on a folder
        const HistoryPage slip = questions.History(query, nullptr, 100);
        QCOMPARE(slip.rows.size(), size_t(1));
        QCOMPARE(slip.rows[0].values[HistoryColumnOf(fields::FIO)].toString(), names[3]);
        QCOMPARE(questions.Count(query.filter), std::int64_t(1));

        QStringList folder = names; // as the folder's history sorts them: folded, then as written
        std::stable_sort(folder.begin(), folder.end(), [](const QString& a, const QString& b) {
            return FoldName(a) < FoldName(b);
        });
        query = {};
        query.sortColumn = HistoryColumnOf(fields::FIO);
        query.order = Qt::AscendingOrder;
        QStringList sorted;
        HistoryPage page;
        do { // three at a time, each page after the last
            page = questions.History(query, sorted.isEmpty() ? nullptr : &page, 3);
            for (const HistoryRow& row : page.rows)
                sorted << row.values[HistoryColumnOf(fields::FIO)].toString();
        } while (!page.end);
        QCOMPARE(sorted, folder);
    }

    // What the books' owner, or any login at all, may put before the office: a history record
    // with a serial of ten digits, one with a key far above every other, a flood of notices
    // from a login of no group. The record is shown as it is, and no box; the bets taken after
    // it are shown as ever; the notices cost the window no reading of the books.
    void strayRecordsAndNoticesNeitherStopNorFloodTheOffice() {
        PgServer pg;
        const QString db = laidOut(pg);
        BooksFixture counter(ServerHome(db));
        counter.enterEvent(1, "Спартак", "Зенит");
        psql(db, "insert into history (key, den, vremya, vid, fio, serial, summa) values "
                 "(9000000000000000000, current_date, '12:00:00', 'Ставка', 'Чужая запись', "
                 "1234567890, 1)");
        OfficeOn office(db);
        HistoryModel* model = office.window.History()->Model();
        QCOMPARE(model->Value(0, fields::SERIAL), Variant(std::int64_t(1234567890)));
        QCOMPARE(office.window.UnreadableRecords(), std::optional<std::uint32_t>(0));
        const auto shown = [&](const QString& fio) {
            for (int row = 0; row < model->rowCount(); ++row)
                if (model->Value(row, fields::FIO).toString() == fio)
                    return true;
            return false;
        };
        for (int i = 1; i <= 3; ++i) {
            counter.takeBet(1, 1 + i % 3, 10, QStringLiteral("После %1").arg(i));
            QVERIFY(untilShown(office, i) >= 0);
            QTRY_VERIFY(shown(QStringLiteral("После %1").arg(i)));
        }
        QCOMPARE(counter.errors.messages, QStringList());

        psql(db, "create role stray login");
        QString stray = db;
        stray.replace(QRegularExpression("user=\\S+"), QStringLiteral("user=stray"));
        ServerConnection noticer(stray);
        QVERIFY(read(office.window));
        std::atomic<int> looks{0}, readings{0};
        ServerConnection::Observe([&](const QString& statement, int) {
            if (statement.contains(QLatin1String("pg_is_in_recovery(), varnel.may_undo()")))
                ++looks;
            if (statement.contains(QLatin1String("from varnel.priem")))
                ++readings;
            return false;
        });
        QElapsedTimer clock;
        clock.start();
        qint64 longest = 0;             // of the window's thread, as a wait of 10 ms on it overran
        for (int i = 0; i < 100; ++i) { // fifty a second
            noticer.Exec("notify varnel");
            QElapsedTimer wait;
            wait.start();
            QTest::qWait(10);
            noticer.Exec("notify varnel");
            longest = std::max(longest, wait.elapsed() - 10);
            QTest::qWait(10);
        }
        const qint64 flood = clock.elapsed();
        QVERIFY(read(office.window));
        ServerConnection::Observe({});
        qInfo("%d looks at the server in %lld ms of 200 notices; the window's thread held up "
              "%lld ms at most",
              looks.load(), flood, longest);
        QCOMPARE(readings.load(), 0);
        QVERIFY2(looks.load() <= flood / ServerFollower::kQuietMs + 3,
                 qPrintable(QString::number(looks.load())));
        QVERIFY2(longest <= 50, qPrintable(QString::number(longest)));
        QCOMPARE(counter.errors.messages, QStringList());

        // Sorted by the stake, a bet taken elsewhere is put in its place among the rows, the
        // query not asked again: the row the manager is on stays current.
        model->sort(HistoryModel::ColumnOf(fields::SUMMA), Qt::DescendingOrder);
        QVERIFY(read(office.window));
        QTableView* table = office.window.History()->Table();
        table->setCurrentIndex(model->index(3, 0));
        const RecordKey current = model->RecordAt(3);
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        counter.takeBet(1, 2, 5, "Посередине");
        QTRY_VERIFY(shown("Посередине"));
        QCOMPARE(reset.size(), 0);
        QCOMPARE(model->RecordAt(table->currentIndex().row()), current);
        const auto stake = [&](int row) {
            const Variant value = model->Value(row, fields::SUMMA);
            return value.isNull() ? -1.0 : value.toReal();
        };
        for (int row = 1; row < model->rowCount(); ++row)
            QVERIFY(stake(row - 1) >= stake(row));
        QCOMPARE(model->rowCount(), psql(db, "select count(*) from history").value(0).toInt());

        // More records than a page: the grid asks for the next as it is scrolled to them, and
        // the export writes every one, not the pages the grid holds.
        psql(db, "insert into history (den, vremya, vid, fio, summa) select current_date, "
                 "'13:00:00', 'Ставка', 'Клиент ' || i, i from generate_series(1, 1200) i");
        const int total = psql(db, "select count(*) from history").value(0).toInt();
        QTRY_COMPARE(model->Matching(), std::int64_t(total));
        QVERIFY(read(office.window));
        model->sort(-1, Qt::DescendingOrder); // asked anew: a page of the newest
        QVERIFY(read(office.window));
        QVERIFY(model->rowCount() < total);
        while (model->canFetchMore({})) {
            model->fetchMore({});
            QTRY_VERIFY(!model->Following());
        }
        QCOMPARE(model->rowCount(), total);
        QCOMPARE(model->Value(total - 1, fields::FIO).toString(), QString()); // the event's
        QTemporaryDir out;
        QSignalSpy exported(&office.window, &OfficeWindow::Exported);
        office.window.ExportCsv(out.filePath("history.csv"));
        QTRY_COMPARE(exported.size(), 1);
        QFile csv(out.filePath("history.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll().count("\r\n"), total + 1);
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window keeps its geometry and last folder in the user's settings: not this user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    return runTests<QApplication, TestOfficeServer>(argc, argv);
}

#include "test_officeserver.moc"
