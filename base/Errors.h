#pragma once

#include <QString>

#include <stdexcept>

namespace varnel {

// Every error that reaches the operator carries a message in Russian that says what went
// wrong and, where it can, what to do about it. The standard error box shows message().
class EVarnelError : public std::runtime_error {
public:
    explicit EVarnelError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

// Text the operator typed, quoted in a message: a long text is cut, so that a box of ten
// thousand characters does not become an error box wider than the screen.
inline QString Quoted(const QString& text) {
    constexpr qsizetype kShown = 40;
    if (text.size() <= kShown)
        return QStringLiteral("«%1»").arg(text);
    qsizetype cut = kShown;
    if (text.at(cut - 1).isHighSurrogate())
        --cut; // never half a character
    return QStringLiteral("«%1…» (%2 знаков)").arg(text.left(cut)).arg(text.size());
}

// A value that cannot be converted to what is asked of it: text that is not a number or a
// date, a number too large for its field, a character the table's code page lacks.
class EConvertError : public EVarnelError {
public:
    using EVarnelError::EVarnelError;
};

// A failure of the table engine: a file that is missing, unreadable, damaged or foreign,
// an operation in the wrong state, a write that did not reach the disk.
class EDatabaseError : public EVarnelError {
public:
    using EVarnelError::EVarnelError;
};

// A table whose header claims more records than the file holds whole. Nothing was written;
// opened again with DbfFile::Truncated::Cut it keeps the whole records.
class ETruncatedTable : public EDatabaseError {
public:
    ETruncatedTable(const QString& message, quint32 claimed, quint32 whole)
        : EDatabaseError(message), m_claimed(claimed), m_whole(whole) {}
    quint32 claimed() const { return m_claimed; }
    quint32 whole() const { return m_whole; }

private:
    quint32 m_claimed;
    quint32 m_whole;
};

// A table whose file goes on, after its last whole record, with bytes that are no record of it
// (their first byte is no deletion flag: another program wrote there). Nothing was written;
// opened again with DbfFile::Truncated::Cut it keeps its records and drops those bytes.
class EStrayTail : public EDatabaseError {
public:
    EStrayTail(const QString& message, quint32 whole, quint64 stray)
        : EDatabaseError(message), m_whole(whole), m_stray(stray) {}
    quint32 whole() const { return m_whole; }
    quint64 stray() const { return m_stray; }

private:
    quint32 m_whole;
    quint64 m_stray;
};

// The books' server could not do what was asked: it cannot be reached, the connection broke,
// it refused the statement, or a lock was not had in time. The message names the server and
// says why. Nothing of the action was written, except where `Unknown` says the server may
// have committed it (the break came while it was committing).
class EServerError : public EDatabaseError {
public:
    EServerError(const QString& message, bool broken, bool unknown = false)
        : EDatabaseError(message), m_broken(broken), m_unknown(unknown) {}
    bool Broken() const { return m_broken; }   // the connection is gone: a retry reconnects
    bool Unknown() const { return m_unknown; } // whether the work was committed is not known

private:
    bool m_broken;
    bool m_unknown;
};

} // namespace varnel
