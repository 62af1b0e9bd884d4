// The program and its real files under the faults an office meets: a table made read-only
// while the program runs, a disk that fills up, a table damaged between two runs, and the
// program killed while it takes bets.
#include "base/Report.h"
#include "shell/StartUp.h"
#include "store/Backup.h"
#include "store/DataModule6.h"
#include "store/Tables.h"
#include "store/engine/Convert.h"
#include "store/engine/FaultInjection.h"
#include "store/engine/Journal.h"
#include "store/engine/Transaction.h"
#include "tests/support/Office.h"
#include "tests/support/TestMain.h"
#include "toolkit/Application.h"
#include "workflows/PriemResult.h"
#include "workflows/PriemStavka.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace varnel;
using namespace varnel::test;

namespace {

// The program started in the current working folder.
struct Session {
    Session() { started = StartUp(app); }
    ErrorRecorder errors;
    TApplication app;
    bool started = false;
};

// Every event's stake sums are its opening 500 plus the stakes of the bets on each outcome.
// Returns the number of bets; fails the test on the first sum that disagrees.
int checkBooks(const QString& folder) {
    const QJsonArray events = readWithDbfread(folder + "/COMPIT.DBF");
    const QJsonArray bets = readWithDbfread(folder + "/PRIEM.DBF");
    for (const auto& e : events) {
        const QJsonObject event = e.toObject();
        const std::pair<QString, const char*> outcomes[] = {{event["KOM1"].toString(), "SUMM_1"},
                                                            {event["KOM2"].toString(), "SUMM_2"},
                                                            {QStringLiteral("Ничья"), "SUMM_N"}};
        for (const auto& [name, sum] : outcomes) {
            double stakes = 500;
            for (const auto& b : bets) {
                const QJsonObject bet = b.toObject();
                if (bet["NUMBER"].toInt() == event["NUMBER"].toInt() &&
                    bet["RESULT"].toString() == name)
                    stakes += bet["SUMMA"].toDouble();
            }
            if (event[sum].toDouble() != stakes) {
                QTest::qFail(qPrintable(QStringLiteral("event %1, %2: %3 in the file, bets say %4")
                                            .arg(event["NUMBER"].toInt())
                                            .arg(sum)
                                            .arg(event[sum].toDouble())
                                            .arg(stakes)),
                             __FILE__, __LINE__);
                return -1;
            }
        }
    }
    return int(bets.size());
}

// A small filesystem of its own, mounted for one test and gone after it.
class SmallDisk {
public:
    explicit SmallDisk(qint64 bytes) {
        if (!m_dir.isValid())
            return;
        const QByteArray options = "size=" + QByteArray::number(bytes);
        if (::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                    options.constData()) == 0)
            m_mounted = true;
        else
            m_why = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallDisk() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    QString why() const { return m_why; }
    QString path() const { return m_dir.path(); }

    // Fills what is left with a file of its own; free() gives some of it back.
    void fill() {
        QFile filler(m_dir.filePath("filler"));
        filler.open(QIODevice::Append);
        const QByteArray chunk(4096, 'x');
        while (filler.write(chunk) == chunk.size() && filler.flush()) {
        }
        filler.close();
        m_fill = QFileInfo(filler).size();
    }
    void free(qint64 bytes) {
        QFile::resize(m_dir.filePath("filler"), std::max<qint64>(0, m_fill - bytes));
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_why;
    qint64 m_fill = 0;
};

} // namespace

class TestFileFaults : public QObject {
    Q_OBJECT
private slots:
    void aTableMadeReadOnlyStopsTheActionWhole() {
        WorkFolder folder;
        Session program;
        QVERIFY(program.started);
        append(*DataModule6->TableCompit, {eventRecord(1, "Спартак", "Динамо")});
        const QString bets = folder.file("PRIEM.DBF");
        // However the test ends, the folder can be removed after it.
        struct Unfreeze {
            QString folder;
            ~Unfreeze() {
                for (const QString& t : TableFileNames())
                    setReadOnly(folder + "/" + t, false);
            }
        } unfreeze{folder.path()};
        QString why;
        if (!setReadOnly(bets, true, &why))
            QSKIP(qPrintable("cannot make a file read-only here: " + why));

        // Either table of a bet: the refusal names it, nothing is written, and once the file
        // may be written again the same Ok takes the bet exactly once.
        for (const char* table : {"PRIEM.DBF", "COMPIT.DBF"}) {
            const QString path = folder.file(table);
            QVERIFY(setReadOnly(bets, false));
            QVERIFY(setReadOnly(path, true));
            const auto before = snapshot(folder.path());
            program.errors.messages.clear();
            bool closedWhileReadOnly = true, closedAfter = false;
            runModal(PriemStavka, [&] {
                fillBet("Иванов", 100, 1, 1);
                press(PriemStavka, "Button3");
                closedWhileReadOnly = !PriemStavka->isVisible();
                QVERIFY(snapshot(folder.path()) == before);
                QVERIFY(setReadOnly(path, false));
                press(PriemStavka, "Button3");
                closedAfter = !PriemStavka->isVisible();
            });
            QVERIFY(!closedWhileReadOnly);
            QCOMPARE(program.errors.messages.size(), 1);
            const QString message = program.errors.messages[0];
            QVERIFY2(message.contains(table) && message.contains("только для чтения"),
                     qPrintable(message));
            QVERIFY(closedAfter);
            QVERIFY(!QFile::exists(folder.file(JournalFileName())));
        }
        QCOMPARE(checkBooks(folder.path()), 2);

        // A settlement whose payouts file is read-only pays nobody and removes nothing.
        const QString money = folder.file("MONEY.DBF");
        QVERIFY(setReadOnly(money, true));
        const auto before = snapshot(folder.path());
        program.errors.messages.clear();
        QVERIFY(!settle(1, 1));
        QVERIFY(snapshot(folder.path()) == before);
        QVERIFY(!program.errors.messages.isEmpty());
        QVERIFY2(program.errors.messages[0].contains("MONEY.DBF"),
                 qPrintable(program.errors.messages[0]));
        QVERIFY(setReadOnly(money, false));
        QVERIFY(settle(1, 1));
        const QJsonArray paid = readWithDbfread(money);
        QCOMPARE(paid.size(), 2);
        QCOMPARE(paid[0].toObject()["SUMMA"].toDouble(), 300.0);
        QVERIFY(readWithDbfread(folder.file("COMPIT.DBF")).isEmpty());
    }

    void aFullDiskStopsABetAndASettlementWhole() {
        SmallDisk disk(8 * 1024 * 1024);
        if (!disk.mounted())
            QSKIP(qPrintable("cannot mount a small filesystem here (" + disk.why() +
                             "); run as root to test a full disk"));
        {
            WorkFolder folder(disk.path());
            Session program;
            QVERIFY(program.started);
            append(*DataModule6->TableCompit, {eventRecord(1, "Спартак", "Динамо")});
            append(*DataModule6->TableCompit, {eventRecord(2, "Зенит", "Торпедо")});
            int taken = 0, refused = 0;
            // From no room at all up to room for everything, one page at a time: the bet is
            // either taken whole or refused with nothing written.
            for (qint64 room = 0; room <= 64 * 1024; room += 4096) {
                disk.fill();
                disk.free(room);
                const auto before = snapshot(folder.path());
                program.errors.messages.clear();
                if (takeBet("Клиент", 10, 1 + int(room / 4096) % 2, 1 + int(room / 4096) % 3)) {
                    ++taken;
                    QVERIFY(program.errors.messages.isEmpty());
                } else {
                    ++refused;
                    QVERIFY(snapshot(folder.path()) == before);
                    QCOMPARE(program.errors.messages.size(), 1);
                    QVERIFY2(program.errors.messages[0].contains("нет места"),
                             qPrintable(program.errors.messages[0]));
                }
                disk.free(1 << 30);
                QVERIFY(!QFile::exists(folder.file(JournalFileName())));
                QCOMPARE(checkBooks(folder.path()), taken);
            }
            QVERIFY(refused > 0);
            QVERIFY(taken > 0);

            // The settlement with the disk full: nothing paid, nothing removed. With room
            // again, the winners are paid once.
            disk.fill();
            const auto before = snapshot(folder.path());
            program.errors.messages.clear();
            QVERIFY(!settle(1, 1));
            QVERIFY(snapshot(folder.path()) == before);
            QVERIFY(!program.errors.messages.isEmpty());
            QVERIFY2(program.errors.messages[0].contains("нет места"),
                     qPrintable(program.errors.messages[0]));
            disk.free(1 << 30);
            QVERIFY(settle(1, 1));
            int winners = 0;
            for (const auto& b : readWithDbfread(folder.file("PRIEM.DBF")))
                winners += b.toObject()["NUMBER"].toInt() == 1;
            QCOMPARE(winners, 0);
            QVERIFY(!readWithDbfread(folder.file("MONEY.DBF")).isEmpty());
            checkBooks(folder.path());
        }
    }

    void aDamagedTableIsNamedAtStartAndLeftAlone_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("damage");
        for (const char* table : {"COMPIT.DBF", "PRIEM.DBF", "MONEY.DBF"})
            for (const char* damage : {"empty", "cut in the header", "garbage", "header of zeros"})
                QTest::addRow("%s %s", table, damage) << table << damage;
    }
    void aDamagedTableIsNamedAtStartAndLeftAlone() {
        QFETCH(QString, table);
        QFETCH(QString, damage);
        WorkFolder folder;
        {
            Session first;
            QVERIFY(first.started);
            append(*DataModule6->TableCompit, {eventRecord(1, "Спартак", "Динамо")});
            append(*DataModule6->TableCompit, {eventRecord(2, "Зенит", "Торпедо")});
            QVERIFY(takeBet("Иванов", 100, 2, 1));
            TDataSet& money = *DataModule6->TableMoney;
            money.Insert();
            money.SetFieldValue("FIO", Variant(QStringLiteral("Петров")));
            money.SetFieldValue("SUMMA", Variant(250));
            money.Post();
        }
        // Between the runs.
        QFile file(folder.file(table));
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray whole = file.readAll();
        QByteArray damaged;
        if (damage == "cut in the header")
            damaged = whole.left(40);
        else if (damage == "garbage")
            for (int i = 0; i < whole.size(); ++i)
                damaged += char(QRandomGenerator::global()->bounded(256));
        else if (damage == "header of zeros")
            damaged = QByteArray(32, '\0') + whole.mid(32);
        file.resize(0);
        file.write(damaged);
        file.close();
        const auto before = snapshot(folder.path());

        {
            Session second;
            QVERIFY(second.started);
            QCOMPARE(second.errors.messages.size(), 1);
            QVERIFY2(second.errors.messages[0].contains(table),
                     qPrintable(second.errors.messages[0]));
            // The day's copy, taken at the first start, is the one to restore from.
            const QString copy = "backup/" + Date().toString("yyyy-MM-dd") + "/" + table;
            QVERIFY2(second.errors.messages[0].contains(copy),
                     qPrintable(second.errors.messages[0]));
            QVERIFY(QFile::exists(folder.file(copy)));
            const std::map<QString, TDataSet*> tables = {{"COMPIT.DBF", DataModule6->TableCompit},
                                                         {"PRIEM.DBF", DataModule6->TableStavka},
                                                         {"MONEY.DBF", DataModule6->TableMoney}};
            for (const auto& [name, t] : tables)
                QCOMPARE(t->Active(), name != table);

            // The other tables serve as before.
            if (table != "MONEY.DBF") {
                QCOMPARE(DataModule6->TableMoney->GetFieldValue("FIO").toString(), "Петров");
            }
            if (table == "MONEY.DBF") {
                QVERIFY(takeBet("Сидоров", 50, 1, 2));
                QCOMPARE(checkBooks(folder.path()), 2);
            }
            if (table == "PRIEM.DBF") {
                QCOMPARE(DataModule6->TableCompit->GetFieldValue("KOM1").toString(), "Спартак");
                QVERIFY(!takeBet("Сидоров", 50, 1, 2)); // the bets file is the one refused
            }
            if (table == "COMPIT.DBF")
                QVERIFY(!takeBet("Сидоров", 50, 1, 2));
        }
        // Nothing of the damaged file was touched, whatever was tried.
        QCOMPARE(snapshot(folder.path())[table], before.at(table));
    }

    // Another writer cut off mid-append: the header counts a record the file does not hold
    // whole; or another program wrote after the records (no deletion flag starts its bytes).
    // The file as found is kept, the whole records open, and the operator is told.
    void aTableCutShortOpensWithItsWholeRecordsAndACopyAsFound_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("stray"); // bytes after the records rather than a record cut
        for (const char* table : {"COMPIT.DBF", "PRIEM.DBF", "MONEY.DBF"})
            QTest::newRow(table) << table << false;
        QTest::newRow("PRIEM.DBF, bytes of another program after it") << "PRIEM.DBF" << true;
    }
    void aTableCutShortOpensWithItsWholeRecordsAndACopyAsFound() {
        QFETCH(QString, table);
        QFETCH(bool, stray);
        WorkFolder folder;
        {
            Session first;
            QVERIFY(first.started);
            append(*DataModule6->TableCompit,
                   {eventRecord(1, "Спартак", "Динамо"), eventRecord(2, "Зенит", "Торпедо")});
            QVERIFY(takeBet("Иванов", 100, 2, 1));
            QVERIFY(takeBet("Петров", 30, 1, 2));
            append(*DataModule6->TableMoney,
                   {payoutRecord("Петров", 250), payoutRecord("Сидоров", 75)});
        }
        const QJsonArray whole = readWithDbfread(folder.file(table));
        QCOMPARE(whole.size(), 2);
        QFile file(folder.file(table));
        QVERIFY(file.open(QIODevice::ReadWrite));
        // The end byte and part of a record; or the end byte, and then another program's.
        const QByteArray cut =
            stray ? file.readAll().chopped(1) + "0123456789\r\n" : file.readAll().chopped(10);
        file.resize(0);
        file.write(cut);
        file.close();

        {
            Session second;
            QVERIFY(second.started);
            QVERIFY2(second.errors.messages.isEmpty(),
                     qPrintable(second.errors.messages.join('\n')));
            QCOMPARE(second.errors.notices.size(), 1);
            const QString notice = second.errors.notices[0];
            QVERIFY2(notice.contains(table) && notice.contains(stray ? "12 байт" : "1 целых"),
                     qPrintable(notice));
            const QRegularExpression copyName("«(backup/damaged/[^»]+)»");
            const QString copy = copyName.match(notice).captured(1);
            QVERIFY2(!copy.isEmpty(), qPrintable(notice));
            QCOMPARE(folder.bytes(copy), cut);
            QCOMPARE(readWithDbfread(folder.file(table)), stray ? whole : QJsonArray({whole[0]}));

            // The mended table serves: a bet, a settlement and a payout go through.
            QVERIFY(takeBet("Кузнецов", 20, 1, 1));
            QVERIFY(settle(1, 1));
            QVERIFY(!readWithDbfread(folder.file("MONEY.DBF")).isEmpty());
        }
        // The next start finds nothing to mend.
        Session third;
        QVERIFY(third.started);
        QVERIFY(third.errors.messages.isEmpty() && third.errors.notices.isEmpty());
    }

    // The books are copied at the first start of each day, before anything is written; a copy
    // is whole, a damaged table is not copied over its last sound state, the days past the
    // thirty newest go.
    void theBooksAreCopiedAtTheFirstStartOfEachDay() {
        WorkFolder folder;
        const QString today = "backup/" + Date().toString("yyyy-MM-dd") + "/";
        for (int daysAgo = 2; daysAgo <= 31; ++daysAgo) {
            const QString day = "backup/" + Date().addDays(-daysAgo).toString("yyyy-MM-dd");
            const QString table = daysAgo >= 30 ? "PRIEM.DBF" : "COMPIT.DBF";
            QVERIFY(QDir(folder.path()).mkpath(day));
            QVERIFY(QFile::copy(folder.file(table), folder.file(day + "/" + table)));
        }
        const auto laidOut = snapshot(folder.path());
        {
            Session first;
            QVERIFY(first.started);
            for (const char* name : {"COMPIT.DBF", "PRIEM.DBF", "TMP.DBF", "MONEY.DBF"})
                QCOMPARE(folder.bytes(today + name), laidOut.at(name));
            QVERIFY(!QFile::exists(folder.file(today + "HISTORY.DBF"))); // kept apart, below
            append(*DataModule6->TableCompit, {eventRecord(1, "Спартак", "Динамо")});
            QVERIFY(takeBet("Иванов", 100, 1, 1));
        }
        QVERIFY(QDir(folder.file("backup/" + Date().addDays(-30).toString("yyyy-MM-dd"))).exists());
        QVERIFY(
            !QDir(folder.file("backup/" + Date().addDays(-31).toString("yyyy-MM-dd"))).exists());
        QVERIFY(QDir(folder.file(today)).entryList({"*.part"}, QDir::Files).isEmpty());

        // A later start the same day keeps the morning's copy; the history's copy takes in the
        // records added since.
        QVERIFY(readWithDbfread(folder.file("backup/HISTORY.DBF")).isEmpty());
        {
            Session second;
            QVERIFY(second.started);
        }
        QCOMPARE(folder.bytes(today + "PRIEM.DBF"), laidOut.at("PRIEM.DBF"));
        const QJsonArray history = readWithDbfread(folder.file("HISTORY.DBF"));
        QCOMPARE(history.size(), 1);
        QCOMPARE(readWithDbfread(folder.file("backup/HISTORY.DBF")), history);
        // A history that is not the copy's continuation (laid out anew) does not cost the copy.
        QFile::remove(folder.file("HISTORY.DBF"));
        QVERIFY(AddHistoryTable(folder.path()));
        {
            Session replaced;
            QVERIFY(replaced.started);
        }
        QVERIFY(readWithDbfread(folder.file("backup/HISTORY.DBF")).isEmpty());
        const QStringList kept =
            QDir(folder.file("backup")).entryList({"HISTORY-*.DBF"}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(readWithDbfread(folder.file("backup/" + kept[0])), history);

        // A new day whose bets file is damaged: the others are copied, the bets file is not,
        // and the message names the last sound copy.
        QVERIFY(QDir(folder.file(today)).removeRecursively());
        QFile bets(folder.file("PRIEM.DBF"));
        QVERIFY(bets.open(QIODevice::ReadWrite));
        bets.write(QByteArray(32, '\0'));
        bets.close();
        const QString older = "backup/" + Date().addDays(-30).toString("yyyy-MM-dd") + "/PRIEM.DBF";
        Session third;
        QVERIFY(third.started);
        QVERIFY(QFile::exists(folder.file(today + "COMPIT.DBF")));
        QVERIFY(!QFile::exists(folder.file(today + "PRIEM.DBF")));
        QCOMPARE(third.errors.messages.size(), 1);
        QVERIFY2(third.errors.messages[0].contains(older), qPrintable(third.errors.messages[0]));
    }

    // A clock a year ahead for one start costs no more than the copies past the thirty newest,
    // and once it is right again the copy it made is not the one a damaged table is sent to.
    // A clock behind keeps the copy it makes.
    void theDailyCopiesSurviveAWrongClock() {
        WorkFolder folder;
        const auto day = [](int days) { return Date().addDays(days).toString("yyyy-MM-dd"); };
        for (int daysAgo = 1; daysAgo <= 31; ++daysAgo) {
            QVERIFY(QDir(folder.path()).mkpath("backup/" + day(-daysAgo)));
            QVERIFY(QFile::copy(folder.file("PRIEM.DBF"),
                                folder.file("backup/" + day(-daysAgo) + "/PRIEM.DBF")));
        }
        const auto days = [&] {
            return QDir(folder.file("backup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        };
        ShiftDateForTests(365);
        {
            Session ahead;
            QVERIFY(ahead.started);
        }
        ShiftDateForTests(0);
        QCOMPARE(days().size(), 30);
        QVERIFY(days().contains(day(365)) && days().contains(day(-1)) && days().contains(day(-29)));

        ShiftDateForTests(-365);
        {
            Session behind;
            QVERIFY(behind.started);
        }
        ShiftDateForTests(0);
        QVERIFY(days().contains(day(-365)));
        QCOMPARE(days().size(), 31);

        QFile bets(folder.file("PRIEM.DBF"));
        QVERIFY(bets.open(QIODevice::ReadWrite));
        bets.write(QByteArray(32, '\0'));
        bets.close();
        Session right;
        QVERIFY(right.started);
        QCOMPARE(right.errors.messages.size(), 1);
        const QString newest = "backup/" + day(-1) + "/PRIEM.DBF";
        QVERIFY2(right.errors.messages[0].contains(newest), qPrintable(right.errors.messages[0]));
        // Today's copy in; beyond the thirty newest now, the oldest and the one of a year ago.
        QCOMPARE(days().size(), 30);
        QVERIFY(!days().contains(day(-29)) && !days().contains(day(-365)));
        QVERIFY(days().contains(day(0)) && days().contains(day(365)));
        // Only a copy dated ahead holds the table: then that one is named.
        const QString today = "backup/" + day(0) + "/MONEY.DBF";
        QCOMPARE(NewestBackupOf(folder.path(), "MONEY.DBF", Date()), today);
        QVERIFY(QFile::remove(folder.file(today)));
        QCOMPARE(NewestBackupOf(folder.path(), "MONEY.DBF", Date()),
                 "backup/" + day(365) + "/MONEY.DBF");
    }

    // A counter left running past midnight: the new day's copy holds the books as the day
    // found them, taken before the day's first write.
    void aCounterRunningPastMidnightCopiesTheBooksBeforeTheNewDaysFirstWrite() {
        WorkFolder folder;
        Session running;
        QVERIFY(running.started);
        append(*DataModule6->TableCompit, {eventRecord(1, "Спартак", "Динамо")});
        QVERIFY(takeBet("Иванов", 100, 1, 1));
        const auto evening = snapshot(folder.path());
        const QString tomorrow = "backup/" + Date().addDays(1).toString("yyyy-MM-dd") + "/";
        ShiftDateForTests(1);
        QVERIFY(!QFile::exists(folder.file(tomorrow + "PRIEM.DBF")));
        const bool taken = takeBet("Петров", 30, 1, 2);
        ShiftDateForTests(0);
        QVERIFY(taken);
        for (const char* name : {"COMPIT.DBF", "PRIEM.DBF", "TMP.DBF", "MONEY.DBF"})
            QCOMPARE(folder.bytes(tomorrow + name), evening.at(name));
        QCOMPARE(readWithDbfread(folder.file("PRIEM.DBF")).size(), 2);
        QVERIFY(running.errors.messages.isEmpty() && running.errors.notices.isEmpty());
    }

    // A file whose header is sound but one value is not a number: the table opens, and the
    // settlement that meets the value stops with nothing written.
    void aDamagedValueStopsTheSettlementThatMeetsIt() {
        WorkFolder folder;
        {
            Session first;
            QVERIFY(first.started);
            append(*DataModule6->TableCompit, {eventRecord(1, "Спартак", "Динамо")});
            QVERIFY(takeBet("Иванов", 100, 1, 1));
            QVERIFY(takeBet("Петров", 40, 1, 1));
        }
        QFile bets(folder.file("PRIEM.DBF"));
        QVERIFY(bets.open(QIODevice::ReadWrite));
        QByteArray bytes = bets.readAll();
        const qsizetype stake = bytes.lastIndexOf("40.0000");
        QVERIFY(stake > 0);
        bytes.replace(stake, 7, "4O.OOOO");
        bets.resize(0);
        bets.write(bytes);
        bets.close();
        const auto before = snapshot(folder.path());

        Session second;
        QVERIFY(second.started);
        QVERIFY2(second.errors.messages.isEmpty(), qPrintable(second.errors.messages.join('\n')));
        QVERIFY(!settle(1, 1));
        QCOMPARE(second.errors.messages.size(), 1);
        const QString message = second.errors.messages[0];
        QVERIFY2(message.contains("PRIEM.DBF") && message.contains("SUMMA") &&
                     message.contains("4O.OOOO"),
                 qPrintable(message));
        QVERIFY(snapshot(folder.path()) == before);
    }

    void killedAtRandomInstantsWhileTakingBets() {
        // This process never starts the program on the folder: it would hold the folder's
        // lock, and the workers would refuse to start.
        WorkFolder folder;
        {
            TDataModule6 module;
            emit module.OnCreate();
            for (const Record& event :
                 {eventRecord(1, "Спартак", "Динамо"), eventRecord(2, "Зенит", "Торпедо")}) {
                append(*module.TableCompit, {event});
                module.History->EventEntered(*module.TableCompit);
            }
        }
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        qInfo("seed %u", seed);
        int confirmed = 0;
        int killedInABet = 0;
        for (int round = 0; round < 12; ++round) {
            QProcess worker;
            worker.setProcessChannelMode(QProcess::SeparateChannels);
            worker.start(QCoreApplication::applicationFilePath(), {"--take-bets", folder.path()});
            QVERIFY(worker.waitForReadyRead(60000)); // "ready": started, tables open
            QTest::qWait(int(random.bounded(20, 400)));
            ::kill(pid_t(worker.processId()), SIGKILL);
            QVERIFY(worker.waitForFinished(60000));
            const QList<QByteArray> lines = worker.readAllStandardOutput().split('\n');
            confirmed += int(lines.count("taken"));
            killedInABet += QFile::exists(folder.file(JournalFileName()));

            // The next start finishes or drops the bet the kill cut off.
            const QStringList errors = startTablesIn(folder.path());
            QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
            QVERIFY(!QFile::exists(folder.file(JournalFileName())));
            const int onDisk = checkBooks(folder.path());
            const QStringList faults = historyDisagreements(folder.path());
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
            QVERIFY2(onDisk == confirmed || onDisk == confirmed + 1,
                     qPrintable(QString("seed %1, round %2: %3 bets on disk, %4 confirmed")
                                    .arg(seed)
                                    .arg(round)
                                    .arg(onDisk)
                                    .arg(confirmed)));
            confirmed = onDisk;
        }
        QVERIFY(confirmed > 0);
        qInfo("%d bets taken, %d kills fell inside a bet's commit", confirmed, killedInABet);
    }

    // The same, at every write of one bet in turn rather than at random instants.
    void killedAtEachWriteOfABet() {
        WorkFolder fixture;
        {
            TDataModule6 module;
            emit module.OnCreate();
            append(*module.TableCompit, {eventRecord(1, "Спартак", "Динамо")});
            module.History->EventEntered(*module.TableCompit);
        }
        int before = 0, after = 0;
        sweepKills(
            "--bet-and-crash-at", fixture.path(), [&](const QString& folder, int point, bool done) {
                const int bets = checkBooks(folder);
                QVERIFY2(bets == 0 || bets == 1, qPrintable(QString("point %1").arg(point)));
                const QStringList faults = historyDisagreements(folder);
                QVERIFY2(faults.isEmpty(),
                         qPrintable(QString("point %1: %2").arg(point).arg(faults.join('\n'))));
                ++(bets == 0 ? before : after);
                if (done)
                    QCOMPARE(bets, 1);
            });
        QVERIFY(before > 0 && after > 1); // kills fell on both sides of the commit
    }
};

// The worker: the program in the folder, taking bets through the dialog one after another
// until it is killed. Prints "ready" once, then "taken" after each bet the dialog confirmed.
static int betWorker(int argc, char** argv) {
    return runWorker(
        argc, argv, argv[2],
        []() -> int {
            std::printf("ready\n");
            std::fflush(stdout);
            for (int i = 0;; ++i) {
                if (takeBet(QStringLiteral("Клиент %1").arg(i), 1 + i % 7, 1 + i % 2, 1 + i % 3)) {
                    std::printf("taken\n");
                    std::fflush(stdout);
                }
            }
        },
        true);
}

// The worker of the write-by-write test: one bet through the dialog, killed at the given
// write (the process ends with 77 there).
static int crashWorker(int argc, char** argv) {
    return runWorker(argc, argv, argv[3], [&] {
        bool closed = false;
        runModal(PriemStavka, [&] {
            fillBet(QStringLiteral("Клиент"), 25, 1, 2);
            fault::Arm(std::atoi(argv[2]), fault::Kind::Kill);
            press(PriemStavka, "Button3");
            fault::Disarm();
            closed = !PriemStavka->isVisible();
        });
        return closed ? 0 : 1;
    });
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && QByteArray(argv[1]) == "--take-bets")
        return betWorker(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--bet-and-crash-at")
        return crashWorker(argc, argv);
    return runTests<QApplication, TestFileFaults>(argc, argv);
}

#include "test_filefaults.moc"
