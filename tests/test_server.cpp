// The books' layout on a PostgreSQL server, and a folder's books moved onto it: what the
// server holds must be what the folder held, record for record, with the serials the history
// gave.
#include "server/Config.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "server/ServerHome.h"
#include "server/ServerTable.h"
#include "shell/StartUp.h"
#include "store/Chain.h"
#include "store/DataModule6.h"
#include "store/Slip.h"
#include "store/Tables.h"
#include "store/engine/DataSet.h"
#include "store/engine/DbfFile.h"
#include "store/engine/FolderLock.h"
#include "store/engine/Table.h"
#include "tests/support/Office.h"
#include "tests/support/Server.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"
#include "views/TableCompitition.h"
#include "workflows/PriemResult.h"
#include "workflows/PriemStavka.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>

#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <utility>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

using namespace varnel;
using namespace varnel::test;

namespace {

using Run = ToolRun;

Run newdesk(const QStringList& args) {
    return runTool(VARNEL_NEWDESK, args);
}

Run exported(const QStringList& args) {
    return runTool(VARNEL_EXPORT, args);
}

// The places of a table file's live records, in order.
QList<qint64> livePlaces(const QString& path) {
    TTable table;
    table.SetTableName(path);
    table.SetReadOnly(true);
    table.Open();
    QList<qint64> places;
    for (std::uint32_t i = 0; i < table.EndKey(); ++i)
        if (!table.IsDeletedAt(i))
            places << i;
    return places;
}

QList<qint64> numbers(const QStringList& rows) {
    QList<qint64> values;
    for (const QString& row : rows)
        values << row.toLongLong();
    return values;
}

// Makes the folder's varnel.conf name the server.
void nameServer(const WorkFolder& folder, const QString& conninfo) {
    QFile conf(folder.file("varnel.conf"));
    if (!conf.open(QIODevice::WriteOnly) ||
        conf.write(QStringLiteral("[server]\nconninfo=%1\n").arg(conninfo).toUtf8()) <= 0)
        qFatal("varnel.conf cannot be written");
}

// An open event as another counter enters it: betting open, coefficients 2, 2 and 3.
QString eventEntered(int number, const char* kom1, const char* kom2) {
    return QStringLiteral("insert into compit (number, date, kom1, kom2, koef_1, koef_2, koef_n, "
                          "summ_1, summ_2, summ_n) values (%1, '%2', '%3', '%4', 2, 2, 3, 500, "
                          "500, 500)")
        .arg(number)
        .arg(Date().addDays(2).toString(Qt::ISODate), QString::fromUtf8(kom1),
             QString::fromUtf8(kom2));
}

// The counter started as its start-up does, in a folder of its own whose varnel.conf names the
// database: its errors recorded, not shown.
struct ServerCounter {
    explicit ServerCounter(const QString& conninfo) {
        nameServer(folder, conninfo);
        started = StartUp(app);
    }
    WorkFolder folder;
    ErrorRecorder errors;
    TApplication app;
    bool started = false;
};

// The first column of every row a statement returns.
QStringList rows(ServerConnection& server, const QString& sql) {
    ServerRows query = server.Exec(sql);
    QStringList values;
    while (query.Next())
        values << query.Value(0).toString();
    return values;
}

// The books as text to compare: every row of every table in the order of its keys, without
// the keys, serials and times that differ from one run to another.
QStringList booksOf(ServerConnection& server) {
    return rows(server,
                "select 'compit ' || number || ' ' || kom1 || ' ' || summ_1 || ' ' || summ_2 || "
                "' ' || summ_n || ' ' || koef_1 || ' ' || koef_2 || ' ' || koef_n from compit "
                "order by key") +
           rows(server, "select 'priem ' || number || ' ' || result || ' ' || summa || ' ' || "
                        "koeficient || ' ' || fio from priem order by key") +
           rows(server, "select 'money ' || fio || ' ' || summa from money order by key") +
           rows(server, "select 'history ' || vid || ' ' || coalesce(number::text, '') || ' ' || "
                        "coalesce(fio, '') || ' ' || coalesce(summa::text, '') || ' ' || "
                        "coalesce(vyplata::text, '') from history order by key");
}

// The books the break sweeps start from: event 7 with a bet on each side, and a payout owed.
void lay(ServerConnection& server) {
    server.Exec("truncate compit, priem, money, history restart identity");
    server.Exec(eventEntered(7, "Зенит", "Спартак"));
    server.Exec("insert into priem (number, result, summa, koeficient, fio, serial) values (7, "
                "'Зенит', 100, 2, 'Иванов Иван', nextval('serial')), (7, 'Спартак', 50, 2, "
                "'Петров Пётр', nextval('serial'))");
    server.Exec("insert into money (fio, summa, serial) values ('Сидоров Олег', 80, "
                "nextval('serial'))");
}

// The server's process behind a connection ended, as a cut cable or an administrator would
// end it; returns once it is gone.
void cutBackend(ServerConnection& server, int backend) {
    server.Exec("select pg_terminate_backend(?)", {backend});
    for (int i = 0; i < 500; ++i) {
        if (server.Value("select count(*) from pg_stat_activity where pid = ?", {backend})
                .toInt() == 0)
            return;
        QThread::msleep(2);
    }
    qFatal("the server's backend %d did not end", backend);
}

// An operation of the books as the counter's last Ok does it: what the window did before
// (the lookup, the pending records filled), then the operation itself, which the same Ok
// pressed again after a failure does again on the pending records as the failure left them.
struct Operation {
    const char* name;
    std::function<void(BooksFixture&)> prepare;
    std::function<void(TDataModule6&)> act;
};

void pendingBet(BooksFixture& books) {
    QVERIFY(books.module->FindEvent(7));
    TDataSet& bets = *books.module->TableStavka;
    bets.Insert();
    for (const auto& [field, value] : QList<QPair<QString, Variant>>{{"NUMBER", Variant(7)},
                                                                     {"RESULT", Variant("Зенит")},
                                                                     {"SUMMA", Variant(25)},
                                                                     {"KOEFICIENT", Variant(2)},
                                                                     {"FIO", Variant("Клиент")}})
        bets.SetFieldValue(field, value);
}

const Operation kOperations[] = {
    {"bet", pendingBet, [](TDataModule6& books) { books.RecordBet(Outcome::Side1, false); }},
    {"result", [](BooksFixture& books) { QVERIFY(books.module->FindEvent(7)); },
     [](TDataModule6& books) { books.SettleEvent(1, QStringLiteral("Зенит")); }},
    {"payout", [](BooksFixture& books) { books.module->TableMoney->First(); },
     [](TDataModule6& books) { books.PayOut(); }},
    {"revocation", [](BooksFixture& books) { books.module->TableStavka->First(); },
     [](TDataModule6& books) { books.RevokeBet(); }},
};

// A worker's command line, this program in another process.
QProcess* startWorker(QObject* owner, const QStringList& args) {
    auto* worker = new QProcess(owner);
    worker->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    worker->start(QCoreApplication::applicationFilePath(), args);
    if (!worker->waitForStarted(30000))
        qFatal("a worker did not start");
    return worker;
}

} // namespace

class TestServer : public QObject {
    Q_OBJECT
    PgServer m_server;

    // A new database with the books laid out on it by varnel-newdesk.
    QString laidOut() {
        const QString db = m_server.NewDatabase();
        const Run run = newdesk({"--server", db});
        if (run.status != 0)
            qFatal("varnel-newdesk did not lay out the books: %s", qPrintable(run.err));
        return db;
    }

private slots:
    void theLayoutHoldsWhatAFolderHolds() {
        const QString db = m_server.NewDatabase();
        Run run = newdesk({"--server", db});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains("Книги заведены на сервере"), qPrintable(run.out + run.err));
        run = newdesk({"--server", db});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains("уже заведены, ничего не изменено"), qPrintable(run.out));

        QCOMPARE(psql(db, "select version from varnel.version"),
                 QStringList{QString::number(varnel::kServerSchemaVersion)});
        QCOMPARE(psql(db, "select column_name || ' ' || data_type || coalesce(' ' || "
                          "character_maximum_length, '') || coalesce(' ' || numeric_precision "
                          "|| ',' || numeric_scale, '') from information_schema.columns where "
                          "table_schema = 'varnel' and table_name = 'priem' and data_type <> "
                          "'bigint' order by ordinal_position"),
                 QStringList({"number smallint 16,0", "result character varying 25",
                              "summa numeric 18,4", "koeficient numeric 18,11",
                              "fio character varying 50"}));
        QCOMPARE(psql(db, "select string_agg(table_name, ' ' order by table_name) from "
                          "information_schema.tables where table_schema = 'varnel'"),
                 QStringList{"chain chained compit digests groups history holds limits money priem "
                             "records seals settings tmp version"});

        // Any operator finds the books by their bare names.
        QCOMPARE(
            newdesk({"--server", db, "--add-operator", "clerk", "--role", "kassa", "--no-password"})
                .status,
            0);
        QCOMPARE(psql(db + " user=clerk", "show search_path; select count(*) from priem"),
                 QStringList({"varnel, public", "0"}));

        // Text as a file in Windows-1251 holds it, of the field's length; numbers exactly to
        // the digits a file keeps.
        psql(db, "insert into compit (number, kom1, kom2, koef_1, summ_1) values "
                 "(7, 'Ёлки-Палки', 'Спартак', 1.23456789012, 500.1234)");
        QCOMPARE(psql(db, "select kom1 || '|' || koef_1 || '|' || summ_1 from compit"),
                 QStringList{"Ёлки-Палки|1.23456789012|500.1234"});
        QString why;
        QVERIFY(psql(db, "insert into compit (kom1) values ('Ωμέγα')", &why).isEmpty());
        QVERIFY2(why.contains("compit_kom1_check"), qPrintable(why));
        QVERIFY(psql(db, "insert into compit (kom1) values (repeat('я', 26))", &why).isEmpty());
        QVERIFY2(why.contains("too long"), qPrintable(why));
        QVERIFY(psql(db, "insert into compit (number) values (40000)", &why).isEmpty());
        QCOMPARE(psql(db, "select count(*) from compit"), QStringList{"1"});
    }

    // One connection keeps its transaction; a break before a transaction reconnects
    // silently, one inside it stops the work with a message naming the server, and the
    // connection works again once the server is back.
    void aConnectionKeepsItsTransactionAndComesBackAfterABreak() {
        const QString db = m_server.NewDatabase();
        ServerConnection server(db);
        const QVariant backend = server.Value("select pg_backend_pid()");
        QCOMPARE(server.Value("select pg_backend_pid()"), backend);
        {
            ServerTransaction work(server);
            server.Exec("create table scratch (a int)");
            server.Exec("insert into scratch values (?)", {7});
            QCOMPARE(server.Value("select pg_backend_pid()"), backend);
        }
        QCOMPARE(server.Value("select to_regclass('scratch') is null").toBool(), true);
        QCOMPARE(server.Value("show lock_timeout").toString(), QString("5s"));

        psql(db, QStringLiteral("select pg_terminate_backend(%1)").arg(backend.toInt()));
        QCOMPARE(server.Value("select 1").toInt(), 1); // reconnected, silently

        {
            ServerTransaction work(server);
            server.Exec("create table scratch (a int)");
            psql(db, QStringLiteral("select pg_terminate_backend(%1)")
                         .arg(server.Value("select pg_backend_pid()").toInt()));
            try {
                server.Exec("insert into scratch values (1)");
                QFAIL("a statement on a cut connection passed");
            } catch (const EServerError& error) {
                QVERIFY(error.Broken());
                QVERIFY2(error.message().startsWith("Связь с сервером книг «") &&
                             error.message().contains(DescribeServer(db)),
                         qPrintable(error.message()));
            }
        }
        QCOMPARE(server.Value("select to_regclass('scratch') is null").toBool(), true);

        m_server.Stop("immediate");
        try {
            server.Value("select 1");
            QFAIL("a statement passed with the server stopped");
        } catch (const EServerError& error) {
            QVERIFY2(error.message().contains(DescribeServer(db)), qPrintable(error.message()));
        }
        m_server.Start();
        QCOMPARE(server.Value("select 1").toInt(), 1);
    }

    // The cursor over a table of the server: its moves follow the keys and what another
    // connection changed, its writes are checked as a file of the program's own layout checks
    // them, and one whose row is gone is refused.
    void theCursorWalksAServerTableByItsKeys() {
        const QString db = laidOut();
        psql(db, "insert into compit (key, number, kom1, kom2, koef_1, summ_1) values "
                 "(3, 7, 'Зенит', 'Спартак', 1.5, 500), (5, 8, 'Динамо', 'ЦСКА', 2, 500), "
                 "(9, 9, 'Урал', 'Сочи', 3.25, 512.5), (12, 7, 'Рубин', 'Ахмат', 2, 500); "
                 "select setval(pg_get_serial_sequence('compit', 'key'), 12)");
        ServerConnection server(db);
        TServerTable events(server, CompitTable());
        events.Open();
        QCOMPARE(events.CurrentIndex(), 3);
        QCOMPARE(events.GetFieldValue("KOM1").toString(), QString("Зенит"));
        QCOMPARE(events.GetFieldValue("KOEF_1").toReal(), 1.5);
        events.Next();
        QCOMPARE(events.CurrentIndex(), 5);
        // Another counter settles the next event: the walk no longer meets it.
        psql(db, "delete from compit where key = 9");
        events.Next();
        QCOMPARE(events.CurrentIndex(), 12);
        events.Next();
        QVERIFY(events.Eof());
        events.Prior();
        QCOMPARE(events.CurrentIndex(), 5);
        events.Last();
        QCOMPARE(events.CurrentIndex(), 12);
        events.MoveBy(-5);
        QCOMPARE(events.CurrentIndex(), 3);
        QCOMPARE(events.EndKey(), 13);
        QCOMPARE(events.LiveForward(4, 10), QVector<RecordKey>({5, 12}));
        QCOMPARE(events.LiveBackward(11, 10), QVector<RecordKey>({5, 3}));
        const TField* number = events.FieldByName("NUMBER");
        QCOMPARE(events.FindRecord(-1, +1, number, Variant(7)), 3);
        QCOMPARE(events.FindRecord(3, +1, number, Variant(7)), 12);
        QCOMPARE(events.FindRecord(13, -1, events.FieldByName("KOM2"), Variant("ЦСКА")), 5);
        QCOMPARE(events.FindRecord(-1, +1, number, Variant(99)), -1);

        // A new record takes the next key; a change is written where its row is.
        events.Insert();
        events.SetFieldValue("NUMBER", Variant(10));
        events.SetFieldValue("KOM1", Variant("Факел"));
        events.SetFieldValue("KOEF_1", Variant(1.23456789012));
        events.Post();
        QVERIFY(events.CurrentIndex() > 12);
        QCOMPARE(psql(db, QStringLiteral("select kom1, koef_1, kom2 is null from compit where "
                                         "key = %1")
                              .arg(events.CurrentIndex())),
                 QStringList{"Факел|1.23456789012|t"});
        events.MoveTo(5);
        events.Edit();
        events.SetFieldValue("SUMM_2", Variant(612.25));
        events.Post();
        QCOMPARE(psql(db, "select summ_2 from compit where key = 5"), QStringList{"612.2500"});
        // Gone under the cursor: the change is refused, nothing written.
        events.Edit();
        psql(db, "delete from compit where key = 5");
        events.SetFieldValue("SUMM_2", Variant(700));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, events.Post());
        events.Cancel();
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, events.Edit());
        QCOMPARE(psql(db, "select count(*) from compit where key = 5"), QStringList{"0"});

        // A value that does not fit: the same refusal as a file of the program's layout gives.
        QTemporaryDir dir;
        const QString path = dir.filePath("COMPIT.DBF");
        DbfFile::create(path, CompitTable().Columns());
        TTable file;
        file.SetTableName(path);
        CompitTable().MakeFields(&file);
        file.Open();
        for (const auto& [field, value] :
             QList<QPair<QString, Variant>>{{"KOM1", Variant(QString(26, QChar(0x44F)))},
                                            {"KOM2", Variant(QString("Ωμέγα"))},
                                            {"SUMM_1", Variant(1e15)},
                                            {"NUMBER", Variant(40000)}}) {
            QString fromFile, fromServer;
            file.Insert();
            events.Insert();
            try {
                file.SetFieldValue(field, value);
                file.Post();
            } catch (const EVarnelError& error) {
                fromFile = error.message();
            }
            try {
                events.SetFieldValue(field, value);
                events.Post();
            } catch (const EVarnelError& error) {
                fromServer = error.message();
            }
            file.Cancel();
            events.Cancel();
            QVERIFY2(!fromFile.isEmpty(), qPrintable(field));
            QCOMPARE(fromServer, fromFile);
        }

        // Work rolled back: nothing on the server, the cursor where it was.
        events.MoveTo(3);
        const qsizetype before = psql(db, "select key from compit").size();
        {
            ServerTransaction work(server);
            events.BeginTransaction();
            events.Insert();
            events.SetFieldValue("NUMBER", Variant(11));
            events.Post();
            events.EndTransaction(false);
        }
        QCOMPARE(psql(db, "select key from compit").size(), before);
        QCOMPARE(events.CurrentIndex(), 3);
    }

    // The operations of the books, driven as the windows drive them, write on the server what
    // they write in a folder: record for record, but for the keys and the serials, which are
    // the server's own there.
    void theOperationsDoOnTheServerWhatTheyDoInAFolder() {
        const QString db = laidOut();
        BooksFixture folder;
        BooksFixture server(ServerHome(db));
        for (BooksFixture* books : {&folder, &server}) {
            books->enterEvent(7, "Зенит", "Спартак");
            books->enterEvent(8, "Динамо", "ЦСКА");
            books->takeBet(7, 1, 100, "Иванов Иван");
            books->takeBet(7, 2, 40, "Петров Пётр", true);
            books->takeBet(8, 3, 20, "Сидорова Анна", true);
            books->takeBet(7, 1, 15.5, "Иванова Ольга");
            QVERIFY(books->settle(7, 1));
            books->payOut(1);
            // A result entered and undone: the event and its bet back as they were.
            QVERIFY(books->settle(8, 3));
            if (books == &server) // another counter's record among the settlement's, a gap
                psql(db,
                     "update history set key = key + 10 where vid = 'Результат' and number = 8; "
                     "insert "
                     "into history (key, vid, number) select max(key) - 5, 'Событие', 99 "
                     "from history; delete from history where number = 99; select "
                     "setval(pg_get_serial_sequence('history', 'key'), max(key)) from "
                     "history");
            TDataSet& history = *books->module->TableHistory;
            history.Refresh();
            history.Last();
            books->module->UndoResult(history.CurrentIndex());
            QVERIFY2(books->errors.messages.isEmpty(),
                     qPrintable(books->errors.messages.join('\n')));
        }
        const struct {
            const char* file;
            const char* table;
            const char* fields;
        } tables[] = {
            {"COMPIT.DBF", "compit",
             "NUMBER,DATE,KOM1,KOM2,KOEF_1,KOEF_2,KOEF_N,SUMM_1,SUMM_2,SUMM_N"},
            {"PRIEM.DBF", "priem", "NUMBER,RESULT,SUMMA,KOEFICIENT,FIO"},
            {"MONEY.DBF", "money", "FIO,SUMMA"},
            {"HISTORY.DBF", "history",
             "DEN,VID,NUMBER,DATE,KOM1,KOM2,KOEF_1,KOEF_2,KOEF_N,SUMM_1,SUMM_2,SUMM_N,RESULT,"
             "SUMMA,KOEFICIENT,FIO,VYPLATA"},
        };
        for (const auto& t : tables) {
            const Run fromFolder = exported({folder.folder.file(t.file), "--fields", t.fields});
            const Run fromServer = exported({"--server", db, t.table, "--fields", t.fields});
            QVERIFY2(fromServer.status == 0, qPrintable(fromServer.err));
            QCOMPARE(fromServer.out.split('\n'), fromFolder.out.split('\n'));
        }
        QCOMPARE(psql(db, "select count(*) from history"), QStringList{"15"});
        QCOMPARE(psql(db, "select fio || ' ' || summa from money"),
                 QStringList{"Иванов Иван 300.0000"});
        QCOMPARE(psql(db, "select summ_1 || ' ' || summ_2 || ' ' || summ_n from compit"),
                 QStringList{"500.0000 500.0000 520.0000"});

        // Every bet's serial is the sequence's, and the history says it of the bet wherever it
        // names it: its taking, its settlement, the payment of its win.
        QCOMPARE(psql(db, "select count(distinct serial) from history where vid = 'Ставка'"),
                 QStringList{"4"});
        // The bet put back by the undone result keeps the serial it was taken with.
        QCOMPARE(psql(db, "select h.vid from priem p join history h on h.serial = p.serial and "
                          "h.fio = p.fio order by h.key"),
                 QStringList({"Ставка", "Выигрыш", "Возврат"}));
        QCOMPARE(psql(db, "select string_agg(s.vid, ',' order by s.key) from history b join "
                          "history s on s.serial = b.serial and s.key > b.key where b.vid = "
                          "'Ставка' and b.fio = 'Иванова Ольга'"),
                 QStringList{"Выигрыш,Выплата"});
        QCOMPARE(psql(db, "select m.serial = h.serial from money m join history h on h.vid = "
                          "'Выигрыш' and h.zapis = m.key"),
                 QStringList{"t"});
    }

    // Another counter's bet moves the coefficient between the outcome click and the second
    // Ok: the bet is not taken at the old one; the dialog offers the outcomes again, says the
    // new coefficient in red, and the next choice takes the bet on the sums as stored.
    void aBetIsNotTakenAtACoefficientThatMovedMeanwhile() {
        const QString db = laidOut();
        psql(db, eventEntered(7, "Зенит", "Спартак"));
        ServerCounter counter(db);
        QVERIFY(counter.started);
        const ErrorRecorder& errors = counter.errors;
        bool open = false;
        runModal(PriemStavka, [&] {
            fillBet("Иванов Иван", 100, 7, 1);
            // Another counter's bet, with the odds rule, meanwhile.
            psql(db, "update compit set koef_1 = 2.5, summ_2 = 540 where number = 7");
            press(PriemStavka, "Button3");
            auto* label = control<QLabel>(PriemStavka, "Label2");
            QCOMPARE(label->text(), QString("Коэффициент изменился: теперь 2,5. Выберите исход "
                                            "ещё раз !!!"));
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::red));
            QVERIFY(control<QRadioButton>(PriemStavka, "RadioButton1")->isVisible());
            // The message stands clear of the outcomes and of the event's number.
            for (const char* other : {"RadioButton1", "RadioButton2", "label1"})
                QVERIFY2(!label->geometry().intersects(control(PriemStavka, other)->geometry()),
                         other);
            QCOMPARE(psql(db, "select count(*) from priem"), QStringList{"0"});
            QCOMPARE(psql(db, "select summ_1 from compit"), QStringList{"500.0000"});
            press(PriemStavka, "RadioButton1");
            press(PriemStavka, "Button3");
            open = PriemStavka->isVisible();
        });
        QVERIFY(!open);
        QVERIFY2(errors.messages.isEmpty(), qPrintable(errors.messages.join('\n')));
        QCOMPARE(psql(db, "select koeficient || ' ' || summa from priem"),
                 QStringList{"2.50000000000 100.0000"});
        // The other counter's sum on the second side is kept: the row was written as stored.
        QCOMPARE(psql(db, "select summ_1 || ' ' || summ_2 from compit"),
                 QStringList{"600.0000 540.0000"});
    }

    // The event is settled at another counter between the outcome click and the second Ok:
    // the bet is refused as a lookup that found nothing, even with another event of the same
    // number in the books, and no bet is left on a removed event. A result entered for an
    // event settled meanwhile is refused the same way.
    void aBetOnAnEventSettledMeanwhileIsRefused() {
        const QString db = laidOut();
        psql(db, eventEntered(7, "Зенит", "Спартак"));
        ServerCounter counter(db);
        QVERIFY(counter.started);
        const ErrorRecorder& errors = counter.errors;
        runModal(PriemStavka, [&] {
            fillBet("Иванов Иван", 100, 7, 1);
            psql(db, "delete from compit; " + eventEntered(7, "Динамо", "ЦСКА"));
            press(PriemStavka, "Button3");
            QCOMPARE(control<QLabel>(PriemStavka, "Label2")->text(),
                     QString("Данного события не обнаружено !!!"));
            QVERIFY(control<QWidget>(PriemStavka, "EditNUMBER")->isVisible());
            QVERIFY(!control<QRadioButton>(PriemStavka, "RadioButton1")->isVisible());
        });
        // The same for a result: the event settled at another counter between the choice of
        // the winner and the Ok.
        runModal(PriemResult, [&] {
            retype(PriemResult, "EditNUMBER", "7");
            press(PriemResult, "Button3");
            press(PriemResult, "RadioButton1");
            psql(db, "delete from compit");
            press(PriemResult, "Button3");
            QCOMPARE(control<QLabel>(PriemResult, "Label2")->text(),
                     QString("Данного события не обнаружено !!!"));
            QVERIFY(control<QWidget>(PriemResult, "EditNUMBER")->isVisible());
        });
        QVERIFY2(errors.messages.isEmpty(), qPrintable(errors.messages.join('\n')));
        QCOMPARE(psql(db, "select count(*) from priem"), QStringList{"0"});
        QCOMPARE(psql(db, "select count(*) from history"), QStringList{"0"});
        QCOMPARE(psql(db, "select count(*) from money"), QStringList{"0"});
    }

    // A bet revoked or settled at another counter between its commit and its reading back is
    // taken all the same: the operator is not told otherwise, and takes it again.
    void aBetGoneBeforeItIsShownIsTakenAllTheSame() {
        const QString db = laidOut();
        psql(db, eventEntered(4, "Зенит", "Спартак"));
        BooksFixture counter(ServerHome(db));
        ServerConnection::Observe([&](const QString& statement, int) {
            if (statement == QLatin1String("commit answered"))
                psql(db, "delete from priem");
            return false;
        });
        const auto observed = qScopeGuard([] { ServerConnection::Observe({}); });
        counter.takeBet(4, 1, 100, "Иванов");
        QCOMPARE(psql(db, "select count(*) from history where vid = 'Ставка'"), QStringList{"1"});
    }

    // Two counters pay the same payout: one pays; the other is told, writes nothing, and its
    // payouts move on to the next one.
    void aPayoutIsPaidOnceWhicheverCounterPaysIt() {
        const QString db = laidOut();
        psql(db, "insert into money (fio, summa) values ('Иванов Иван', 250), "
                 "('Петров Пётр', 80)");
        BooksFixture first(ServerHome(db));
        BooksFixture second(ServerHome(db));
        QCOMPARE(second.module->TableMoney->GetFieldValue("FIO").toString(),
                 QString("Иванов Иван"));
        first.payOut(0);
        try {
            second.module->PayOut();
            QFAIL("a payout was paid twice");
        } catch (const EDatabaseError& error) {
            QCOMPARE(error.message(), QString("Этот выигрыш уже выплачен."));
        }
        QCOMPARE(second.module->TableMoney->GetFieldValue("FIO").toString(),
                 QString("Петров Пётр"));
        QCOMPARE(psql(db, "select vid || ' ' || fio from history"),
                 QStringList{"Выплата Иванов Иван"});
        QCOMPARE(psql(db, "select fio from money"), QStringList{"Петров Пётр"});
    }

    // The same slip scanned at two counters at once: the first holds the payout's row, the
    // second waits and is told it was paid. A cashier pays a bet that has a slip by the slip
    // only.
    void aSlipScannedAtTwoCountersAtOncePaysOnce() {
        const QString db = laidOut();
        {
            ServerConnection owner(db);
            AddOperator(owner, "anna", OperatorRole::Kassa, {});
            SetCashiersSettle(owner, true);
        }
        const QString anna =
            QString(db).replace(QRegularExpression("user=\\S+"), QStringLiteral("user=anna"));
        BooksFixture counter(ServerHome(anna));
        counter.enterEvent(3, "Зенит", "Спартак");
        counter.takeBet(3, 1, 100, "Иванов");
        const Slip slip = *counter.module->LastSlip();
        QVERIFY(counter.settle(3, 1));
        try {
            counter.payOut(0);
            QFAIL("a cashier paid a bet with a slip by name");
        } catch (const ERuleRefused& refused) {
            QCOMPARE(refused.message(), SlipOnlyMessage());
        }
        ServerConnection first(anna);
        ServerTransaction held(first);
        first.Exec(QStringLiteral("select varnel.pay_by_slip(?, ?, null)"),
                   {qlonglong(slip.serial), slip.code});
        QProcess second;
        second.setProcessEnvironment(childEnvironment());
        second.start("psql", {"-XAtq", "-d", anna, "-c",
                              QStringLiteral("select varnel.pay_by_slip(%1, '%2', null)")
                                  .arg(slip.serial)
                                  .arg(slip.code)});
        QVERIFY(second.waitForStarted());
        QVERIFY(!second.waitForFinished(1000)); // held by the first
        held.Commit();
        QVERIFY(second.waitForFinished(10000));
        const QString said = QString::fromUtf8(second.readAllStandardError());
        QVERIFY2(said.contains(
                     QStringLiteral("Выигрыш по квитанции № %1 уже выплачен").arg(slip.serial)) &&
                     said.contains("кассир anna"),
                 qPrintable(said));
        QCOMPARE(
            psql(db, "select count(*) || ' ' || min(serial) from history where vid = 'Выплата'"),
            QStringList{QStringLiteral("1 %1").arg(slip.serial)});
        QCOMPARE(psql(db, "select count(*) from money"), QStringList{"0"});
    }

    // A bet reads its outcome's stake sum only once the event is held: another counter's bet on
    // the same outcome, committed while this one is on its way to the hold, is in the sum written.
    void aBetAddsToTheSumAsItStandsOnceTheEventIsHeld() {
        const QString db = laidOut();
        ServerConnection server(db);
        lay(server);
        BooksFixture first(ServerHome(db)), second(ServerHome(db));
        pendingBet(first); // 25 on «Зенит»
        bool between = false;
        ServerConnection::Observe([&](const QString& statement, int) {
            if (between || !statement.contains(QLatin1String("varnel.take_bet")))
                return false;
            between = true;
            second.takeBet(7, 1, 40, "Другая касса");
            return false;
        });
        first.module->RecordBet(Outcome::Side1, false);
        ServerConnection::Observe({});
        QVERIFY(between);
        QCOMPARE(psql(db, "select summ_1 from compit"), QStringList{"565.0000"});
    }

    // Each table the back office follows announces its own changes at their commit.
    void eachFollowedTableAnnouncesItsChanges_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("change");
        QTest::newRow("compit") << "compit" << eventEntered(1, "А", "Б");
        QTest::newRow("priem") << "priem"
                               << "insert into priem (number, result, summa, koeficient, fio) "
                                  "values (1, 'А', 1, 1, 'К')";
        QTest::newRow("money") << "money"
                               << "insert into money (fio, summa) values ('К', 1)";
        QTest::newRow("history") << "history"
                                 << "insert into history (vid) values ('Ставка')";
    }
    void eachFollowedTableAnnouncesItsChanges() {
        QFETCH(QString, table);
        QFETCH(QString, change);
        const QStringList heard = psql(laidOut(), "listen varnel; " + change);
        QCOMPARE(heard.size(), 1);
        QVERIFY2(heard[0].contains("payload \"" + table + "\""), qPrintable(heard[0]));
    }

    // A revocation and a settlement of one event at two counters, in either order: a revocation
    // after the settlement is refused, a settlement after the revocation pays the bets left,
    // and the books add up either way.
    void aRevocationAndASettlementMeetInEitherOrder_data() {
        QTest::addColumn<bool>("revokedFirst");
        QTest::newRow("revocation first") << true;
        QTest::newRow("settlement first") << false;
    }
    void aRevocationAndASettlementMeetInEitherOrder() {
        QFETCH(bool, revokedFirst);
        const QString db = laidOut();
        ServerConnection server(db);
        lay(server);
        BooksFixture revoking(ServerHome(db)), settling(ServerHome(db));
        revoking.module->TableStavka->First(); // Иванов Иван's 100 on «Зенит» at 2
        const auto revoke = [&] { revoking.module->RevokeBet(); };
        if (revokedFirst)
            revoke();
        QVERIFY(settling.settle(7, 1));
        if (!revokedFirst) {
            try {
                revoke();
                QFAIL("a bet revoked after its settlement");
            } catch (const ERuleRefused& refused) {
                QCOMPARE(refused.message(), RevokeSettledMessage());
            }
        }
        QCOMPARE(psql(db, "select fio || ' ' || summa from money order by key"),
                 revokedFirst ? QStringList{"Сидоров Олег 80.0000"}
                              : QStringList({"Сидоров Олег 80.0000", "Иванов Иван 300.0000"}));
        QCOMPARE(psql(db, "select vid || ' ' || fio from history where fio is not null order by "
                          "key"),
                 revokedFirst ? QStringList({"Отзыв Иванов Иван", "Проигрыш Петров Пётр"})
                              : QStringList({"Выигрыш Иванов Иван", "Проигрыш Петров Пётр"}));
        QCOMPARE(psql(db, "select count(*) from priem union all select count(*) from compit"),
                 QStringList({"0", "0"}));
        QVERIFY2(revoking.errors.messages.isEmpty() && settling.errors.messages.isEmpty(),
                 qPrintable(revoking.errors.messages.join('\n')));
    }

    // The connection cut at each statement of a bet, of a settlement and of a payment in turn,
    // and the answer to the commit lost: the books are wholly as before (as after, when only the
    // answer was lost), and the same Ok pressed again does the work once. Then the server
    // stopped as by a crash at each statement of a bet, and started again.
    void aBreakAtAnyStatementLeavesTheBooksWholeAndTheSameOkDoesTheWorkOnce() {
        const QString db = laidOut();
        ServerConnection server(db);
        const auto sweep = [&](const Operation& operation, bool crash) {
            lay(server);
            const QStringList before = booksOf(server);
            {
                BooksFixture books(ServerHome(db));
                operation.prepare(books);
                operation.act(*books.module);
            }
            const QStringList after = booksOf(server);
            QVERIFY(after != before);
            int breaks = 0, lost = 0;
            for (int n = 1;; ++n) {
                lay(server);
                BooksFixture books(ServerHome(db));
                operation.prepare(books);
                const int own = server.Value("select pg_backend_pid()").toInt();
                int seen = 0;
                bool cut = false, answerLost = false;
                QString brokenAt;
                ServerConnection::Observe([&](const QString& statement, int backend) {
                    if (backend == own || ++seen != n)
                        return false;
                    cut = true;
                    brokenAt = statement;
                    answerLost = statement == QLatin1String("commit answered");
                    if (crash && !answerLost)
                        m_server.Stop("immediate");
                    else
                        cutBackend(server, backend);
                    return answerLost;
                });
                bool failed = false;
                try {
                    operation.act(*books.module);
                } catch (const EServerError& error) {
                    failed = true;
                    // A statement sent with its commit, broken before it answered, may
                    // have been committed.
                    if (!brokenAt.contains(QLatin1String("take_bet")))
                        QCOMPARE(error.Unknown(), brokenAt.startsWith(QLatin1String("commit")));
                }
                ServerConnection::Observe({});
                if (crash && cut && !answerLost)
                    m_server.Start();
                const QByteArray where = QByteArray(operation.name) + " broken at statement " +
                                         QByteArray::number(n) + " (" + brokenAt.toUtf8() + ") " +
                                         books.errors.messages.join('\n').toUtf8();
                if (!cut) {
                    QVERIFY2(!failed && n > 4, where.constData());
                    break;
                }
                if (!failed) { // a reading found the break and asked again on a new connection
                    QCOMPARE(booksOf(server), after);
                    continue;
                }
                ++breaks;
                lost += answerLost;
                QVERIFY2(booksOf(server) == (answerLost ? after : before), where.constData());
                try {
                    operation.act(*books.module);
                } catch (const EVarnelError& error) {
                    QFAIL(qPrintable(where + ", then: " + error.message().toUtf8()));
                }
                QVERIFY2(booksOf(server) == after, where.constData());
                QVERIFY2(books.errors.messages.isEmpty(), where.constData());
            }
            // (a bet's statement goes with its commit: two breaks that fail it, at least)
            QVERIFY2(breaks >= 2, operation.name);
            QCOMPARE(lost, 1);
        };
        for (const Operation& operation : kOperations) {
            sweep(operation, false);
            if (QTest::currentTestFailed())
                return;
        }
        sweep(kOperations[0], true);
    }

    // Four counters take bets on the same events through their dialogs while a fifth enters
    // results and a sixth pays the payouts: every stake sum is its opening 500 plus its
    // stakes, every winning bet is paid once, the history agrees with the tables, and no bet
    // is left on a removed event.
    void manyCountersAtOnceLoseNothingAndPayNothingTwice() {
        const QString db = laidOut();
        for (int number = 1; number <= 8; ++number)
            psql(db, eventEntered(number, "Хозяева", "Гости"));
        std::vector<std::unique_ptr<WorkFolder>> folders;
        const auto folder = [&] {
            folders.push_back(std::make_unique<WorkFolder>());
            nameServer(*folders.back(), db);
            return folders.back()->path();
        };
        QObject owner;
        QList<QProcess*> betting;
        for (int seed = 0; seed < 4; ++seed)
            betting << startWorker(&owner, {"--take-bets", folder(), "20", QString::number(seed)});
        QProcess* settling = startWorker(&owner, {"--settle", folder(), "1", "2", "3", "4"});
        const QString payFolder = folder(), revokeFolder = folder();
        QProcess* paying = startWorker(&owner, {"--pay", payFolder});
        QProcess* revoking = startWorker(&owner, {"--revoke", revokeFolder});
        QVERIFY(settling->waitForFinished(240000));
        QFile(QDir(payFolder).filePath("done")).open(QIODevice::WriteOnly);
        QFile(QDir(revokeFolder).filePath("done")).open(QIODevice::WriteOnly);
        int taken = 0;
        for (QProcess* worker : betting) {
            QVERIFY(worker->waitForFinished(240000));
            QCOMPARE(worker->exitCode(), 0);
            taken += worker->readAllStandardOutput().count("taken\n");
        }
        QVERIFY(paying->waitForFinished(240000));
        QVERIFY(revoking->waitForFinished(240000));
        QCOMPARE(settling->exitCode(), 0);
        QCOMPARE(paying->exitCode(), 0);
        QCOMPARE(revoking->exitCode(), 0);
        const int revoked = int(revoking->readAllStandardOutput().count("revoked\n"));
        QCOMPARE(settling->readAllStandardOutput().count("settled\n"), 4);
        const int paid = int(paying->readAllStandardOutput().count("paid\n"));

        const auto none = [&](const char* what, const QString& sql) {
            const QStringList wrong = psql(db, "select wrong::text from (" + sql + ") as wrong");
            QVERIFY2(wrong.isEmpty(), qPrintable(what + QString(": ") + wrong.join('\n')));
        };
        // The stakes taken, less those revoked: in the history, a revocation's record counts
        // its stake off.
        const QString stakes = "500 + coalesce((select sum(%1) from %2 b where %3 b.number = "
                               "e.number and b.result = %4), 0)";
        const QString sums = "summ_1 <> " + stakes.arg("%1", "%2", "%3", "e.kom1") +
                             " or summ_2 <> " + stakes.arg("%1", "%2", "%3", "e.kom2") +
                             " or summ_n <> " + stakes.arg("%1", "%2", "%3", "'Ничья'");
        none("an open event's sums",
             "select * from compit e where " + sums.arg("summa", "priem", ""));
        none("a settled event's sums",
             "select * from history e where vid = 'Результат' and (" +
                 sums.arg("case when b.vid = 'Отзыв' then -summa else summa end", "history",
                          "b.vid in ('Ставка', 'Отзыв') and b.key < e.key and") +
                 ")");
        none("a bet on a removed event", "select * from priem p where not exists (select 1 from "
                                         "compit e where e.number = p.number)");
        none("a bet open and settled or revoked, or none of them, or ended twice",
             "select * from history b where vid = 'Ставка' and (select count(*) from priem p "
             "where p.serial = b.serial) + (select count(*) from history s where s.serial = "
             "b.serial and s.vid in ('Выигрыш', 'Проигрыш', 'Отзыв')) <> 1");
        none("a bet unlike its history", "select * from priem p where not exists (select 1 from "
                                         "history b where b.vid = 'Ставка' and b.serial = "
                                         "p.serial and b.summa = p.summa and b.fio = p.fio and "
                                         "b.result = p.result and b.koeficient = p.koeficient)");
        none("a win paid wrongly", "select * from history w where vid = 'Выигрыш' and "
                                   "(vyplata <> round(summa + summa * koeficient, 4) or (select "
                                   "count(*) from history x where x.vid = 'Выплата' and "
                                   "x.serial = w.serial and x.vyplata = w.vyplata) <> 1)");
        QCOMPARE(psql(db, "select count(*) from history where vid = 'Ставка'"),
                 QStringList{QString::number(taken)});
        QCOMPARE(psql(db, "select count(*) from history where vid = 'Выплата'"),
                 QStringList{QString::number(paid)});
        QCOMPARE(psql(db, "select count(*) || ' ' || count(distinct number) from history where "
                          "vid = 'Результат'"),
                 QStringList{"4 4"});
        QCOMPARE(psql(db, "select count(*) from money"), QStringList{"0"});
        QCOMPARE(psql(db, "select count(*) from history where vid = 'Отзыв'"),
                 QStringList{QString::number(revoked)});
        QVERIFY(taken > 40 && paid > 0 && revoked > 0);
    }

    // Two counters' processes take bets through their dialogs on the same events under a
    // liability limit: the event's row held by each bet, no outcome ever owes more than the
    // limit, every event keeps what its bets would pay, and the bets past it were refused.
    void twoCountersNeverBothFitUnderALiabilityLimit() {
        const QString db = laidOut();
        for (int number = 1; number <= 4; ++number)
            psql(db, eventEntered(number, "Хозяева", "Гости")); // payout sums not kept yet
        psql(db, "insert into limits (risk_max) values (400)");
        std::vector<std::unique_ptr<WorkFolder>> folders;
        QObject owner;
        QList<QProcess*> betting;
        for (int seed = 0; seed < 2; ++seed) {
            folders.push_back(std::make_unique<WorkFolder>());
            nameServer(*folders.back(), db);
            betting << startWorker(
                &owner, {"--take-bets", folders.back()->path(), "24", QString::number(seed * 4)});
        }
        int taken = 0;
        for (QProcess* worker : betting) {
            QVERIFY(worker->waitForFinished(240000));
            QCOMPARE(worker->exitCode(), 0);
            taken += worker->readAllStandardOutput().count("taken\n");
        }
        QCOMPARE(psql(db, "select count(*) from priem"), QStringList{QString::number(taken)});
        QVERIFY2(taken > 4 && taken < 48, qPrintable(QString::number(taken)));
        const QString owed = "coalesce((select sum(round(p.summa + p.summa * p.koeficient, 4)) "
                             "from priem p where p.number = e.number and p.result = %1), 0)";
        for (const auto& [sum, outcome] :
             {std::pair{"vypl_1", "e.kom1"}, std::pair{"vypl_2", "e.kom2"},
              std::pair{"vypl_n", "'Ничья'"}}) {
            const QString bets = owed.arg(QString::fromUtf8(outcome));
            const QStringList wrong =
                psql(db, QStringLiteral("select number || ' %2 ' || coalesce(%2::text, '-') || ' "
                                        "owed ' || %1 from compit e where %1 > 400 or "
                                        "abs(coalesce(%2, 0) - %1) > 0.001")
                             .arg(bets, QLatin1String(sum)));
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
        }
    }

    // A counter killed at each statement of a bet in turn, its process gone at once: the
    // books are wholly as before, or wholly as after once its commit was answered.
    void aCounterKilledAtAnyStatementLeavesTheBooksWhole() {
        const QString db = laidOut();
        ServerConnection server(db);
        lay(server);
        const QStringList before = booksOf(server);
        {
            BooksFixture books(ServerHome(db));
            pendingBet(books);
            books.module->RecordBet(Outcome::Side1, false);
        }
        const QStringList after = booksOf(server);
        WorkFolder folder;
        nameServer(folder, db);
        int killed = 0;
        for (int n = 1;; ++n) {
            lay(server);
            QObject owner;
            QProcess* worker =
                startWorker(&owner, {"--bet-and-die-at", folder.path(), QString::number(n)});
            QVERIFY(worker->waitForFinished(60000));
            const QByteArray where = "killed at statement " + QByteArray::number(n);
            if (worker->exitCode() == 0) {
                QVERIFY2(booksOf(server) == after, where.constData());
                break;
            }
            QVERIFY2(worker->exitCode() == 77, where.constData());
            ++killed;
            const QByteArray statement = worker->readAllStandardOutput().trimmed();
            const bool committed =
                statement == "commit answered" || statement.startsWith("committed: ");
            QVERIFY2(booksOf(server) == (committed ? after : before),
                     (where + " (" + statement + ")").constData());
        }
        QVERIFY(killed >= 5);
    }

    // A working folder whose varnel.conf names the server starts the counter on it: the
    // tables are the server's, and the folder is no one program's (the counters share it).
    void aFolderThatNamesTheServerStartsTheCounterOnIt() {
        const QString db = laidOut();
        psql(db, "insert into compit (number, kom1, kom2) values (7, 'Зенит', 'Спартак')");
        WorkFolder folder;
        QFile conf(folder.file("varnel.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("# the books of this counter\n[server]\nconninfo = %1\n")
                       .arg(db)
                       .toUtf8());
        conf.close();
        FolderLock other; // as another counter started in this folder holds it
        QVERIFY(other.TryLock(folder.path()));
        ErrorRecorder errors;
        TApplication app;
        QVERIFY(StartUp(app));
        QVERIFY2(errors.messages.isEmpty(), qPrintable(errors.messages.join('\n')));
        for (TDataSet* table : {DataModule6->TableCompit, DataModule6->TableStavka,
                                DataModule6->TableMoney, DataModule6->TableHistory}) {
            QVERIFY(qobject_cast<TServerTable*>(table));
            QVERIFY(table->Active());
        }
        QCOMPARE(DataModule6->TableCompit->GetFieldValue("KOM1").toString(), QString("Зенит"));

        // A [server] section without its string: refused, with the file named.
        WorkFolder broken;
        QFile bad(broken.file("varnel.conf"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("[server]\nhost=nowhere\n");
        bad.close();
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, ServerConninfoOf(broken.path()));
        QCOMPARE(ServerConninfoOf(folder.path()), db);
    }

    // The server stopped while the counter runs: opening a browser says so and writes
    // nothing; once the server is back the same opening shows what the books hold now, the
    // program never restarted.
    void theCounterGoesOnOnceTheServerIsBack() {
        const QString db = laidOut();
        ServerCounter counter(db);
        QVERIFY(counter.started);
        const ErrorRecorder& errors = counter.errors;
        QVERIFY(DataModule6->TableCompit->IsEmpty());
        // Another counter enters an event, then the server goes down.
        psql(db, "insert into compit (number, kom1, kom2) values (7, 'Зенит', 'Спартак')");
        m_server.Stop("immediate");
        runModal(TableCompitition, [] {});
        QCOMPARE(errors.messages.size(), 1);
        QVERIFY2(errors.messages[0].contains("недоступен") &&
                     errors.messages[0].contains("Ничего не записано"),
                 qPrintable(errors.messages[0]));
        m_server.Start();
        runModal(TableCompitition, [] {});
        QCOMPARE(errors.messages.size(), 1);
        QCOMPARE(DataModule6->TableCompit->GetFieldValue("KOM1").toString(), QString("Зенит"));
    }

    void aFolderMovesOntoAnEmptyDatabaseWhole() {
        const QString db = m_server.NewDatabase();
        BooksFixture books;
        append(*books.module->TableCompit,
               {eventRecord(7, "Зенит", "Спартак"), eventRecord(8, "Динамо", "ЦСКА")});
        books.takeBet(7, 1, 100, "Иванов Иван");
        books.takeBet(7, 2, 40, "Петров Пётр");
        books.takeBet(8, 3, 20, "Сидорова Анна", true);
        QVERIFY(books.settle(7, 1));
        // A bet older than the history: no record names it.
        append(*books.module->TableStavka, {betRecord(8, "Динамо", 15, 2.5, "Старый")});
        QVERIFY(books.errors.messages.isEmpty());
        books.module.reset();
        const QString folder = books.folder.path();

        // Held by a program: refused, nothing on the server.
        {
            FolderLock held;
            QVERIFY(held.TryLock(folder));
            const Run run = newdesk({"--server", db, "--from", folder});
            QCOMPARE(run.status, 1);
            QVERIFY2(run.err.contains("держит запущенная программа"), qPrintable(run.err));
            QCOMPARE(psql(db, "select to_regnamespace('varnel') is null"), QStringList{"t"});
        }

        const Run run = newdesk({"--server", db, "--from", folder});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains("tmp: записей 0"), qPrintable(run.out + run.err));
        // Record for record, each under its place in its file as its key.
        const struct {
            const char* file;
            const char* table;
            const char* fields;
            const char* money; // the fields the report sums
        } tables[] = {
            {"COMPIT.DBF", "compit",
             "NUMBER DATE KOM1 KOM2 KOEF_1 KOEF_2 KOEF_N SUMM_1 SUMM_2 SUMM_N VYPL_1 VYPL_2 VYPL_N",
             "SUMM_1 SUMM_2 SUMM_N VYPL_1 VYPL_2 VYPL_N"},
            {"PRIEM.DBF", "priem", "NUMBER RESULT SUMMA KOEFICIENT FIO", "SUMMA"},
            {"MONEY.DBF", "money", "FIO SUMMA", "SUMMA"},
            {"HISTORY.DBF", "history",
             "DEN VREMYA VID SERIAL ZAPIS NUMBER DATE KOM1 KOM2 KOEF_1 KOEF_2 KOEF_N SUMM_1 "
             "SUMM_2 SUMM_N RESULT SUMMA KOEFICIENT FIO VYPLATA",
             "SUMM_1 SUMM_2 SUMM_N SUMMA VYPLATA"},
        };
        for (const auto& t : tables) {
            const QString path = books.folder.file(t.file);
            QCOMPARE(
                numbers(psql(db, QStringLiteral("select key from %1 order by key").arg(t.table))),
                livePlaces(path));
            const QJsonArray rows = readWithDbfread(path);
            // The report: the records, and the sum of each money field.
            QString line = QStringLiteral("%1: записей %2").arg(t.table).arg(rows.size());
            for (const QString& field : QString(t.money).split(' ')) {
                double sum = 0;
                for (const QJsonValue& row : rows)
                    sum += row.toObject()[field].toDouble();
                line += QStringLiteral(", %1 %2").arg(field.toLower()).arg(sum, 0, 'f', 2);
            }
            QVERIFY2(run.out.contains(line + '\n'), qPrintable(line + "\n" + run.out));
            const QStringList fields = QString(t.fields).split(' ');
            QStringList columns;
            for (const QString& field : fields)
                columns << QStringLiteral("coalesce(%1::text, '')").arg(field.toLower());
            const QStringList held = psql(db, QStringLiteral("select %1 from %2 order by key")
                                                  .arg(columns.join(" || '|' || "), t.table));
            QCOMPARE(held.size(), rows.size());
            for (qsizetype r = 0; r < rows.size(); ++r) {
                const QStringList values = held[r].split('|');
                for (qsizetype f = 0; f < fields.size(); ++f) {
                    const QJsonValue want = rows[r].toObject()[fields[f]];
                    const QString got = values[f];
                    const bool same = want.isDouble()
                                          ? sameTo9Digits(got.toDouble(), want.toDouble())
                                      : want.isNull() ? got.isEmpty()
                                                      : got == want.toVariant().toString();
                    QVERIFY2(same,
                             qPrintable(QStringLiteral("%1 row %2 %3: %4, the file %5")
                                            .arg(t.table)
                                            .arg(r)
                                            .arg(fields[f], got, want.toVariant().toString())));
                }
            }
        }

        // Each bet keeps the serial of its record, the bet older than the history takes one
        // past them all; the payout keeps its bet's; the sequence goes on past every one.
        QCOMPARE(psql(db, "select p.fio, p.serial = h.serial from priem p join history h on "
                          "h.zapis = p.key and h.vid = 'Ставка' order by p.key"),
                 QStringList{"Сидорова Анна|t"});
        QCOMPARE(psql(db, "select serial > (select max(serial) from history) from priem where "
                          "fio = 'Старый'"),
                 QStringList{"t"});
        QCOMPARE(psql(db, "select m.serial = h.serial from money m join history h on h.zapis = "
                          "m.key and h.vid = 'Выигрыш'"),
                 QStringList{"t"});
        QCOMPARE(psql(db, "select nextval('serial') > (select max(serial) from priem)"),
                 QStringList{"t"});
        QCOMPARE(psql(db, "select (select max(key) from history) < nextval(pg_get_serial_sequence("
                          "'history', 'key'))"),
                 QStringList{"t"});

        // The export reads each table of the server as it reads its file, in every format;
        // a snapshot of the books as files is what the folder held.
        QTemporaryDir out;
        const QString snapshot = out.filePath("снимок");
        const Run copied = exported({"--server", db, "--to-folder", snapshot});
        QVERIFY2(copied.status == 0, qPrintable(copied.err));
        // (The bet older than the history has a serial on the server only.)
        const auto withoutSerial = [](QJsonArray rows) {
            for (qsizetype i = 0; i < rows.size(); ++i) {
                QJsonObject object = rows[i].toObject();
                object.remove("SERIAL");
                rows[i] = object;
            }
            return rows;
        };
        for (const auto& t : tables) {
            const QString file = books.folder.file(t.file);
            const QString described = QString(t.fields).replace(' ', ',');
            for (const char* format : {"csv", "json"}) {
                const Run fromFile = exported({file, "--format", format, "--fields", described});
                QCOMPARE(fromFile.status, 0);
                const Run fromServer =
                    exported({"--server", db, t.table, "--format", format, "--fields", described});
                QVERIFY2(fromServer.status == 0, qPrintable(fromServer.err));
                QCOMPARE(fromServer.out.split('\n'), fromFile.out.split('\n'));
                const Run fromSnapshot = exported(
                    {QDir(snapshot).filePath(t.file), "--format", format, "--fields", described});
                QCOMPARE(fromSnapshot.out, fromFile.out);
            }
            const bool serials = QString(t.table) == "priem" || QString(t.table) == "money";
            QCOMPARE(serials ? withoutSerial(readWithDbfread(QDir(snapshot).filePath(t.file)))
                             : readWithDbfread(QDir(snapshot).filePath(t.file)),
                     serials ? withoutSerial(readWithDbfread(file)) : readWithDbfread(file));
        }
        const Run some = exported({"--server", db, "HISTORY.DBF", "--where", "VID=Ставка",
                                   "--where", "NUMBER=7.0", "--fields", "fio,summa"});
        QCOMPARE(some.out, exported({books.folder.file("HISTORY.DBF"), "--where", "VID=Ставка",
                                     "--where", "NUMBER=7.0", "--fields", "fio,summa"})
                               .out);
        QCOMPARE(some.out.count('\n'), 3);
        // A value is a value, whatever quotes it holds.
        const Run quoted =
            exported({"--server", db, "priem", "--where", "FIO=Д'Артаньян'; drop table priem; --"});
        QCOMPARE(quoted.status, 0);
        QCOMPARE(quoted.out.count('\n'), 1);
        QCOMPARE(psql(db, "select count(*) from priem"), QStringList{"2"});
        QCOMPARE(exported({"--server", db, "--to-folder", snapshot}).status, 1); // not over it
        {
            // Written out while an older transaction runs: the record the server cannot seal
            // yet comes last, and the folder's chain takes it on whole.
            ServerConnection older(db);
            ServerTransaction open(older);
            older.Value(QStringLiteral("select pg_current_xact_id()"));
            psql(db, "insert into history (vid, fio) values ('Ставка', 'Поздний')");
            const QString late = out.filePath("поздний");
            QCOMPARE(exported({"--server", db, "--to-folder", late}).status, 0);
            QCOMPARE(psql(db, "select h.fio from history h where not exists (select from seals "
                              "s where s.key = h.key)"),
                     QStringList{"Поздний"});
            const ChainVerdict chain = CheckFolderChain(QDir(late).filePath("HISTORY.DBF"), {});
            QVERIFY2(chain.Whole(), qPrintable(chain.Said()));
            QCOMPARE(QString::number(chain.head.records),
                     psql(db, "select count(*) from history")[0]);
        }
        // A row the files cannot hold, written by the owner past the operations: the export
        // names it and says how to go on, and leaves no table half written.
        const QString key = psql(db, "update history set serial = 1000000000 where fio = "
                                     "'Поздний' returning key")[0];
        const QString full = out.filePath("полный");
        const Run refused = exported({"--server", db, "--to-folder", full});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains("ключом " + key + " таблицы varnel.history") &&
                     refused.err.contains("SERIAL") && refused.err.contains("--format csv"),
                 qPrintable(refused.err));
        QVERIFY(!QFileInfo::exists(QDir(full).filePath("HISTORY.DBF")));
        QCOMPARE(exported({"--server", db, "priem", "--fields", "nope"}).status, 1);

        // Onto a database that holds books: refused, nothing written.
        const QStringList before = psql(db, "select count(*) from history");
        const Run again = newdesk({"--server", db, "--from", folder});
        QCOMPARE(again.status, 1);
        QVERIFY2(again.err.contains("книги уже заведены"), qPrintable(again.err));
        QCOMPARE(psql(db, "select count(*) from history"), before);
    }
};

// The workers of the test of many counters: the program started in the folder named, whose
// varnel.conf names the server, working through its windows as an operator would.
//   --take-bets FOLDER COUNT SEED  COUNT bets through the bet dialog on events 1 to 8 in turn,
//                                  "taken" printed for each one the dialog confirmed
//   --settle FOLDER NUMBER...      the events settled through the result dialog, one after
//                                  another once a bet on its winner is in, "settled" printed for
//                                  each
//   --bet-and-die-at FOLDER N      one bet through the dialog, the process ended at once
//                                  (status 77) at the N-th statement of its second Ok, which
//                                  it prints first
//   --revoke FOLDER                the newest bet revoked every few tenths of a second, as the
//                                  bets browser's button does, "revoked" printed for each one
//                                  done (a refused one is no failure), until FOLDER/done is there
//   --pay FOLDER                   the payouts paid through the payouts browser as they come,
//                                  "paid" printed for each, until FOLDER/done is there and
//                                  none is left
static int counterWorker(int argc, char** argv) {
    const QByteArray mode = argv[1];
    return runWorker(argc, argv, argv[2], [&]() -> int {
        const auto say = [](const char* what) {
            std::printf("%s\n", what);
            std::fflush(stdout);
        };
        if (mode == "--take-bets") {
            const int count = std::atoi(argv[3]), seed = std::atoi(argv[4]);
            for (int i = 0; i < count; ++i)
                if (takeBet(QStringLiteral("Клиент %1-%2").arg(seed).arg(i),
                            10 + (i * 13 + seed) % 90, 1 + (seed + i) % 8, 1 + (i * 7 + seed) % 3))
                    say("taken");
            return 0;
        }
        if (mode == "--bet-and-die-at") {
            bool closed = false;
            runModal(PriemStavka, [&] {
                fillBet(QStringLiteral("Клиент"), 25, 7, 1);
                int seen = 0;
                const int at = std::atoi(argv[3]);
                bool committed = false;
                ServerConnection::Observe([&](const QString& statement, int) {
                    if (++seen == at) {
                        say((committed ? "committed: " + statement : statement)
                                .toUtf8()
                                .constData());
                        std::_Exit(77);
                    }
                    committed = committed || statement == QLatin1String("commit answered");
                    return false;
                });
                press(PriemStavka, "Button3");
                ServerConnection::Observe({});
                closed = !PriemStavka->isVisible();
            });
            return closed ? 0 : 1;
        }
        if (mode == "--settle") {
            TDataSet& bets = *DataModule6->TableStavka;
            // Whether a bet on the event's winning outcome is in, so that it pays (or the event
            // is gone).
            const auto winnerBacked = [&](int number, int outcome) {
                if (!DataModule6->FindEvent(Variant(number)))
                    return true;
                const Variant winner(OutcomeName(*DataModule6->TableCompit, Outcome(outcome)));
                bets.Refresh();
                const TField* betNumber = bets.FieldByName(fields::NUMBER);
                for (std::int64_t at = bets.FindRecord(-1, +1, betNumber, Variant(number)); at >= 0;
                     at = bets.FindRecord(at, +1, betNumber, Variant(number)))
                    if (bets.ValueAt(std::uint32_t(at), bets.FieldByName(fields::RESULT)) == winner)
                        return true;
                return false;
            };
            for (int i = 3; i < argc; ++i) {
                QTest::qWait(400); // bets are under way meanwhile
                const int number = std::atoi(argv[i]);
                // and one on the outcome that wins, however slowly the counters started
                for (int waited = 0; waited < 300 && !winnerBacked(number, 1 + number % 3);
                     ++waited)
                    QTest::qWait(100);
                if (!settle(number, 1 + number % 3))
                    return 1;
                say("settled");
            }
            return 0;
        }
        const QString done = QDir::current().filePath(QStringLiteral("done"));
        if (mode == "--revoke") {
            TDataSet& bets = *DataModule6->TableStavka;
            while (!QFile::exists(done)) {
                QTest::qWait(300);
                bets.Refresh();
                if (bets.IsEmpty())
                    continue;
                bets.Last();
                try {
                    DataModule6->RevokeBet();
                    say("revoked");
                } catch (const ERuleRefused&) {
                    // settled or revoked meanwhile: what the operator would be told
                }
            }
            return 0;
        }
        TDataSet& money = *DataModule6->TableMoney;
        for (;;) {
            const bool last = QFile::exists(done);
            money.Refresh();
            if (!money.IsEmpty()) {
                payOut(0);
                say("paid");
            } else if (last) {
                return 0;
            } else {
                QTest::qWait(100);
            }
        }
    });
}

int main(int argc, char** argv) {
    if (argc >= 3 && QByteArray(argv[1]).startsWith("--")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return counterWorker(argc, argv);
    }
    return runTests<QApplication, TestServer>(argc, argv);
}
#include "test_server.moc"
