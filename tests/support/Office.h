#pragma once

#include "store/engine/Variant.h"
#include "tests/support/TestSupport.h"
#include "toolkit/Application.h"

#include <QApplication>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>
#include <memory>

namespace varnel {
class TForm;
}

namespace varnel::test {

// The program started as its start-up does, in a fresh working folder that is the current
// directory, with its errors recorded rather than shown in a box. Members go in the reverse
// order: the program, then the recorder, then the folder.
struct Office {
    // In a fresh folder's table files; while runWindowTests runs its cases on a server, on a
    // fresh database of that server.
    Office();
    // On the books of a server: the folder's varnel.conf names it before the program starts.
    explicit Office(const QString& conninfo);
    WorkFolder folder;
    ErrorRecorder errors;
    TApplication app;
    bool started = false; // false when start-up refused (another program holds the folder)
    QString conninfo;     // the books' server; empty when they are the folder's files

    // The file of a table as the books hold it now: the folder's own, or the server's table
    // written out at this moment as the program's own file (as varnel-export --to-folder
    // writes it), for the readers and comparisons of the tests.
    QString table(const QString& file);
    QByteArray tableBytes(const QString& file);

private:
    std::unique_ptr<QTemporaryDir> m_snapshot;
};

// The window tests' main: the test's cases run on the table files of a working folder, then
// each again on a fresh database of a throwaway server (the windows behave alike on both),
// but for `folderOnly`, the cases about the files themselves. Cases named on the command line
// run on both.
int runOnBothHomes(QObject& test, int argc, char** argv, const QStringList& folderOnly);
template <typename Test> int runWindowTests(int argc, char** argv, const QStringList& folderOnly) {
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    useProgramLocale();
    Test test;
    return runOnBothHomes(test, argc, argv, folderOnly);
}

// Writes a folder's varnel.conf naming the books' server.
void nameBooksServer(const QString& folder, const QString& conninfo);

// The program started in a worker process of a test, in the folder its command line names: the
// tests' locale, errors on standard error (ending the process with status 3 when
// `errorsEnd`). Returns what `work` returns, or 2 when start-up refused the folder.
int runWorker(int argc, char** argv, const char* folder, const std::function<int()>& work,
              bool errorsEnd = false);

// A control of a window by its object name. A missing one ends the run: a renamed control must
// not pass for a check that found nothing.
QWidget* findControl(const QWidget* form, const char* name);
template <typename T = QWidget> T* control(const QWidget* form, const char* name) {
    auto* found = qobject_cast<T*>(findControl(form, name));
    if (!found)
        qFatal("control %s is not of the kind asked for", name);
    return found;
}

// Shows a window modally, as the menu does, and runs the steps inside its loop. A window the
// steps leave open (a failed check returns early) is closed; a watchdog closes a message box
// and the window when the steps hang, and the test fails. With an opener (a shortcut typed, a
// menu item chosen), that opens the window instead, and the window must have opened.
void runModal(TForm* form, const std::function<void()>& steps,
              const std::function<void()>& opener = {});

// Answers the next message box the program asks with the named button ("Yes", "No"),
// keeping its text in *asked.
void answerNextQuestion(const char* button, QString* asked);

// One whole event through the event dialog, coefficients in the locale's form; whether the
// dialog closed (the event was stored).
bool enterEvent(const QString& number, const QString& kom1, const QString& kom2, const QDate& date,
                const QStringList& koef = {"2", "2", "2"});

// A bet through the open bet dialog up to the outcome (1, 2 or 3) clicked; the dialog then
// waits for its second Ok.
void fillBet(const QString& fio, const Variant& stake, const Variant& number, int outcome);
// One whole bet through the bet dialog, as the operator takes it; whether the dialog closed
// (the bet was taken).
bool takeBet(const QString& fio, const Variant& stake, const Variant& number, int outcome);
// One whole settlement through the result dialog: the number, Ok, the outcome, Ok; whether
// the dialog closed (the event was settled).
bool settle(const Variant& number, int outcome);

// Pays the payout on the given row of the payouts browser, as the operator does (the browser
// opened, the row reached with the navigator, its delete answered «Yes»).
void payOut(int row);

// Types text into a widget as a keyboard would, any alphabet (QTest::keyClicks takes
// Latin-1 only).
void typeText(QWidget* widget, const QString& text);

// Replaces the text of a form's edit box as the operator would: select all, erase, type.
void retype(QWidget* form, const char* box, const QString& text);

// Clicks a form's button; a radio button on its round mark (the rest of a wide radio button
// takes no clicks).
void press(QWidget* form, const char* button);

} // namespace varnel::test
