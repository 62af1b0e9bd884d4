#include "base/Errors.h"
#include "base/Report.h"
#include "shell/StartUp.h"
#include "shell/Zastavka.h"
#include "store/DataModule6.h"
#include "store/engine/Convert.h"
#include "store/engine/FolderLock.h"
#include "tests/support/TestMain.h"
#include "tests/support/TestSupport.h"
#include "toolkit/Application.h"

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLocale>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

using namespace varnel;
using namespace varnel::test;

namespace {

// Whether some process holds a lock on the folder, as the system lists it.
bool folderIsLocked(const QString& folder) {
    struct stat info {};
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0)
        return false;
    QFile locks("/proc/locks");
    if (!locks.open(QIODevice::ReadOnly))
        return false;
    const QByteArray inode = ":" + QByteArray::number(qulonglong(info.st_ino)) + " ";
    for (const QByteArray& line : locks.readAll().split('\n'))
        if (line.contains("FLOCK") && line.contains(inode))
            return true;
    return false;
}

class Probe : public TForm {
public:
    Probe() {
        connect(this, &TForm::OnShow, this, [this] { events << "show"; });
        connect(this, &TForm::OnActivate, this, [this] { events << "activate"; });
        connect(this, &TForm::OnClose, this, [this] { events << "close"; });
    }
    QStringList events;
};

} // namespace

class TestStartUp : public QObject {
    Q_OBJECT
private slots:
    void startsWithThreeTablesOpenAndTheScratchClosed() {
        WorkFolder folder;
        ErrorRecorder errors;
        TApplication app;
        QVERIFY(StartUp(app));
        QVERIFY(errors.messages.isEmpty());
        QCOMPARE(app.MainForm(), static_cast<TForm*>(Zastavka));
        QCOMPARE(QCoreApplication::applicationName(), QString("Varnel"));
        QCOMPARE(app.Title(), QString("Varnel "));
        QVERIFY(DataModule6->TableCompit->Active());
        QVERIFY(DataModule6->TableStavka->Active());
        QVERIFY(DataModule6->TableMoney->Active());
        QVERIFY(!DataModule6->TableTmp->Active());
        QCOMPARE(Zastavka->windowTitle(), QString("Varnel букмекерской конторы"));
        QCOMPARE(Zastavka->size(), QSize(464, 393));
        QCOMPARE(Zastavka->minimumSize(), Zastavka->maximumSize()); // no resizing
    }

    void aNeutralLocaleGivesRussianDatesAndNumbers() {
        WorkFolder folder;
        ErrorRecorder errors;
        const OtherLocale neutral(QLocale::c());
        TApplication app;
        QVERIFY(StartUp(app));
        QCOMPARE(QLocale().language(), QLocale::Russian);
        // The short date format then reads back what it writes.
        QCOMPARE(StrToDate(DateToStr(QDate(2027, 3, 4))), QDate(2027, 3, 4));
        QCOMPARE(Variant(1.5).toString(), QString("1,5"));
        // A locale the machine was set to is kept; Qt's own dialogs speak Russian all the same.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        app.Initialize();
        QCOMPARE(QLocale().language(), QLocale::English);
        QCOMPARE(QCoreApplication::translate("QFileDialog", "File &name:"), QString("&Имя файла:"));
    }

    void aMissingTableIsReportedAndTheOthersStillOpen() {
        WorkFolder folder;
        QFile::remove("PRIEM.DBF");
        ErrorRecorder errors;
        TApplication app;
        QVERIFY(StartUp(app)); // the program goes on without the table
        QCOMPARE(errors.messages.size(), 1);
        QVERIFY2(errors.messages[0].contains("PRIEM.DBF"), qPrintable(errors.messages[0]));
        QVERIFY(DataModule6->TableCompit->Active());
        QVERIFY(!DataModule6->TableStavka->Active());
        QVERIFY(DataModule6->TableMoney->Active()); // the payouts do not depend on the bets
        QVERIFY(!QFile::exists("PRIEM.DBF"));
    }

    void aSecondInstanceSaysSoAndTouchesNothing() {
        WorkFolder folder;
        QProcess first;
        first.setWorkingDirectory(folder.path());
        first.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        first.start(QStringLiteral(VARNEL_BINARY), {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(folderIsLocked(folder.path()), 20000);

        const QStringList tables = {"COMPIT.DBF", "PRIEM.DBF", "TMP.DBF", "MONEY.DBF"};
        QList<QByteArray> before;
        for (const QString& t : tables)
            before << folder.bytes(t);
        {
            ErrorRecorder errors;
            TApplication app;
            QVERIFY(!StartUp(app));
            QCOMPARE(errors.messages.size(), 1);
            QVERIFY2(errors.messages[0].contains("уже запущена"), qPrintable(errors.messages[0]));
            QVERIFY(!app.MainForm());
        }
        for (int i = 0; i < tables.size(); ++i)
            QCOMPARE(folder.bytes(tables[i]), before[i]);

        // The lock goes with the process, however it ends.
        first.kill();
        QVERIFY(first.waitForFinished());
        ErrorRecorder errors;
        TApplication app;
        QVERIFY(StartUp(app));
        QVERIFY(errors.messages.isEmpty());
    }

    void activationFollowsShowingAndReturnsToTheCaller() {
        Probe main, dialog;
        main.Show();
        QCOMPARE(main.events, QStringList({"show", "activate"}));
        main.events.clear();
        QTimer::singleShot(0, &dialog, [&] {
            QVERIFY(dialog.isVisible());
            QVERIFY(dialog.IsModal());
            // Escape does not close a window.
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(&dialog, &escape);
            QVERIFY(dialog.isVisible());
            dialog.close(); // the title bar's close box
        });
        dialog.ShowModal();
        QCOMPARE(dialog.events, QStringList({"show", "activate", "close"}));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(main.events, QStringList({"activate"})); // active again once the dialog closed
        dialog.events.clear();
        QTimer::singleShot(0, &dialog, [&] { dialog.Close(); });
        dialog.ShowModal();
        QCOMPARE(dialog.events, QStringList({"show", "activate", "close"}));
        main.Close();
    }

    void closingTheMainWindowEndsTheLoop() {
        WorkFolder folder;
        ErrorRecorder errors;
        TApplication app;
        QVERIFY(StartUp(app));
        QTimer::singleShot(0, Zastavka, [] { Zastavka->close(); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        bool timedOut = false;
        connect(&watchdog, &QTimer::timeout, [&] {
            timedOut = true;
            QCoreApplication::quit();
        });
        watchdog.start(10000);
        app.Run();
        QVERIFY(!timedOut);
        QVERIFY(!Zastavka->isVisible());
    }
};

VARNEL_TEST_MAIN(TestStartUp)
#include "test_startup.moc"
