#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace varnel::test {

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

// Collects what the standard error box would show.
class ErrorRecorder {
public:
    ErrorRecorder();
    ~ErrorRecorder();
    QStringList messages;
};

// The four tables of a working folder, copied into a new temporary folder.
std::unique_ptr<QTemporaryDir> copyTables(const QString& from);

// Runs this test program again as a worker (`flag POINT FOLDER`) that dies at the given write
// point. Returns its exit code: 77 when it died there, 0 when the work ended first; any other
// fails the test and returns -1.
int runCrashWorker(const char* flag, int point, const QString& folder);

// What every start does first, in the given folder: the interrupted work finished or dropped,
// the tables opened. Returns the messages it reported (none when all went well).
QStringList startTablesIn(const QString& folder);

// Runs /usr/bin/python3 with a script; fails the test on a non-zero exit. Returns stdout.
QByteArray runPython(const QString& script, const QStringList& args = {});

// The records of a table as another dBASE reader (dbfread) sees them: one JSON object per
// record, values as dbfread gives them (dates as "YYYY-MM-DD"); deleted records skipped.
QJsonArray readWithDbfread(const QString& path);

} // namespace varnel::test
