// The rules of the books, through their operations and without a window: what a settlement
// pays and removes, and what recording a bet writes.
#include "store/DataModule6.h"
#include "store/History.h"
#include "store/engine/DataSet.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QLocale>
#include <QTest>

using namespace varnel;
using namespace varnel::test;

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
};

int main(int argc, char** argv) {
    return runTests<QCoreApplication, TestBooks>(argc, argv);
}

#include "test_books.moc"
