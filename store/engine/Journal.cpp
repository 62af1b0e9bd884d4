#include "store/engine/Journal.h"

#include "base/Errors.h"
#include "store/engine/FaultInjection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace varnel {

namespace {

constexpr char kMagic[8] = {'V', 'A', 'R', 'N', 'E', 'L', 'J', '1'};

std::uint64_t fnv1a(const char* data, std::size_t size) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= std::uint8_t(data[i]);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

void put(QByteArray& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

class Reader {
public:
    explicit Reader(const QByteArray& data) : m_data(data) {}
    std::uint64_t get(int bytes) {
        need(bytes);
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= std::uint64_t(std::uint8_t(m_data[m_at + i])) << (8 * i);
        m_at += bytes;
        return value;
    }
    QByteArray take(qsizetype size) {
        need(size);
        const QByteArray part = m_data.mid(m_at, size);
        m_at += size;
        return part;
    }
    bool ok() const { return m_ok; }
    qsizetype position() const { return m_at; }

private:
    void need(qsizetype size) {
        if (size < 0 || m_at + size > m_data.size()) {
            m_ok = false;
            throw EDatabaseError(QStringLiteral("Журнал незавершённой операции повреждён."));
        }
    }
    const QByteArray& m_data;
    qsizetype m_at = 0;
    bool m_ok = true;
};

[[noreturn]] void journalFailed(const QString& path, const QString& what, int error) {
    const QString reason = error == ENOSPC ? QStringLiteral("на диске нет места")
                                           : QString::fromLocal8Bit(std::strerror(error));
    throw EDatabaseError(QStringLiteral("Журнал операции «%1»: %2 (%3). Ничего не записано.")
                             .arg(QDir::toNativeSeparators(path), what, reason));
}

} // namespace

void WriteJournal(const QString& path, const QByteArray& bytes) {
    fault::Point();
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        journalFailed(path, QStringLiteral("не удалось создать"), errno);
    std::size_t done = 0;
    while (done < std::size_t(bytes.size())) {
        // Half the journal, then the rest: a crash can cut it anywhere.
        const std::size_t chunk = done == 0
                                      ? std::max<std::size_t>(1, std::size_t(bytes.size()) / 2)
                                      : std::size_t(bytes.size()) - done;
        try {
            fault::Point();
        } catch (...) {
            ::close(fd);
            ::unlink(native.constData());
            throw;
        }
        const auto put = ::write(fd, bytes.constData() + done, chunk);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            const int error = put < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(native.constData());
            journalFailed(path, QStringLiteral("не удалось записать"), error);
        }
        done += std::size_t(put);
    }
    if (DbfFile::syncEnabled() && ::fdatasync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(native.constData());
        journalFailed(path, QStringLiteral("не удалось записать"), error);
    }
    ::close(fd);
    DbfFile::syncFolder(QFileInfo(path).absolutePath());
}

void RemoveJournal(const QString& path) {
    fault::Point();
    // A journal left behind would be applied again at the next start, over whatever was
    // written after it: its removal either happens or is reported.
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT) {
        const int error = errno; // before anything else may set it
        throw EDatabaseError(
            QStringLiteral("Журнал операции «%1» не удалось удалить (%2).")
                .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(error))));
    }
    // The removal must be on disk before any later write to the tables, or a crash could
    // bring the journal back and apply it over newer work.
    DbfFile::syncFolder(QFileInfo(path).absolutePath());
}

QByteArray SealJournal(QByteArray body) {
    put(body, fnv1a(body.constData(), std::size_t(body.size())), 8);
    return body;
}

QByteArray EncodeJournal(const QList<JournalTable>& work) {
    QByteArray out(kMagic, sizeof kMagic);
    put(out, std::uint64_t(work.size()), 4);
    for (const JournalTable& table : work) {
        const QByteArray name = QFile::encodeName(table.name);
        put(out, std::uint64_t(name.size()), 2);
        out += name;
        put(out, table.headerLength, 4);
        put(out, table.recordLength, 4);
        put(out, table.oldCount, 4);
        put(out, table.newCount, 4);
        put(out, std::uint64_t(table.changes.size()), 4);
        for (const DbfFile::Change& change : table.changes) {
            put(out, change.index, 4);
            put(out, change.before.isEmpty() ? 0 : 1, 1);
            out += change.before;
            out += change.after;
        }
    }
    return SealJournal(out);
}

std::optional<QList<JournalTable>> DecodeJournal(const QByteArray& bytes) {
    if (bytes.size() < qsizetype(sizeof kMagic) + 12 ||
        !bytes.startsWith(QByteArray(kMagic, sizeof kMagic)))
        return std::nullopt;
    const qsizetype body = bytes.size() - 8;
    Reader seal(bytes);
    (void)seal.take(body);
    if (seal.get(8) != fnv1a(bytes.constData(), std::size_t(body)))
        return std::nullopt;
    Reader in(bytes);
    (void)in.take(sizeof kMagic);
    // Sealed is not proof of sense: a journal is a file like any other, and the program
    // writes what it says. Only a table of the folder itself, only records of the table's new
    // length, only as many appends as it grows by.
    const auto damaged = [] {
        throw EDatabaseError(QStringLiteral("Журнал незавершённой операции повреждён."));
    };
    QList<JournalTable> work;
    const auto tables = in.get(4);
    for (std::uint64_t t = 0; t < tables; ++t) {
        JournalTable table;
        table.name = QFile::decodeName(in.take(qsizetype(in.get(2))));
        if (QFileInfo(table.name).fileName() != table.name ||
            table.name.contains(QLatin1Char('\\')) ||
            !table.name.endsWith(QLatin1String(".DBF"), Qt::CaseInsensitive))
            damaged();
        table.headerLength = std::uint32_t(in.get(4));
        table.recordLength = std::uint32_t(in.get(4));
        table.oldCount = std::uint32_t(in.get(4));
        table.newCount = std::uint32_t(in.get(4));
        if (table.recordLength == 0 || table.newCount < table.oldCount)
            damaged();
        const auto changes = in.get(4);
        std::uint64_t appended = 0;
        for (std::uint64_t c = 0; c < changes; ++c) {
            DbfFile::Change change;
            change.index = std::uint32_t(in.get(4));
            if (change.index >= table.newCount)
                damaged();
            if (in.get(1) != 0)
                change.before = in.take(qsizetype(table.recordLength));
            else
                ++appended;
            change.after = in.take(qsizetype(table.recordLength));
            table.changes << change;
        }
        if (table.newCount - table.oldCount > appended)
            damaged();
        work << table;
    }
    if (in.position() != body)
        damaged(); // bytes between the work and the seal
    return work;
}

QString JournalFileName() {
    return QStringLiteral("VARNEL.JRN");
}

void RecoverInterruptedWork(const QString& folder) {
    const QString journal = QDir(folder).filePath(JournalFileName());
    QFile file(journal);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly))
        throw EDatabaseError(QStringLiteral("Журнал незавершённой операции «%1» не читается: %2")
                                 .arg(QDir::toNativeSeparators(journal), file.errorString()));
    const QByteArray bytes = file.readAll();
    file.close();
    const auto work = DecodeJournal(bytes);
    if (!work) {
        RemoveJournal(journal); // sealed never: no table was touched
        return;
    }
    // The tables as the interrupted work left them: between their old and new length, the
    // header's count perhaps ahead of what the file holds (a crash while a failed commit was
    // being put back). They are read without being mended, since the journal's after-images
    // mend them, but only once every table is known to be the one the journal was written for.
    const auto notOurs = [](const JournalTable& table) {
        throw EDatabaseError(QStringLiteral("Журнал незавершённой операции не подходит к таблице "
                                            "«%1»: таблица заменена. Ничего не изменено.")
                                 .arg(table.name));
    };
    for (const JournalTable& table : *work) {
        DbfFile dbf(QDir(folder).filePath(table.name));
        dbf.open(DbfFile::Access::Read, DbfFile::Truncated::Cut);
        if (std::uint32_t(dbf.headerLength()) != table.headerLength ||
            std::uint32_t(dbf.recordLength()) != table.recordLength ||
            dbf.recordCount() < table.oldCount || dbf.recordCount() > table.newCount)
            notOurs(table);
        // Each record the work changed holds what it held before the work or what the work
        // wrote; a table of the same layout put in its place holds other records.
        for (const DbfFile::Change& change : table.changes) {
            if (change.before.isEmpty())
                continue;
            if (change.index >= dbf.recordCount())
                notOurs(table);
            const QByteArray now(dbf.record(change.index), qsizetype(table.recordLength));
            if (now != change.before && now != change.after)
                notOurs(table);
        }
    }
    for (const JournalTable& table : *work) {
        DbfFile dbf(QDir(folder).filePath(table.name));
        dbf.open(DbfFile::Access::ReadWrite, DbfFile::Truncated::Cut);
        dbf.applyChanges(table.changes, table.newCount);
    }
    // Only the work done is proof that the tables are whole again: each opens as any start
    // opens it, or the journal stays for the operator to see.
    for (const JournalTable& table : *work) {
        DbfFile dbf(QDir(folder).filePath(table.name));
        dbf.open();
    }
    RemoveJournal(journal);
}

} // namespace varnel
