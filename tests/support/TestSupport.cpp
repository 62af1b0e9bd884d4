#include "tests/support/TestSupport.h"

#include "store/DataModule6.h"
#include "store/Tables.h"
#include "store/engine/Errors.h"
#include "store/engine/Report.h"
#include "tools/newdesk/NewDesk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
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
}

ErrorRecorder::~ErrorRecorder() {
    SetErrorReporter({});
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

QByteArray runPython(const QString& script, const QStringList& args) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral("-c"), script} + args);
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning("%s", python.readAllStandardError().constData());
        QTest::qFail("python3 failed", __FILE__, __LINE__);
        return {};
    }
    return python.readAllStandardOutput();
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
