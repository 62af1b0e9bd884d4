#include "store/engine/Transaction.h"

#include "store/engine/DataSet.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Errors.h"
#include "store/engine/FaultInjection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace varnel {

// The journal: the after-images (and before-images) of every record a transaction changes,
// per table, sealed by a checksum. Written and synced before any table is touched, removed
// once every table holds the work. A sealed journal found at start-up is applied again; an
// unsealed one means no table was touched, and it is dropped.
//
//   "VARNELJ1", u32 tables,
//   per table: u16 name length, name, u32 header length, u32 record length, u32 old count,
//              u32 new count, u32 changes, per change: u32 index, u8 has-before, [before], after
//   u64 FNV-1a checksum of everything before it.

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

struct TableWork {
    QString name;
    std::uint32_t headerLength = 0, recordLength = 0, oldCount = 0, newCount = 0;
    QList<DbfFile::Change> changes;
};

[[noreturn]] void journalFailed(const QString& path, const QString& what, int error) {
    const QString reason = error == ENOSPC ? QStringLiteral("на диске нет места")
                                           : QString::fromLocal8Bit(std::strerror(error));
    throw EDatabaseError(QStringLiteral("Журнал операции «%1»: %2 (%3). Ничего не записано.")
                             .arg(QDir::toNativeSeparators(path), what, reason));
}

void syncFolder(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (DbfFile::syncEnabled())
        (void)::fsync(fd);
    ::close(fd);
}

void writeJournal(const QString& path, const QByteArray& bytes) {
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
    syncFolder(QFileInfo(path).absolutePath());
}

void removeJournal(const QString& path) {
    fault::Point();
    ::unlink(QFile::encodeName(path).constData());
    // The removal must be on disk before any later write to the tables, or a crash could
    // bring the journal back and apply it over newer work.
    syncFolder(QFileInfo(path).absolutePath());
}

QByteArray encodeJournal(const QList<TableWork>& work) {
    QByteArray out(kMagic, sizeof kMagic);
    put(out, std::uint64_t(work.size()), 4);
    for (const TableWork& table : work) {
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
    put(out, fnv1a(out.constData(), std::size_t(out.size())), 8);
    return out;
}

// The journal's tables, or nothing when it is not sealed (the crash came before any
// table was touched).
std::optional<QList<TableWork>> decodeJournal(const QByteArray& bytes) {
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
    QList<TableWork> work;
    const auto tables = in.get(4);
    for (std::uint64_t t = 0; t < tables; ++t) {
        TableWork table;
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

} // namespace

QString JournalFileName() {
    return QStringLiteral("VARNEL.JRN");
}

TTransaction::TTransaction(std::initializer_list<TDataSet*> dataSets) {
    try {
        for (TDataSet* dataSet : dataSets) {
            if (!dataSet || !dataSet->Active())
                continue;
            dataSet->BeginTransaction();
            m_dataSets.push_back(dataSet);
        }
    } catch (...) {
        Rollback();
        throw;
    }
}

TTransaction::~TTransaction() {
    if (m_open)
        Rollback();
}

void TTransaction::Rollback() {
    if (!m_open)
        return;
    m_open = false;
    for (TDataSet* dataSet : m_dataSets) {
        try {
            dataSet->EndTransaction(false);
        } catch (...) {
            // A control that cannot show the restored record must not stop the others.
        }
    }
}

void TTransaction::Commit() {
    if (!m_open)
        throw EDatabaseError(QStringLiteral("Транзакция уже завершена."));

    QList<TableWork> work;
    QList<DbfFile*> files;
    QString folder;
    for (TDataSet* dataSet : m_dataSets) {
        DbfFile* file = dataSet->File();
        const QList<DbfFile::Change> changes = file->overlayChanges();
        if (changes.isEmpty())
            continue;
        const QString tableFolder = QFileInfo(file->path()).absolutePath();
        if (folder.isEmpty())
            folder = tableFolder;
        else if (folder != tableFolder)
            throw EDatabaseError(QStringLiteral("Таблицы одной операции лежат в разных папках."));
        TableWork table;
        table.name = QFileInfo(file->path()).fileName();
        table.headerLength = std::uint32_t(file->headerLength());
        table.recordLength = std::uint32_t(file->recordLength());
        table.oldCount = file->committedCount();
        table.newCount = file->recordCount();
        table.changes = changes;
        work << table;
        files << file;
    }

    if (!work.isEmpty()) {
        // Space and rights first: a full disk or a read-only table stops the work here,
        // before anything is written.
        for (qsizetype i = 0; i < files.size(); ++i) {
            files[i]->checkWritable();
            files[i]->reserveForAppends(work[i].newCount);
        }
        const QString journal = QDir(folder).filePath(JournalFileName());
        writeJournal(journal, encodeJournal(work));

        // Past this point the tables may be half written. Whatever stops the work here leaves
        // either the tables as before (all put back, journal gone) or a sealed journal that the
        // next start applies; in that case nothing more may be done on these tables now.
        const auto stopUntilRestart = [this](const QString& why) {
            m_open = false;
            for (TDataSet* dataSet : m_dataSets)
                dataSet->Close();
            throw EDatabaseError(
                QStringLiteral("%1\nОперация не завершена, таблицы закрыты. Перезапустите "
                               "программу: при запуске операция будет доведена до конца.")
                    .arg(why));
        };
        qsizetype applied = 0;
        try {
            for (; applied < files.size(); ++applied)
                files[applied]->applyChanges(work[applied].changes, work[applied].newCount);
        } catch (const EDatabaseError& error) {
            try {
                for (qsizetype i = 0; i <= applied && i < files.size(); ++i)
                    files[i]->revertChanges(work[i].changes, work[i].oldCount);
                removeJournal(journal);
            } catch (const EDatabaseError&) {
                stopUntilRestart(error.message());
            }
            Rollback();
            throw;
        }
        try {
            removeJournal(journal);
        } catch (const EDatabaseError& error) {
            stopUntilRestart(error.message());
        }
    }

    m_open = false;
    for (TDataSet* dataSet : m_dataSets) {
        if (dataSet->File() && dataSet->File()->inOverlay())
            dataSet->File()->dropOverlay(); // nothing changed in this one
        dataSet->EndTransaction(true);
    }
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
    const auto work = decodeJournal(bytes);
    if (!work) {
        removeJournal(journal); // sealed never: no table was touched
        return;
    }
    for (const TableWork& table : *work) {
        DbfFile dbf(QDir(folder).filePath(table.name));
        dbf.open();
        // A crash during the work leaves the table between its old and its new length.
        if (std::uint32_t(dbf.headerLength()) != table.headerLength ||
            std::uint32_t(dbf.recordLength()) != table.recordLength ||
            dbf.committedCount() < table.oldCount || dbf.committedCount() > table.newCount)
            throw EDatabaseError(
                QStringLiteral("Журнал незавершённой операции не подходит к таблице "
                               "«%1»: таблица заменена. Ничего не изменено.")
                    .arg(table.name));
    }
    for (const TableWork& table : *work) {
        DbfFile dbf(QDir(folder).filePath(table.name));
        dbf.open();
        dbf.applyChanges(table.changes, table.newCount);
    }
    removeJournal(journal);
}

} // namespace varnel
