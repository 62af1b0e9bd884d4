#include "tests/support/TestSupport.h"

#include "base/Errors.h"
#include "base/Report.h"
#include "store/DataModule6.h"
#include "store/History.h"
#include "store/InFolder.h"
#include "store/Tables.h"
#include "store/engine/DataSet.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Journal.h"
#include "store/engine/Table.h"
#include "tools/newdesk/NewDesk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnel::test {

void useProgramLocale() {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

OtherLocale::OtherLocale(const QLocale& locale) {
    QLocale::setDefault(locale);
}

OtherLocale::~OtherLocale() {
    useProgramLocale();
}

WorkFolder::WorkFolder(const QString& parent)
    : m_dir(parent.isEmpty() ? QDir::tempPath() + QStringLiteral("/varnel-XXXXXX")
                             : parent + QStringLiteral("/varnel-XXXXXX")),
      m_previous(QDir::currentPath()) {
    if (!m_dir.isValid())
        qFatal("cannot make a temporary folder");
    LayOutWorkingFolder(m_dir.path());
    QDir::setCurrent(m_dir.path());
}

WorkFolder::~WorkFolder() {
    QDir::setCurrent(m_previous);
}

QByteArray WorkFolder::bytes(const QString& name) const {
    QFile f(file(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

ErrorRecorder::ErrorRecorder() {
    SetErrorReporter([this](const QString& message) { messages << message; });
    SetNoticeReporter([this](const QString& message) { notices << message; });
}

ErrorRecorder::~ErrorRecorder() {
    SetErrorReporter({});
    SetNoticeReporter({});
}

bool sameTo9Digits(double actual, double expected) {
    return std::fabs(actual - expected) <= 5e-10 * std::fabs(expected);
}

WithoutSync::WithoutSync() {
    DbfFile::setSyncEnabled(false);
}

WithoutSync::~WithoutSync() {
    DbfFile::setSyncEnabled(true);
}

BooksFixture::BooksFixture(std::unique_ptr<TBooksHome> home)
    : module(std::make_unique<TDataModule6>(nullptr, std::move(home))) {
    RunHandler([this] { module->DataModuleCreate(); }); // as its creation handler runs it
}

BooksFixture::~BooksFixture() = default;

namespace {
// The payout codes of the bets taken by the fixtures of this process, by serial.
QHash<std::int64_t, QString>& slipCodes() {
    static QHash<std::int64_t, QString> codes;
    return codes;
}
} // namespace

void BooksFixture::takeBet(const Variant& number, int outcome, const Variant& stake,
                           const QString& client, bool adjustOdds) {
    using namespace fields;
    if (!module->FindEvent(number))
        throw EDatabaseError(QStringLiteral("no event %1").arg(number.toString()));
    const auto chosen = Outcome(outcome);
    TDataSet& bets = *module->TableStavka;
    bets.Insert();
    bets.SetFieldValue(NUMBER, number);
    bets.SetFieldValue(RESULT, Variant(OutcomeName(*module->TableCompit, chosen)));
    bets.SetFieldValue(SUMMA, stake);
    bets.SetFieldValue(KOEFICIENT, module->TableCompit->GetFieldValue(KoefField(chosen)));
    bets.SetFieldValue(FIO, Variant(client));
    try {
        module->RecordBet(chosen, adjustOdds);
    } catch (...) {
        bets.Cancel(); // as the dialog's close drops the bet it could not record
        throw;
    }
    if (const std::optional<Slip> slip = module->LastSlip())
        slipCodes().insert(slip->serial, slip->code);
}

QString BooksFixture::slipText(std::int64_t serial) {
    return SlipBarcodeText(serial, slipCodes().value(serial));
}

void BooksFixture::payBySlip(int row) {
    TDataSet& money = *module->TableMoney;
    money.First();
    money.MoveBy(row);
    module->PayBySlip(slipText(money.GetFieldValue(fields::SERIAL).toInteger()));
}

void BooksFixture::enterEvent(const Variant& number, const QString& kom1, const QString& kom2) {
    using namespace fields;
    TDataSet& events = *module->TableCompit;
    events.Insert();
    events.SetFieldValue(NUMBER, number);
    events.SetFieldValue(DATE, Variant(Date().addDays(2)));
    events.SetFieldValue(KOM1, Variant(kom1));
    events.SetFieldValue(KOM2, Variant(kom2));
    for (const QLatin1String koef : {KOEF_1, KOEF_2, KOEF_N})
        events.SetFieldValue(koef, Variant(2.0));
    for (const QLatin1String sum : {SUMM_1, SUMM_2, SUMM_N})
        events.SetFieldValue(sum, Variant(500.0));
    module->EnterEvent();
}

void BooksFixture::payOut(int row) {
    TDataSet& money = *module->TableMoney;
    money.First();
    money.MoveBy(row);
    module->PayOut();
}

bool BooksFixture::settle(const Variant& number, int outcome) {
    if (!module->FindEvent(number))
        return false;
    const QString winner = OutcomeName(*module->TableCompit, Outcome(outcome));
    module->SettleEvent(module->TableCompit->CurrentIndex(), winner);
    return true;
}

void append(TDataSet& table, const QList<Record>& records) {
    for (const Record& record : records) {
        table.Insert();
        for (const auto& [field, value] : record)
            table.SetFieldValue(field, value);
        table.Post();
    }
}

void append(const QString& file, const QList<Record>& records) {
    TTable table;
    table.SetTableName(file);
    table.Open();
    append(table, records);
}

Record eventRecord(const Variant& number, const QString& kom1, const QString& kom2,
                   const QDate& date, const std::array<Variant, 3>& koef) {
    using namespace fields;
    return {{NUMBER, number},      {DATE, Variant(date)},  {KOM1, Variant(kom1)},
            {KOM2, Variant(kom2)}, {KOEF_1, koef[0]},      {KOEF_2, koef[1]},
            {KOEF_N, koef[2]},     {SUMM_1, Variant(500)}, {SUMM_2, Variant(500)},
            {SUMM_N, Variant(500)}};
}

Record betRecord(const Variant& number, const QString& result, const Variant& stake,
                 const Variant& koef, const QString& client) {
    using namespace fields;
    return {{NUMBER, number},
            {RESULT, Variant(result)},
            {SUMMA, stake},
            {KOEFICIENT, koef},
            {FIO, Variant(client)}};
}

Record payoutRecord(const QString& client, const Variant& amount) {
    return {{fields::FIO, Variant(client)}, {fields::SUMMA, amount}};
}

std::map<QString, QByteArray> snapshot(const QString& folder) {
    std::map<QString, QByteArray> files;
    for (const QString& name : TableFileNames()) {
        QFile f(QDir(folder).filePath(name));
        files[name] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }
    return files;
}

namespace {

struct Trace {
    QString kind;
    std::int64_t serial = 0, place = -1;
    QMap<QString, Variant> values;
};

struct Table {
    explicit Table(const QString& path) : file(path) { file.open(DbfFile::Access::Read); }
    Variant value(std::uint32_t at, const QString& field) {
        return file.decode(file.record(at), file.columnIndex(field));
    }
    DbfFile file;
};

bool same(const Variant& a, const Variant& b) {
    if (a.isNumeric() && b.isNumeric())
        return std::fabs(a.toReal() - b.toReal()) <= 1e-9 * std::max(1.0, std::fabs(a.toReal()));
    return (a.isNull() && b.isNull()) || a == b;
}

} // namespace

QStringList historyDisagreements(const QString& folder) {
    using namespace fields;
    const QDir dir(folder);
    Table history(dir.filePath(HistoryTable().file));
    Table events(dir.filePath(CompitTable().file));
    Table bets(dir.filePath(PriemTable().file));
    Table money(dir.filePath(MoneyTable().file));
    QList<Trace> traces;
    for (std::uint32_t i = 0; i < history.file.recordCount(); ++i) {
        Trace t;
        t.kind = history.value(i, VID).toString();
        const Variant serial = history.value(i, SERIAL);
        t.serial = serial.isNull() ? 0 : serial.toInteger();
        const Variant place = history.value(i, ZAPIS);
        t.place = place.isNull() ? -1 : place.toInteger();
        for (const QString& f : {QString(NUMBER), QString(KOM1), QString(KOM2), QString(SUMM_1),
                                 QString(SUMM_2), QString(SUMM_N), QString(RESULT), QString(SUMMA),
                                 QString(KOEFICIENT), QString(FIO), QString(VYPLATA)})
            t.values[f] = history.value(i, f);
        traces << t;
    }
    QStringList faults;
    // The newest record of the given kinds naming a place, and what came after it.
    const auto newest = [&](const QStringList& kinds, std::int64_t place) {
        for (qsizetype i = traces.size() - 1; i >= 0; --i)
            if (kinds.contains(traces[i].kind) && traces[i].place == place)
                return i;
        return qsizetype(-1);
    };
    const auto after = [&](qsizetype from, const std::function<bool(const Trace&)>& is) {
        for (qsizetype i = from + 1; i < traces.size(); ++i)
            if (is(traces[i]))
                return true;
        return false;
    };
    const QStringList betKinds = {kinds::Bet(), kinds::Restored()};
    const QStringList eventKinds = {kinds::Event(), kinds::Undone()};

    for (std::uint32_t p = 0; p < bets.file.recordCount(); ++p) {
        const qsizetype made = newest(betKinds, p);
        const bool live = !bets.file.isDeleted(p);
        if (made < 0) {
            if (live)
                faults << QStringLiteral("bet %1 has no record of being taken").arg(p);
            continue;
        }
        bool equal = true;
        for (const QString& f :
             {QString(NUMBER), QString(RESULT), QString(SUMMA), QString(KOEFICIENT), QString(FIO)})
            equal = equal && same(bets.value(p, f), traces[made].values[f]);
        if (!equal)
            faults << QStringLiteral("bet %1 differs from its record").arg(p);
        const qint64 serial = traces[made].serial;
        const bool settled = after(made, [&](const Trace& t) {
            return (t.kind == kinds::Won() || t.kind == kinds::Lost()) && t.serial == serial;
        });
        if (live == settled)
            faults << QStringLiteral("bet %1 (serial %2) is %3 but its history says %4")
                          .arg(p)
                          .arg(serial)
                          .arg(live ? "live" : "gone", settled ? "settled" : "open");
    }
    for (std::uint32_t p = 0; p < money.file.recordCount(); ++p) {
        const qsizetype owed = newest({kinds::Won()}, p);
        const bool live = !money.file.isDeleted(p);
        if (owed < 0) {
            faults << QStringLiteral("payout %1 has no record of being owed").arg(p);
            continue;
        }
        if (!same(money.value(p, FIO), traces[owed].values[FIO]) ||
            !same(money.value(p, SUMMA), traces[owed].values[VYPLATA]))
            faults << QStringLiteral("payout %1 differs from its record").arg(p);
        const qint64 serial = traces[owed].serial;
        const bool gone = after(owed, [&](const Trace& t) {
            return (t.kind == kinds::Paid() && t.place == p && t.serial == serial) ||
                   (t.kind == kinds::Restored() && t.serial == serial);
        });
        if (live == gone)
            faults << QStringLiteral("payout %1 is %2 but its history says %3")
                          .arg(p)
                          .arg(live ? "owed" : "gone", gone ? "paid or undone" : "owed");
    }
    for (std::uint32_t p = 0; p < events.file.recordCount(); ++p) {
        const qsizetype made = newest(eventKinds, p);
        const bool live = !events.file.isDeleted(p);
        if (made < 0) {
            faults << QStringLiteral("event %1 has no record of being entered").arg(p);
            continue;
        }
        const bool settled =
            after(made, [&](const Trace& t) { return t.kind == kinds::Result() && t.place == p; });
        if (live == settled)
            faults << QStringLiteral("event %1 is %2 but its history says %3")
                          .arg(p)
                          .arg(live ? "open" : "gone", settled ? "settled" : "open");
        if (!live)
            continue;
        // The stake sums as the newest record of the event left them: its entry, or a bet.
        const Variant number = events.value(p, NUMBER);
        qsizetype last = made;
        for (qsizetype i = made + 1; i < traces.size(); ++i)
            if (traces[i].kind == kinds::Bet() && same(traces[i].values[NUMBER], number))
                last = i;
        for (const QString& f : {QString(SUMM_1), QString(SUMM_2), QString(SUMM_N)})
            if (!same(events.value(p, f), traces[last].values[f]))
                faults << QStringLiteral("event %1: %2 is %3, its history says %4")
                              .arg(p)
                              .arg(f, events.value(p, f).toString(),
                                   traces[last].values[f].toString());
    }
    return faults;
}

std::unique_ptr<QTemporaryDir> copyTables(const QString& from) {
    auto copy = std::make_unique<QTemporaryDir>();
    for (const QString& name : TableFileNames())
        QFile::copy(QDir(from).filePath(name), copy->filePath(name));
    return copy;
}

int runCrashWorker(const char* flag, int point, const QString& folder) {
    QProcess worker;
    worker.start(QCoreApplication::applicationFilePath(),
                 {QString::fromLatin1(flag), QString::number(point), folder});
    if (!worker.waitForFinished(60000) || (worker.exitCode() != 77 && worker.exitCode() != 0)) {
        QTest::qFail(qPrintable(QStringLiteral("worker at point %1: %2")
                                    .arg(point)
                                    .arg(QString::fromLocal8Bit(worker.readAllStandardError()))),
                     __FILE__, __LINE__);
        return -1;
    }
    return worker.exitCode();
}

bool setReadOnly(const QString& path, bool readOnly, QString* why) {
    const QByteArray native = QFile::encodeName(path);
    const bool folder = QFileInfo(path).isDir();
    const auto setMode = [&] {
        if (::chmod(native.constData(),
                    folder ? (readOnly ? 0555 : 0755) : (readOnly ? 0444 : 0644)) == 0)
            return true;
        if (why)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    };
    if (::geteuid() != 0)
        return setMode();
    // An immutable file's permissions cannot change: set them while it is not.
    if (readOnly && !setMode())
        return false;
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = readOnly ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (!ok && why)
        *why = QStringLiteral("immutable flag: ") + QString::fromLocal8Bit(std::strerror(errno));
    if (fd >= 0)
        ::close(fd);
    return ok && (readOnly || setMode());
}

namespace {

struct Account {
    uid_t uid;
    gid_t gid;
};

// Looked up in the parent: a forked copy of a program with threads must not call the name
// service, whose locks another thread may have held at the fork.
Account unprivileged() {
    const passwd* user = ::getpwnam("nobody");
    if (!user || user->pw_uid == 0)
        qFatal("there is no unprivileged user nobody to run as");
    return {user->pw_uid, user->pw_gid};
}

} // namespace

void giveToUnprivileged(const QString& path) {
    if (::geteuid() != 0)
        return;
    const Account account = unprivileged();
    if (::chown(QFile::encodeName(path).constData(), account.uid, account.gid) != 0)
        qFatal("%s cannot be given to nobody: %s", qPrintable(path), std::strerror(errno));
}

int runForkedUnprivileged(const std::function<void()>& work) {
    if (::geteuid() != 0)
        return runForked(work);
    const Account account = unprivileged();
    return runForked([&] {
        // The groups before the user: once it is nobody, root's right to change them is gone.
        if (::setgroups(0, nullptr) != 0 || ::setgid(account.gid) != 0 ||
            ::setuid(account.uid) != 0 || ::geteuid() == 0) {
            std::fprintf(stderr, "cannot become nobody: %s\n", std::strerror(errno));
            std::fflush(nullptr);
            ::_exit(2); // neither done nor refused: the test fails
        }
        work();
    });
}

int runForked(const std::function<void()>& work) {
    std::fflush(nullptr); // nothing buffered is written twice
    const pid_t child = ::fork();
    if (child == 0) {
        int status = 0;
        try {
            work();
        } catch (const EVarnelError& error) {
            std::fprintf(stderr, "%s\n", error.message().toLocal8Bit().constData());
            status = 1;
        }
        std::fflush(nullptr);
        ::_exit(status); // no destructors of the parent's objects run twice
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 1 && WEXITSTATUS(status) != 77)) {
        QTest::qFail("the forked worker did not end as a worker ends", __FILE__, __LINE__);
        return -1;
    }
    return WEXITSTATUS(status);
}

int sweepKills(const char* flag, const QString& fixture,
               const std::function<void(const QString& folder, int point, bool done)>& check) {
    for (int point = 1;; ++point) {
        const auto copy = copyTables(fixture);
        const int exit = runCrashWorker(flag, point, copy->path());
        if (exit < 0)
            return -1;
        const QStringList errors = startTablesIn(copy->path());
        if (!errors.isEmpty() || QFile::exists(copy->filePath(JournalFileName()))) {
            QTest::qFail(qPrintable(QStringLiteral("the start after point %1: %2")
                                        .arg(point)
                                        .arg(errors.join(QLatin1Char('\n')))),
                         __FILE__, __LINE__);
            return -1;
        }
        check(copy->path(), point, exit == 0);
        if (QTest::currentTestFailed())
            return -1;
        if (exit == 0)
            return point - 1;
    }
}

QStringList startTablesIn(const QString& folder) {
    QStringList messages;
    try {
        const InFolder here(folder);
        TDataModule6 module;
        module.DataModuleCreate(); // as its creation handler runs it, the error kept here
    } catch (const EVarnelError& error) {
        messages << error.message();
    }
    return messages;
}

QProcessEnvironment childEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : environment.keys())
        if (name.startsWith(QLatin1String("LC_")) || name == QLatin1String("LANGUAGE"))
            environment.remove(name);
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return environment;
}

namespace {
QByteArray python(const QStringList& args) {
    QProcess python;
    python.setProcessEnvironment(childEnvironment());
    python.start(QStringLiteral("/usr/bin/python3"), args);
    if (!python.waitForFinished(120000) || python.exitCode() != 0) {
        qWarning("%s", python.readAllStandardError().constData());
        QTest::qFail("python3 failed", __FILE__, __LINE__);
        return {};
    }
    return python.readAllStandardOutput();
}
} // namespace

void createHistoryBeforeKassir(const QString& path) {
    QList<DbfColumn> columns = HistoryTable().Columns();
    // KASSIR and every field added after it go
    const auto kassir = std::find_if(columns.begin(), columns.end(),
                                     [](const DbfColumn& c) { return c.name == fields::KASSIR; });
    if (kassir == columns.end())
        qFatal("the history has no KASSIR");
    columns.erase(kassir, columns.end());
    QFile::remove(path);
    DbfFile::create(path, columns);
}

ToolRun runTool(const QString& program, const QStringList& args, const QByteArray& input) {
    QProcess process;
    process.setProcessEnvironment(childEnvironment());
    process.start(program, args);
    process.write(input);
    process.closeWriteChannel();
    ToolRun run;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QByteArray runPython(const QString& script, const QStringList& args) {
    return python(QStringList{QStringLiteral("-c"), script} + args);
}

QByteArray runPythonFile(const QString& file, const QStringList& args) {
    return python(QStringList{QStringLiteral(VARNEL_TESTS_DIR "/") + file} + args);
}

QStringList readColumn(const QString& path, const QString& field) {
    QStringList values;
    for (const auto& row : readWithDbfread(path))
        values << row.toObject()[field].toVariant().toString();
    return values;
}

QJsonArray readWithDbfread(const QString& path) {
    const QString script = QStringLiteral(R"(
import sys, json, datetime, dbfread
rows = []
for r in dbfread.DBF(sys.argv[1], char_decode_errors='strict'):
    rows.append({k: (v.isoformat() if isinstance(v, datetime.date) else v) for k, v in r.items()})
print(json.dumps(rows, ensure_ascii=True))
)");
    return QJsonDocument::fromJson(runPython(script, {path})).array();
}

} // namespace varnel::test
