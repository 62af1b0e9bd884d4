#include "store/Backup.h"

#include "base/Errors.h"
#include "store/engine/DbfFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace varnel {

namespace {

const QString kDayFormat = QStringLiteral("yyyy-MM-dd");

[[noreturn]] void copyFailed(const QString& what, const QString& to, int error) {
    const QString reason = error == ENOSPC ? QStringLiteral("на диске нет места")
                                           : QString::fromLocal8Bit(std::strerror(error));
    throw EDatabaseError(QStringLiteral("Резервная копия «%1» не сделана: %2 (%3).")
                             .arg(QDir::toNativeSeparators(to), what, reason));
}

// Copies a file whole or not at all: into a temporary file beside the target, synced, then
// renamed over it.
void copyWhole(const QString& from, const QString& to) {
    const QString part = to + QStringLiteral(".part");
    const QByteArray nativePart = QFile::encodeName(part);
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        copyFailed(QStringLiteral("таблица не читается"), to, errno);
    const int out = ::open(nativePart.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        copyFailed(QStringLiteral("файл не создаётся"), to, error);
    }
    const auto fail = [&](const QString& what, int error) {
        ::close(in);
        ::close(out);
        ::unlink(nativePart.constData());
        copyFailed(what, to, error);
    };
    char buffer[1 << 16];
    for (;;) {
        const auto got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            fail(QStringLiteral("таблица не читается"), errno);
        if (got == 0)
            break;
        for (ssize_t done = 0; done < got;) {
            const auto put = ::write(out, buffer + done, std::size_t(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                fail(QStringLiteral("не записывается"), put < 0 ? errno : ENOSPC);
            done += put;
        }
    }
    if (DbfFile::syncEnabled() && ::fdatasync(out) != 0)
        fail(QStringLiteral("не записывается"), errno);
    ::close(in);
    if (::close(out) != 0) {
        const int error = errno;
        ::unlink(nativePart.constData());
        copyFailed(QStringLiteral("не записывается"), to, error);
    }
    if (::rename(nativePart.constData(), QFile::encodeName(to).constData()) != 0) {
        const int error = errno;
        ::unlink(nativePart.constData());
        copyFailed(QStringLiteral("не переименовывается"), to, error);
    }
    DbfFile::syncFolder(QFileInfo(to).absolutePath());
}

bool readsSoundly(const QString& path) {
    try {
        DbfFile file(path);
        file.open(DbfFile::Access::Read);
        return true;
    } catch (const EDatabaseError&) {
        return false;
    }
}

// The day folders of backup/, newest first.
QStringList days(const QDir& backup) {
    QStringList found;
    for (const QString& name : backup.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        if (QDate::fromString(name, kDayFormat).isValid())
            found << name;
    std::reverse(found.begin(), found.end());
    return found;
}

} // namespace

QString BackupFolderName() {
    return QStringLiteral("backup");
}

void BackUpTables(const QString& folder, const QStringList& tables, const QDate& today) {
    const QDir root(folder);
    const QString day = BackupFolderName() + QLatin1Char('/') + today.toString(kDayFormat);
    if (!root.mkpath(day))
        copyFailed(QStringLiteral("папка не создаётся"), root.filePath(day), errno);
    for (const QString& table : tables) {
        const QString copy = root.filePath(day + QLatin1Char('/') + table);
        const QString original = root.filePath(table);
        if (QFileInfo::exists(copy) || !QFileInfo::exists(original) || !readsSoundly(original))
            continue;
        copyWhole(original, copy);
    }
    // Which copies go is decided by their names alone, never by how far they lie from today: a
    // clock a year ahead would otherwise take every copy with it. Today's copy stays even when
    // the clock is behind and thirty later days are there.
    const QDir backup(root.filePath(BackupFolderName()));
    const QStringList kept = days(backup);
    for (qsizetype i = kBackupDays; i < kept.size(); ++i)
        if (kept[i] != today.toString(kDayFormat))
            QDir(backup.filePath(kept[i])).removeRecursively();
}

void BackUpHistory(const QString& folder, const QString& history) {
    const QDir root(folder);
    const QString original = root.filePath(history);
    const QString copy = root.filePath(BackupFolderName() + QLatin1Char('/') + history);
    if (!QFileInfo::exists(original) || !readsSoundly(original))
        return;
    if (!root.mkpath(BackupFolderName()))
        copyFailed(QStringLiteral("папка не создаётся"), root.filePath(BackupFolderName()), errno);
    if (!QFileInfo::exists(copy) || !readsSoundly(copy)) {
        copyWhole(original, copy);
        return;
    }
    DbfFile from(original);
    from.open(DbfFile::Access::Read);
    DbfFile to(copy);
    to.open();
    const std::uint32_t have = to.recordCount();
    const auto sameRecord = [&](std::uint32_t at) {
        const QByteArray mine(to.record(at), to.recordLength());
        return QByteArray(from.record(at), from.recordLength()) == mine;
    };
    const bool prefix = to.headerLength() == from.headerLength() &&
                        to.recordLength() == from.recordLength() && have <= from.recordCount() &&
                        (have == 0 || (sameRecord(0) && sameRecord(have - 1)));
    if (!prefix) {
        // The history is not the copy's continuation (replaced, or mended shorter): the copy is
        // kept under a name of its own rather than lost, and a new one begun.
        to.close();
        const QString kept = root.filePath(
            BackupFolderName() +
            QStringLiteral("/HISTORY-%1.DBF")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
        if (::rename(QFile::encodeName(copy).constData(), QFile::encodeName(kept).constData()) != 0)
            copyFailed(QStringLiteral("прежняя копия не переименовывается"), copy, errno);
        copyWhole(original, copy);
        return;
    }
    // In pieces, each written through the file's own ordered writes: a crash leaves the copy
    // with whole records only, and the next start goes on from there.
    constexpr std::uint32_t kPiece = 20000;
    for (std::uint32_t at = have; at < from.recordCount();) {
        const std::uint32_t end = std::min(from.recordCount(), at + kPiece);
        to.beginOverlay();
        for (; at < end; ++at)
            to.append(QByteArray(from.record(at), from.recordLength()));
        to.applyChanges(to.overlayChanges(), end);
    }
}

QString NewestBackupOf(const QString& folder, const QString& table, const QDate& today) {
    if (QFileInfo::exists(QDir(folder).filePath(BackupFolderName() + QLatin1Char('/') + table)))
        return BackupFolderName() + QLatin1Char('/') + table;
    const QDir backup(QDir(folder).filePath(BackupFolderName()));
    // A copy dated after today was made under a wrong clock: it is offered only when no copy of
    // today or before holds the table.
    QStringList ordered, ahead;
    for (const QString& day : days(backup))
        (QDate::fromString(day, kDayFormat) <= today ? ordered : ahead).append(day);
    std::reverse(ahead.begin(), ahead.end()); // the nearest to today first
    ordered += ahead;
    for (const QString& day : ordered)
        if (QFileInfo::exists(backup.filePath(day + QLatin1Char('/') + table)))
            return BackupFolderName() + QLatin1Char('/') + day + QLatin1Char('/') + table;
    return {};
}

QString KeepDamagedCopy(const QString& folder, const QString& table) {
    const QDir root(folder);
    const QString damaged = BackupFolderName() + QStringLiteral("/damaged");
    if (!root.mkpath(damaged))
        copyFailed(QStringLiteral("папка не создаётся"), root.filePath(damaged), errno);
    const QFileInfo name(table);
    const QString copy = damaged + QLatin1Char('/') + name.completeBaseName() + QLatin1Char('-') +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                         QLatin1Char('.') + name.suffix();
    copyWhole(root.filePath(table), root.filePath(copy));
    return copy;
}

} // namespace varnel
