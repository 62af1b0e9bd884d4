#include "tests/support/Office.h"

#include "base/Report.h"
#include "controls/DBNavigator.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "server/Snapshot.h"
#include "shell/StartUp.h"
#include "tests/support/Server.h"
#include "toolkit/Form.h"
#include "views/TableMoney.h"
#include "workflows/PriemCompit.h"
#include "workflows/PriemResult.h"
#include "workflows/PriemStavka.h"
#include "workflows/SlipOut.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <cstdlib>

namespace varnel::test {

namespace {
PgServer* booksServer = nullptr; // while the window tests run on a server
} // namespace

Office::Office() {
    if (booksServer) {
        conninfo = booksServer->NewDatabase();
        ServerConnection server(conninfo);
        LayOutServer(server);
        nameBooksServer(folder.path(), conninfo);
    }
    started = StartUp(app);
}

Office::Office(const QString& conninfo) : conninfo(conninfo) {
    nameBooksServer(folder.path(), conninfo);
    started = StartUp(app);
}

QString Office::table(const QString& file) {
    if (conninfo.isEmpty())
        return folder.file(file);
    m_snapshot = std::make_unique<QTemporaryDir>();
    ServerConnection server(conninfo);
    ServerSnapshot(m_snapshot->path()).Take(server);
    return m_snapshot->filePath(file);
}

QByteArray Office::tableBytes(const QString& file) {
    if (conninfo.isEmpty())
        return folder.bytes(file);
    QFile table(this->table(file));
    if (!table.open(QIODevice::ReadOnly))
        qFatal("%s cannot be read", qPrintable(table.fileName()));
    return table.readAll();
}

int runOnBothHomes(QObject& test, int argc, char** argv, const QStringList& folderOnly) {
    return runOnBothHomes(test, argc, argv, folderOnly, booksServer);
}

void nameBooksServer(const QString& folder, const QString& conninfo) {
    QFile conf(QDir(folder).filePath(QStringLiteral("varnel.conf")));
    if (!conf.open(QIODevice::WriteOnly) ||
        conf.write(QStringLiteral("[server]\nconninfo=%1\n").arg(conninfo).toUtf8()) <= 0)
        qFatal("varnel.conf cannot be written");
}

int runWorker(int argc, char** argv, const char* folder, const std::function<int()>& work,
              bool errorsEnd) {
    QApplication app(argc, argv);
    useProgramLocale();
    QDir::setCurrent(QString::fromLocal8Bit(folder));
    static bool end = false;
    end = errorsEnd;
    SetErrorReporter([](const QString& message) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        if (end)
            std::_Exit(3);
    });
    TApplication application;
    if (!StartUp(application))
        return 2;
    const int status = work();
    FinishSlips();
    return status;
}

QWidget* findControl(const QWidget* form, const char* name) {
    auto* found = form->findChild<QWidget*>(QString::fromLatin1(name));
    if (!found)
        qFatal("%s has no control %s", qPrintable(form->objectName()), name);
    return found;
}

void runModal(TForm* form, const std::function<void()>& steps,
              const std::function<void()>& opener) {
    if (form->isVisible())
        qFatal("%s is already open", qPrintable(form->objectName()));
    bool ran = false;
    bool hung = false;
    // Timers of this scope, not single shots: one that never fired must not fire later, in
    // another test, over this one's gone variables.
    QTimer inside;
    inside.setSingleShot(true);
    QObject::connect(&inside, &QTimer::timeout, form, [&] {
        if (!form->isVisible())
            return; // the opener did not open it
        ran = true;
        steps();
        if (form->isVisible())
            form->Close();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        hung = true;
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->reject();
        form->Close();
    });
    inside.start(0);
    watchdog.start(60000);
    if (opener)
        opener();
    else
        form->ShowModal();
    QVERIFY2(ran, "the window never opened, or its steps never ran");
    QVERIFY2(!hung, "the window hung");
}

void typeText(QWidget* widget, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString key = text.mid(i, len);
        const int code = key.size() == 1 && key.at(0).unicode() < 0x80
                             ? key.at(0).toUpper().unicode()
                             : int(Qt::Key_unknown);
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, key);
        QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, key);
        QCoreApplication::sendEvent(widget, &press);
        QCoreApplication::sendEvent(widget, &release);
        i += len - 1;
    }
}

void retype(QWidget* form, const char* box, const QString& text) {
    auto* edit = control<QLineEdit>(form, box);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    typeText(edit, text);
}

void press(QWidget* form, const char* button) {
    auto* found = control<QAbstractButton>(form, button);
    const QPoint at = qobject_cast<QRadioButton*>(found) ? QPoint(6, found->height() / 2)
                                                         : found->rect().center();
    QTest::mouseClick(found, Qt::LeftButton, Qt::NoModifier, at);
}

void answerNextQuestion(const char* button, QString* asked) {
    asked->clear();
    QTimer::singleShot(0, [button, asked] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *asked = box->text();
            box->findChild<QPushButton*>(QLatin1String(button))->click();
        }
    });
}

namespace {
QByteArray radioButton(int outcome) {
    return "RadioButton" + QByteArray::number(outcome);
}
} // namespace

bool enterEvent(const QString& number, const QString& kom1, const QString& kom2, const QDate& date,
                const QStringList& koef) {
    bool closed = false;
    runModal(PriemCompit, [&] {
        retype(PriemCompit, "DBEdit1", number);
        retype(PriemCompit, "EditDATE", QLocale().toString(date, QLocale::ShortFormat));
        retype(PriemCompit, "EditKOM1", kom1);
        retype(PriemCompit, "EditKOM2", kom2);
        retype(PriemCompit, "EditKOEF_1", koef.value(0));
        retype(PriemCompit, "EditKOEF_2", koef.value(1));
        retype(PriemCompit, "EditKOEF_N", koef.value(2));
        press(PriemCompit, "Button3");
        closed = !PriemCompit->isVisible();
    });
    return closed;
}

void fillBet(const QString& fio, const Variant& stake, const Variant& number, int outcome) {
    retype(PriemStavka, "EditFIO", fio);
    retype(PriemStavka, "EditSUMMA", stake.toString());
    retype(PriemStavka, "EditNUMBER", number.toString());
    press(PriemStavka, "Button3");
    press(PriemStavka, radioButton(outcome).constData());
}

bool takeBet(const QString& fio, const Variant& stake, const Variant& number, int outcome) {
    bool closed = false;
    runModal(PriemStavka, [&] {
        fillBet(fio, stake, number, outcome);
        press(PriemStavka, "Button3");
        closed = !PriemStavka->isVisible();
    });
    return closed;
}

bool settle(const Variant& number, int outcome) {
    bool closed = false;
    runModal(PriemResult, [&] {
        retype(PriemResult, "EditNUMBER", number.toString());
        press(PriemResult, "Button3");
        press(PriemResult, radioButton(outcome).constData());
        press(PriemResult, "Button3");
        closed = !PriemResult->isVisible();
    });
    return closed;
}

void payOut(int row) {
    runModal(TableMoney, [&] {
        auto* navigator = control<TDBNavigator>(TableMoney, "DBNavigator");
        QTest::mouseClick(navigator->ButtonOf(TDBNavigator::Button::First), Qt::LeftButton);
        for (int i = 0; i < row; ++i)
            QTest::mouseClick(navigator->ButtonOf(TDBNavigator::Button::Next), Qt::LeftButton);
        QString asked;
        answerNextQuestion("Yes", &asked);
        QTest::mouseClick(navigator->ButtonOf(TDBNavigator::Button::Delete), Qt::LeftButton);
        QVERIFY(!asked.isEmpty());
    });
}

} // namespace varnel::test
