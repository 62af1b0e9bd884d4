// The rules of the books, through their operations and without a window: what a settlement
// pays and removes, and what recording a bet writes.
#include "base/Report.h"
#include "store/DataModule6.h"
#include "store/History.h"
#include "store/HistoryScan.h"
#include "store/Home.h"
#include "store/Reading.h"
#include "store/Tables.h"
#include "store/engine/DataSet.h"
#include "store/engine/DbfFile.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>
#include <QTest>

#include <initializer_list>
#include <utility>

using namespace varnel;
using namespace varnel::test;

namespace {

// The environment's names of the desktop user for the life of the object: those given set, the
// other ones unset; all as they were after it.
class DesktopUser {
public:
    DesktopUser(std::initializer_list<std::pair<const char*, QByteArray>> names) {
        for (const char* variable : kVariables) {
            m_saved.push_back({variable, qgetenv(variable), qEnvironmentVariableIsSet(variable)});
            if (QByteArray(variable) != "HOME")
                qunsetenv(variable);
        }
        for (const auto& [variable, value] : names)
            qputenv(variable, value);
    }
    ~DesktopUser() {
        for (const Saved& saved : m_saved) {
            if (saved.set)
                qputenv(saved.variable, saved.value);
            else
                qunsetenv(saved.variable);
        }
    }
    DesktopUser(const DesktopUser&) = delete;
    DesktopUser& operator=(const DesktopUser&) = delete;

private:
    static constexpr const char* kVariables[] = {"USER", "LOGNAME", "USERNAME", "HOME"};
    struct Saved {
        const char* variable;
        QByteArray value;
        bool set;
    };
    std::vector<Saved> m_saved;
};

} // namespace

class TestBooks : public QObject {
    Q_OBJECT
    std::unique_ptr<BooksFixture> m_books;

    QString file(const char* name) const { return m_books->folder.file(QString::fromLatin1(name)); }
    TDataSet& events() const { return *m_books->module->TableCompit; }
    TDataSet& bets() const { return *m_books->module->TableStavka; }

private slots:
    void init() {
        m_books = std::make_unique<BooksFixture>();
        QVERIFY2(m_books->errors.messages.isEmpty(),
                 qPrintable(m_books->errors.messages.join('\n')));
    }
    void cleanup() { m_books.reset(); }

    void aWinningBetIsPaidStakePlusStakeTimesKoef() {
        append(events(), {eventRecord(7, "Зенит", "Спартак"), eventRecord(8, "Динамо", "ЦСКА")});
        append(bets(), {betRecord(8, "Динамо", 10, 3, "Чужой 1"),
                        betRecord(7, "Зенит", 100, 1.5, "Иванов И.И."),
                        betRecord(7, "Спартак", 40, 2.5, "Проигравший"),
                        betRecord(8, "Ничья", 20, 4, "Чужой 2")});
        QVERIFY(m_books->settle(7, 1));
        const auto money = readWithDbfread(file("MONEY.DBF"));
        QCOMPARE(money.size(), 1);
        QCOMPARE(money[0].toObject()["FIO"].toString(), QString("Иванов И.И."));
        QCOMPARE(money[0].toObject()["SUMMA"].toDouble(), 250.0);
        // The loser went without a payout; other events' bets kept, in their order.
        QCOMPARE(readColumn(file("PRIEM.DBF"), "FIO"), QStringList({"Чужой 1", "Чужой 2"}));
        QCOMPARE(readColumn(file("COMPIT.DBF"), "NUMBER"), QStringList({"8"}));
    }

    // A side may be named like the draw's outcome in part, or like the other side but for
    // case: only the bets on the very outcome are paid.
    void onlyTheChosenOutcomeIsPaid_data() {
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("paid");
        QTest::newRow("side 1") << 1 << QStringList{"На первую"};
        QTest::newRow("side 2") << 2 << QStringList{"На вторую"};
        QTest::newRow("draw") << 3 << QStringList{"На ничью"};
    }
    void onlyTheChosenOutcomeIsPaid() {
        QFETCH(int, outcome);
        QFETCH(QStringList, paid);
        append(events(), {eventRecord(3, "Нефтяник", "Ничья команда")});
        append(bets(), {betRecord(3, "Нефтяник", 10, 2, "На первую"),
                        betRecord(3, "Ничья команда", 10, 2, "На вторую"),
                        betRecord(3, "Ничья", 10, 2, "На ничью"),
                        betRecord(3, "нефтяник", 10, 2, "Регистр не тот")});
        QVERIFY(m_books->settle(3, outcome));
        QCOMPARE(readColumn(file("MONEY.DBF"), "FIO"), paid);
        QCOMPARE(readColumn(file("MONEY.DBF"), "SUMMA"), QStringList({"30"}));
        QCOMPARE(readWithDbfread(file("PRIEM.DBF")).size(), 0);
    }

    void adjacentBetsAndTheLastRecordAreAllSettled() {
        append(events(), {eventRecord(5, "А", "Б"), eventRecord(6, "В", "Г")});
        append(bets(), {betRecord(5, "А", 1, 1, "п1"), betRecord(5, "А", 2, 1, "п2"),
                        betRecord(5, "Б", 3, 1, "л1"), betRecord(6, "В", 4, 1, "чужой"),
                        betRecord(5, "А", 5, 1, "п3"), betRecord(5, "А", 6, 1, "п4")});
        QVERIFY(m_books->settle(5, 1));
        QCOMPARE(readColumn(file("MONEY.DBF"), "FIO"), QStringList({"п1", "п2", "п3", "п4"}));
        QCOMPARE(readColumn(file("MONEY.DBF"), "SUMMA"), QStringList({"2", "4", "10", "12"}));
        QCOMPARE(readColumn(file("PRIEM.DBF"), "FIO"), QStringList({"чужой"}));
    }

    void anEventWithoutBetsIsRemovedWithNoPayout() {
        append(events(), {eventRecord(1, "А", "Б"), eventRecord(2, "В", "Г")});
        append(bets(), {betRecord(2, "В", 5, 2, "чужой")});
        QVERIFY(m_books->settle(1, 3));
        QCOMPARE(readWithDbfread(file("MONEY.DBF")).size(), 0);
        QCOMPARE(readColumn(file("COMPIT.DBF"), "NUMBER"), QStringList({"2"}));
        QCOMPARE(readColumn(file("PRIEM.DBF"), "FIO"), QStringList({"чужой"}));
        // An empty bets table settles nothing, and the event still goes.
        QVERIFY(m_books->settle(2, 1));
        QCOMPARE(readWithDbfread(file("COMPIT.DBF")).size(), 0);
        QCOMPARE(readColumn(file("MONEY.DBF"), "FIO"), QStringList({"чужой"}));
    }

    // Numbers repeat: the first event of a number in the table's order is the one found, and
    // the one its bets are settled with; none found moves the cursor past the last event.
    void theFirstEventOfANumberIsFoundAndSettled() {
        append(events(), {eventRecord(4, "Первое", "Х"), eventRecord(4, "Второе", "У")});
        append(bets(), {betRecord(4, "Первое", 10, 1, "за первое"),
                        betRecord(4, "Второе", 10, 1, "за второе")});
        QVERIFY(!m_books->module->FindEvent(Variant(9)));
        QVERIFY(events().Eof());
        QVERIFY(m_books->settle(4, 1));
        QCOMPARE(readColumn(file("COMPIT.DBF"), "KOM1"), QStringList({"Второе"}));
        QCOMPARE(readColumn(file("MONEY.DBF"), "FIO"), QStringList({"за первое"}));
        QCOMPARE(readWithDbfread(file("PRIEM.DBF")).size(), 0);
    }

    // A bet raises its outcome's stake sum as stored by the stake as the bet stores it (to a
    // hundredth of a kopeck), whatever the pending event held, and the history records both.
    void aBetRaisesItsOutcomesStoredSumByTheStoredStake() {
        append(events(), {eventRecord(2, "Зенит", "Спартак")});
        QVERIFY(m_books->module->FindEvent(Variant(2)));
        events().Edit();
        events().SetFieldValue("SUMM_2", Variant(99999)); // a click's sum, never written as is
        bets().Insert();
        for (const auto& [field, value] : betRecord(2, "Спартак", 12.345678, 2, "Иванов"))
            bets().SetFieldValue(field, value);
        m_books->module->RecordBet(QLatin1String("SUMM_2"), false);
        const auto event = readWithDbfread(file("COMPIT.DBF"))[0].toObject();
        QCOMPARE(event["SUMM_2"].toDouble(), 512.3457);
        QCOMPARE(event["SUMM_1"].toDouble(), 500.0);
        const auto bet = readWithDbfread(file("PRIEM.DBF"))[0].toObject();
        QCOMPARE(bet["SUMMA"].toDouble(), 12.3457);
        QCOMPARE(bet["RESULT"].toString(), QString("Спартак"));
        const auto taken = readWithDbfread(file("HISTORY.DBF")).last().toObject();
        QCOMPARE(taken["VID"].toString(), kinds::Bet());
        QCOMPARE(taken["SUMM_2"].toDouble(), 512.3457);
        QCOMPARE(taken["FIO"].toString(), QString("Иванов"));
    }

    // Every record names who wrote it: in a folder, the desktop user, whatever the action.
    void everyHistoryRecordNamesTheDesktopUser() {
        const DesktopUser user({{"USER", " olga "}, {"LOGNAME", "other"}});
        m_books->enterEvent(7, "Зенит", "Спартак");
        m_books->takeBet(7, 1, 100, "Иванов");
        m_books->takeBet(7, 2, 40, "Петров");
        QVERIFY(m_books->settle(7, 1));
        const auto settled = readWithDbfread(file("HISTORY.DBF"));
        m_books->module->UndoResult(RecordKey(settled.size() - 1));
        QVERIFY(m_books->settle(7, 1));
        m_books->payOut(0);
        const auto records = readWithDbfread(file("HISTORY.DBF"));
        QStringList kinds;
        for (const auto& r : records) {
            QCOMPARE(r.toObject()["KASSIR"].toString(), QString("olga"));
            if (!kinds.contains(r.toObject()["VID"].toString()))
                kinds << r.toObject()["VID"].toString();
        }
        QCOMPARE(kinds.size(), 8); // every kind of record
    }

    // USER, else LOGNAME, else USERNAME, else the home folder's name; cut to the field.
    void theDesktopUserIsTheFirstNameTheEnvironmentGives() {
        {
            const DesktopUser user({{"USER", "a"}, {"LOGNAME", "b"}, {"USERNAME", "c"}});
            QCOMPARE(DesktopUserName(), QString("a"));
        }
        {
            const DesktopUser user({{"USER", ""}, {"LOGNAME", "b"}, {"USERNAME", "c"}});
            QCOMPARE(DesktopUserName(), QString("b"));
        }
        {
            const DesktopUser user({{"USERNAME", "c"}});
            QCOMPARE(DesktopUserName(), QString("c"));
        }
        {
            const DesktopUser user({{"HOME", "/home/kassa3"}});
            QCOMPARE(DesktopUserName(), QString("kassa3"));
        }
        const DesktopUser user({{"USER", QByteArray(70, 'k')}});
        QCOMPARE(DesktopUserName(), QString(63, QLatin1Char('k')));
        QCOMPARE(HistoryTable().Field(fields::KASSIR)->size, 63);
    }

    // A name the history's code page cannot hold never stops an action: what it lacks is «?».
    void aNameTheHistoryCannotHoldIsWrittenAsItCan() {
        const DesktopUser user({{"USER", QString("Müller 山田").toUtf8()}});
        m_books->enterEvent(3, "Нефтяник", "Шинник");
        QCOMPARE(readColumn(file("HISTORY.DBF"), "KASSIR"), QStringList{"M?ller ??"});
    }

    // A history written before KASSIR: the counter opens it as it is and writes into it what
    // it has, each action as it would; the readings read it, KASSIR blank.
    void aHistoryWrittenBeforeTheCashierOpensIsReadAndTakesRecords() {
        using namespace fields;
        m_books->module.reset();
        const QString history = file("HISTORY.DBF");
        createHistoryBeforeKassir(history);
        append(history, {{{DEN, Variant(Date().addDays(-1))},
                          {VREMYA, Variant("09:00:00")},
                          {VID, Variant(kinds::Event())},
                          {NUMBER, Variant(99)},
                          {KOM1, Variant("Старое")},
                          {ZAPIS, Variant(40)}}});
        const QJsonObject older = readWithDbfread(history)[0].toObject();

        m_books->module = std::make_unique<TDataModule6>();
        RunHandler([&] { m_books->module->DataModuleCreate(); });
        QVERIFY2(m_books->errors.messages.isEmpty(),
                 qPrintable(m_books->errors.messages.join('\n')));
        QVERIFY(m_books->module->TableHistory->Active());
        m_books->enterEvent(7, "Зенит", "Спартак");
        m_books->takeBet(7, 1, 100, "Иванов");
        m_books->takeBet(7, 2, 40, "Петров");
        QVERIFY(m_books->settle(7, 1));
        m_books->payOut(0);

        const QJsonArray records = readWithDbfread(history);
        QCOMPARE(records.size(), 8);
        QCOMPARE(records[0].toObject(), older);
        QStringList kinds;
        for (const auto& r : records) {
            QVERIFY(!r.toObject().contains("KASSIR"));
            kinds << r.toObject()["VID"].toString();
        }
        QCOMPARE(kinds, QStringList({"Событие", "Событие", "Ставка", "Ставка", "Выигрыш",
                                     "Проигрыш", "Результат", "Выплата"}));
        // The payment found its bet's serial in the history, as ever.
        QCOMPARE(records[7].toObject()["SERIAL"].toInt(), records[2].toObject()["SERIAL"].toInt());
        QCOMPARE(records[7].toObject()["VYPLATA"].toDouble(), 300.0);

        // The readings: the history is there, every record of it readable, KASSIR blank.
        const auto books = ReadBooks(m_books->folder.path());
        QVERIFY2(books->problems.isEmpty(), qPrintable(books->problems.join('\n')));
        QVERIFY(books->history);
        QCOMPARE(books->historyCount, 8u);
        const HistoryScan scan(*books->history);
        for (std::uint32_t i = 0; i < books->historyCount; ++i) {
            const char* record = scan.Record(i);
            QVERIFY(scan.Readable(record));
            QCOMPARE(scan.Value(record, KASSIR), Variant(QString()));
            QCOMPARE(scan.Value(record, VID).toString(), kinds[i]);
        }
        QCOMPARE(books->history->ColumnOf(KASSIR), -1);
    }
};

int main(int argc, char** argv) {
    return runTests<QCoreApplication, TestBooks>(argc, argv);
}

#include "test_books.moc"
