#include "tests/support/TestSupport.h"

#include "store/DataModule6.h"
#include "store/Tables.h"
#include "store/engine/DataSet.h"
#include "store/engine/Errors.h"
#include "store/engine/Report.h"
#include "tools/newdesk/NewDesk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace varnel::test {

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

QStringList startTablesIn(const QString& folder) {
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder);
    QStringList messages;
    try {
        TDataModule6 module;
        module.DataModuleCreate(); // as its creation handler runs it, the error kept here
    } catch (const EVarnelError& error) {
        messages << error.message();
    }
    QDir::setCurrent(previous);
    return messages;
}

namespace {
QByteArray python(const QStringList& args) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), args);
    if (!python.waitForFinished(120000) || python.exitCode() != 0) {
        qWarning("%s", python.readAllStandardError().constData());
        QTest::qFail("python3 failed", __FILE__, __LINE__);
        return {};
    }
    return python.readAllStandardOutput();
}
} // namespace

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
