#include "store/engine/DbfFile.h"

#include "store/engine/Errors.h"
#include "store/engine/FaultInjection.h"

#include <QDate>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnel {

namespace {

constexpr int kHeaderSize = 32;
constexpr int kDescriptorSize = 32;
constexpr char kEndOfFile = 0x1A;
constexpr char kHeaderEnd = 0x0D;
constexpr std::uint8_t kWindows1251 = 0xC9;
constexpr std::size_t kBlockBytes = 256 * 1024;

std::atomic<bool> g_syncEnabled{true};

std::uint16_t get16(const unsigned char* p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}
std::uint32_t get32(const unsigned char* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
void put16(char* p, std::uint32_t v) {
    p[0] = char(v & 0xFF);
    p[1] = char((v >> 8) & 0xFF);
}
void put32(char* p, std::uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

void putDate(char* p, const QDate& date) {
    p[0] = char(std::clamp(date.year() - 1900, 0, 255));
    p[1] = char(date.month());
    p[2] = char(date.day());
}

// The code page a language driver byte names. Tables without one are ours: Windows-1251.
QByteArray codecFor(std::uint8_t driver) {
    switch (driver) {
    case 0x01:
        return "IBM437";
    case 0x02:
        return "IBM850";
    case 0x03:
    case 0x57:
        return "windows-1252";
    case 0x26:
    case 0x65:
        return "IBM866";
    case 0x64:
        return "IBM852";
    case 0xC8:
        return "windows-1250";
    default:
        return "windows-1251";
    }
}

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool allOf(const char* p, int size, char c) {
    return std::all_of(p, p + size, [c](char x) { return x == c; });
}

} // namespace

DbfFile::DbfFile(const QString& path) : m_path(path) {}

DbfFile::~DbfFile() {
    close();
}

QString DbfFile::displayName() const {
    return QFileInfo(m_path).fileName();
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
    QByteArray file(kHeaderSize + kDescriptorSize * columns.size() + 1, '\0');
    auto* header = file.data();
    header[0] = 0x03;
    putDate(header + 1, QDate::currentDate());
    put16(header + 8, std::uint32_t(file.size()));
    int recordLength = 1;
    for (int i = 0; i < columns.size(); ++i) {
        const DbfColumn& column = columns[i];
        char* d = header + kHeaderSize + kDescriptorSize * i;
        const QByteArray name = column.name.toLatin1().toUpper();
        std::memcpy(d, name.constData(), std::min<qsizetype>(name.size(), 10));
        d[11] = column.type;
        d[16] = char(column.length);
        d[17] = char(column.decimals);
        recordLength += column.length;
    }
    put16(header + 10, std::uint32_t(recordLength));
    header[29] = char(kWindows1251);
    file[file.size() - 1] = kHeaderEnd;
    file.append(kEndOfFile);

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

void DbfFile::open() {
    if (isOpen())
        return;
    const QByteArray native = QFile::encodeName(m_path);
    int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC);
    m_readOnly = false;
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
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
        repairTail(std::uint64_t(info.st_size));
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
    m_columns.clear();
    m_count = 0;
    m_decoder.reset();
}

void DbfFile::readHeader() {
    unsigned char header[kHeaderSize];
    const auto got = ::pread(m_fd, header, kHeaderSize, 0);
    if (got < 0)
        fail(QStringLiteral("заголовок не читается (%1).").arg(errorText(errno)));
    if (got < kHeaderSize)
        fail(QStringLiteral("файл обрезан: в нём нет даже заголовка таблицы dBASE."));
    if ((header[0] & 0x07) != 0x03)
        fail(QStringLiteral("это не таблица dBASE III/IV (байт версии 0x%1).")
                 .arg(header[0], 2, 16, QLatin1Char('0')));
    m_count = get32(header + 4);
    m_headerLength = get16(header + 8);
    m_recordLength = get16(header + 10);
    m_languageDriver = header[29];
    if (m_headerLength < kHeaderSize + 1 || m_recordLength < 1)
        fail(QStringLiteral("заголовок повреждён (длина заголовка %1, длина записи %2).")
                 .arg(m_headerLength)
                 .arg(m_recordLength));

    QByteArray descriptors(m_headerLength - kHeaderSize, '\0');
    const auto read =
        ::pread(m_fd, descriptors.data(), std::size_t(descriptors.size()), kHeaderSize);
    if (read != descriptors.size())
        fail(QStringLiteral("файл обрезан внутри заголовка."));

    QList<DbfColumn> columns;
    int offset = 1;
    int at = 0;
    for (;; at += kDescriptorSize) {
        if (at < descriptors.size() && descriptors[at] == kHeaderEnd)
            break;
        if (at + kDescriptorSize > descriptors.size())
            fail(QStringLiteral("заголовок повреждён: нет признака конца описаний полей."));
        const char* d = descriptors.constData() + at;
        DbfColumn column;
        const int nameLength = int(std::find(d, d + 11, '\0') - d);
        for (int i = 0; i < nameLength; ++i)
            if (uchar(d[i]) < 0x21 || uchar(d[i]) > 0x7E)
                fail(QStringLiteral("заголовок повреждён: имя поля %1 не из латинских букв.")
                         .arg(columns.size() + 1));
        if (nameLength == 0)
            fail(QStringLiteral("заголовок повреждён: поле %1 без имени.").arg(columns.size() + 1));
        column.name = QString::fromLatin1(d, nameLength).toUpper();
        column.type = char(std::toupper(uchar(d[11])));
        column.length = uchar(d[16]);
        column.decimals = uchar(d[17]);
        column.offset = offset;
        if (column.length == 0)
            fail(QStringLiteral("заголовок повреждён: поле %1 нулевой длины.").arg(column.name));
        if ((column.type == 'N' || column.type == 'F') &&
            (column.length > 20 || column.decimals >= column.length))
            fail(QStringLiteral("числовое поле %1 имеет недопустимый размер %2,%3.")
                     .arg(column.name)
                     .arg(column.length)
                     .arg(column.decimals));
        if (column.type == 'D' && column.length != 8)
            fail(QStringLiteral("поле даты %1 длиной %2 вместо 8.")
                     .arg(column.name)
                     .arg(column.length));
        for (const DbfColumn& other : columns)
            if (other.name == column.name)
                fail(QStringLiteral("поле %1 описано дважды.").arg(column.name));
        offset += column.length;
        columns << column;
    }
    if (columns.isEmpty())
        fail(QStringLiteral("в таблице нет ни одного поля."));
    if (offset != m_recordLength)
        fail(QStringLiteral("заголовок повреждён: длина записи %1 не равна сумме длин полей (%2).")
                 .arg(m_recordLength)
                 .arg(offset));
    m_columns = columns;
    m_codec = codecFor(m_languageDriver);
    m_decoder = std::make_unique<QStringDecoder>(m_codec.constData());
    if (!m_decoder->isValid() || !QStringEncoder(m_codec.constData()).isValid())
        fail(QStringLiteral("кодировка %1 недоступна.").arg(QString::fromLatin1(m_codec)));
    m_blockRecords =
        std::max<std::uint32_t>(1, std::uint32_t(kBlockBytes / std::size_t(m_recordLength)));
}

// The header's count must never claim more than the file holds. Whole records beyond the
// count are those of an append whose count update a crash cut off: they are taken in. A
// partial record at the end is dropped.
void DbfFile::repairTail(std::uint64_t fileSize) {
    const std::uint64_t dataStart = std::uint64_t(m_headerLength);
    const std::uint64_t claimed =
        dataStart + std::uint64_t(m_count) * std::uint64_t(m_recordLength);
    if (fileSize < claimed) {
        const std::uint64_t whole =
            fileSize < dataStart ? 0 : (fileSize - dataStart) / std::uint64_t(m_recordLength);
        fail(QStringLiteral("файл обрезан: в заголовке %1 записей, а в файле только %2 целых.")
                 .arg(m_count)
                 .arg(whole));
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
    while (at + std::uint64_t(m_recordLength) <= fileSize) {
        if (::pread(m_fd, buffer.data(), std::size_t(m_recordLength), off_t(at)) != m_recordLength)
            break;
        if (buffer[0] != ' ' && buffer[0] != '*')
            break;
        ++adopted;
        at += std::uint64_t(m_recordLength);
    }
    if (m_readOnly) {
        m_count += adopted; // cannot mend the file; read what is whole
        return;
    }
    const char eof = kEndOfFile;
    if (::pwrite(m_fd, &eof, 1, off_t(at)) != 1 || ::ftruncate(m_fd, off_t(at + 1)) != 0)
        failIo(QStringLiteral("Восстановление конца файла"), errno);
    sync("Восстановление конца файла");
    writeHeaderCount(m_count + adopted);
    sync("Восстановление заголовка");
}

int DbfFile::columnIndex(const QString& name) const {
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
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

QString DbfFile::decodeText(const char* data, int size) const {
    m_decoder->resetState();
    return m_decoder->decode(QByteArrayView(data, size));
}

Variant DbfFile::decode(const char* record, int column) const {
    const DbfColumn& c = m_columns.at(column);
    const char* p = record + c.offset;
    int size = c.length;
    switch (c.type) {
    case 'C': {
        while (size > 0 && (p[size - 1] == ' ' || p[size - 1] == '\0'))
            --size;
        if (size == 0)
            return {};
        return Variant(decodeText(p, size));
    }
    case 'N':
    case 'F': {
        while (size > 0 && (*p == ' ' || *p == '\0')) {
            ++p;
            --size;
        }
        while (size > 0 && (p[size - 1] == ' ' || p[size - 1] == '\0'))
            --size;
        if (size == 0 || allOf(p, size, '*'))
            return {}; // blank, or a tool's mark of an overflow: no value
        const char* first = p;
        const char* last = p + size;
        if (*first == '+')
            ++first;
        const bool integral =
            c.decimals == 0 && c.length < 10 &&
            std::none_of(first, last, [](char x) { return x == '.' || x == 'e' || x == 'E'; });
        if (integral) {
            std::int64_t value = 0;
            const auto [end, error] = std::from_chars(first, last, value);
            if (error == std::errc() && end == last)
                return Variant(value);
        } else {
            double value = 0;
            const auto [end, error] = std::from_chars(first, last, value);
            if (error == std::errc() && end == last && std::isfinite(value))
                return Variant(value);
        }
        throw EDatabaseError(QStringLiteral("Таблица «%1»: в поле %2 записано не число: «%3».")
                                 .arg(displayName(), c.name, QString::fromLatin1(p, size)));
    }
    case 'D': {
        if (allOf(p, size, ' ') || allOf(p, size, '0') || allOf(p, size, '\0'))
            return {};
        int y = 0, m = 0, d = 0;
        const bool digits = std::all_of(p, p + 8, [](char x) { return x >= '0' && x <= '9'; });
        if (digits) {
            std::from_chars(p, p + 4, y);
            std::from_chars(p + 4, p + 6, m);
            std::from_chars(p + 6, p + 8, d);
        }
        const QDate date(y, m, d);
        if (!digits || !date.isValid())
            throw EDatabaseError(QStringLiteral("Таблица «%1»: в поле %2 записана не дата: «%3».")
                                     .arg(displayName(), c.name, QString::fromLatin1(p, 8)));
        return Variant(date);
    }
    case 'L':
        switch (*p) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            return Variant(1);
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            return Variant(0);
        default:
            return {};
        }
    default:
        return Variant(decodeText(p, size).trimmed());
    }
}

void DbfFile::encode(char* record, int column, const Variant& value) const {
    const DbfColumn& c = m_columns.at(column);
    char* p = record + c.offset;
    const auto tooLong = [&](const QString& text) {
        return EConvertError(
            QStringLiteral("Значение %1 не помещается в поле %2 таблицы «%3» (%4 знаков).")
                .arg(Quoted(text), c.name, displayName())
                .arg(c.length));
    };
    if (value.isNull()) {
        std::memset(p, c.type == 'L' ? '?' : ' ', std::size_t(c.length));
        return;
    }
    switch (c.type) {
    case 'C': {
        const QString text = value.toString();
        for (const QChar ch : text)
            if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
                throw EConvertError(
                    QStringLiteral("В поле %1 не может быть управляющих символов.").arg(c.name));
        // A character the code page lacks comes out as the substitution byte 0x1A (the
        // end-of-file mark): control characters are refused above, so 0x1A means exactly that.
        // A fresh encoder each time: the error flag of a used one does not reset.
        const auto encode = [this](QStringView part) {
            QStringEncoder encoder(m_codec.constData());
            QByteArray out = encoder.encode(part);
            return encoder.hasError() || out.contains(kEndOfFile) ? QByteArray() : out;
        };
        const QByteArray bytes = encode(text);
        if (bytes.isEmpty() && !text.isEmpty()) {
            // Report the first character the code page lacks, so the operator can replace it.
            QString missing;
            for (qsizetype i = 0; i < text.size(); ++i) {
                const qsizetype len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
                if (encode(QStringView(text).mid(i, len)).isEmpty()) {
                    missing = text.mid(i, len);
                    break;
                }
                i += len - 1;
            }
            throw EConvertError(
                QStringLiteral(
                    "Знак «%1» нельзя записать в поле %2: в кодировке таблицы (%3) его нет.")
                    .arg(missing, c.name, QString::fromLatin1(m_codec)));
        }
        if (bytes.size() > c.length)
            throw tooLong(text);
        std::memset(p, ' ', std::size_t(c.length));
        std::memcpy(p, bytes.constData(), std::size_t(bytes.size()));
        return;
    }
    case 'N':
    case 'F': {
        char text[64];
        std::to_chars_result result{};
        if (value.type() == Variant::Type::Integer && c.decimals == 0) {
            result = std::to_chars(text, text + sizeof text, value.toInteger());
        } else {
            double real = value.toReal();
            if (!std::isfinite(real))
                throw tooLong(value.toString());
            if (std::fabs(real) >= 1e20)
                throw tooLong(value.toString());
            result =
                std::to_chars(text, text + sizeof text, real, std::chars_format::fixed, c.decimals);
            // A value that rounds to zero is written without a sign.
            if (result.ec == std::errc() && text[0] == '-' &&
                std::all_of(text + 1, result.ptr, [](char x) { return x == '0' || x == '.'; })) {
                std::memmove(text, text + 1, std::size_t(result.ptr - text - 1));
                --result.ptr;
            }
        }
        if (result.ec != std::errc())
            throw tooLong(value.toString());
        const int size = int(result.ptr - text);
        if (size > c.length)
            throw tooLong(value.toString());
        std::memset(p, ' ', std::size_t(c.length - size));
        std::memcpy(p + c.length - size, text, std::size_t(size));
        return;
    }
    case 'D': {
        const QDate date = value.toDate();
        if (!date.isValid() || date.year() < 1 || date.year() > 9999)
            throw EConvertError(QStringLiteral("Дату нельзя записать в поле %1.").arg(c.name));
        const QByteArray text = date.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        std::memcpy(p, text.constData(), 8);
        return;
    }
    case 'L':
        *p = value.toInteger() != 0 ? 'T' : 'F';
        return;
    default:
        throw EConvertError(QStringLiteral("Поле %1 (тип %2) программа не записывает.")
                                .arg(c.name, QChar::fromLatin1(c.type)));
    }
}

QByteArray DbfFile::blankRecord() const {
    QByteArray bytes(m_recordLength, ' ');
    for (const DbfColumn& c : m_columns)
        if (c.type == 'L')
            bytes[c.offset] = '?';
    return bytes;
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
    char bytes[7];
    putDate(bytes, QDate::currentDate());
    put32(bytes + 3, count);
    pwriteAll(bytes, sizeof bytes, 1, "Запись заголовка");
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
    char bytes[3];
    putDate(bytes, today);
    pwriteAll(bytes, sizeof bytes, 1, "Запись заголовка");
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
