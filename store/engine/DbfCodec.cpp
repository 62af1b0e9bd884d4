#include "store/engine/DbfCodec.h"

#include "base/Errors.h"
#include "store/engine/Digits.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace varnel {

namespace {

using dbf::kEndOfFile;

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

bool allOf(const char* p, int size, char c) {
    return std::all_of(p, p + size, [c](char x) { return x == c; });
}

[[noreturn]] void fail(const QString& table, const QString& what) {
    throw EDatabaseError(QStringLiteral("Таблица «%1»: %2").arg(table, what));
}

} // namespace

namespace dbf {

QByteArray CodePage(std::uint8_t driver) {
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

Header ParseHeader(QByteArrayView bytes, const QString& table) {
    if (bytes.size() < kHeaderSize)
        fail(table, QStringLiteral("файл обрезан: в нём нет даже заголовка таблицы dBASE."));
    const auto* header = reinterpret_cast<const unsigned char*>(bytes.data());
    if ((header[0] & 0x07) != 0x03)
        fail(table, QStringLiteral("это не таблица dBASE III/IV (байт версии 0x%1).")
                        .arg(header[0], 2, 16, QLatin1Char('0')));
    Header h;
    h.count = get32(header + 4);
    h.headerLength = get16(header + 8);
    h.recordLength = get16(header + 10);
    h.languageDriver = header[29];
    if (h.headerLength < kHeaderSize + 1 || h.recordLength < 1)
        fail(table, QStringLiteral("заголовок повреждён (длина заголовка %1, длина записи %2).")
                        .arg(h.headerLength)
                        .arg(h.recordLength));
    return h;
}

QList<DbfColumn> ParseColumns(QByteArrayView descriptors, int recordLength, const QString& table) {
    QList<DbfColumn> columns;
    int offset = 1;
    int at = 0;
    for (;; at += kDescriptorSize) {
        if (at < descriptors.size() && descriptors[at] == kHeaderEnd)
            break;
        if (at + kDescriptorSize > descriptors.size())
            fail(table, QStringLiteral("заголовок повреждён: нет признака конца описаний полей."));
        const char* d = descriptors.data() + at;
        DbfColumn column;
        const int nameLength = int(std::find(d, d + 11, '\0') - d);
        for (int i = 0; i < nameLength; ++i)
            if (uchar(d[i]) < 0x21 || uchar(d[i]) > 0x7E)
                fail(table, QStringLiteral("заголовок повреждён: имя поля %1 не из латинских букв.")
                                .arg(columns.size() + 1));
        if (nameLength == 0)
            fail(table,
                 QStringLiteral("заголовок повреждён: поле %1 без имени.").arg(columns.size() + 1));
        column.name = QString::fromLatin1(d, nameLength).toUpper();
        column.type = char(std::toupper(uchar(d[11])));
        column.length = uchar(d[16]);
        column.decimals = uchar(d[17]);
        column.offset = offset;
        if (column.length == 0)
            fail(table,
                 QStringLiteral("заголовок повреждён: поле %1 нулевой длины.").arg(column.name));
        // Wider than dBASE's 20 is what GDAL writes (N(24,15)); only decimals that leave no
        // room for a digit before them are nonsense.
        if ((column.type == 'N' || column.type == 'F') && column.decimals >= column.length)
            fail(table, QStringLiteral("числовое поле %1 имеет недопустимый размер %2,%3.")
                            .arg(column.name)
                            .arg(column.length)
                            .arg(column.decimals));
        if (column.type == 'D' && column.length != 8)
            fail(table, QStringLiteral("поле даты %1 длиной %2 вместо 8.")
                            .arg(column.name)
                            .arg(column.length));
        for (const DbfColumn& other : columns)
            if (other.name == column.name)
                fail(table, QStringLiteral("поле %1 описано дважды.").arg(column.name));
        offset += column.length;
        columns << column;
    }
    if (columns.isEmpty())
        fail(table, QStringLiteral("в таблице нет ни одного поля."));
    if (offset != recordLength)
        fail(table,
             QStringLiteral("заголовок повреждён: длина записи %1 не равна сумме длин полей (%2).")
                 .arg(recordLength)
                 .arg(offset));
    return columns;
}

QByteArray DateBytes(const QDate& today) {
    char bytes[3];
    putDate(bytes, today);
    return QByteArray(bytes, 3);
}

QByteArray DateAndCount(const QDate& today, std::uint32_t count) {
    char bytes[7];
    putDate(bytes, today);
    put32(bytes + 3, count);
    return QByteArray(bytes, 7);
}

QByteArray EmptyTable(const QList<DbfColumn>& columns, const QDate& today) {
    QByteArray file(kHeaderSize + kDescriptorSize * columns.size() + 1, '\0');
    auto* header = file.data();
    header[0] = 0x03;
    putDate(header + 1, today);
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
    return file;
}

} // namespace dbf

DbfCodec::DbfCodec(const QList<DbfColumn>& columns, int recordLength, std::uint8_t languageDriver,
                   const QString& table)
    : m_columns(columns), m_recordLength(recordLength), m_table(table),
      m_codePage(dbf::CodePage(languageDriver)),
      m_decoder(std::make_unique<QStringDecoder>(m_codePage.constData())) {
    if (!m_decoder->isValid())
        fail(m_table,
             QStringLiteral("кодировка %1 недоступна.").arg(QString::fromLatin1(m_codePage)));
}

DbfCodec::~DbfCodec() = default;

QString DbfCodec::decodeText(const char* data, int size) const {
    m_decoder->resetState();
    return m_decoder->decode(QByteArrayView(data, size));
}

Variant DbfCodec::decode(const char* record, int column) const {
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
        const std::string_view text = Unpadded(p, size);
        if (text.empty() || allOf(text.data(), int(text.size()), '*'))
            return {}; // blank, or a tool's mark of an overflow: no value
        if (c.decimals == 0 && c.length < 10 && text.find_first_of(".eE") == text.npos) {
            std::int64_t value = 0;
            if (ReadWhole(text, value))
                return Variant(value);
        } else {
            double value = 0;
            if (ReadReal(text, value))
                return Variant(value);
        }
        throw EDatabaseError(
            QStringLiteral("Таблица «%1»: в поле %2 записано не число: «%3».")
                .arg(m_table, c.name, QString::fromLatin1(text.data(), qsizetype(text.size()))));
    }
    case 'D': {
        if (allOf(p, size, ' ') || allOf(p, size, '0') || allOf(p, size, '\0'))
            return {};
        int y = 0, m = 0, d = 0;
        const bool digits = std::all_of(p, p + 8, IsDigit);
        if (digits) {
            std::from_chars(p, p + 4, y);
            std::from_chars(p + 4, p + 6, m);
            std::from_chars(p + 6, p + 8, d);
        }
        const QDate date(y, m, d);
        if (!digits || !date.isValid())
            throw EDatabaseError(QStringLiteral("Таблица «%1»: в поле %2 записана не дата: «%3».")
                                     .arg(m_table, c.name, QString::fromLatin1(p, 8)));
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

QString ValueTooLongMessage(const QString& value, const QString& column, const QString& table,
                            const QString& length) {
    return QStringLiteral("Значение %1 не помещается в поле %2 таблицы «%3» (%4 знаков).")
        .arg(value, column, table, length);
}

QString ControlCharactersMessage(const QString& column) {
    return QStringLiteral("В поле %1 не может быть управляющих символов.").arg(column);
}

QString MissingCharacterMessage(const QString& character, const QString& column,
                                const QString& codePage) {
    return QStringLiteral("Знак «%1» нельзя записать в поле %2: в кодировке таблицы (%3) его нет.")
        .arg(character, column, codePage);
}

QString UnwritableDateMessage(const QString& column) {
    return QStringLiteral("Дату нельзя записать в поле %1.").arg(column);
}

void DbfCodec::encode(char* record, int column, const Variant& value) const {
    const DbfColumn& c = m_columns.at(column);
    char* p = record + c.offset;
    const auto tooLong = [&](const QString& text) {
        return EConvertError(
            ValueTooLongMessage(Quoted(text), c.name, m_table, QString::number(c.length)));
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
                throw EConvertError(ControlCharactersMessage(c.name));
        // A character the code page lacks comes out as the substitution byte 0x1A (the
        // end-of-file mark): control characters are refused above, so 0x1A means exactly that.
        // A fresh encoder each time: the error flag of a used one does not reset.
        const auto encode = [this](QStringView part) {
            QStringEncoder encoder(m_codePage.constData());
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
                MissingCharacterMessage(missing, c.name, QString::fromLatin1(m_codePage)));
        }
        if (bytes.size() > c.length)
            throw tooLong(text);
        std::memset(p, ' ', std::size_t(c.length));
        std::memcpy(p, bytes.constData(), std::size_t(bytes.size()));
        return;
    }
    case 'N':
    case 'F': {
        char text[320]; // room for the widest column of any decimals
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
            throw EConvertError(UnwritableDateMessage(c.name));
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

FieldMatcher::FieldMatcher(const DbfCodec& codec, int column, const Variant& value) {
    const DbfColumn& c = codec.columns().at(column);
    m_offset = c.offset;
    m_length = c.length;
    if (value.isNull())
        return; // a blank is found by its decoded value
    if (c.type == 'C' && value.type() == Variant::Type::String) {
        QByteArray record = codec.blankRecord();
        try {
            codec.encode(record.data(), column, value);
        } catch (const EConvertError&) {
            // A text the program would not write (a control character, say) may still be in
            // another writer's record: compared decoded.
            return;
        }
        m_bytes = record.mid(c.offset, c.length);
        while (!m_bytes.isEmpty() && (m_bytes.endsWith(' ') || m_bytes.endsWith('\0')))
            m_bytes.chop(1);
        m_mode = m_bytes.isEmpty() ? Mode::Decode : Mode::Text;
        return;
    }
    if ((c.type != 'N' && c.type != 'F') || c.decimals != 0 || value.type() == Variant::Type::Date)
        return;
    Variant number;
    try {
        number =
            value.type() == Variant::Type::String ? Variant::parseNumber(value.toString()) : value;
    } catch (const EConvertError&) {
        return; // the decoded comparison reports it, as a scan that decodes would
    }
    const double real = number.toReal();
    if (!std::isfinite(real))
        return;
    if (std::fabs(real) > 9e15)
        return;
    // A fraction equals no integer written as digits; its digits are never compared.
    if (real == std::trunc(real))
        m_bytes = QByteArray::number(qint64(real));
    m_mode = Mode::Integer;
}

ByteMatch FieldMatcher::match(const char* record) const {
    if (m_mode == Mode::Decode)
        return ByteMatch::Unsure;
    const char* p = record + m_offset;
    int size = m_length;
    while (size > 0 && IsPad(p[size - 1]))
        --size;
    if (m_mode == Mode::Text)
        return size == m_bytes.size() && std::memcmp(p, m_bytes.constData(), std::size_t(size)) == 0
                   ? ByteMatch::Same
                   : ByteMatch::Different;
    while (size > 0 && IsPad(*p)) {
        ++p;
        --size;
    }
    if (!m_bytes.isEmpty() && size == m_bytes.size() &&
        std::memcmp(p, m_bytes.constData(), std::size_t(size)) == 0)
        return ByteMatch::Same;
    if (size == 0)
        return ByteMatch::Different; // blank: no value equals a number
    // Digits as the program writes them (a sign, no leading zero) differ in value when they
    // differ in bytes; any other form is decoded.
    int at = p[0] == '-' ? 1 : 0;
    if (at == size || (p[at] == '0' && (size - at > 1 || at == 1))) // "007", "-0"
        return ByteMatch::Unsure;
    for (; at < size; ++at)
        if (!IsDigit(p[at]))
            return ByteMatch::Unsure;
    return ByteMatch::Different;
}

QByteArray DbfCodec::blankRecord() const {
    QByteArray bytes(m_recordLength, ' ');
    for (const DbfColumn& c : m_columns)
        if (c.type == 'L')
            bytes[c.offset] = '?';
    return bytes;
}

} // namespace varnel
