#pragma once

#include "store/engine/Convert.h"
#include "store/engine/Variant.h"

#include <QByteArray>
#include <QDate>
#include <QJsonArray>
#include <QList>
#include <QLocale>
#include <QPair>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <array>
#include <functional>
#include <map>
#include <memory>

namespace varnel {
class TBooksHome;
class TDataSet;
class TDataModule6;
} // namespace varnel

namespace varnel::test {

// The locale the program runs in (Russian): numbers and days are typed and read in it.
void useProgramLocale();

// Another locale for one scope, the program's again after it.
class OtherLocale {
public:
    explicit OtherLocale(const QLocale& locale);
    ~OtherLocale();
    OtherLocale(const OtherLocale&) = delete;
    OtherLocale& operator=(const OtherLocale&) = delete;
};

// A fresh working folder laid out by the same tool as a real one, made the current
// directory for the life of the object (tables are opened by bare name).
class WorkFolder {
public:
    // In the system's temporary folder, or inside the given one.
    explicit WorkFolder(const QString& parent = {});
    ~WorkFolder();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    QByteArray bytes(const QString& name) const;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Collects what the standard error box and the information box would show.
class ErrorRecorder {
public:
    ErrorRecorder();
    ~ErrorRecorder();
    QStringList messages;
    QStringList notices;
};

// The books of a fresh working folder, opened as the counter's start opens them, and driven
// through their operations as the windows drive them: for the rules of the books, tested
// without a window. The tables' opening errors and notices are in `errors`.
// The environment of a program a test starts (psql, pg_dump, python3, LibreOffice, the tools):
// the test's own, in the C.UTF-8 locale whatever locale the test runs in, so that what the
// program prints, and how it writes numbers, do not depend on the machine's language.
QProcessEnvironment childEnvironment();

class BooksFixture {
public:
    // In the fresh folder's table files, or in the home given (a server's).
    explicit BooksFixture(std::unique_ptr<TBooksHome> home = {});
    ~BooksFixture();
    WorkFolder folder;
    ErrorRecorder errors;
    std::unique_ptr<TDataModule6> module;

    // A bet as the bet dialog records it: the event of the number found, the bet on the outcome
    // (1 and 2 the sides, 3 the draw) at its coefficient as it stands, and the odds rule when
    // asked.
    void takeBet(const Variant& number, int outcome, const Variant& stake, const QString& client,
                 bool adjustOdds = false);
    // The event of the number settled with the outcome, as the result dialog settles it; false
    // when no event carries the number.
    bool settle(const Variant& number, int outcome);
    // An event entered as the event dialog enters it: the sides, the day, a coefficient of 2
    // and an opening sum of 500 on each outcome.
    void enterEvent(const Variant& number, const QString& kom1, const QString& kom2);
    // The payout on row `row` of the payouts, in their order, paid out.
    void payOut(int row);
    // The same paid by its bet's slip, as the slip's barcode reads (its code as the bet was
    // taken, by any fixture of this test).
    void payBySlip(int row);
    // What the barcode of the slip of the bet `serial` holds.
    static QString slipText(std::int64_t serial);
};

// Nine significant digits: what a coefficient or an amount keeps through its table.
bool sameTo9Digits(double actual, double expected);

// Writes without syncing for the life of the object, for a test that lays out thousands of
// records (never for one that checks what a crash leaves).
class WithoutSync {
public:
    WithoutSync();
    ~WithoutSync();
    WithoutSync(const WithoutSync&) = delete;
    WithoutSync& operator=(const WithoutSync&) = delete;
};

// Records written through the engine, as the program's own windows write them: into a table
// that is open (the data module's, say), or into a folder's file that nobody holds.
using Record = QList<QPair<QString, Variant>>;
void append(TDataSet& table, const QList<Record>& records);
void append(const QString& file, const QList<Record>& records);

// An event as the event dialog stores it (stake sums of 500 each), open for bets unless its
// date says otherwise; a bet; a payout owed.
Record eventRecord(const Variant& number, const QString& kom1, const QString& kom2,
                   const QDate& date = Date().addDays(2),
                   const std::array<Variant, 3>& koef = {2.0, 2.0, 2.0});
Record betRecord(const Variant& number, const QString& result, const Variant& stake,
                 const Variant& koef, const QString& client);
Record payoutRecord(const QString& client, const Variant& amount);

// The bytes of the four tables of a folder; a missing one as "(missing)".
std::map<QString, QByteArray> snapshot(const QString& folder);

// The four tables of a working folder, copied into a new temporary folder.
std::unique_ptr<QTemporaryDir> copyTables(const QString& from);

// Runs this test program again as a worker (`flag POINT FOLDER`) that dies at the given write
// point. Returns its exit code: 77 when it died there, 0 when the work ended first; any other
// fails the test and returns -1.
int runCrashWorker(const char* flag, int point, const QString& folder);

// A file or folder read-only for everyone, root included: without write permission, and
// immutable where the user may set that (root ignores permissions); a folder's files can then
// be neither made nor removed. Whether it worked, and in *why what refused.
bool setReadOnly(const QString& path, bool readOnly, QString* why = nullptr);

// The crash sweep: a worker (`flag POINT FOLDER`, see runCrashWorker) killed at every write
// point of its work in turn, each time in a fresh copy of the fixture's tables; after each, a
// start there as the program starts (interrupted work finished or dropped, every table opened,
// no journal left), and `check` with the copy, the point and whether the work had ended before
// it. Stops after the run whose work ended; returns how many runs were killed inside it, or -1
// once the test failed.
int sweepKills(const char* flag, const QString& fixture,
               const std::function<void(const QString& folder, int point, bool done)>& check);

// Runs the work in a copy of this process made by fork(), as a worker that a fault point may
// end (the test arms it inside the work). Returns its exit status: 77 when a fault point killed
// it, 1 when the work threw an error (its message on standard error), 0 when it was done.
// Quicker than runCrashWorker by a whole program start, for tests that try hundreds of points;
// the work must need no event loop.
int runForked(const std::function<void()>& work);

// Root reads and writes whatever a file's permissions say, and CI runs as root: what the
// program must refuse an operator (a read-only file written) cannot be seen there. This runs
// the work as runForked does, but as `nobody` when the tests run as root (as ourselves
// otherwise); a child that cannot become it fails the test. The files the work needs are
// handed over first with giveToUnprivileged.
int runForkedUnprivileged(const std::function<void()>& work);
void giveToUnprivileged(const QString& path);

// What every start does first, in the given folder: the interrupted work finished or dropped,
// the tables opened. Returns the messages it reported (none when all went well).
QStringList startTablesIn(const QString& folder);

// A history table of the layout before KASSIR (who wrote each record) at `path`, empty, in
// place of any file there: what a folder kept before the field was holds.
void createHistoryBeforeKassir(const QString& path);

// A program of ours run to its end (two minutes at most), `input` on its standard input.
struct ToolRun {
    int status = -1; // -1: it crashed or did not end
    QString out, err;
};
ToolRun runTool(const QString& program, const QStringList& args, const QByteArray& input = {});

// Runs /usr/bin/python3 with a script, or with a script file of tests/; fails the test on a
// non-zero exit. Returns stdout.
QByteArray runPython(const QString& script, const QStringList& args = {});
QByteArray runPythonFile(const QString& file, const QStringList& args = {});

// Whether the books of a folder and their history agree, for books kept with a history from
// their start: every live event, bet and payout has the record that made it, with its values;
// every event, bet and payout gone has the record of its going (a result, a settlement, a
// payment or an undone result); each event's stake sums are as its newest record left them.
// Returns what disagrees, one line each; empty when all agree.
QStringList historyDisagreements(const QString& folder);

// One column of a table as dbfread reads it, as text.
QStringList readColumn(const QString& path, const QString& field);

// The records of a table as another dBASE reader (dbfread) sees them: one JSON object per
// record, values as dbfread gives them (dates as "YYYY-MM-DD"); deleted records skipped.
QJsonArray readWithDbfread(const QString& path);

} // namespace varnel::test
