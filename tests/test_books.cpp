// The rules of the books, through their operations and without a window: what a settlement
// pays and removes, and what recording a bet writes.
#include "base/Report.h"
#include "store/DataModule6.h"
#include "store/History.h"
#include "store/HistoryScan.h"
#include "store/Home.h"
#include "store/Reading.h"
#include "store/Rules.h"
#include "store/Slip.h"
#include "store/Tables.h"
#include "store/engine/DataSet.h"
#include "store/engine/DbfFile.h"
#include "tests/support/Server.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>
#include <QTest>

#include <functional>
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
    std::unique_ptr<HomeBooks> m_home;
    BooksFixture* m_books = nullptr;

    // A table as the books hold it now (on a server, written out at this moment).
    QString file(const char* name) const { return m_home->table(QString::fromLatin1(name)); }
    TDataSet& events() const { return *m_books->module->TableCompit; }
    TDataSet& bets() const { return *m_books->module->TableStavka; }

private slots:
    void init() {
        m_home = std::make_unique<HomeBooks>();
        m_books = m_home->books.get();
        QVERIFY2(m_books->errors.messages.isEmpty(),
                 qPrintable(m_books->errors.messages.join('\n')));
    }
    void cleanup() {
        m_books = nullptr;
        m_home.reset();
    }

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

    // A slip pays its own bet once, by its code: a win owed is shown and paid, and everything
    // else is said, nothing written. An undone result gives back a bet whose slip still pays;
    // a payout of a bet with a slip paid by name is noted as such.
    void aSlipPaysItsOwnBetOnceAndSaysWhyOtherwise() {
        TDataModule6& books = *m_books->module;
        const auto refusal = [&books](const QString& text) {
            try {
                books.PayBySlip(text);
                return QString();
            } catch (const ERuleRefused& refused) {
                return refused.message();
            }
        };
        m_books->enterEvent(7, "Зенит", "Спартак");
        m_books->takeBet(7, 1, 100, "Иванов");
        const Slip won = *books.LastSlip();
        m_books->takeBet(7, 2, 40, "Петров");
        const Slip lost = *books.LastSlip();
        m_books->takeBet(7, 1, 10, "Сидоров");
        QCOMPARE(won.code.size(), 20);
        QCOMPARE(won.outcome + won.side2 + MoneyText(won.payout), "ЗенитСпартак300,00");
        const QString wonText = BooksFixture::slipText(won.serial);
        const QString serial = QString::number(won.serial);
        QCOMPARE(refusal(wonText), SlipOpenMessage(serial));
        QVERIFY(m_books->settle(7, 1));
        QString off = won.code;
        off[19] = QChar('0' + (off[19].digitValue() + 1) % 10);
        QCOMPARE(refusal(SlipBarcodeText(won.serial, off)), SlipUnknownMessage());
        QCOMPARE(refusal(SlipBarcodeText(won.serial + 1000, won.code)), SlipUnknownMessage());
        QCOMPARE(refusal("12345"), NotSlipTextMessage());
        QCOMPARE(refusal(BooksFixture::slipText(lost.serial)),
                 SlipLostMessage(QString::number(lost.serial)));

        TDataSet& history = *books.TableHistory;
        history.Last();
        while (history.GetFieldValue(fields::VID).toString() != kinds::Result())
            history.Prior();
        books.UndoResult(history.CurrentIndex());
        QCOMPARE(refusal(wonText), SlipOpenMessage(serial));
        QVERIFY(m_books->settle(7, 1));
        const SlipCheck owed = books.CheckSlip(wonText);
        QCOMPARE(int(owed.state), int(SlipCheck::State::Owed));
        QCOMPARE(owed.client + QString::number(owed.bet.payout), "Иванов300");
        QCOMPARE(refusal(wonText), QString());
        QVERIFY2(refusal(wonText).startsWith(QStringLiteral("Выигрыш по квитанции № %1 уже "
                                                            "выплачен %2 в ")
                                                 .arg(serial, Date().toString("dd.MM.yyyy"))),
                 qPrintable(refusal(wonText)));
        QCOMPARE(readColumn(file("MONEY.DBF"), "FIO"), QStringList{"Сидоров"});
        m_books->payOut(0); // by name, for a lost slip
        history.Last();
        QCOMPARE(history.GetFieldValue(fields::RESULT).toString(), WithoutSlipNote());
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
        m_books->module->RecordBet(Outcome::Side2, false);
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

    // What the rules refuse is refused by the operation itself, whoever calls it, before
    // anything is written.
    void theOperationsRefuseWhatTheRulesRefuse_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("event today") << "today"
                                     << "Такая дата уже в прошлом !!!";
        QTest::newRow("sides alike") << "sides"
                                     << "одно и то же название «Зенит»";
        QTest::newRow("side named as the draw") << "draw"
                                                << "Команда не может называться «ничья»";
        QTest::newRow("coefficient below zero") << "koef"
                                                << "коэффициент не может быть меньше нуля";
        QTest::newRow("no stake") << "stake"
                                  << "Неверная сумма ставки !!!";
        QTest::newRow("bets closed") << "closed"
                                     << "Прием ставок на это событие закончен !!!";
    }
    void theOperationsRefuseWhatTheRulesRefuse() {
        QFETCH(QString, what);
        QFETCH(QString, refusal);
        using namespace fields;
        append(events(),
               {eventRecord(1, "Зенит", "Спартак"), eventRecord(2, "Динамо", "ЦСКА", Date())});
        const auto refused = [&](const std::function<void()>& work) {
            try {
                work();
            } catch (const EVarnelError& error) {
                return error.message();
            }
            return QString();
        };
        QString message;
        if (what == "stake" || what == "closed") {
            message = refused([&] {
                m_books->takeBet(what == "stake" ? 1 : 2, 1, what == "stake" ? 0 : 10, "Иванов");
            });
        } else {
            message = refused([&] {
                events().Insert();
                for (const auto& [field, value] :
                     eventRecord(3, what == "draw" ? "ничья" : "Зенит",
                                 what == "sides" ? "зенит" : "Спартак",
                                 what == "today" ? Date() : Date().addDays(1),
                                 {2.0, what == "koef" ? -1.5 : 2.0, 2.0}))
                    events().SetFieldValue(field, value);
                m_books->module->EnterEvent();
            });
            events().Cancel();
        }
        QVERIFY2(message.contains(refusal), qPrintable(message));
        QCOMPARE(readWithDbfread(file("COMPIT.DBF")).size(), 2);
        QCOMPARE(readWithDbfread(file("PRIEM.DBF")).size(), 0);
        QCOMPARE(readWithDbfread(file("HISTORY.DBF")).size(), 0);
    }

    // Each limit at its value, just under and just over it: taken, or refused before anything
    // is written with the limit named and the largest stake still taken. The liability counts
    // the chosen outcome's bets alone, each at its own coefficient.
    void aBetPastALimitIsRefusedNamingTheLargestStakeTaken_data() {
        QTest::addColumn<QString>("limit");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("stake");
        QTest::addColumn<QString>("refusal"); // empty: taken
        const QString under = QStringLiteral("Ставка меньше наименьшей допустимой: можно принять "
                                             "не менее 10,00.");
        QTest::newRow("min at") << "min" << 10.0 << 10.0 << "";
        QTest::newRow("min under") << "min" << 10.0 << 9.99 << under;
        QTest::newRow("max at") << "max" << 100.0 << 100.0 << "";
        QTest::newRow("max over") << "max" << 100.0 << 100.01
                                  << "Ставка превысила бы лимит одной ставки: можно принять не "
                                     "более 100,00.";
        // At 1.5 a stake of 100 pays 250.
        QTest::newRow("payout at") << "payout" << 250.0 << 100.0 << "";
        QTest::newRow("payout over") << "payout" << 250.0 << 100.01
                                     << "Ставка превысила бы лимит выплаты по одной ставке: можно "
                                        "принять не более 100,00.";
        // «Спартак» owes 100 × 3 = 300 already; the draw's and «Зенит»'s bets do not count.
        QTest::newRow("liability at") << "liability" << 3425.0 << 1250.0 << "";
        QTest::newRow("liability just over")
            << "liability" << 3425.0 << 1250.01
            << "Ставка превысила бы лимит выплат по исходу «Спартак»: можно принять не более "
               "1 250,00.";
        QTest::newRow("liability full") << "liability" << 300.0 << 1.0
                                        << "Ставка превысила бы лимит выплат по исходу «Спартак»: "
                                           "ставку на этот исход сейчас принять нельзя.";
    }
    void aBetPastALimitIsRefusedNamingTheLargestStakeTaken() {
        QFETCH(QString, limit);
        QFETCH(double, value);
        QFETCH(double, stake);
        QFETCH(QString, refusal);
        append(events(), {eventRecord(1, "Зенит", "Спартак", Date().addDays(2), {1.5, 2.0, 3.0})});
        m_books->takeBet(1, 2, 100, "Прежний"); // at 2: 300 if «Спартак» wins
        m_books->takeBet(1, 1, 500, "На Зенит");
        m_books->takeBet(1, 3, 900, "На ничью");
        // The second side's coefficient is 1.5 from here on.
        QVERIFY(m_books->module->FindEvent(Variant(1)));
        events().Edit();
        events().SetFieldValue("KOEF_2", Variant(1.5));
        events().Post();
        Limits limits;
        (limit == "min"      ? limits.minStake
         : limit == "max"    ? limits.maxStake
         : limit == "payout" ? limits.maxPayout
                             : limits.maxLiability) = value;
        m_books->module->SetLimits(limits);
        const int history = readWithDbfread(file("HISTORY.DBF")).size();
        QString message;
        try {
            m_books->takeBet(1, 2, stake, "Новый");
        } catch (const ERuleRefused& refused) {
            message = refused.message();
        }
        QCOMPARE(message.replace(QChar(0xa0), ' '), refusal);
        const auto bets = readWithDbfread(file("PRIEM.DBF"));
        QCOMPARE(bets.size(), refusal.isEmpty() ? 4 : 3);
        QCOMPARE(readWithDbfread(file("HISTORY.DBF")).size(),
                 history + (refusal.isEmpty() ? 1 : 0));
        const auto event = readWithDbfread(file("COMPIT.DBF"))[0].toObject();
        QCOMPARE(event["VYPL_2"].toDouble(),
                 refusal.isEmpty() ? StoredMoney(300 + BetPayout(stake, 1.5)) : 300.0);
        QCOMPARE(event["VYPL_1"].toDouble(), 1250.0);
        QCOMPARE(event["VYPL_N"].toDouble(), 3600.0);
    }

    // An event whose payout sums are not kept (entered before they were, or put back by an
    // undone result) sums them from its bets at its next bet, and keeps them from then on.
    void anEventWithoutPayoutSumsSumsItsBets() {
        append(events(), {eventRecord(4, "Зенит", "Спартак")});
        append(bets(), {betRecord(4, "Зенит", 100, 1.25, "Первый"),
                        betRecord(4, "Зенит", 0.1, 0.35, "Второй"),
                        betRecord(4, "Спартак", 50, 2, "Чужой исход")});
        Limits limits;
        limits.maxLiability = 225.135 + 0.0001; // 225 + 0.135 owed; room for 0.0001 more
        m_books->module->SetLimits(limits);
        QVERIFY_THROWS_EXCEPTION(ERuleRefused, m_books->takeBet(4, 1, 0.01, "Лишний"));
        limits.maxLiability = 1000;
        m_books->module->SetLimits(limits);
        m_books->takeBet(4, 1, 10, "Третий", true);
        QCOMPARE(readWithDbfread(file("COMPIT.DBF"))[0].toObject()["VYPL_1"].toDouble(),
                 225.135 + 10 + 10 * 2.0);
        // Undone, the event put back owes what its bets put back would pay.
        QVERIFY(m_books->settle(4, 2));
        m_books->module->TableHistory->Last(); // the result's record
        m_books->module->UndoResult(m_books->module->TableHistory->CurrentIndex());
        const auto putBack = readWithDbfread(file("COMPIT.DBF"))[0].toObject();
        QCOMPARE(putBack["VYPL_1"].toDouble(), 255.135);
        QCOMPARE(putBack["VYPL_2"].toDouble(), 150.0);
        limits.maxLiability = 255.135;
        m_books->module->SetLimits(limits);
        QVERIFY_THROWS_EXCEPTION(ERuleRefused, m_books->takeBet(4, 1, 0.01, "Лишний"));
        m_books->takeBet(4, 2, 0.01, "Другой исход");
    }

    // A bet revoked before its event hands its stake back: off its outcome's stake sum and
    // payout sum, the bet gone and its record kept under its serial, the coefficients where the
    // bet moved them. One whose event takes no more bets, or is settled, stays; nothing written.
    void aRevokedBetLeavesItsRecordAndTheCoefficients_data() {
        QTest::addColumn<QString>("event"); // what became of the event before the revocation
        QTest::addColumn<QString>("refusal");
        QTest::newRow("open") << ""
                              << "";
        QTest::newRow("closed") << "DATE" << RevokeClosedMessage();
        QTest::newRow("settled") << "NUMBER" << RevokeSettledMessage();
    }
    void aRevokedBetLeavesItsRecordAndTheCoefficients() {
        QFETCH(QString, event);
        QFETCH(QString, refusal);
        append(events(), {eventRecord(1, "Зенит", "Спартак", Date().addDays(2), {1.5, 2.0, 3.0})});
        m_books->takeBet(1, 2, 700, "Отзываемый", true); // «Спартак» 1200 against 1000: 0.75
        m_books->takeBet(1, 2, 10, "Другой");            // at 0.75
        if (!event.isEmpty()) {
            QVERIFY(m_books->module->FindEvent(Variant(1)));
            events().Edit();
            events().SetFieldValue(event, event == "DATE" ? Variant(Date()) : Variant(2));
            events().Post();
        }
        const auto before = [&] {
            return QJsonArray{readWithDbfread(file("COMPIT.DBF")),
                              readWithDbfread(file("PRIEM.DBF")),
                              readWithDbfread(file("HISTORY.DBF"))};
        };
        const QJsonArray was = before();
        bets().First();
        QString message;
        try {
            m_books->module->RevokeBet();
        } catch (const ERuleRefused& refused) {
            message = refused.message();
        }
        QCOMPARE(message, refusal);
        if (!refusal.isEmpty()) {
            QCOMPARE(before(), was);
            return;
        }
        QCOMPARE(readColumn(file("PRIEM.DBF"), "FIO"), QStringList{"Другой"});
        const QJsonObject left = readWithDbfread(file("COMPIT.DBF"))[0].toObject();
        QCOMPARE(left["SUMM_2"].toDouble(), 510.0);
        QCOMPARE(left["VYPL_2"].toDouble(), 17.5);
        QCOMPARE(left["KOEF_2"].toDouble(), 0.75);
        const auto records = readWithDbfread(file("HISTORY.DBF"));
        const QJsonObject taken = records[0].toObject(), revoked = records.last().toObject();
        QCOMPARE(revoked["VID"].toString(), kinds::Revoked());
        QCOMPARE(revoked["SERIAL"], taken["SERIAL"]);
        QCOMPARE(revoked["FIO"].toString(), QString("Отзываемый"));
        QCOMPARE(revoked["SUMMA"].toDouble(), 700.0);
        QCOMPARE(revoked["SUMM_2"].toDouble(), 510.0);
        // The stake left the books: the next bet on the outcome fits a limit it would not have.
        m_books->module->SetLimits(Limits{{}, {}, {}, 17.5 + BetPayout(1, 0.75), {}});
        m_books->takeBet(1, 2, 1, "Под лимит");
    }

    // The limits are the books': read by every operation from where they are kept, each change
    // a history record; limits that contradict each other are refused.
    void theLimitsAreKeptAndEachChangeIsRecorded() {
        QCOMPARE(m_books->module->CurrentLimits(), Limits{});
        Limits limits{10, 5000, 100000, 250000, 15};
        m_books->module->SetLimits(limits);
        QCOMPARE(m_books->module->CurrentLimits(), limits);
        limits = Limits{};
        limits.maxStake = 700;
        m_books->module->SetLimits(limits);
        QCOMPARE(m_books->module->CurrentLimits(), limits);
        for (const Limits& wrong :
             {Limits{500, 100, {}, {}, {}}, Limits{-1, {}, {}, {}, {}}, Limits{{}, {}, {}, {}, -5}})
            QVERIFY_THROWS_EXCEPTION(ERuleRefused, m_books->module->SetLimits(wrong));
        QCOMPARE(m_books->module->CurrentLimits(), limits);
        const auto records = readWithDbfread(file("HISTORY.DBF"));
        QCOMPARE(records.size(), 2);
        const QJsonObject first = records[0].toObject();
        QCOMPARE(first["VID"].toString(), kinds::LimitsSet());
        QCOMPARE(first["SUMM_1"].toDouble(), 10.0);
        QCOMPARE(first["SUMM_2"].toDouble(), 5000.0);
        QCOMPARE(first["VYPLATA"].toDouble(), 100000.0);
        QCOMPARE(first["SUMM_N"].toDouble(), 250000.0);
        QCOMPARE(first["ZAPIS"].toInt(), 15);
        QVERIFY(records[1].toObject()["SUMM_1"].isNull());
    }

    // Books laid out before the limits (no limits' table, events without payout sums) take bets
    // as ever, with no limit; setting limits there says how to add the table.
    void aFolderWithoutTheLimitsTableTakesBetsWithoutLimits() {
        m_books->module.reset();
        QVERIFY(QFile::remove(file("LIMITS.DBF")));
        QFile::remove(file("COMPIT.DBF"));
        DbfFile::create(file("COMPIT.DBF"), [] {
            QList<DbfColumn> columns = CompitTable().Columns();
            columns.resize(10); // without the payout sums
            return columns;
        }());
        m_books->module = std::make_unique<TDataModule6>();
        RunHandler([&] { m_books->module->DataModuleCreate(); });
        QVERIFY2(m_books->errors.messages.isEmpty(),
                 qPrintable(m_books->errors.messages.join('\n')));
        m_books->enterEvent(5, "Зенит", "Спартак");
        m_books->takeBet(5, 1, 1e6, "Крупный");
        QCOMPARE(m_books->module->CurrentLimits(), Limits{});
        try {
            m_books->module->SetLimits(Limits{1, {}, {}, {}, {}});
            QFAIL("limits set without their table");
        } catch (const EDatabaseError& error) {
            QVERIFY2(error.message().contains("varnel-newdesk"), qPrintable(error.message()));
        }
        QVERIFY(!QFile::exists(file("LIMITS.DBF")));
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
    // The cases about a folder's own files and its desktop user.
    return runBooksTests<QCoreApplication, TestBooks>(
        argc, argv,
        {"everyHistoryRecordNamesTheDesktopUser", "theDesktopUserIsTheFirstNameTheEnvironmentGives",
         "aNameTheHistoryCannotHoldIsWrittenAsItCan",
         "aHistoryWrittenBeforeTheCashierOpensIsReadAndTakesRecords",
         "aFolderWithoutTheLimitsTableTakesBetsWithoutLimits"});
}

#include "test_books.moc"
