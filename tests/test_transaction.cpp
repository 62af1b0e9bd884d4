#include "base/Errors.h"
#include "store/engine/DataSet.h"
#include "store/engine/DbfFile.h"
#include "store/engine/FaultInjection.h"
#include "store/engine/Field.h"
#include "store/engine/Journal.h"
#include "store/engine/Table.h"
#include "store/engine/Transaction.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTest>

#include <memory>

using namespace varnel;
using namespace varnel::test;

namespace {

// The tables of a folder as their live records, one line per record.
QStringList snapshot() {
    QStringList lines;
    for (const QString& name :
         QStringList{"COMPIT.DBF", "PRIEM.DBF", "MONEY.DBF", "TMP.DBF", "HISTORY.DBF"}) {
        DbfFile file(name);
        file.open();
        for (std::uint32_t i = 0; i < file.recordCount(); ++i) {
            if (file.isDeleted(i))
                continue;
            QStringList fields;
            for (int c = 0; c < file.columns().size(); ++c)
                fields << file.decode(file.record(i), c).toString();
            lines << name + ": " + fields.join('|');
        }
    }
    return lines;
}

std::unique_ptr<TTable> table(const char* name) {
    auto t = std::make_unique<TTable>();
    t->SetTableName(QString::fromLatin1(name));
    t->Open();
    return t;
}

void fill() {
    auto events = table("COMPIT.DBF");
    for (int number : {1, 2})
        append(*events, {{{"NUMBER", Variant(number)}, {"KOM1", Variant("Команда А")}}});
    auto bets = table("PRIEM.DBF");
    append(*bets, {betRecord(2, "Команда А", 10.0, 1.5, "Другой"),
                   betRecord(1, "Команда А", 100.0, 1.5, "Выигравший"),
                   betRecord(1, "Ничья", 50.0, 1.5, "Проигравший"),
                   betRecord(2, "Ничья", 20.0, 1.5, "Другой 2"),
                   betRecord(1, "Команда А", 30.0, 1.5, "Второй выигравший")});
    append(*table("MONEY.DBF"), {payoutRecord("Старый долг", 1.0)});
}

void record(TDataSet& history, const char* kind, const Variant& fio = {}) {
    history.Insert();
    history.SetFieldValue("VID", Variant(QString::fromUtf8(kind)));
    history.SetFieldValue("FIO", fio);
    history.Post();
}

// Takes a bet on event 2 as the bet dialog does: the bet, the event's stake sum and the
// history's record, in that order, in one transaction.
void takeBet() {
    auto bets = table("PRIEM.DBF");
    auto events = table("COMPIT.DBF");
    auto history = table("HISTORY.DBF");
    events->Last();
    TTransaction work({bets.get(), events.get(), history.get()});
    append(*bets, {betRecord(2, "Команда А", 40.0, 1.5, "Новый")});
    events->Edit();
    events->SetFieldValue("SUMM_1", Variant(40.0));
    events->Post();
    record(*history, "Ставка", Variant("Новый"));
    work.Commit();
}

// Settles event 1 with "Команда А" winning: payouts, bets gone, event gone, the history's
// records last — in one transaction, as the result dialog does.
void settle() {
    auto events = table("COMPIT.DBF");
    auto bets = table("PRIEM.DBF");
    auto money = table("MONEY.DBF");
    auto history = table("HISTORY.DBF");
    TTransaction work({money.get(), bets.get(), events.get(), history.get()});
    bets->First();
    while (!bets->Eof()) {
        if (bets->GetFieldValue("NUMBER") == Variant(1)) {
            if (bets->GetFieldValue("RESULT") == Variant("Команда А")) {
                money->Insert();
                money->SetFieldValue("FIO", bets->GetFieldValue("FIO"));
                money->SetFieldValue("SUMMA", bets->GetFieldValue("SUMMA") +
                                                  bets->GetFieldValue("SUMMA") *
                                                      bets->GetFieldValue("KOEFICIENT"));
                money->Post();
            }
            record(*history, "Выигрыш", bets->GetFieldValue("FIO"));
            bets->Delete();
            if (bets->IsEmpty())
                break;
        } else {
            bets->Next();
        }
    }
    record(*history, "Результат");
    events->First();
    events->Delete();
    work.Commit();
}

// A copy of the fixture folder, current for the life of the object.
class Scene {
public:
    explicit Scene(const QString& from) : m_previous(QDir::currentPath()) {
        for (const QString& name : QDir(from).entryList({"*.DBF"}, QDir::Files))
            QFile::copy(QDir(from).filePath(name), m_dir.filePath(name));
        QDir::setCurrent(m_dir.path());
    }
    ~Scene() { QDir::setCurrent(m_previous); }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

} // namespace

class TestTransaction : public QObject {
    Q_OBJECT
    QString m_fixture;
    QStringList m_before, m_after;
    QTemporaryDir m_fixtureDir;

private slots:
    void initTestCase() {
        WorkFolder folder;
        fill();
        for (const QString& name : QDir(folder.path()).entryList({"*.DBF"}, QDir::Files))
            QFile::copy(folder.file(name), m_fixtureDir.filePath(name));
        m_fixture = m_fixtureDir.path();
        m_before = snapshot();
        settle();
        m_after = snapshot();
        QVERIFY(m_before != m_after);
        QCOMPARE(m_after.filter("MONEY.DBF: Выигравший|250|").size(), 1);
        QCOMPARE(m_after.filter("MONEY.DBF: Второй выигравший|75|").size(), 1);
        QCOMPARE(m_after.filter("PRIEM.DBF").size(), 2);
        QCOMPARE(m_after.filter("COMPIT.DBF").size(), 1);
        QVERIFY(!QFile::exists(JournalFileName()));
    }

    void anErrorRollsTheCursorsAndTablesBack() {
        Scene scene(m_fixture);
        auto bets = table("PRIEM.DBF");
        auto money = table("MONEY.DBF");
        bets->Last();
        bets->Edit();
        bets->SetFieldValue("FIO", Variant("правка до"));
        try {
            TTransaction work({bets.get(), money.get()});
            bets->Post();
            bets->First();
            bets->Delete();
            money->Insert();
            money->SetFieldValue("FIO", Variant("никогда"));
            money->Post();
            throw EConvertError("ошибка посреди работы");
        } catch (const EConvertError&) {
        }
        // Nothing reached the files, and the pending edit is pending again.
        QCOMPARE(snapshot(), m_before);
        QCOMPARE(bets->state(), TDataSet::State::Edit);
        QCOMPARE(bets->GetFieldValue("FIO").toString(), QString("правка до"));
        QCOMPARE(money->state(), TDataSet::State::Browse);
        bets->Cancel();
        QCOMPARE(bets->GetFieldValue("FIO").toString(), QString("Второй выигравший"));
        money->First();
        QCOMPARE(money->GetFieldValue("FIO").toString(), QString("Старый долг"));
        money->Next();
        QVERIFY(money->Eof());
    }

    void anEngineErrorAtAnyWriteLeavesBeforeOrAfterAndARetryPaysOnce() {
        int point = 1;
        for (;; ++point) {
            Scene scene(m_fixture);
            fault::Arm(point, fault::Kind::Error);
            bool failed = false;
            try {
                settle();
            } catch (const EDatabaseError&) {
                failed = true;
            }
            const bool reached = fault::Passed() >= point;
            fault::Disarm();
            RecoverInterruptedWork(scene.path());
            const QStringList now = snapshot();
            QVERIFY2(now == m_before || now == m_after, qPrintable(QString("point %1").arg(point)));
            QCOMPARE(failed, reached);
            // The operator presses Ok again: the work is done exactly once.
            if (now == m_before)
                settle();
            QCOMPARE(snapshot(), m_after);
            QVERIFY(!QFile::exists(JournalFileName()));
            if (!reached)
                break;
        }
        QVERIFY2(point > 8, qPrintable(QString("only %1 write points").arg(point)));
    }

    void aCrashAtAnyWriteLeavesBeforeOrAfterOnceRestarted() {
        int point = 1;
        int sawBefore = 0, sawAfter = 0;
        for (;; ++point) {
            Scene scene(m_fixture);
            QProcess worker;
            worker.start(QCoreApplication::applicationFilePath(),
                         {"--settle-and-crash-at", QString::number(point), scene.path()});
            QVERIFY(worker.waitForFinished(60000));
            const int code = worker.exitCode();
            QVERIFY2(code == 77 || code == 0, worker.readAllStandardError().constData());
            RecoverInterruptedWork(scene.path());
            const QStringList now = snapshot();
            QVERIFY2(now == m_before || now == m_after, qPrintable(QString("point %1").arg(point)));
            (now == m_before ? sawBefore : sawAfter)++;
            QCOMPARE(readWithDbfread(scene.path() + "/MONEY.DBF").size(),
                     now.filter("MONEY.DBF").size());
            if (code == 0)
                break;
        }
        QVERIFY(sawBefore > 0 && sawAfter > 1);
    }

    void anUnsealedJournalIsDroppedAndAForeignTableRefused() {
        Scene scene(m_fixture);
        QFile journal(JournalFileName());
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write("VARNELJ1 and then the power went");
        journal.close();
        RecoverInterruptedWork(scene.path());
        QVERIFY(!QFile::exists(JournalFileName()));
        QCOMPARE(snapshot(), m_before);

        // A sealed journal whose table was replaced by another: nothing is touched.
        QProcess worker;
        worker.start(QCoreApplication::applicationFilePath(),
                     {"--settle-and-crash-at", "-1", scene.path()});
        QVERIFY(worker.waitForFinished(60000));
        QCOMPARE(worker.exitCode(), 77);
        QVERIFY(QFile::exists(JournalFileName()));
        QFile::remove("MONEY.DBF");
        DbfColumn other;
        other.name = "X";
        other.type = 'C';
        other.length = 3;
        DbfFile::create("MONEY.DBF", {other});
        QFile betsFile("PRIEM.DBF");
        QVERIFY(betsFile.open(QIODevice::ReadOnly));
        const QByteArray betsBefore = betsFile.readAll();
        betsFile.close();
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, RecoverInterruptedWork(scene.path()));
        QVERIFY(QFile::exists(JournalFileName()));
        QVERIFY(betsFile.open(QIODevice::ReadOnly));
        QCOMPARE(betsFile.readAll(), betsBefore);
    }

    // A journal is a file like any other: sealed or not, it names no file outside the folder.
    void aSealedJournalNamingAnotherFolderIsRefused() {
        Scene scene(m_fixture);
        QProcess worker;
        worker.start(QCoreApplication::applicationFilePath(),
                     {"--settle-and-crash-at", "-1", scene.path()});
        QVERIFY(worker.waitForFinished(60000));
        QCOMPARE(worker.exitCode(), 77);
        QFile journal(JournalFileName());
        QVERIFY(journal.open(QIODevice::ReadWrite));
        QByteArray body = journal.readAll();
        body.chop(8);
        const QByteArray name = "MONEY.DBF", elsewhere = "SUB/MONEY.DBF";
        const qsizetype at = body.indexOf(char(name.size()) + QByteArray(1, '\0') + name);
        QVERIFY(at > 0);
        body.replace(at, 2 + name.size(), char(elsewhere.size()) + QByteArray(1, '\0') + elsewhere);
        std::uint64_t seal = 0xcbf29ce484222325ULL; // the journal's FNV-1a seal
        for (const char c : body)
            seal = (seal ^ std::uint8_t(c)) * 0x100000001b3ULL;
        for (int i = 0; i < 8; ++i)
            body.append(char((seal >> (8 * i)) & 0xFF));
        journal.resize(0);
        journal.write(body);
        journal.close();
        QDir().mkdir("SUB");
        QVERIFY(QFile::copy("MONEY.DBF", "SUB/MONEY.DBF"));
        const auto bytes = [](const char* path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray outsideBefore = bytes("SUB/MONEY.DBF");
        const QByteArray betsBefore = bytes("PRIEM.DBF");

        QVERIFY_THROWS_EXCEPTION(EDatabaseError, RecoverInterruptedWork(scene.path()));
        QCOMPARE(bytes("SUB/MONEY.DBF"), outsideBefore);
        QCOMPARE(bytes("PRIEM.DBF"), betsBefore);
    }

    // Two faults in a row: a write fails, and the program is killed while the tables are being
    // put back (a table then claims in its header a record it no longer holds). At every pair of
    // points, of a bet and of a settlement of three bets, every start afterwards opens books
    // that are wholly before or wholly after the work.
    void aCrashWhileAFailedCommitIsPutBackLeavesBeforeOrAfter_data() {
        QTest::addColumn<bool>("bet");
        QTest::newRow("a bet") << true;
        QTest::newRow("a settlement of three bets") << false;
    }
    void aCrashWhileAFailedCommitIsPutBackLeavesBeforeOrAfter() {
        QFETCH(bool, bet);
        const auto work = bet ? takeBet : settle;
        QStringList before, after;
        {
            Scene scene(m_fixture);
            before = snapshot();
            work();
            after = snapshot();
        }
        int pairs = 0, killed = 0;
        bool firstReached = true;
        for (int first = 1; firstReached; ++first) {
            for (int second = 1;; ++second) {
                Scene scene(m_fixture);
                const int status = runForked([&] {
                    DbfFile::setSyncEnabled(false); // a kill loses nothing the kernel holds
                    fault::Arm(first, fault::Kind::Error);
                    fault::ArmNext(second, fault::Kind::Kill);
                    work();
                });
                QVERIFY(status >= 0);
                ++pairs;
                for (int start = 1; start <= 2; ++start) {
                    try {
                        RecoverInterruptedWork(scene.path());
                    } catch (const EDatabaseError& error) {
                        QFAIL(qPrintable(QString("points %1, %2: %3")
                                             .arg(first)
                                             .arg(second)
                                             .arg(error.message())));
                    }
                    const QStringList now = snapshot();
                    QVERIFY2(now == before || now == after,
                             qPrintable(QString("points %1, %2").arg(first).arg(second)));
                }
                if (status != 77) {
                    firstReached = status == 1;
                    break;
                }
                ++killed;
            }
        }
        qInfo("%d pairs of fault points, %d of them killed while the work was put back", pairs,
              killed);
        QVERIFY(killed > 10);
    }

    // A journal is applied only to the tables it was written for: one replaced by another of
    // the same layout (a copy from another day, say) holds other records where the work
    // changed them.
    void aJournalOverATableReplacedByOneOfTheSameLayoutIsRefused() {
        Scene scene(m_fixture);
        QCOMPARE(runForked([] {
                     fault::Arm(4, fault::Kind::Kill); // right after the journal is sealed
                     settle();
                 }),
                 77);
        QVERIFY(QFile::exists(JournalFileName()));
        {
            DbfFile events("COMPIT.DBF");
            events.open();
            QByteArray first(events.record(0), events.recordLength());
            events.encode(first.data(), events.columnIndex("KOM1"), Variant("Другая команда"));
            events.write(0, first);
        }
        const QStringList replaced = snapshot();
        try {
            RecoverInterruptedWork(scene.path());
            QFAIL("applied over another table");
        } catch (const EDatabaseError& error) {
            QVERIFY2(error.message().contains("COMPIT.DBF") &&
                         error.message().contains("таблица заменена"),
                     qPrintable(error.message()));
        }
        QCOMPARE(snapshot(), replaced);
        QVERIFY(QFile::exists(JournalFileName()));
    }

    // The work is in the tables, but its journal stays: that is no success, or the next start
    // would apply it again over whatever was written after.
    void aJournalThatCannotBeRemovedIsNoSuccess() {
        int removal = 0; // the journal's removal is the commit's last point
        {
            Scene counting(m_fixture);
            fault::Disarm();
            settle();
            removal = fault::Passed();
        }
        Scene third(m_fixture);
        const auto undeletable = [&](bool on) {
            QString why;
            QVERIFY2(setReadOnly(third.path(), on, &why), qPrintable(why));
        };
        fault::Observe([&](int passed) {
            if (passed == removal)
                undeletable(true);
        });
        fault::Arm(1 << 30, fault::Kind::Error);
        bool reported = false;
        try {
            settle();
        } catch (const EDatabaseError& error) {
            reported = error.message().contains(JournalFileName());
            QVERIFY2(reported, qPrintable(error.message()));
        }
        fault::Disarm();
        fault::Observe({});
        undeletable(false);
        QVERIFY(reported);
        QVERIFY(QFile::exists(JournalFileName()));
        // The next start finds the work done and applies it again, to the same books.
        RecoverInterruptedWork(third.path());
        QVERIFY(!QFile::exists(JournalFileName()));
        QCOMPARE(snapshot(), m_after);
    }
};

// The worker: settles in the given folder and is killed at the given write point (or, with
// -1, right after the journal is sealed: the journal's own points come first).
int main(int argc, char** argv) {
    if (argc == 4 && QByteArray(argv[1]) == "--settle-and-crash-at") {
        QCoreApplication app(argc, argv);
        useProgramLocale();
        QDir::setCurrent(QString::fromLocal8Bit(argv[3]));
        const int point = std::atoi(argv[2]);
        fault::Arm(point < 0 ? 4 : point, fault::Kind::Kill);
        try {
            settle();
        } catch (const EVarnelError& error) {
            std::fprintf(stderr, "%s\n", error.message().toLocal8Bit().constData());
            return 1;
        }
        return 0;
    }
    return runTests<QCoreApplication, TestTransaction>(argc, argv);
}

#include "test_transaction.moc"
