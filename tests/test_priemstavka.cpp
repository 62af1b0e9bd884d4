#include "controls/DBEdit.h"
#include "shell/StartUp.h"
#include "shell/Zastavka.h"
#include "slip/SlipPage.h"
#include "store/DataModule6.h"
#include "store/Slip.h"
#include "store/engine/Convert.h"
#include "store/engine/Journal.h"
#include "store/engine/Transaction.h"
#include "tests/support/Office.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"
#include "toolkit/Application.h"
#include "workflows/PayBySlip.h"
#include "workflows/PriemStavka.h"

#include <QCheckBox>
#include <QDir>
#include <QJsonObject>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <array>
#include <cmath>
#include <functional>

using namespace varnel;
using namespace varnel::test;

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);
const QString kClosed = "Прием ставок на это событие закончен !!!";
const QString kNotFound = "Данного события не обнаружено !!!";
const QString kBadStake = "Неверная сумма ставки !!!";

// The program started in a fresh working folder, and what it wrote.
struct Desk : Office {
    QJsonArray bets() { return readWithDbfread(table("PRIEM.DBF")); }
    QJsonArray events() { return readWithDbfread(table("COMPIT.DBF")); }
    QByteArray tables() { return tableBytes("COMPIT.DBF") + tableBytes("PRIEM.DBF"); }
};

// The coefficients of the events these tests bet on.
const std::array<Variant, 3> kKoef = {1.5, 2.2, 3.0};

QDate tomorrow() {
    return Date().addDays(1);
}

TDBEdit* box(const char* name) {
    return control<TDBEdit>(PriemStavka, name);
}
QLabel* label(const char* name) {
    return control<QLabel>(PriemStavka, name);
}
const char* radioName(int n) {
    return n == 1 ? "RadioButton1" : n == 2 ? "RadioButton2" : "RadioButton3";
}
QRadioButton* radio(int n) {
    return control<QRadioButton>(PriemStavka, radioName(n));
}

void fill(const QString& fio, const QString& stake, const QString& number) {
    retype(PriemStavka, "EditFIO", fio);
    retype(PriemStavka, "EditSUMMA", stake);
    retype(PriemStavka, "EditNUMBER", number);
}
bool red(QLabel* l) {
    return l->palette().color(QPalette::WindowText) == kRed;
}
bool black(QLabel* l) {
    return l->palette().color(QPalette::WindowText) == kBlack;
}
bool focused(const char* name) {
    return PriemStavka->focusWidget() == control(PriemStavka, name);
}
bool outcomesShown() {
    return radio(1)->isVisible() && radio(2)->isVisible() && radio(3)->isVisible();
}
bool outcomesHidden() {
    return radio(1)->isHidden() && radio(2)->isHidden() && radio(3)->isHidden();
}

} // namespace

class TestPriemStavka : public QObject {
    Q_OBJECT
private slots:
    void openedByCtrlSAsLaidOut() {
        Desk office;
        QVERIFY(office.started);
        Zastavka->Show();
        QVERIFY(QTest::qWaitForWindowActive(Zastavka));
        bool opened = false;
        runModal(
            PriemStavka, [&] { opened = true; },
            [] { QTest::keyClick(Zastavka, Qt::Key_S, Qt::ControlModifier); });
        QVERIFY(opened);

        runModal(PriemStavka, [&] {
            QCOMPARE(PriemStavka->windowTitle(), QString("Прием ставок"));
            QCOMPARE(PriemStavka->size(), QSize(376, 225));
            QCOMPARE(PriemStavka->minimumSize(), PriemStavka->maximumSize());
            const struct {
                const char* name;
                QRect geometry;
                QString text, hint;
            } designed[] = {
                {"EditFIO", {100, 10, 260, 21}, "", "Введите Ф.И.О. клиента"},
                {"EditSUMMA", {100, 40, 260, 21}, "", "Введите сумму ставки"},
                {"EditNUMBER",
                 {100, 70, 260, 21},
                 "",
                 "Введите номер события, на которое делается ставка"},
                {"RadioButton1", {100, 100, 250, 17}, "Команда 1", "Ставка на победу команды"},
                {"RadioButton2", {100, 120, 250, 17}, "Команда 2", "Ставка на победу команды"},
                {"RadioButton3", {100, 140, 250, 17}, "Ничья", "Ставка на ничью"},
                {"CheckBox1",
                 {10, 160, 303, 17},
                 "Автоматическое изменение коэффициентов ставок",
                 ""},
                {"Button3", {29, 190, 150, 25}, "Ok", "Подтверждение ставки"},
                {"Button1", {197, 190, 150, 25}, "Отмена", "Отмена ставки"},
            };
            for (const auto& c : designed) {
                QWidget* w = control(PriemStavka, c.name);
                if (auto* check = qobject_cast<QCheckBox*>(w)) {
                    // At least as designed, and wide enough for its caption in any font.
                    QCOMPARE(w->pos(), c.geometry.topLeft());
                    QVERIFY(w->width() >= std::max(c.geometry.width(), check->sizeHint().width()));
                } else {
                    QCOMPARE(w->geometry(), c.geometry);
                }
                QCOMPARE(w->toolTip(), c.hint);
                if (auto* b = qobject_cast<QAbstractButton*>(w))
                    QCOMPARE(b->text(), c.text);
                if (auto* p = qobject_cast<QPushButton*>(w)) {
                    QVERIFY(!p->autoDefault() && p->font().bold());
                    QCOMPARE(p->cursor().shape(), Qt::PointingHandCursor);
                }
            }
            const struct {
                const char* name;
                QPoint at;
                QString text;
            } labels[] = {{"Label5", {10, 10}, "Ф.И.О. клиента"},
                          {"Label3", {10, 40}, "Сумма ставки"},
                          {"label1", {10, 70}, "Номер события"},
                          {"Label6", {95, 130}, ""}};
            for (const auto& l : labels) {
                QCOMPARE(label(l.name)->pos(), l.at);
                QCOMPARE(label(l.name)->text(), l.text);
                QVERIFY(label(l.name)->isVisible() || l.text.isEmpty());
            }
            QCOMPARE(box("EditFIO")->maxLength(), 50);

            // The entry state.
            QVERIFY(label("Label2")->isHidden() && label("Label4")->isHidden() && outcomesHidden());
            QVERIFY(box("EditFIO")->isVisible() && box("EditSUMMA")->isVisible() &&
                    box("EditNUMBER")->isVisible());
            QVERIFY(control<QCheckBox>(PriemStavka, "CheckBox1")->isChecked());
            QVERIFY(focused("EditFIO"));

            QStringList order;
            QWidget* w = box("EditFIO");
            do {
                if (w->focusPolicy() & Qt::TabFocus)
                    order << w->objectName();
                w = w->nextInFocusChain();
            } while (w != box("EditFIO"));
            QCOMPARE(order,
                     QStringList({"EditFIO", "EditSUMMA", "EditNUMBER", "CheckBox1", "Button3",
                                  "Button1", "RadioButton1", "RadioButton2", "RadioButton3"}));
        });
        QVERIFY(office.errors.messages.isEmpty());
    }

    // The second Ok hands the client a slip (with no printer named, its PDF in slips/), and the
    // payment by slip takes what a scanner types, shows the bet and pays exactly it, once.
    void aBetsSlipIsWrittenAndPaysThroughItsDialog() {
        Desk office;
        QVERIFY(office.started);
        Zastavka->Show();
        QVERIFY(QTest::qWaitForWindowActive(Zastavka));
        QVERIFY(enterEvent("4", "Зенит", "Спартак", tomorrow()));
        QVERIFY(takeBet("Иванов Иван", 100, 4, 1));
        const Slip slip = *DataModule6->LastSlip();
        QVERIFY(QFile::exists(SlipPdfPath(QDir::currentPath(), slip.taken.date(), slip.serial)));
        // The counter says where the slip went, under its pictures, until the next action.
        auto* line = control<QLabel>(Zastavka, "LabelOperator");
        const auto said = [&](const QString& what, bool copy) {
            return QStringLiteral("%1 № %2: %3")
                .arg(what)
                .arg(slip.serial)
                .arg(QDir::toNativeSeparators(QDir::current().relativeFilePath(
                    SlipPdfPath(QDir::currentPath(), slip.taken.date(), slip.serial, copy))));
        };
        QVERIFY(line->isVisible());
        QCOMPARE(line->text(), said("Квитанция", false));
        Zastavka->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Zastavka));
        QTest::keyClick(Zastavka, Qt::Key_P, Qt::ControlModifier); // the slip again
        QCOMPARE(line->text(), said("Копия квитанции", true));
        QVERIFY(settle(4, 1));
        Zastavka->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Zastavka));
        const auto scan = [&] {
            QTest::keyClicks(PayBySlip->Field(), SlipBarcodeText(slip.serial, slip.code));
            QTest::keyClick(PayBySlip->Field(), Qt::Key_Return);
        };
        runModal(
            PayBySlip,
            [&] {
                scan();
                QVERIFY2(PayBySlip->Found()->text().contains("Клиент: Иванов Иван") &&
                             PayBySlip->Found()->text().contains("К выплате: 300,00"),
                         qPrintable(PayBySlip->Found()->text()));
                QVERIFY(PayBySlip->PayButton()->isEnabled());
                QTest::mouseClick(PayBySlip->PayButton(), Qt::LeftButton);
                QVERIFY(PayBySlip->Found()->text().startsWith("Выплачено."));
                scan();
                QVERIFY(PayBySlip->Found()->text().contains("уже выплачен"));
                QVERIFY(!PayBySlip->PayButton()->isEnabled());
                PayBySlip->Close();
            },
            [] { QTest::keyClick(Zastavka, Qt::Key_B, Qt::ControlModifier); });
        QVERIFY(readWithDbfread(office.table("MONEY.DBF")).isEmpty());
        QVERIFY(!line->text().contains("Квитанция") && !line->text().contains("Копия"));
        QCOMPARE(line->isVisible(), !office.conninfo.isEmpty()); // the login on shared books
    }

    void aRequiredBoxLeftEmptyChangesNothing() {
        Desk office;
        append(*DataModule6->TableCompit, {eventRecord(7, "Зенит", "Спартак", tomorrow(), kKoef)});
        const QByteArray before = office.tables();
        runModal(PriemStavka, [&] {
            const QString filled[] = {"Петров", "100", "7"};
            const char* boxes[] = {"EditFIO", "EditSUMMA", "EditNUMBER"};
            for (int empty = 0; empty < 3; ++empty) {
                for (int i = 0; i < 3; ++i)
                    retype(PriemStavka, boxes[i], i == empty ? QString() : filled[i]);
                press(PriemStavka, "Button3");
                QVERIFY(label("Label2")->isHidden() && outcomesHidden());
                QVERIFY(box("EditNUMBER")->isVisible());
                QCOMPARE(label("label1")->text(), QString("Номер события"));
            }
            // In the confirmation the name and the stake are still required.
            fill("Петров", "100", "7");
            press(PriemStavka, "Button3");
            press(PriemStavka, radioName(1));
            for (const char* name : {"EditFIO", "EditSUMMA"}) {
                const QString kept = box(name)->text();
                retype(PriemStavka, name, "");
                press(PriemStavka, "Button3");
                QVERIFY(PriemStavka->isVisible());
                QCOMPARE(office.tables(), before);
                retype(PriemStavka, name, kept);
            }
            press(PriemStavka, "Button3");
            QVERIFY(!PriemStavka->isVisible());
        });
        const QJsonArray bets = office.bets();
        QCOMPARE(bets.size(), 1);
        QCOMPARE(bets[0].toObject()["FIO"].toString(), QString("Петров"));
        QCOMPARE(office.events()[0].toObject()["SUMM_1"].toDouble(), 600.0);
        QVERIFY(office.errors.messages.isEmpty());
    }

    void tomorrowIsOfferedTodayAndEarlierRefused() {
        Desk office;
        append(*DataModule6->TableCompit, {eventRecord(1, "Зенит", "Спартак", tomorrow(), kKoef)});
        append(*DataModule6->TableCompit, {eventRecord(2, "Динамо", "Торпедо", Date(), kKoef)});
        append(*DataModule6->TableCompit,
               {eventRecord(3, "ЦСКА", "Локомотив", Date().addDays(-1), kKoef)});
        const QByteArray before = office.tables();
        runModal(PriemStavka, [&] {
            fill("Сидоров", "100", "2");
            for (const QString number : {"2", "3"}) {
                retype(PriemStavka, "EditNUMBER", number);
                press(PriemStavka, "Button3");
                QLabel* l2 = label("Label2");
                QVERIFY(l2->isVisible() && red(l2));
                QCOMPARE(l2->text(), kClosed);
                QCOMPARE(l2->x(), 10);
                QVERIFY(focused("EditNUMBER"));
                QVERIFY(outcomesHidden() && box("EditNUMBER")->isVisible());
            }
            retype(PriemStavka, "EditNUMBER", "1");
            press(PriemStavka, "Button3");
            QLabel* l2 = label("Label2");
            QVERIFY(black(l2));
            QCOMPARE(l2->text(), QString("Результат"));
            QVERIFY(outcomesShown() && box("EditNUMBER")->isHidden());
            QCOMPARE(radio(1)->text(), QString("Зенит"));
            QCOMPARE(radio(2)->text(), QString("Спартак"));
            QCOMPARE(radio(3)->text(), QString("Ничья"));
            QVERIFY(!radio(1)->isChecked() && !radio(2)->isChecked() && !radio(3)->isChecked());
            QCOMPARE(label("label1")->text(), QString("Номер события = 1"));
            QCOMPARE(label("label1")->x(), 10);
            press(PriemStavka, "Button1");
        });
        QCOMPARE(office.tables(), before);
        QVERIFY(office.errors.messages.isEmpty());
    }

    void anUnknownNumberIsRefusedUntilCorrected() {
        Desk office;
        runModal(PriemStavka, [&] { // an empty events table
            fill("Сидоров", "100", "1");
            press(PriemStavka, "Button3");
            QCOMPARE(label("Label2")->text(), kNotFound);
        });
        append(*DataModule6->TableCompit,
               {eventRecord(Variant(), "Без", "Номера", tomorrow(), kKoef)});
        append(*DataModule6->TableCompit, {eventRecord(4, "Зенит", "Спартак", tomorrow(), kKoef)});
        append(*DataModule6->TableCompit,
               {eventRecord(Variant(), "Тоже", "Без номера", tomorrow(), kKoef)});
        append(*DataModule6->TableCompit, {eventRecord(5, "Динамо", "Торпедо", tomorrow(), kKoef)});
        runModal(PriemStavka, [&] {
            fill("Сидоров", "100", "99");
            press(PriemStavka, "Button3");
            QLabel* l2 = label("Label2");
            QVERIFY(l2->isVisible() && red(l2));
            QCOMPARE(l2->text(), kNotFound);
            QCOMPARE(l2->x(), 10);
            QVERIFY(focused("EditNUMBER"));
            retype(PriemStavka, "EditNUMBER", "5"); // the last record is examined too
            press(PriemStavka, "Button3");
            QVERIFY(black(l2));
            QCOMPARE(l2->text(), QString("Результат"));
            QCOMPARE(radio(1)->text(), QString("Динамо"));
        });
        QVERIFY(office.errors.messages.isEmpty());
        runModal(PriemStavka, [&] {
            fill("Сидоров", "100", "пять");
            press(PriemStavka, "Button3");
            QVERIFY(outcomesHidden());
        });
        QCOMPARE(office.errors.messages.size(), 1); // not a number: a conversion error
    }

    void theFirstEventWithTheNumberDecides() {
        Desk office;
        append(*DataModule6->TableCompit, {eventRecord(5, "Закрытое", "Первое", Date(), kKoef)});
        append(*DataModule6->TableCompit,
               {eventRecord(5, "Открытое", "Второе", tomorrow(), kKoef)});
        append(*DataModule6->TableCompit,
               {eventRecord(6, "Первое", "Открытое", tomorrow(), kKoef)});
        append(*DataModule6->TableCompit,
               {eventRecord(6, "Второе", "Закрытое", Date().addDays(-3), kKoef)});
        runModal(PriemStavka, [&] {
            fill("Сидоров", "100", "5");
            press(PriemStavka, "Button3");
            QCOMPARE(label("Label2")->text(), kClosed);
        });
        QVERIFY(takeBet("Сидоров", "100", "6", 1));
        const QJsonArray events = office.events();
        QCOMPARE(events[2].toObject()["SUMM_1"].toDouble(), 600.0);
        QCOMPARE(events[3].toObject()["SUMM_1"].toDouble(), 500.0);
        QCOMPARE(office.bets()[0].toObject()["RESULT"].toString(), QString("Первое"));
    }

    void aStakeIsRecordedWithTheCoefficientShown() {
        Desk office;
        append(*DataModule6->TableCompit, {eventRecord(12, "Зенит", "Спартак", tomorrow(), kKoef)});
        runModal(PriemStavka, [&] {
            fill("Иванов Иван Иванович", "100", "12");
            press(PriemStavka, "Button3");
            press(PriemStavka, radioName(2));
            TDataSet& events = *DataModule6->TableCompit;
            QCOMPARE(events.state(), TDataSet::State::Edit);
            QCOMPARE(events.GetFieldValue("SUMM_2").toReal(), 600.0);
            QCOMPARE(label("Label2")->text(), QString("Ставка на Спартак"));
            QCOMPARE(label("Label4")->text(), QString("Коэффициент = "));
            QCOMPARE(label("Label6")->text(), QString("2,2"));
            QCOMPARE(label("Label4")->x(), 10);
            // At 95 where the caption before it leaves room, never over that caption.
            QLabel* l4 = label("Label4");
            QVERIFY(label("Label6")->x() >= 95);
            QVERIFY(label("Label6")->x() >=
                    l4->x() + l4->fontMetrics().horizontalAdvance(l4->text()));
            QVERIFY(label("Label4")->isVisible() && outcomesHidden());
            QCOMPARE(office.events()[0].toObject()["SUMM_2"].toDouble(), 500.0); // not yet
            press(PriemStavka, "Button3");
            QVERIFY(!PriemStavka->isVisible());
        });
        QVERIFY(takeBet("Петров", "50,5", "12", 3));
        QCOMPARE(DataModule6->TableStavka->state(), TDataSet::State::Browse);

        const QJsonArray bets = office.bets();
        QCOMPARE(bets.size(), 2);
        const QJsonObject side2 = bets[0].toObject(), draw = bets[1].toObject();
        QCOMPARE(side2["NUMBER"].toInt(), 12);
        QCOMPARE(side2["RESULT"].toString(), QString("Спартак"));
        QCOMPARE(side2["SUMMA"].toDouble(), 100.0);
        QCOMPARE(side2["KOEFICIENT"].toDouble(), 2.2);
        QCOMPARE(side2["FIO"].toString(), QString("Иванов Иван Иванович"));
        QCOMPARE(draw["RESULT"].toString(), QString("Ничья"));
        QCOMPARE(draw["SUMMA"].toDouble(), 50.5);
        QCOMPARE(draw["KOEFICIENT"].toDouble(), 3.0);
        const QJsonObject event = office.events()[0].toObject();
        QCOMPARE(event["SUMM_1"].toDouble(), 500.0);
        QCOMPARE(event["SUMM_2"].toDouble(), 600.0);
        QCOMPARE(event["SUMM_N"].toDouble(), 550.5);
        QCOMPARE(event["KOEF_2"].toDouble(), 2.2);
        QVERIFY(office.errors.messages.isEmpty());
    }

    void aClearedCheckBoxLeavesTheCoefficientsAndStaysCleared() {
        Desk office;
        append(*DataModule6->TableCompit, {eventRecord(3, "Зенит", "Спартак", tomorrow(), kKoef)});
        runModal(PriemStavka, [&] {
            QTest::mouseClick(control(PriemStavka, "CheckBox1"), Qt::LeftButton);
            QVERIFY(!control<QCheckBox>(PriemStavka, "CheckBox1")->isChecked());
            fill("Сидоров", "1000", "3");
            press(PriemStavka, "Button3");
            press(PriemStavka, radioName(1));
            press(PriemStavka, "Button3");
        });
        QJsonObject event = office.events()[0].toObject();
        QCOMPARE(event["SUMM_1"].toDouble(), 1500.0);
        QCOMPARE(event["KOEF_1"].toDouble(), 1.5);
        runModal(PriemStavka, [&] {
            QVERIFY(!control<QCheckBox>(PriemStavka, "CheckBox1")->isChecked());
            control<QCheckBox>(PriemStavka, "CheckBox1")->setChecked(true);
        });
        QVERIFY(takeBet("Сидоров", "10", "3", 1));
        event = office.events()[0].toObject();
        QVERIFY(sameTo9Digits(event["KOEF_1"].toDouble(), 0.9 * 1000 / 1510));
        QCOMPARE(office.bets()[1].toObject()["KOEFICIENT"].toDouble(), 1.5);
    }

    void eachBetKeepsTheCoefficientFromBeforeTheRuleMovesIt() {
        Desk office;
        append(*DataModule6->TableCompit, {eventRecord(9, "Зенит", "Спартак", tomorrow(), kKoef)});
        const struct {
            const char* stake;
            int outcome;
            double stored;
        } run[] = {{"100", 1, 1.5},
                   {"500", 1, 1.5},
                   {"50", 2, 2.2},
                   {"1000", 1, 0.7363636363636},
                   {"3000", 3, 3.0}};
        for (const auto& bet : run)
            QVERIFY(takeBet("Клиент", bet.stake, "9", bet.outcome));
        const QJsonArray bets = office.bets();
        QCOMPARE(bets.size(), 5);
        for (int i = 0; i < 5; ++i)
            QVERIFY2(sameTo9Digits(bets[i].toObject()["KOEFICIENT"].toDouble(), run[i].stored),
                     qPrintable(QString::number(i)));
        const QJsonObject event = office.events()[0].toObject();
        QVERIFY(sameTo9Digits(event["KOEF_1"].toDouble(), 0.45));
        QVERIFY(sameTo9Digits(event["KOEF_2"].toDouble(), 2.2));
        QVERIFY(sameTo9Digits(event["KOEF_N"].toDouble(), 0.6814285714286));
        QCOMPARE(event["SUMM_1"].toDouble(), 2100.0);
        QCOMPARE(event["SUMM_2"].toDouble(), 550.0);
        QCOMPARE(event["SUMM_N"].toDouble(), 3500.0);
    }

    void cancelInEveryStateLeavesTheTablesAsTheyWere() {
        Desk office;
        append(*DataModule6->TableCompit, {eventRecord(8, "Зенит", "Спартак", tomorrow(), kKoef)});
        const QByteArray before = office.tables();
        const std::function<void()> states[] = {
            [] { typeText(box("EditFIO"), "Сидоров"); },
            [] {
                fill("Сидоров", "100", "99");
                press(PriemStavka, "Button3");
            },
            [] {
                fill("Сидоров", "100", "8");
                press(PriemStavka, "Button3");
            },
            [] {
                fill("Сидоров", "100", "8");
                press(PriemStavka, "Button3");
                press(PriemStavka, radioName(1));
            },
        };
        for (const auto& reach : states) {
            for (bool closeBox : {false, true}) {
                runModal(PriemStavka, [&] {
                    reach();
                    if (closeBox)
                        PriemStavka->close();
                    else
                        press(PriemStavka, "Button1");
                });
                QCOMPARE(office.tables(), before);
                QCOMPARE(DataModule6->TableStavka->state(), TDataSet::State::Browse);
                QCOMPARE(DataModule6->TableCompit->state(), TDataSet::State::Browse);
            }
        }
        // A later lookup settles nothing left over from the cancelled bets.
        runModal(PriemStavka, [&] {
            fill("Петров", "10", "8");
            press(PriemStavka, "Button3");
            QVERIFY(outcomesShown());
        });
        QCOMPARE(office.tables(), before);
        QVERIFY(takeBet("Петров", "10", "8", 3));
        const QJsonObject event = office.events()[0].toObject();
        QCOMPARE(event["SUMM_1"].toDouble(), 500.0);
        QCOMPARE(event["SUMM_N"].toDouble(), 510.0);
        QCOMPARE(office.bets().size(), 1);
        QVERIFY(office.errors.messages.isEmpty());
    }

    void aStakeOfZeroOrLessIsRefused() {
        Desk office;
        append(*DataModule6->TableCompit, {eventRecord(3, "Зенит", "Спартак", tomorrow(), kKoef)});
        const QByteArray before = office.tables();
        const auto refused = [] {
            QLabel* l2 = label("Label2");
            return l2->isVisible() && red(l2) && l2->text() == kBadStake && l2->x() == 10 &&
                   focused("EditSUMMA") && outcomesHidden();
        };
        runModal(PriemStavka, [&] {
            for (const QString stake : {"0", "-50", "0,00", "-0.01"}) {
                fill("Сидоров", stake, "3");
                press(PriemStavka, "Button3");
                QVERIFY2(refused(), qPrintable(stake));
                QVERIFY(box("EditNUMBER")->isVisible());
            }
            // Changed to nothing after the outcomes were offered: the click is refused.
            retype(PriemStavka, "EditSUMMA", "100");
            press(PriemStavka, "Button3");
            retype(PriemStavka, "EditSUMMA", "-5");
            press(PriemStavka, radioName(1));
            QVERIFY(refused());
            QCOMPARE(DataModule6->TableCompit->state(), TDataSet::State::Browse);
            // Offered again, none of the outcomes ticked.
            retype(PriemStavka, "EditSUMMA", "100");
            press(PriemStavka, "Button3");
            QVERIFY(outcomesShown() && !radio(1)->isChecked());
            // Changed to nothing in the confirmation: the record is refused.
            press(PriemStavka, radioName(1));
            retype(PriemStavka, "EditSUMMA", "0");
            press(PriemStavka, "Button3");
            QVERIFY(PriemStavka->isVisible());
            QCOMPARE(label("Label2")->text(), kBadStake);
            QCOMPARE(office.tables(), before);
        });
        QCOMPARE(office.tables(), before);
        QVERIFY(office.errors.messages.isEmpty());
    }

    void aStakeChangedAfterTheOutcomeClickIsWhatBothTablesHold() {
        Desk office;
        append(*DataModule6->TableCompit, {eventRecord(4, "Зенит", "Спартак", tomorrow(), kKoef)});
        runModal(PriemStavka, [&] {
            fill("Сидоров", "100", "4");
            press(PriemStavka, "Button3");
            press(PriemStavka, radioName(1));
            retype(PriemStavka, "EditSUMMA", "600");
            press(PriemStavka, "Button3");
            QVERIFY(!PriemStavka->isVisible());
        });
        const QJsonObject bet = office.bets()[0].toObject();
        QCOMPARE(bet["SUMMA"].toDouble(), 600.0);
        QCOMPARE(bet["KOEFICIENT"].toDouble(), 1.5);
        const QJsonObject event = office.events()[0].toObject();
        QCOMPARE(event["SUMM_1"].toDouble(), 1100.0);
        // The rule saw the sum with the stake recorded: 0.9 × 1000 ÷ 1100.
        QVERIFY(sameTo9Digits(event["KOEF_1"].toDouble(), 0.8181818181818));
    }

    void aFailedWriteRecordsNeitherAndOkCanBeRepeated() {
        Desk office;
        append(*DataModule6->TableCompit, {eventRecord(4, "Зенит", "Спартак", tomorrow(), kKoef)});
        const QByteArray before = office.tables();
        // Nothing can be written where the journal of the work must go.
        QVERIFY(QDir(office.folder.path()).mkdir(JournalFileName()));
        runModal(PriemStavka, [&] {
            fill("Сидоров", "100", "4");
            press(PriemStavka, "Button3");
            press(PriemStavka, radioName(1));
            press(PriemStavka, "Button3");
            QCOMPARE(office.errors.messages.size(), 1);
            QVERIFY(PriemStavka->isVisible() && label("Label4")->isVisible());
            QCOMPARE(office.tables(), before);
            QCOMPARE(box("EditFIO")->text(), QString("Сидоров"));
            QVERIFY(QDir(office.folder.path()).rmdir(JournalFileName()));
            press(PriemStavka, "Button3");
            QVERIFY(!PriemStavka->isVisible());
        });
        QCOMPARE(office.bets().size(), 1);
        QCOMPARE(office.events()[0].toObject()["SUMM_1"].toDouble(), 600.0);
    }

    void aRuleThatFailsTakesTheBetBackWithIt() {
        Desk office;
        append(*DataModule6->TableCompit,
               {eventRecord(4, "Зенит", "Спартак", tomorrow(), {Variant(), 2.2, 3.0})});
        const QByteArray before = office.tables();
        runModal(PriemStavka, [&] {
            fill("Сидоров", "100", "4");
            press(PriemStavka, "Button3");
            press(PriemStavka, radioName(2));
            press(PriemStavka, "Button3"); // the rule cannot read the blank coefficient of side 1
            QCOMPARE(office.errors.messages.size(), 1);
            QCOMPARE(office.tables(), before);
            control<QCheckBox>(PriemStavka, "CheckBox1")->setChecked(false);
            press(PriemStavka, "Button3");
            QVERIFY(!PriemStavka->isVisible());
        });
        QCOMPARE(office.bets().size(), 1);
        const QJsonObject event = office.events()[0].toObject();
        QCOMPARE(event["SUMM_2"].toDouble(), 600.0);
        QVERIFY(event["KOEF_1"].isNull());
    }
};

int main(int argc, char** argv) {
    // A write the journal's folder refuses is about the table files alone.
    return runWindowTests<TestPriemStavka>(argc, argv,
                                           {"aFailedWriteRecordsNeitherAndOkCanBeRepeated"});
}
#include "test_priemstavka.moc"
