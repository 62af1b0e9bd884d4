#include "controls/DBEdit.h"
#include "shell/StartUp.h"
#include "shell/Zastavka.h"
#include "store/DataModule6.h"
#include "store/engine/Convert.h"
#include "tests/support/Office.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"
#include "toolkit/Application.h"
#include "workflows/PriemCompit.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace varnel;
using namespace varnel::test;

namespace {

// What the operator types into the dialog, box by box.
struct Typed {
    QString number = QStringLiteral("7");
    QString date;
    QString kom1 = QStringLiteral("Спартак");
    QString koef1;
    QString kom2 = QStringLiteral("Зенит");
    QString koef2;
    QString koefN;
};

// A day relative to today in the locale's short date format.
QString day(int offset) {
    return QLocale().toString(Date().addDays(offset), QLocale::ShortFormat);
}

// A coefficient written with the locale's decimal separator.
QString koef(double value) {
    return QLocale().toString(value, 'g', 15);
}

// An event that passes every test of the dialog.
Typed valid() {
    Typed t;
    t.date = day(1);
    t.koef1 = koef(1.5);
    t.koef2 = koef(2.5);
    t.koefN = koef(3);
    return t;
}

TDBEdit* box(const char* name) {
    return control<TDBEdit>(PriemCompit, name);
}

QLabel* label8() {
    return control<QLabel>(PriemCompit, "Label8");
}

void fill(const Typed& t) {
    retype(PriemCompit, "DBEdit1", t.number);
    retype(PriemCompit, "EditDATE", t.date);
    retype(PriemCompit, "EditKOM1", t.kom1);
    retype(PriemCompit, "EditKOEF_1", t.koef1);
    retype(PriemCompit, "EditKOM2", t.kom2);
    retype(PriemCompit, "EditKOEF_2", t.koef2);
    retype(PriemCompit, "EditKOEF_N", t.koefN);
}

bool pending() {
    return DataModule6->TableCompit->state() != TDataSet::State::Browse;
}

} // namespace

class TestPriemCompit : public QObject {
    Q_OBJECT

    std::unique_ptr<Office> m_office;

    QJsonArray events() const { return readWithDbfread(m_office->table("COMPIT.DBF")); }
    QByteArray compitBytes() const { return m_office->tableBytes("COMPIT.DBF"); }
    QStringList& errors() { return m_office->errors.messages; }

    void storeOne(const Typed& t) {
        runModal(PriemCompit, [&] {
            fill(t);
            press(PriemCompit, "Button3");
            QVERIFY(!PriemCompit->isVisible());
        });
    }

private slots:
    void init() {
        m_office = std::make_unique<Office>();
        QVERIFY(m_office->started);
        QVERIFY(errors().isEmpty());
    }

    void cleanup() { m_office.reset(); }

    void ctrlNOpensTheDialogReadyForTheNumber() {
        Zastavka->Show();
        QApplication::setActiveWindow(Zastavka); // shortcuts work in the active window only
        QVERIFY(QTest::qWaitForWindowActive(Zastavka));
        bool opened = false;
        QStringList tabChain;
        runModal(
            PriemCompit,
            [&] {
                opened = true;
                QVERIFY(!label8()->isVisible());
                QCOMPARE(PriemCompit->focusWidget(), box("DBEdit1"));
                QWidget* at = PriemCompit->focusWidget();
                for (int i = 0; i < 9 && at; ++i) {
                    tabChain << at->objectName();
                    QTest::keyClick(at, Qt::Key_Tab);
                    at = PriemCompit->focusWidget();
                }
                press(PriemCompit, "Button1");
            },
            [] { QTest::keyClick(Zastavka, Qt::Key_N, Qt::ControlModifier); });
        QVERIFY(opened);
        QVERIFY(!PriemCompit->isVisible());
        QCOMPARE(tabChain, QStringList({"DBEdit1", "EditDATE", "EditKOM1", "EditKOEF_1", "EditKOM2",
                                        "EditKOEF_2", "EditKOEF_N", "Button3", "Button1"}));
        QVERIFY(events().isEmpty());
        Zastavka->Close();
    }

    void oneOkStoresExactlyOneEventWithOpeningSums() {
        Typed t = valid();
        t.kom1 = QStringLiteral("Ёлки-Палки №1");
        t.kom2 = QStringLiteral("«Щит и Меч» Юг");
        storeOne(t);
        QVERIFY(errors().isEmpty());
        QVERIFY(!pending());

        const QJsonArray rows = events();
        QCOMPARE(rows.size(), 1);
        const QJsonObject e = rows[0].toObject();
        QCOMPARE(e["NUMBER"].toInt(), 7);
        QCOMPARE(e["DATE"].toString(), Date().addDays(1).toString(Qt::ISODate));
        QCOMPARE(e["KOM1"].toString(), QStringLiteral("Ёлки-Палки №1"));
        QCOMPARE(e["KOM2"].toString(), QStringLiteral("«Щит и Меч» Юг"));
        QCOMPARE(e["KOEF_1"].toDouble(), 1.5);
        QCOMPARE(e["KOEF_2"].toDouble(), 2.5);
        QCOMPARE(e["KOEF_N"].toDouble(), 3.0);
        QCOMPARE(e["SUMM_1"].toDouble(), 500.0);
        QCOMPARE(e["SUMM_2"].toDouble(), 500.0);
        QCOMPARE(e["SUMM_N"].toDouble(), 500.0);

        // The next opening starts blank, and a side name longer than the field is cut at 25
        // characters as it is typed rather than refused at Ok.
        t = valid();
        t.kom2 = QStringLiteral("Локомотив-Кубань Краснодар");
        runModal(PriemCompit, [&] {
            QVERIFY(box("EditKOM1")->text().isEmpty());
            QVERIFY(box("EditDATE")->text().isEmpty());
            fill(t);
            QCOMPARE(box("EditKOM2")->text(), t.kom2.left(25));
            press(PriemCompit, "Button3");
        });
        QCOMPARE(events().size(), 2);
        QCOMPARE(events()[1].toObject()["KOM2"].toString(), t.kom2.left(25));
        QVERIFY(!pending());
    }

    void todayAndEarlierAreRefusedInRed() {
        const QByteArray before = compitBytes();
        runModal(PriemCompit, [&] {
            fill(valid());
            for (const QString& date :
                 {day(0), day(-1), day(-400), Date().addDays(-1).toString("dd.MM.yy")}) {
                retype(PriemCompit, "EditDATE", date);
                box("EditKOM1")->setFocus();
                label8()->hide();
                press(PriemCompit, "Button3");
                QVERIFY2(PriemCompit->isVisible(), qPrintable(date));
                QVERIFY2(label8()->isVisible(), qPrintable(date));
                QCOMPARE(PriemCompit->focusWidget(), box("EditDATE"));
                QVERIFY(pending());
            }
            QCOMPARE(label8()->text(), QStringLiteral("Такая дата уже в прошлом !!!"));
            QCOMPARE(label8()->palette().color(QPalette::WindowText), QColor(Qt::red));
        });
        QVERIFY(errors().isEmpty());
        QCOMPARE(compitBytes(), before);
        QVERIFY(!pending());
    }

    void warningStaysAfterCorrectionUntilTheNextShowing() {
        const QByteArray before = compitBytes();
        runModal(PriemCompit, [&] {
            Typed t = valid();
            t.date = day(0);
            t.kom2.clear();
            fill(t);
            press(PriemCompit, "Button3");
            QVERIFY(label8()->isVisible());
            retype(PriemCompit, "EditDATE", day(1));
            press(PriemCompit, "Button3");
            QVERIFY(PriemCompit->isVisible());
            QVERIFY(label8()->isVisible());
        });
        QCOMPARE(compitBytes(), before);
        runModal(PriemCompit, [&] { QVERIFY(!label8()->isVisible()); });
        storeOne(valid());
        QCOMPARE(events().size(), 1);
        QVERIFY(errors().isEmpty());
    }

    void anEmptyRequiredBoxStoresNothingSilently_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        for (const char* name :
             {"EditKOM1", "EditKOM2", "EditKOEF_1", "EditKOEF_2", "EditKOEF_N"}) {
            QTest::newRow(name) << QString(name) << QString();
            QTest::newRow(qPrintable(QString(name) + " blank")) << QString(name) << QString("   ");
        }
    }

    void anEmptyRequiredBoxStoresNothingSilently() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        const QByteArray before = compitBytes();
        runModal(PriemCompit, [&] {
            fill(valid());
            retype(PriemCompit, qPrintable(name), text);
            press(PriemCompit, "Button3");
            QVERIFY(PriemCompit->isVisible());
            // The focus stays on the button the click put it on.
            QCOMPARE(PriemCompit->focusWidget(), PriemCompit->findChild<QPushButton*>("Button3"));
            QVERIFY(!label8()->isVisible());
            QVERIFY(pending());
        });
        QVERIFY(errors().isEmpty());
        QCOMPARE(compitBytes(), before);
    }

    void aDateThatIsNotADateIsAConversionError() {
        const QByteArray before = compitBytes();
        runModal(PriemCompit, [&] {
            Typed t = valid();
            for (const QString& date : {QString(), QString("32.01.2027"), QString("завтра")}) {
                t.date = date;
                t.kom1.clear(); // the date is read before the other boxes are tested
                fill(t);
                errors().clear();
                press(PriemCompit, "Button3");
                QCOMPARE(errors().size(), 1);
                QVERIFY2(errors()[0].contains("дата"), qPrintable(errors()[0]));
                QVERIFY(PriemCompit->isVisible());
                QVERIFY(!label8()->isVisible());
                QCOMPARE(PriemCompit->focusWidget(),
                         PriemCompit->findChild<QPushButton*>("Button3"));
                QVERIFY(pending());
            }
        });
        QCOMPARE(compitBytes(), before);
    }

    void emptyAndRepeatedNumbersAreAccepted() {
        for (const QString& number : {QString("7"), QString(), QString("7")}) {
            Typed t = valid();
            t.number = number;
            storeOne(t);
        }
        QVERIFY(errors().isEmpty());
        const QJsonArray rows = events();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].toObject()["NUMBER"].toInt(), 7);
        QVERIFY(rows[1].toObject()["NUMBER"].isNull());
        QCOMPARE(rows[2].toObject()["NUMBER"].toInt(), 7);
    }

    void cancelAndTheCloseBoxStoreNothingAndRemoveNothing() {
        storeOne(valid());
        const QByteArray stored = compitBytes();
        QCOMPARE(events().size(), 1);

        runModal(PriemCompit, [&] {
            fill(valid());
            press(PriemCompit, "Button1");
            QVERIFY(!PriemCompit->isVisible());
        });
        QCOMPARE(compitBytes(), stored);
        QVERIFY(!pending());

        runModal(PriemCompit, [&] {
            fill(valid());
            PriemCompit->close(); // the title bar's close box
            QVERIFY(!PriemCompit->isVisible());
        });
        QCOMPARE(compitBytes(), stored);
        QVERIFY(!pending());

        // Closing with no new event pending leaves the stored event the cursor is on.
        runModal(PriemCompit, [&] {
            DataModule6->TableCompit->Cancel();
            press(PriemCompit, "Button1");
        });
        QCOMPARE(compitBytes(), stored);
        QVERIFY(errors().isEmpty());
    }

    void aTwoDigitYearIsInTheHundredYearsAroundToday() {
        Typed t = valid();
        const QDate tomorrow = Date().addDays(1);
        t.date = tomorrow.toString("dd.MM.yy");
        storeOne(t);
        QVERIFY(errors().isEmpty());
        QCOMPARE(events().size(), 1);
        QCOMPARE(events()[0].toObject()["DATE"].toString(), tomorrow.toString(Qt::ISODate));
    }

    void textAFieldCannotTakeIsRefusedNamingTheBox_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("corrected");
        QTest::newRow("coefficient not a number") << "EditKOEF_1"
                                                  << "полтора"
                                                  << "К-т на Команду 1" << koef(1.5);
        QTest::newRow("two separators") << "EditKOEF_N"
                                        << "1,5,3"
                                        << "К-т на Ничью" << koef(3);
        QTest::newRow("negative coefficient") << "EditKOEF_2"
                                              << "-2"
                                              << "К-т на Команду 2" << koef(2.5);
        QTest::newRow("number too large") << "DBEdit1"
                                          << "40000"
                                          << "№"
                                          << "7";
        QTest::newRow("number not whole") << "DBEdit1"
                                          << "7,5"
                                          << "№"
                                          << "7";
        QTest::newRow("letter outside the code page") << "EditKOM1"
                                                      << "Bayern München"
                                                      << "Команда 1"
                                                      << "Бавария";
        QTest::newRow("symbol outside the code page") << "EditKOM2"
                                                      << "Зенит ★"
                                                      << "Команда 2"
                                                      << "Зенит";
        // A bet names its outcome by the side's name: two sides alike, or a side called as the
        // draw is, would be settled as one another (compared without case and outer blanks).
        QTest::newRow("both sides alike") << "EditKOM2"
                                          << "  спартак "
                                          << "одно и то же название"
                                          << "Зенит";
        QTest::newRow("a side called the draw") << "EditKOM1"
                                                << "НИЧЬЯ"
                                                << "исход «ничья»"
                                                << "Бавария";
    }

    void textAFieldCannotTakeIsRefusedNamingTheBox() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, named);
        QFETCH(QString, corrected);
        const QByteArray before = compitBytes();
        runModal(PriemCompit, [&] {
            fill(valid());
            retype(PriemCompit, qPrintable(name), text);
            press(PriemCompit, "Button3");
            QCOMPARE(errors().size(), 1);
            QVERIFY2(errors()[0].contains(named), qPrintable(errors()[0]));
            QVERIFY2(errors()[0].contains(QRegularExpression("[а-яА-Я]{4}")),
                     qPrintable(errors()[0]));
            QVERIFY(PriemCompit->isVisible());
            QVERIFY(pending());
            QCOMPARE(compitBytes(), before);

            // The event is still there to be corrected, and then it is stored once.
            retype(PriemCompit, qPrintable(name), corrected);
            press(PriemCompit, "Button3");
            QVERIFY(!PriemCompit->isVisible());
        });
        QCOMPARE(errors().size(), 1);
        const QJsonArray rows = events();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].toObject()["NUMBER"].toInt(), 7);
        QCOMPARE(rows[0].toObject()["KOEF_2"].toDouble(), 2.5);
        QCOMPARE(rows[0].toObject()["SUMM_N"].toDouble(), 500.0);
        QVERIFY(!pending());
    }

    void anotherShortDateFormatIsFollowed() {
        const OtherLocale english(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(QLocale().dateFormat(QLocale::ShortFormat) !=
                QLocale(QLocale::Russian, QLocale::Russia).dateFormat(QLocale::ShortFormat));
        const QDate tomorrow = Date().addDays(1);
        const QByteArray before = compitBytes();
        runModal(PriemCompit, [&] {
            Typed t = valid();
            t.date = day(0);
            fill(t);
            press(PriemCompit, "Button3");
            QVERIFY(label8()->isVisible());
            // Day first, as the Russian format writes it, does not read in this one.
            retype(PriemCompit, "EditDATE", QDate(Date().year() + 1, 1, 13).toString("dd.MM.yyyy"));
            press(PriemCompit, "Button3");
            QCOMPARE(errors().size(), 1);
            QCOMPARE(compitBytes(), before);
            retype(PriemCompit, "EditDATE", day(1));
            press(PriemCompit, "Button3");
            QVERIFY(!PriemCompit->isVisible());
        });
        QCOMPARE(errors().size(), 1);
        const QJsonArray rows = events();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].toObject()["DATE"].toString(), tomorrow.toString(Qt::ISODate));
        QCOMPARE(rows[0].toObject()["KOEF_1"].toDouble(), 1.5);
    }
};

int main(int argc, char** argv) {
    return runWindowTests<TestPriemCompit>(argc, argv, {});
}

#include "test_priemcompit.moc"
