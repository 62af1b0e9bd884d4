// The history: what each action of the counter records, in the same commit as the action;
// a folder kept without one; undoing a result.
#include "base/Errors.h"
#include "base/Report.h"
#include "controls/DBNavigator.h"
#include "office/window/Undo.h"
#include "shell/StartUp.h"
#include "store/DataModule6.h"
#include "store/History.h"
#include "store/Home.h"
#include "store/Tables.h"
#include "store/engine/Convert.h"
#include "store/engine/DbfFile.h"
#include "store/engine/FaultInjection.h"
#include "store/engine/FolderLock.h"
#include "store/engine/Journal.h"
#include "tests/support/Office.h"
#include "tests/support/TestMain.h"
#include "tools/newdesk/NewDesk.h"
#include "views/TableMoney.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace varnel;
using namespace varnel::test;

namespace {

QJsonArray history(const Office& office) {
    return readWithDbfread(office.folder.file("HISTORY.DBF"));
}

QStringList kindsOf(const QJsonArray& records) {
    QStringList kinds;
    for (const auto& r : records)
        kinds << r.toObject()["VID"].toString();
    return kinds;
}

// The place in the history of the newest record of a kind.
std::uint32_t newest(const QJsonArray& records, const QString& kind) {
    for (qsizetype i = records.size() - 1; i >= 0; --i)
        if (records[i].toObject()["VID"].toString() == kind)
            return std::uint32_t(i);
    qFatal("no %s in the history", qPrintable(kind));
}

// The live records of a table as dbfread reads them, in an order that does not depend on
// where in the file they stand.
QStringList sorted(const QJsonArray& records) {
    QStringList rows;
    for (const auto& r : records)
        rows << QJsonDocument(r.toObject()).toJson(QJsonDocument::Compact);
    rows.sort();
    return rows;
}

// The folder of the tests of this file: the event 7 (Спартак — Зенит at 1.5, 2.5, 3) entered
// through its dialog, two bets on Спартак and one on Зенит, and the event 8 with a bet of its
// own.
void layOutBooks() {
    QVERIFY(enterEvent("7", "Спартак", "Зенит", Date().addDays(5), {"1,5", "2,5", "3"}));
    QVERIFY(enterEvent("8", "Динамо", "Торпедо", Date().addDays(6)));
    QVERIFY(takeBet("Иванов Иван", "100", "7", 1));
    QVERIFY(takeBet("Чужой", "5", "8", 3));
    QVERIFY(takeBet("Петров Пётр", "40", "7", 2));
    QVERIFY(takeBet("Сидорова Анна", "10", "7", 1));
}

// varnel-newdesk run on a folder as the operator runs it.
struct NewDeskRun {
    int status = -1;
    QString out, err;
};
NewDeskRun newdesk(const QString& folder) {
    QProcess process;
    process.setProcessEnvironment(childEnvironment());
    process.start(QStringLiteral(VARNEL_NEWDESK), {folder});
    NewDeskRun run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// What a table file's header says of its layout.
struct FileLayout {
    char kind = 0, driver = 0; // the version byte, the code page's
    std::uint32_t count = 0;
    int header = 0, record = 0;
};
FileLayout layoutOf(const QByteArray& bytes) {
    const auto u = [&](int at) { return std::uint32_t(std::uint8_t(bytes[at])); };
    return {bytes[0], bytes[29], u(4) | u(5) << 8 | u(6) << 16 | u(7) << 24, int(u(8) | u(9) << 8),
            int(u(10) | u(11) << 8)};
}

// The books of the fixture kept as a counter kept them before KASSIR: its history of the old
// layout, opened by the counter as it is, and two events, three bets, a settlement and a
// payment recorded there.
void keepHistoryBeforeKassir(BooksFixture& books) {
    const QString path = books.folder.file("HISTORY.DBF");
    books.module.reset();
    createHistoryBeforeKassir(path);
    books.module = std::make_unique<TDataModule6>();
    RunHandler([&] { books.module->DataModuleCreate(); });
    QVERIFY2(books.errors.messages.isEmpty(), qPrintable(books.errors.messages.join('\n')));
    books.enterEvent(7, "Спартак", "Зенит");
    books.takeBet(7, 1, 100, "Иванов Иван");
    books.takeBet(7, 2, 40, "Петров Пётр");
    books.enterEvent(8, "Динамо", "Торпедо");
    books.takeBet(8, 3, 5, "Чужой");
    QVERIFY(books.settle(7, 1));
    books.payOut(0);
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
    std::unique_ptr<Office> m_office;

private slots:
    void init() {
        m_office = std::make_unique<Office>();
        QVERIFY(m_office->started);
        QVERIFY(m_office->errors.notices.isEmpty());
    }
    void cleanup() { m_office.reset(); }

    void eachActionRecordsWhatItDidAndTheSerialLinksABetToItsPayout() {
        layOutBooks();
        QVERIFY(settle("7", 1));
        payOut(0); // Иванов Иван's
        const QJsonArray records = history(*m_office);
        QCOMPARE(kindsOf(records),
                 QStringList({"Событие", "Событие", "Ставка", "Ставка", "Ставка", "Ставка",
                              "Выигрыш", "Проигрыш", "Выигрыш", "Результат", "Выплата"}));
        const auto at = [&](int i) { return records[i].toObject(); };
        QCOMPARE(at(0)["KOM1"].toString(), QString("Спартак"));
        QCOMPARE(at(0)["KOEF_1"].toDouble(), 1.5);
        QCOMPARE(at(0)["SUMM_2"].toDouble(), 500.0);
        QCOMPARE(at(0)["DATE"].toString(), Date().addDays(5).toString(Qt::ISODate));
        for (const auto& r : records) {
            QCOMPARE(r.toObject()["DEN"].toString(), Date().toString(Qt::ISODate));
            QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$")
                        .match(r.toObject()["VREMYA"].toString())
                        .hasMatch());
        }
        // A bet: its own fields and the event as the bet left it.
        QCOMPARE(at(2)["FIO"].toString(), QString("Иванов Иван"));
        QCOMPARE(at(2)["RESULT"].toString(), QString("Спартак"));
        QCOMPARE(at(2)["SUMMA"].toDouble(), 100.0);
        QCOMPARE(at(2)["KOEFICIENT"].toDouble(), 1.5);
        QCOMPARE(at(2)["SUMM_1"].toDouble(), 600.0);
        QCOMPARE(at(4)["SUMM_1"].toDouble(), 600.0);
        QCOMPARE(at(4)["SUMM_2"].toDouble(), 540.0);
        // Serials never repeat, and follow a bet to its settlement and its payment.
        QSet<int> serials;
        for (int i : {2, 3, 4, 5})
            serials << at(i)["SERIAL"].toInt();
        QCOMPARE(serials.size(), 4);
        QCOMPARE(at(6)["SERIAL"].toInt(), at(2)["SERIAL"].toInt());
        QCOMPARE(at(6)["VYPLATA"].toDouble(), 250.0);
        QCOMPARE(at(7)["SERIAL"].toInt(), at(4)["SERIAL"].toInt());
        QCOMPARE(at(8)["SERIAL"].toInt(), at(5)["SERIAL"].toInt());
        QCOMPARE(at(8)["VYPLATA"].toDouble(), 25.0);
        QCOMPARE(at(9)["RESULT"].toString(), QString("Спартак"));
        QCOMPARE(at(9)["SUMM_1"].toDouble(), 610.0);
        QCOMPARE(at(10)["SERIAL"].toInt(), at(2)["SERIAL"].toInt());
        QCOMPARE(at(10)["FIO"].toString(), QString("Иванов Иван"));
        QCOMPARE(at(10)["VYPLATA"].toDouble(), 250.0);
        const QStringList faults = historyDisagreements(m_office->folder.path());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }

    void aFolderWithoutHistoryWorksAndSaysOnceHowToAddIt() {
        m_office.reset();
        WorkFolder folder;
        QFile::remove(folder.file("HISTORY.DBF"));
        {
            ErrorRecorder errors;
            TApplication app;
            QVERIFY(StartUp(app));
            QVERIFY(errors.messages.isEmpty());
            QCOMPARE(errors.notices.size(), 1);
            QVERIFY2(errors.notices[0].contains("HISTORY.DBF") &&
                         errors.notices[0].contains("varnel-newdesk"),
                     qPrintable(errors.notices[0]));
            append(*DataModule6->TableCompit, {eventRecord(1, "Спартак", "Динамо")});
            QVERIFY(takeBet("Иванов", "100", "1", 1));
            QVERIFY(settle("1", 1));
            QVERIFY(!QFile::exists(folder.file("HISTORY.DBF")));
        }
        const auto books = snapshot(folder.path());
        QCOMPARE(LayOutWorkingFolder(folder.path()), Laid::History);
        QCOMPARE(LayOutWorkingFolder(folder.path()), Laid::Nothing);
        for (const char* name : {"COMPIT.DBF", "PRIEM.DBF", "TMP.DBF", "MONEY.DBF"})
            QCOMPARE(folder.bytes(name), books.at(name));
        QVERIFY(readWithDbfread(folder.file("HISTORY.DBF")).isEmpty());
        ErrorRecorder errors;
        TApplication app;
        QVERIFY(StartUp(app));
        QVERIFY(errors.messages.isEmpty() && errors.notices.isEmpty());
        // A payout older than the history is paid and recorded, without a serial.
        payOut(0);
        const QJsonArray records = readWithDbfread(folder.file("HISTORY.DBF"));
        QCOMPARE(kindsOf(records), QStringList{"Выплата"});
        QVERIFY(records[0].toObject()["SERIAL"].isNull());
        QCOMPARE(records[0].toObject()["VYPLATA"].toDouble(), 300.0);
    }

    // A history written before KASSIR: the counter works on it as it is; varnel-newdesk adds
    // the field, every record kept byte for byte (a deleted one too), the books untouched, but
    // never while a counter holds the folder or left work unfinished there. Then the counter
    // names its operator in each record.
    void varnelNewdeskAddsTheCashierToAHistoryWrittenBeforeIt() {
        m_office.reset();
        BooksFixture books; // a counter's books, in a folder nobody holds
        const QString folder = books.folder.path();
        const QString path = books.folder.file("HISTORY.DBF");
        keepHistoryBeforeKassir(books);
        books.module.reset();
        // A record another program wrote and deleted stays what it is.
        {
            DbfFile file(path);
            file.open();
            QByteArray record = file.blankRecord();
            file.encode(record.data(), file.columnIndex("VID"), Variant("Чужая"));
            record[0] = '*';
            file.append(record);
        }
        const QJsonArray before = readWithDbfread(path);
        QCOMPARE(before.size(), 9);
        const QByteArray old = books.folder.bytes("HISTORY.DBF");
        const FileLayout was = layoutOf(old);
        QCOMPARE(was.count, 10u);
        auto tables = snapshot(folder);
        tables.erase("HISTORY.DBF");
        const auto books4 = [&] {
            auto now = snapshot(folder);
            now.erase("HISTORY.DBF");
            return now;
        };
        const QString shown = QDir(folder).absolutePath();

        // A counter holds the folder: refused, the file as it was.
        {
            FolderLock counter;
            QVERIFY(counter.TryLock(folder));
            const NewDeskRun refused = newdesk(folder);
            QCOMPARE(refused.status, 1);
            QVERIFY2(refused.err.contains("KASSIR") &&
                         refused.err.contains("работает программа кассы") &&
                         refused.err.contains("не изменена"),
                     qPrintable(refused.err));
            QVERIFY(refused.out.isEmpty());
            QVERIFY_THROWS_EXCEPTION(EDatabaseError, LayOutWorkingFolder(folder));
        }
        // Work a crash cut off waits in the folder: refused too.
        {
            QFile journal(QDir(folder).filePath(JournalFileName()));
            QVERIFY(journal.open(QIODevice::WriteOnly));
            journal.close();
            const NewDeskRun refused = newdesk(folder);
            QCOMPARE(refused.status, 1);
            QVERIFY2(refused.err.contains("незавершённая работа"), qPrintable(refused.err));
            QVERIFY(journal.remove());
        }
        QCOMPARE(books.folder.bytes("HISTORY.DBF"), old);
        QVERIFY(!QFile::exists(path + ".part"));

        const NewDeskRun done = newdesk(folder);
        QCOMPARE(done.status, 0);
        QCOMPARE(done.out, QString("В таблицу истории HISTORY.DBF добавлены поля KASSIR, KOD, "
                                   "HASH (записей: 10): %1\n")
                               .arg(shown));
        QVERIFY(!QFile::exists(path + ".part"));
        const QByteArray now = books.folder.bytes("HISTORY.DBF");
        const FileLayout is = layoutOf(now);
        QCOMPARE(is.kind, was.kind);
        QCOMPARE(is.driver, was.driver);
        QCOMPARE(is.count, was.count);
        QCOMPARE(is.header, was.header + 3 * 32);
        QCOMPARE(is.record, was.record + 63 + 81 + 64);
        QCOMPARE(now.size(), qsizetype(is.header) + qsizetype(is.count) * is.record + 1);
        QCOMPARE(now.back(), char(0x1A));
        // The column descriptors of the old file, then KASSIR C(63), KOD C(81), HASH C(64).
        QCOMPARE(now.mid(32, was.header - 33), old.mid(32, was.header - 33));
        QCOMPARE(now.mid(was.header - 1, 11), QByteArray("KASSIR\0\0\0\0\0", 11));
        QCOMPARE(now[was.header - 1 + 11], 'C');
        QCOMPARE(int(std::uint8_t(now[was.header - 1 + 16])), 63);
        QCOMPARE(now.mid(was.header - 1 + 32, 11), QByteArray("KOD\0\0\0\0\0\0\0\0", 11));
        QCOMPARE(int(std::uint8_t(now[was.header - 1 + 32 + 16])), 81);
        QCOMPARE(now.mid(was.header - 1 + 64, 11), QByteArray("HASH\0\0\0\0\0\0\0", 11));
        QCOMPARE(int(std::uint8_t(now[was.header - 1 + 64 + 16])), 64);
        for (std::uint32_t i = 0; i < is.count; ++i) {
            const QByteArray record = now.mid(is.header + qsizetype(i) * is.record, is.record);
            QCOMPARE(record.left(was.record),
                     old.mid(was.header + qsizetype(i) * was.record, was.record));
            QCOMPARE(record.mid(was.record), QByteArray(63 + 81 + 64, ' '));
        }
        // Every dBASE reader reads the same records, KASSIR blank; the books were not touched.
        const QJsonArray after = readWithDbfread(path);
        QCOMPARE(after.size(), before.size());
        for (qsizetype i = 0; i < after.size(); ++i) {
            QJsonObject expected = before[i].toObject();
            expected["KASSIR"] = "";
            expected["KOD"] = "";
            expected["HASH"] = "";
            QCOMPARE(after[i].toObject(), expected);
        }
        QVERIFY(books4() == tables);

        // Once added, there is nothing more to do.
        QCOMPARE(LayOutWorkingFolder(folder), Laid::Nothing);
        QCOMPARE(books.folder.bytes("HISTORY.DBF"), now);

        // The counter names its operator in every new record; the history still tells the
        // books' story.
        books.module = std::make_unique<TDataModule6>();
        RunHandler([&] { books.module->DataModuleCreate(); });
        QVERIFY2(books.errors.messages.isEmpty(), qPrintable(books.errors.messages.join('\n')));
        QVERIFY(books.settle(8, 2));
        books.module.reset();
        const QJsonArray records = readWithDbfread(path);
        QCOMPARE(records.size(), 11);
        QCOMPARE(records[9].toObject()["VID"].toString(), kinds::Lost());
        for (const qsizetype i : {9, 10})
            QCOMPARE(records[i].toObject()["KASSIR"].toString(), DesktopUserName());
        QVERIFY(!DesktopUserName().isEmpty());
        const QStringList faults = historyDisagreements(folder);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }

    // The field's addition failed or killed at each of its writes: the history is the old
    // file or the new one, whole, never a mix, and a second run finishes the work.
    void aFailureAtEachWriteOfTheCashiersAdditionLeavesOneWholeHistory() {
        m_office.reset();
        BooksFixture books;
        keepHistoryBeforeKassir(books);
        books.module.reset();
        const QString fixture = books.folder.path();
        const QByteArray old = books.folder.bytes("HISTORY.DBF");
        QByteArray added;
        {
            const auto copy = copyTables(fixture);
            QCOMPARE(AddMissingFields(copy->path(), HistoryTable()).records, 9u);
            QFile file(copy->filePath("HISTORY.DBF"));
            QVERIFY(file.open(QIODevice::ReadOnly));
            added = file.readAll();
        }
        int points = 0;
        for (const fault::Kind kind : {fault::Kind::Error, fault::Kind::Kill}) {
            for (int point = 1;; ++point) {
                const auto copy = copyTables(fixture);
                const int status = runForked([&] {
                    fault::Arm(point, kind);
                    AddMissingFields(copy->path(), HistoryTable());
                    fault::Disarm();
                });
                QVERIFY(status == 0 || status == (kind == fault::Kind::Kill ? 77 : 1));
                QFile file(copy->filePath("HISTORY.DBF"));
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QByteArray left = file.readAll();
                file.close();
                QVERIFY2(left == (status == 0 ? added : old),
                         qPrintable(QString("point %1 of kind %2").arg(point).arg(int(kind))));
                if (kind == fault::Kind::Error) // a failure cleans up after itself
                    QVERIFY(!QFile::exists(copy->filePath("HISTORY.DBF.part")));
                if (status == 0)
                    break;
                ++points;
                QCOMPARE(startTablesIn(copy->path()), QStringList());
                AddMissingFields(copy->path(), HistoryTable());
                QVERIFY(file.open(QIODevice::ReadOnly));
                QCOMPARE(file.readAll(), added);
                QVERIFY(!QFile::exists(copy->filePath("HISTORY.DBF.part")));
            }
        }
        QVERIFY(points >= 6);
    }

    void undoingAResultPutsTheEventAndItsBetsBackAndTakesItsPayoutsAway() {
        layOutBooks();
        QVERIFY(settle("8", 3)); // a payout owed from before
        const QString compit = m_office->folder.file("COMPIT.DBF");
        const QString priem = m_office->folder.file("PRIEM.DBF");
        const QString money = m_office->folder.file("MONEY.DBF");
        const QStringList events = sorted(readWithDbfread(compit));
        const QStringList bets = sorted(readWithDbfread(priem));
        const QStringList owed = sorted(readWithDbfread(money));
        QVERIFY(settle("7", 1));
        QCOMPARE(readWithDbfread(money).size(), 3);

        const std::uint32_t result = newest(history(*m_office), kinds::Result());
        const THistory::UndoPlan plan = DataModule6->History->PlanUndo(
            result, *DataModule6->TableCompit, *DataModule6->TableMoney);
        QCOMPARE(plan.bets.size(), 3);
        QCOMPARE(plan.won, 2);
        QCOMPARE(plan.owed, 275.0);
        QCOMPARE(plan.winner, QString("Спартак"));
        DataModule6->UndoResult(result);

        QCOMPARE(sorted(readWithDbfread(compit)), events);
        QCOMPARE(sorted(readWithDbfread(priem)), bets);
        QCOMPARE(sorted(readWithDbfread(money)), owed);
        const QJsonArray records = history(*m_office);
        QCOMPARE(kindsOf(records).mid(records.size() - 4),
                 QStringList({"Отмена", "Возврат", "Возврат", "Возврат"}));
        QStringList faults = historyDisagreements(m_office->folder.path());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));

        // Undone once; the event is open again, and its bets keep their serials.
        try {
            DataModule6->UndoResult(result);
            QFAIL("undone twice");
        } catch (const EDatabaseError& error) {
            QVERIFY2(error.message().contains("уже отменён"), qPrintable(error.message()));
        }
        QVERIFY(takeBet("Новый", "20", "7", 3));
        QVERIFY(settle("7", 2));
        const QJsonArray again = history(*m_office);
        const auto serialOf = [&](const QString& kind, const QString& fio) {
            for (qsizetype i = again.size() - 1; i >= 0; --i)
                if (again[i].toObject()["VID"] == kind && again[i].toObject()["FIO"] == fio)
                    return again[i].toObject()["SERIAL"].toInt();
            return -1;
        };
        QCOMPARE(serialOf("Выигрыш", "Петров Пётр"), serialOf("Ставка", "Петров Пётр"));
        QCOMPARE(serialOf("Проигрыш", "Иванов Иван"), serialOf("Ставка", "Иванов Иван"));
        faults = historyDisagreements(m_office->folder.path());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }

    // Refused by the history's record of the payment, not by the payout's absence: a folder
    // whose MONEY.DBF came back from a daily copy still holds the paid payout.
    void undoIsRefusedOnceAPayoutOfTheResultWasPaidEvenWithThePayoutBack() {
        layOutBooks();
        QVERIFY(settle("7", 1));
        payOut(1); // Сидорова Анна's
        const std::uint32_t result = newest(history(*m_office), kinds::Result());
        const QString paidOn = "выплачен " + Date().toString("dd.MM.yyyy") + " в ";
        const auto refusal = [&] {
            try {
                DataModule6->UndoResult(result);
            } catch (const EDatabaseError& error) {
                return error.message();
            }
            return QString("undone after a payout was paid");
        };
        const auto before = snapshot(m_office->folder.path());
        QString why = refusal();
        QVERIFY2(why.contains("Сидорова Анна") && why.contains(paidOn), qPrintable(why));
        QVERIFY(snapshot(m_office->folder.path()) == before);

        // The paid payout's record back in MONEY.DBF, as a restored copy would have it.
        TDataSet& money = *DataModule6->TableMoney;
        money.Close();
        QFile file(m_office->folder.file("MONEY.DBF"));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        const qsizetype paid =
            bytes.indexOf(
                QByteArray(QStringEncoder("windows-1251").encode(QString("Сидорова Анна")))) -
            1;
        QVERIFY(paid > 0 && bytes[paid] == '*');
        bytes[paid] = ' ';
        file.seek(0);
        file.write(bytes);
        file.close();
        money.Open();
        why = refusal();
        QVERIFY2(why.contains("Сидорова Анна") && why.contains(paidOn) &&
                     !why.contains("невыплаченных"),
                 qPrintable(why));
        // Nor is a record that enters no result undone.
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, DataModule6->UndoResult(0));
    }

    // Event numbers repeat: while a new event of the number is in the books, the bets an undo
    // would put back would be settled with it. Refused, whatever the new event's date, in the
    // place of the back office's confirmation, nothing written.
    void undoIsRefusedWhileAnotherEventOfTheNumberIsInTheBooks() {
        layOutBooks();
        QVERIFY(settle("7", 1));
        const std::uint32_t result = newest(history(*m_office), kinds::Result());
        QVERIFY(enterEvent("7", "Динамо", "Торпедо", Date().addDays(9)));
        QVERIFY(takeBet("Кузнецов", "15", "7", 2));
        const QString why = "Отмена невозможна: в книгах снова событие № 7 «Динамо — Торпедо»";
        const auto before = snapshot(m_office->folder.path());
        try {
            DataModule6->UndoResult(result);
            QFAIL("undone with another event 7 in the books");
        } catch (const EDatabaseError& error) {
            QCOMPARE(error.message(), why);
        }
        QVERIFY(snapshot(m_office->folder.path()) == before);

        // The back office says so where it would ask for the confirmation.
        const auto books = copyTables(m_office->folder.path());
        bool asked = false;
        const office::UndoAttempt attempt =
            office::UndoResultInFolder(books->path(), result, [&](const QString&) {
                asked = true;
                return true;
            });
        QVERIFY(!asked);
        QCOMPARE(int(attempt.outcome), int(office::UndoAttempt::Outcome::Refused));
        QCOMPARE(attempt.message, why);
        QVERIFY(snapshot(books->path()) == before);
    }

    // Another writer's MONEY.DBF keeps more decimals than the history (15.641969 against
    // 15.6420): the payout is still the one the history wrote, for the undo and for the payment.
    void anAmountKeptToMoreDecimalsIsTheSameAmountForUndoAndPayment() {
        m_office.reset();
        WorkFolder folder;
        QFile::remove(folder.file("MONEY.DBF"));
        DbfColumn fio, summa;
        fio.name = "FIO";
        fio.length = 50;
        summa.name = "SUMMA";
        summa.type = 'N';
        summa.length = 24;
        summa.decimals = 15;
        DbfFile::create(folder.file("MONEY.DBF"), {fio, summa});
        ErrorRecorder errors;
        TApplication app;
        QVERIFY(StartUp(app));
        QVERIFY(enterEvent("7", "Спартак", "Зенит", Date().addDays(5), {"1,234567", "2", "3"}));
        QVERIFY(takeBet("Иванов Иван", "7", "7", 1));
        QVERIFY(settle("7", 1));
        // A payout is money to a hundredth of a kopeck, whatever more the column could keep.
        QCOMPARE(readColumn(folder.file("MONEY.DBF"), "SUMMA"), QStringList{"15.642"});
        const std::uint32_t result =
            newest(readWithDbfread(folder.file("HISTORY.DBF")), kinds::Result());
        const THistory::UndoPlan plan = DataModule6->History->PlanUndo(
            result, *DataModule6->TableCompit, *DataModule6->TableMoney);
        QCOMPARE(plan.won, 1);
        DataModule6->UndoResult(result);
        QVERIFY(readWithDbfread(folder.file("MONEY.DBF")).isEmpty());

        QVERIFY(settle("7", 1));
        payOut(0);
        const QJsonArray records = readWithDbfread(folder.file("HISTORY.DBF"));
        const QJsonObject paid = records.last().toObject();
        QCOMPARE(paid["VID"].toString(), kinds::Paid());
        QCOMPARE(paid["SERIAL"].toInt(), records[1].toObject()["SERIAL"].toInt()); // the Ставка
        QVERIFY(paid["SERIAL"].toInt() > 0);
        QVERIFY2(errors.messages.isEmpty(), qPrintable(errors.messages.join("\n")));
    }

    // Killed at every write of a payment: the next start leaves the payout owed with no record
    // of its payment, or paid and recorded once.
    void killedAtEachWriteOfAPayment() {
        layOutBooks();
        QVERIFY(settle("7", 1));
        const QString fixture = m_office->folder.path();
        m_office->errors.messages.clear();
        int owed = 0, paid = 0;
        sweepKills("--pay-and-crash-at", fixture, [&](const QString& folder, int point, bool done) {
            const QStringList faults = historyDisagreements(folder);
            QVERIFY2(faults.isEmpty(),
                     qPrintable(QString("point %1: %2").arg(point).arg(faults.join('\n'))));
            const qsizetype payouts = readWithDbfread(folder + "/MONEY.DBF").size();
            QVERIFY(payouts == 1 || payouts == 2);
            ++(payouts == 2 ? owed : paid);
            if (done)
                QCOMPARE(payouts, 1);
        });
        QVERIFY(owed > 0 && paid > 0);
    }
};

// The worker: the program in the folder pays its first payout in the browser, and dies at the
// given write.
static int payWorker(int argc, char** argv) {
    return runWorker(argc, argv, argv[3], [&] {
        runModal(TableMoney, [&] {
            auto* navigator = control<TDBNavigator>(TableMoney, "DBNavigator");
            QTest::mouseClick(navigator->ButtonOf(TDBNavigator::Button::First), Qt::LeftButton);
            QString asked;
            answerNextQuestion("Yes", &asked);
            fault::Arm(std::atoi(argv[2]), fault::Kind::Kill);
            QTest::mouseClick(navigator->ButtonOf(TDBNavigator::Button::Delete), Qt::LeftButton);
            fault::Disarm();
        });
        return 0;
    });
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && QByteArray(argv[1]) == "--pay-and-crash-at")
        return payWorker(argc, argv);
    return runTests<QApplication, TestHistory>(argc, argv);
}

#include "test_history.moc"
