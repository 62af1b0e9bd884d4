#include "store/engine/DbfFile.h"

#include "base/Errors.h"
#include "store/engine/FaultInjection.h"

#include <QDate>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnel {

namespace {

using dbf::kEndOfFile;
constexpr std::size_t kBlockBytes = 256 * 1024;

std::atomic<bool> g_syncEnabled{true};

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

DbfFile::DbfFile(const QString& path) : m_path(path) {}

DbfFile::~DbfFile() {
    close();
}

const char* DbfFile::recordRun(std::uint32_t index, int step, std::uint32_t& run) {
    const char* at = record(index);
    if (m_overlay && !m_dirty.empty()) {
        run = 1; // records held by a transaction are not in the block
        return at;
    }
    const std::uint32_t inBlock = std::uint32_t(m_block.size() / m_recordLength);
    run = step > 0 ? m_blockFirst + inBlock - index : index - m_blockFirst + 1;
    return at;
}

QString DbfFile::displayName() const {
    return QFileInfo(m_path).fileName();
}

void DbfFile::syncFolder(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (g_syncEnabled)
        (void)::fsync(fd);
    ::close(fd);
}

void DbfFile::setSyncEnabled(bool enabled) {
    g_syncEnabled = enabled;
}
bool DbfFile::syncEnabled() {
    return g_syncEnabled;
}

void DbfFile::fail(const QString& what) const {
    throw EDatabaseError(QStringLiteral("Таблица «%1»: %2").arg(displayName(), what));
}

void DbfFile::failIo(const QString& action, int error) const {
    QString reason = errorText(error);
    if (error == ENOSPC)
        reason = QStringLiteral("на диске нет места");
    else if (error == EACCES || error == EPERM || error == EROFS)
        reason = QStringLiteral("нет права на запись");
    fail(QStringLiteral("%1 не удалось (%2). Данные этого действия не сохранены.")
             .arg(action, reason));
}

void DbfFile::create(const QString& path, const QList<DbfColumn>& columns) {
    const QByteArray file = dbf::EmptyTable(columns, QDate::currentDate());
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw EDatabaseError(
            QStringLiteral("Не удалось создать таблицу «%1»: %2.")
                .arg(path, errno == EEXIST ? QStringLiteral("файл уже есть") : errorText(errno)));
    }
    const auto written = ::write(fd, file.constData(), std::size_t(file.size()));
    const bool ok = written == file.size() && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!ok) {
        ::unlink(native.constData());
        throw EDatabaseError(
            QStringLiteral("Не удалось записать таблицу «%1»: %2.").arg(path, errorText(error)));
    }
}

void DbfFile::open(Access access, Truncated truncated) {
    if (isOpen())
        return;
    const QByteArray native = QFile::encodeName(m_path);
    int fd = access == Access::Read ? -1 : ::open(native.constData(), O_RDWR | O_CLOEXEC);
    m_readOnly = false;
    if (access == Access::Read ||
        (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))) {
        fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
        m_readOnly = true;
    }
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            fail(QStringLiteral("файл не найден в рабочей папке (%1).")
                     .arg(QFileInfo(m_path).absolutePath()));
        fail(QStringLiteral("файл не удалось открыть (%1).").arg(errorText(error)));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        fail(QStringLiteral("это не обычный файл."));
    }
    m_fd = fd;
    m_nativePath = QFile::encodeName(QFileInfo(m_path).absoluteFilePath());
    try {
        readHeader();
        repairTail(std::uint64_t(info.st_size), truncated);
    } catch (...) {
        close();
        throw;
    }
}

void DbfFile::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_block.clear();
    m_blockRecords = 0;
    m_count = 0;
    m_codec.reset();
}

const QList<DbfColumn>& DbfFile::columns() const {
    static const QList<DbfColumn> none;
    return m_codec ? m_codec->columns() : none;
}

void DbfFile::readHeader() {
    QByteArray fixed(dbf::kHeaderSize, '\0');
    const auto got = ::pread(m_fd, fixed.data(), std::size_t(fixed.size()), 0);
    if (got < 0)
        fail(QStringLiteral("заголовок не читается (%1).").arg(errorText(errno)));
    const dbf::Header header =
        dbf::ParseHeader(QByteArrayView(fixed.constData(), got), displayName());
    m_count = header.count;
    m_headerLength = header.headerLength;
    m_recordLength = header.recordLength;
    m_languageDriver = header.languageDriver;

    QByteArray descriptors(m_headerLength - dbf::kHeaderSize, '\0');
    const auto read =
        ::pread(m_fd, descriptors.data(), std::size_t(descriptors.size()), dbf::kHeaderSize);
    if (read != descriptors.size())
        fail(QStringLiteral("файл обрезан внутри заголовка."));
    m_codec =
        std::make_unique<DbfCodec>(dbf::ParseColumns(descriptors, m_recordLength, displayName()),
                                   m_recordLength, m_languageDriver, displayName());
    m_blockRecords =
        std::max<std::uint32_t>(1, std::uint32_t(kBlockBytes / std::size_t(m_recordLength)));
}

// The header's count must never claim more than the file holds. Whole records beyond the
// count are those of an append whose count update a crash cut off: they are taken in. A
// partial record at the end is dropped.
void DbfFile::repairTail(std::uint64_t fileSize, Truncated truncated) {
    const std::uint64_t dataStart = std::uint64_t(m_headerLength);
    const std::uint64_t claimed =
        dataStart + std::uint64_t(m_count) * std::uint64_t(m_recordLength);
    if (fileSize < claimed) {
        const auto whole = std::uint32_t(
            fileSize < dataStart ? 0 : (fileSize - dataStart) / std::uint64_t(m_recordLength));
        if (truncated == Truncated::Refuse)
            throw ETruncatedTable(
                QStringLiteral("Таблица «%1»: файл обрезан: в заголовке %2 записей, а в файле "
                               "только %3 целых.")
                    .arg(displayName())
                    .arg(m_count)
                    .arg(whole),
                m_count, whole);
        if (fileSize < dataStart)
            fail(QStringLiteral("файл обрезан внутри заголовка."));
        m_count = whole;
        if (m_readOnly)
            return;
        // The partial record goes, the end of the table is marked, and the header counts what
        // is whole: in that order, so that a crash in between leaves a file this repairs again.
        const std::uint64_t end = dataStart + std::uint64_t(whole) * std::uint64_t(m_recordLength);
        const char eof = kEndOfFile;
        if (::ftruncate(m_fd, off_t(end)) != 0 || ::pwrite(m_fd, &eof, 1, off_t(end)) != 1)
            failIo(QStringLiteral("Восстановление конца файла"), errno);
        sync("Восстановление конца файла");
        writeHeaderCount(whole);
        sync("Восстановление заголовка");
        return;
    }
    if (fileSize == claimed)
        return; // no end-of-file byte: other tools write it so, and readers accept it
    char next = 0;
    if (::pread(m_fd, &next, 1, off_t(claimed)) != 1)
        fail(QStringLiteral("файл не читается (%1).").arg(errorText(errno)));
    if (next == kEndOfFile)
        return; // whatever follows the end-of-file byte is no record of this table

    // Take in the whole records that follow, while each starts with a deletion flag.
    std::uint32_t adopted = 0;
    std::uint64_t at = claimed;
    QByteArray buffer(m_recordLength, '\0');
    bool stray = false;
    while (at < fileSize) {
        const auto got = ::pread(m_fd, buffer.data(), std::size_t(m_recordLength), off_t(at));
        if (got <= 0)
            break;
        // What a crash leaves here starts as every record of ours does; anything else was
        // written by another program, and is not dropped unseen.
        if (buffer[0] != ' ' && buffer[0] != '*') {
            stray = buffer[0] != kEndOfFile;
            break;
        }
        if (got != m_recordLength)
            break; // the part of a record a crash cut off
        ++adopted;
        at += std::uint64_t(m_recordLength);
    }
    if (m_readOnly) {
        m_count += adopted; // cannot mend the file; read what is whole
        return;
    }
    if (stray && truncated == Truncated::Refuse)
        throw EStrayTail(QStringLiteral("Таблица «%1»: за последней записью в файле %2 байт, "
                                        "которые не являются записями таблицы.")
                             .arg(displayName())
                             .arg(fileSize - at),
                         m_count + adopted, fileSize - at);
    const char eof = kEndOfFile;
    if (::pwrite(m_fd, &eof, 1, off_t(at)) != 1 || ::ftruncate(m_fd, off_t(at + 1)) != 0)
        failIo(QStringLiteral("Восстановление конца файла"), errno);
    sync("Восстановление конца файла");
    writeHeaderCount(m_count + adopted);
    sync("Восстановление заголовка");
}

int DbfFile::columnIndex(const QString& name) const {
    const QList<DbfColumn>& all = columns();
    for (int i = 0; i < all.size(); ++i)
        if (all[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

const char* DbfFile::record(std::uint32_t index) {
    if (m_overlay && !m_dirty.empty()) {
        if (const auto it = m_dirty.find(index); it != m_dirty.end())
            return it->second.constData();
    }
    if (index >= m_count)
        fail(QStringLiteral("запись %1 за концом таблицы.").arg(index + 1));
    if (m_block.isEmpty() || index < m_blockFirst || index >= m_blockFirst + m_blockRecords ||
        qsizetype((index - m_blockFirst + 1) * std::uint64_t(m_recordLength)) > m_block.size()) {
        // Walking back (a record just before the block), the block that ends at the record is
        // read, so that stepping back costs one read per block, not one per record.
        std::uint32_t first = index;
        if (!m_block.isEmpty() && index < m_blockFirst && m_blockFirst - index <= m_blockRecords)
            first = index + 1 >= m_blockRecords ? index + 1 - m_blockRecords : 0;
        const std::uint32_t records = std::min(m_blockRecords, m_count - first);
        m_block.resize(qsizetype(records) * m_recordLength);
        const off_t offset = off_t(m_headerLength) + off_t(first) * off_t(m_recordLength);
        std::size_t done = 0;
        while (done < std::size_t(m_block.size())) {
            const auto got = ::pread(m_fd, m_block.data() + done,
                                     std::size_t(m_block.size()) - done, offset + off_t(done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                const int error = got < 0 ? errno : 0;
                m_block.clear();
                fail(error ? QStringLiteral("запись %1 не читается (%2).")
                                 .arg(index + 1)
                                 .arg(errorText(error))
                           : QStringLiteral("файл обрезан во время работы (запись %1).")
                                 .arg(index + 1));
            }
            done += std::size_t(got);
        }
        m_blockFirst = first;
    }
    return m_block.constData() + qsizetype(index - m_blockFirst) * m_recordLength;
}

void DbfFile::checkWritable(bool onDisk) const {
    if (!isOpen())
        fail(QStringLiteral("таблица закрыта."));
    if (m_readOnly)
        fail(QStringLiteral(
            "файл открыт только для чтения (нет права на запись). Изменение не сохранено."));
    // The file may have been made read-only since it was opened: the open handle could still
    // write, but whoever did it meant the books to stay as they are.
    if (onDisk && ::access(m_nativePath.constData(), W_OK) != 0)
        fail(QStringLiteral("файл стал доступен только для чтения (%1). Изменение не сохранено.")
                 .arg(errno == ENOENT ? QStringLiteral("файла больше нет в папке")
                                      : QStringLiteral("нет права на запись")));
}

void DbfFile::pwriteAll(const char* data, std::size_t size, std::uint64_t offset,
                        const char* what) {
    std::size_t done = 0;
    while (done < size) {
        const auto put = ::pwrite(m_fd, data + done, size - done, off_t(offset + done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            failIo(QString::fromUtf8(what), put < 0 ? errno : ENOSPC);
        done += std::size_t(put);
    }
}

void DbfFile::sync(const char* what) {
    fault::Point();
    if (!g_syncEnabled)
        return;
    if (::fdatasync(m_fd) != 0)
        failIo(QString::fromUtf8(what), errno);
}

void DbfFile::writeHeaderCount(std::uint32_t count) {
    const QByteArray bytes = dbf::DateAndCount(QDate::currentDate(), count);
    pwriteAll(bytes.constData(), std::size_t(bytes.size()), 1, "Запись заголовка");
    m_count = count;
    m_touched = QDate::currentDate();
}

std::uint32_t DbfFile::append(const QByteArray& record) {
    checkWritable(!m_overlay); // a transaction asks the file once, when it commits
    if (record.size() != m_recordLength)
        fail(QStringLiteral("запись неверной длины."));
    if (recordCount() == std::numeric_limits<std::uint32_t>::max())
        fail(QStringLiteral("таблица заполнена до предела."));
    if (m_overlay) {
        m_dirty[m_overlayCount] = record;
        return m_overlayCount++;
    }
    const std::uint64_t offset =
        std::uint64_t(m_headerLength) + std::uint64_t(m_count) * std::uint64_t(m_recordLength);
    QByteArray bytes = record;
    bytes.append(kEndOfFile);
    m_block.clear();
    try {
        pwriteAll(bytes.constData(), std::size_t(bytes.size()), offset, "Запись новой строки");
        sync("Запись новой строки");
    } catch (const EDatabaseError&) {
        // Put the end of the table back where it was; the header never counted the record.
        const char eof = kEndOfFile;
        if (::pwrite(m_fd, &eof, 1, off_t(offset)) == 1 &&
            ::ftruncate(m_fd, off_t(offset + 1)) == 0)
            (void)::fdatasync(m_fd);
        throw;
    }
    const std::uint32_t index = m_count;
    writeHeaderCount(m_count + 1);
    sync("Запись заголовка");
    return index;
}

// Keeps the read block in step with a write, rather than reading it again.
void DbfFile::patchCache(std::uint32_t index, const QByteArray& record) {
    if (m_block.isEmpty() || index < m_blockFirst)
        return;
    const std::uint64_t at = std::uint64_t(index - m_blockFirst) * std::uint64_t(m_recordLength);
    if (at + std::uint64_t(m_recordLength) <= std::uint64_t(m_block.size()))
        std::memcpy(m_block.data() + at, record.constData(), std::size_t(m_recordLength));
}

void DbfFile::beginOverlay() {
    if (m_overlay)
        fail(QStringLiteral("вложенные транзакции не поддерживаются."));
    m_overlay = true;
    m_overlayCount = m_count;
    m_dirty.clear();
}

void DbfFile::dropOverlay() {
    m_overlay = false;
    m_dirty.clear();
    m_overlayCount = m_count;
}

QList<DbfFile::Change> DbfFile::overlayChanges() {
    QList<Change> changes;
    changes.reserve(qsizetype(m_dirty.size()));
    for (const auto& [index, after] : m_dirty) {
        Change change;
        change.index = index;
        change.after = after;
        if (index < m_count) {
            // The stored bytes, read past the overlay.
            m_overlay = false;
            change.before = QByteArray(record(index), m_recordLength);
            m_overlay = true;
            if (change.before == after)
                continue;
        }
        changes << change;
    }
    return changes;
}

void DbfFile::reserveForAppends(std::uint32_t newCount) {
    checkWritable();
    if (newCount <= m_count)
        return;
    const off_t from = off_t(m_headerLength) + off_t(m_count) * off_t(m_recordLength);
    const off_t length = off_t(newCount - m_count) * off_t(m_recordLength) + 1;
    if (::fallocate(m_fd, FALLOC_FL_KEEP_SIZE, from, length) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS)
        failIo(QStringLiteral("Выделение места для новых записей"), errno);
}

void DbfFile::writeRecords(const QList<Change>& changes, bool after) {
    for (const Change& change : changes) {
        const QByteArray& bytes = after ? change.after : change.before;
        if (bytes.isEmpty())
            continue; // an appended record has nothing to put back
        pwriteAll(bytes.constData(), std::size_t(bytes.size()),
                  std::uint64_t(m_headerLength) +
                      std::uint64_t(change.index) * std::uint64_t(m_recordLength),
                  after ? "Запись изменений" : "Отмена изменений");
    }
}

// The end-of-file byte after the last record, the file cut there, and the header's count.
void DbfFile::writeTail(std::uint32_t count) {
    const std::uint64_t end =
        std::uint64_t(m_headerLength) + std::uint64_t(count) * std::uint64_t(m_recordLength);
    const char eof = kEndOfFile;
    pwriteAll(&eof, 1, end, "Запись конца таблицы");
    fault::Point();
    if (::ftruncate(m_fd, off_t(end + 1)) != 0)
        failIo(QStringLiteral("Запись конца таблицы"), errno);
    sync("Запись изменений");
    writeHeaderCount(count);
    sync("Запись заголовка");
}

void DbfFile::applyChanges(const QList<Change>& changes, std::uint32_t newCount) {
    checkWritable();
    m_overlay = false;
    m_dirty.clear();
    m_block.clear();
    writeRecords(changes, true);
    writeTail(newCount);
    m_overlayCount = m_count;
}

void DbfFile::revertChanges(const QList<Change>& changes, std::uint32_t oldCount) {
    checkWritable();
    m_overlay = false;
    m_dirty.clear();
    m_block.clear();
    writeRecords(changes, false);
    writeTail(oldCount);
    m_overlayCount = m_count;
}

// The header's date of last update says today once anything was written today.
void DbfFile::touchDate() {
    const QDate today = QDate::currentDate();
    if (m_touched == today)
        return;
    const QByteArray bytes = dbf::DateBytes(today);
    pwriteAll(bytes.constData(), std::size_t(bytes.size()), 1, "Запись заголовка");
    m_touched = today;
}

void DbfFile::write(std::uint32_t index, const QByteArray& record) {
    checkWritable(!m_overlay); // a transaction asks the file once, when it commits
    if (index >= recordCount() || record.size() != m_recordLength)
        fail(QStringLiteral("запись %1 не существует.").arg(index + 1));
    if (m_overlay) {
        m_dirty[index] = record;
        return;
    }
    patchCache(index, record);
    pwriteAll(record.constData(), std::size_t(record.size()),
              std::uint64_t(m_headerLength) + std::uint64_t(index) * std::uint64_t(m_recordLength),
              "Запись изменения");
    touchDate();
    sync("Запись изменения");
}

void DbfFile::markDeleted(std::uint32_t index) {
    checkWritable(!m_overlay); // a transaction asks the file once, when it commits
    if (index >= recordCount())
        fail(QStringLiteral("запись %1 не существует.").arg(index + 1));
    QByteArray deleted(record(index), m_recordLength);
    deleted[0] = '*';
    if (m_overlay) {
        m_dirty[index] = deleted;
        return;
    }
    patchCache(index, deleted);
    const char flag = '*';
    pwriteAll(&flag, 1,
              std::uint64_t(m_headerLength) + std::uint64_t(index) * std::uint64_t(m_recordLength),
              "Удаление записи");
    touchDate();
    sync("Удаление записи");
}

} // namespace varnel
