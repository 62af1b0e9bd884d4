#include "shell/StartUp.h"
#include "shell/Zastavka.h"
#include "tests/support/Office.h"
#include "tests/support/Server.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Image.h"
#include "views/AboutBox.h"
#include "views/Kalend.h"
#include "views/TableCompitition.h"
#include "views/TableMoney.h"
#include "views/TableStavka.h"
#include "workflows/PriemCompit.h"
#include "workflows/PriemResult.h"
#include "workflows/PriemStavka.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace varnel;
using namespace varnel::test;

namespace {

const QStringList kSports = {"pkTennis.bmp", "pkByke.bmp", "pkBase.bmp", "pkBasket.bmp",
                             "Skiing.bmp",   "ulma2.bmp",  "pkFoot.bmp"};

TImage* image(const char* name) {
    return control<TImage>(Zastavka, name);
}

} // namespace

class TestMainScreen : public QObject {
    Q_OBJECT
    std::unique_ptr<Office> m_office;

private slots:
    void init() {
        m_office = std::make_unique<Office>();
        QVERIFY(m_office->started);
    }
    void cleanup() {
        TApplication::SetHaltHandler({});
        m_office.reset();
    }

    // The task bar names the program by its title, trailing blank and all; six windows carry
    // icons of their own, each its own, the event dialog and the calendar none.
    void theTaskBarShowsTheTitleAndTheWindowsTheirIcons() {
        QCOMPARE(Zastavka->windowIconText(), QString("Varnel "));
        QCOMPARE(PriemStavka->windowIconText(), QString("Varnel "));
        QList<QImage> drawn;
        for (TForm* form : QList<TForm*>{Zastavka, PriemStavka, PriemResult, TableCompitition,
                                         TableStavka, TableMoney, AboutBox}) {
            const QIcon icon = form->windowIcon();
            QVERIFY2(!icon.isNull(), qPrintable(form->objectName()));
            for (int size : {16, 32, 48})
                QCOMPARE(icon.pixmap(size).size(), QSize(size, size));
            const QImage picture = icon.pixmap(32).toImage().convertToFormat(QImage::Format_ARGB32);
            QVERIFY2(picture.pixelColor(16, 16).alpha() == 255, qPrintable(form->objectName()));
            QVERIFY2(!drawn.contains(picture), qPrintable(form->objectName()));
            drawn << picture;
        }
        for (TForm* form : QList<TForm*>{PriemCompit, Kalend})
            QVERIFY2(form->windowIcon().isNull(), qPrintable(form->objectName()));
    }

    void everyDrawShowsFiveDifferentKindsAndAllKindsAppear() {
        Zastavka->Show(); // the first activation draws
        QSet<QString> seen;
        for (int draw = 0; draw < 300; ++draw) {
            if (draw > 0)
                emit Zastavka->OnActivate();
            const QStringList drawn = Zastavka->PictureSlots();
            QCOMPARE(drawn.size(), 5);
            QCOMPARE(QSet<QString>(drawn.begin(), drawn.end()).size(), 5);
            for (const QString& file : drawn) {
                QVERIFY2(kSports.contains(file), qPrintable(file));
                QVERIFY(!QImage("images/" + file).isNull());
                seen << file;
            }
            // The slots go to the pictures in their order: 1..5 to Image2, 3, 4, 5, 6.
            const char* images[] = {"Image2", "Image3", "Image4", "Image5", "Image6"};
            for (int slot = 0; slot < 5; ++slot)
                QCOMPARE(image(images[slot])->LoadedFile(), "images/" + drawn[slot]);
        }
        QCOMPARE(seen.size(), 7);
        QVERIFY(m_office->errors.messages.isEmpty());
        QCOMPARE(image("Image1")->geometry(), QRect(0, 0, 464, 393));
        QCOMPARE(image("Image4")->geometry(), QRect(320, 210, 125, 160));
        QCOMPARE(image("pkOk")->geometry(), QRect(35, 40, 78, 42));
        QCOMPARE(image("pkExit")->geometry(), QRect(35, 110, 74, 43));
        QCOMPARE(image("pkOk")->toolTip(), QString("Начало работы"));
        QCOMPARE(image("pkExit")->cursor().shape(), Qt::PointingHandCursor);
        Zastavka->Close();
    }

    void closingAMenuWindowDrawsAgain() {
        Zastavka->Show();
        int draws = 0;
        connect(Zastavka, &TForm::OnActivate, [&] { ++draws; });
        runModal(Kalend, [] {});
        QCOMPARE(draws, 1);
        Zastavka->Close();
    }

    // Counters on one server's books look alike but for the login each works as, named under
    // the pictures as the server stamps it on their records; a folder's counter, alone on its
    // books, keeps its screen as it always was.
    void theMainScreenNamesTheLoginOnSharedBooks() {
        Zastavka->Show();
        auto* label = control<QLabel>(Zastavka, "LabelOperator");
        if (m_office->conninfo.isEmpty()) {
            QVERIFY(label->isHidden());
        } else {
            const QStringList login = psql(m_office->conninfo, "select session_user");
            QCOMPARE(login.size(), 1);
            QVERIFY(label->isVisible());
            QCOMPARE(label->text(), "Оператор: " + login[0]);
            QVERIFY(QRect(0, 370, 464, 23).contains(label->geometry()));
        }
        Zastavka->Close();
    }

    void aMissingPictureIsReportedAndThoseBeforeItStay() {
        QVERIFY(QFile::remove("images/pkOk.bmp"));
        Zastavka->Show();
        QCOMPARE(m_office->errors.messages.size(), 1);
        QVERIFY2(m_office->errors.messages[0].contains("pkOk.bmp"),
                 qPrintable(m_office->errors.messages[0]));
        for (const char* before : {"Image1", "Image2", "Image3", "Image4", "Image5", "Image6"})
            QVERIFY2(!image(before)->pixmap().isNull(), before);
        QVERIFY(image("pkOk")->pixmap().isNull());
        QVERIFY(image("pkExit")->pixmap().isNull()); // loading stopped at the missing one
        Zastavka->Close();
    }

    void theMenuHasItsItemsInOrder() {
        const QList<QAction*> items = Zastavka->PopupMenu1()->actions();
        const QStringList names = {"N2", "N11", "N9", "N10", "N12", "N13", "N7",
                                   "N6", "N8",  "N5", "N3",  "N4",  "N1"};
        const QStringList captions = {"Принять ставку",
                                      "Ввести новое соревнование",
                                      "Ввести результат события",
                                      "Выплатить выигрыш",
                                      "Выплата по квитанции",
                                      "Повторить квитанцию",
                                      "",
                                      "Таблица соревнований",
                                      "Таблица ставок",
                                      "Календарь",
                                      "",
                                      "О программе",
                                      "Выход"};
        const QStringList keys = {"Ctrl+S", "Ctrl+N", "Ctrl+R", "Ctrl+M", "Ctrl+B", "Ctrl+P", "",
                                  "Ctrl+C", "Ctrl+T", "Ctrl+K", "",       "Ctrl+A", "Ctrl+Q"};
        QCOMPARE(items.size(), names.size());
        for (int i = 0; i < items.size(); ++i) {
            QCOMPARE(items[i]->objectName(), names[i]);
            QCOMPARE(items[i]->isSeparator(), captions[i].isEmpty());
            QCOMPARE(items[i]->text(), captions[i]);
            QCOMPARE(items[i]->shortcut().toString(), keys[i]);
        }
    }

    void aShortcutOpensItsWindowWithoutTheMenu() {
        Zastavka->Show();
        QApplication::setActiveWindow(Zastavka);
        bool calendarShown = false, aboutShown = false;
        runModal(
            Kalend,
            [&] {
                calendarShown = Kalend->IsModal();
                QVERIFY(!Zastavka->PopupMenu1()->isVisible());
            },
            [] { QTest::keyClick(Zastavka, Qt::Key_K, Qt::ControlModifier); });
        QVERIFY(calendarShown);
        runModal(
            AboutBox, [&] { aboutShown = true; },
            [] {
                QApplication::setActiveWindow(Zastavka);
                QTest::keyClick(Zastavka, Qt::Key_A, Qt::ControlModifier);
            });
        QVERIFY(aboutShown);
        Zastavka->Close();
    }

    void theMenuOpensAtAFixedScreenPoint() {
        Zastavka->Show();
        for (const QPoint& at : {QPoint(0, 0), QPoint(400, 250)}) {
            Zastavka->move(at);
            QTest::mouseClick(image("pkOk"), Qt::LeftButton);
            QMenu* menu = Zastavka->PopupMenu1();
            QTRY_VERIFY(menu->isVisible());
            QCOMPARE(menu->pos(), QPoint(150, 150));
            menu->close();
        }
        Zastavka->Close();
    }

    void exitEndsAtOnceFromTheButtonAndTheMenu() {
        QList<int> halts;
        TApplication::SetHaltHandler([&](int code) { halts << code; });
        Zastavka->Show();
        QTest::mouseClick(image("pkExit"), Qt::LeftButton);
        QApplication::setActiveWindow(Zastavka);
        QTest::keyClick(Zastavka, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(halts, QList<int>({0, 0}));
        Zastavka->Close();
    }

    void theCalendarStartsTodayAndKeepsTheChosenMonth() {
        QCalendarWidget* calendar = Kalend->MonthCalendar1();
        QCOMPARE(calendar->selectedDate(), QDate::currentDate());
        const QDate chosen = QDate::currentDate().addMonths(3);
        runModal(Kalend, [&] {
            calendar->setSelectedDate(chosen);
            QTest::mouseClick(Kalend->findChild<QPushButton*>("Button1"), Qt::LeftButton);
            QVERIFY(!Kalend->isVisible());
        });
        runModal(Kalend, [&] {
            QCOMPARE(calendar->selectedDate(), chosen);
            QCOMPARE(calendar->monthShown(), chosen.month());
        });
    }

    void theAboutBoxLoadsItsBannerAtEveryOpening() {
        TImage* banner = AboutBox->ProgramIcon();
        runModal(AboutBox, [&] { QCOMPARE(banner->pixmap().size(), QSize(645, 108)); });
        // A new banner on disk shows at the next opening.
        QImage other(320, 54, QImage::Format_RGB32);
        other.fill(Qt::red);
        QVERIFY(QFile::remove("images/banner.bmp"));
        QVERIFY(other.save("images/banner.bmp", "BMP"));
        runModal(AboutBox, [&] { QCOMPARE(banner->pixmap().size(), QSize(320, 54)); });
        QVERIFY(m_office->errors.messages.isEmpty());
        // Without the banner: the error box, and the box opens all the same.
        QVERIFY(QFile::remove("images/banner.bmp"));
        bool opened = false;
        runModal(AboutBox, [&] { opened = AboutBox->isVisible(); });
        QVERIFY(opened);
        QCOMPARE(m_office->errors.messages.size(), 1);
        QVERIFY(m_office->errors.messages[0].contains("banner.bmp"));
    }
};

int main(int argc, char** argv) {
    return runWindowTests<TestMainScreen>(argc, argv, {});
}
#include "test_mainscreen.moc"
