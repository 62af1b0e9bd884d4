#include "store/HistoryScan.h"

#include "base/Errors.h"
#include "store/Tables.h"
#include "store/engine/DbfCodec.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Digits.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

namespace varnel {

namespace {

// Windows-1251 folded as FoldName folds: upper case to lower, ё and Ё to е.
const std::array<unsigned char, 256>& fold1251() {
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        for (int c = 0; c < 256; ++c)
            t[c] = static_cast<unsigned char>(c);
        for (int c = 'A'; c <= 'Z'; ++c)
            t[c] = static_cast<unsigned char>(c + 32);
        for (int c = 0xC0; c <= 0xDF; ++c) // А..Я
            t[c] = static_cast<unsigned char>(c + 32);
        t[0xA8] = t[0xB8] = 0xE5; // Ё, ё as е
        t[0xA1] = 0xA2;           // Ў
        t[0xB2] = 0xB3;           // І
        t[0xAA] = 0xBA;           // Є
        t[0xAF] = 0xBF;           // Ї
        t[0xA5] = 0xB4;           // Ґ
        t[0x80] = 0x90;           // Ђ
        t[0x81] = 0x83;           // Ѓ
        t[0x8A] = 0x9A;           // Љ
        t[0x8C] = 0x9C;           // Њ
        t[0x8D] = 0x9D;           // Ќ
        t[0x8E] = 0x9E;           // Ћ
        t[0x8F] = 0x9F;           // Џ
        t[0xA3] = 0xBC;           // Ј
        t[0xBD] = 0xBE;           // Ѕ
        return t;
    }();
    return table;
}

bool containsFolded(const char* data, int size, const QByteArray& needle) {
    const auto& fold = fold1251();
    const int n = int(needle.size());
    const auto* hay = reinterpret_cast<const unsigned char*>(data);
    const auto* want = reinterpret_cast<const unsigned char*>(needle.constData());
    for (int start = 0; start + n <= size; ++start) {
        int i = 0;
        while (i < n && fold[hay[start + i]] == want[i])
            ++i;
        if (i == n)
            return true;
    }
    return false;
}

// What a matcher says of a record, the value decoded and compared where the bytes cannot tell.
template <typename Decoded>
bool matches(const FieldMatcher& matcher, const char* record, Decoded decodedMatches) {
    switch (matcher.match(record)) {
    case ByteMatch::Same:
        return true;
    case ByteMatch::Different:
        return false;
    case ByteMatch::Unsure:
        break;
    }
    return decodedMatches();
}

std::uint64_t word(const char* p) {
    std::uint64_t w = 0;
    std::memcpy(&w, p, sizeof w);
    return w;
}

constexpr std::uint64_t kBlanks = 0x2020202020202020;

// How many blanks the bytes start with, eight at a time: this runs over every number and date
// of every record of the history, most of them blank or led by blanks. No byte past `length` is
// read: a field's last eight bytes are read again instead, those already seen being blanks.
int leadingBlanks(const char* p, int length) {
    static_assert(std::endian::native == std::endian::little);
    int i = 0;
    for (; i + 8 <= length; i += 8)
        if (const std::uint64_t other = word(p + i) ^ kBlanks)
            return i + std::countr_zero(other) / 8;
    if (i == length)
        return length;
    if (length >= 8) {
        const std::uint64_t other = word(p + length - 8) ^ kBlanks;
        return other ? length - 8 + std::countr_zero(other) / 8 : length;
    }
    while (i < length && p[i] == ' ')
        ++i;
    return i;
}

// A number in the form this program writes it, which always decodes: blanks, then an optional
// minus, digits and, unless the field is of whole numbers, a point with digits after it. Any
// other form is for the codec to judge.
bool plainNumber(const char* p, int length, bool whole) {
    int i = leadingBlanks(p, length);
    if (i == length)
        return true;
    if (p[i] == '-')
        ++i;
    const int from = i;
    while (i < length && IsDigit(p[i]))
        ++i;
    if (i == from || i - from > 18) // no digit, or more than a whole number holds
        return false;
    if (i == length)
        return true;
    if (whole || p[i] != '.')
        return false;
    const int fraction = ++i;
    while (i < length && IsDigit(p[i]))
        ++i;
    return i == length && i > fraction;
}

// A day that surely is one: blank, or eight digits of a year from 1, a month and a day no month
// lacks.
bool plainDate(const char* p) {
    const std::uint64_t w = word(p);
    if (w == kBlanks)
        return true;
    // Each byte 0x30..0x39: its high half 3, and still 3 once 6 is added to it.
    constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0, kThrees = 0x3030303030303030;
    if ((w & kHigh) != kThrees || ((w + 0x0606060606060606) & kHigh) != kThrees ||
        std::equal(p, p + 4, "0000"))
        return false;
    const int month = (p[4] - '0') * 10 + (p[5] - '0');
    const int day = (p[6] - '0') * 10 + (p[7] - '0');
    return month >= 1 && month <= 12 && day >= 1 && day <= 28;
}

} // namespace

QString FoldName(const QString& name) {
    QString folded = name.toLower();
    folded.replace(QChar(0x0451), QChar(0x0435)); // ё -> е
    return folded;
}

THistoryFile::THistoryFile(const QString& path) : m_file(std::make_unique<DbfFile>(path)) {
    m_file->open(DbfFile::Access::Read);
}

THistoryFile::~THistoryFile() = default;

std::uint32_t THistoryFile::Count() const {
    return m_file->recordCount();
}

int THistoryFile::ColumnCount() const {
    return int(m_file->columns().size());
}

int THistoryFile::ColumnOf(QLatin1String field) const {
    return m_file->columnIndex(field);
}

const char* THistoryFile::Record(std::uint32_t index) const {
    return m_file->record(index);
}

Variant THistoryFile::Decode(const char* record, int column) const {
    return m_file->decode(record, column);
}

HistoryScan::HistoryScan(const THistoryFile& file) : m_file(*file.m_file) {
    m_den = Column(fields::DEN);
    m_fio = Column(fields::FIO);
    m_number = Column(fields::NUMBER);
    m_serialColumn = m_file.columnIndex(fields::SERIAL); // -1: a history of no slips
    m_kassir = m_file.columnIndex(fields::KASSIR);
    m_windows1251 = m_file.codec().codePage().compare("windows-1251", Qt::CaseInsensitive) == 0;
    const DbfColumn& den = m_file.columns().at(m_den);
    m_denBytes = den.type == 'D' && den.length == 8;
    // Only numbers and dates can fail to read: any bytes are some text.
    for (const FieldDescription& field : HistoryTable().fields) {
        const int column = m_file.columnIndex(field.name);
        if (column < 0)
            continue;
        const DbfColumn& c = m_file.columns().at(column);
        if (c.type != 'N' && c.type != 'F' && !(c.type == 'D' && c.length == 8))
            continue;
        m_checked.push_back(
            {column, c.offset, c.length, c.type == 'D',
             field.type == TFieldType::Integer || field.type == TFieldType::Smallint});
    }
    // Columns side by side are looked at together first: mostly they are all blank.
    std::sort(m_checked.begin(), m_checked.end(),
              [](const Checked& a, const Checked& b) { return a.offset < b.offset; });
    for (std::size_t i = 0; i < m_checked.size(); ++i) {
        const Checked& c = m_checked[i];
        if (!m_runs.empty() && m_runs.back().offset + m_runs.back().length == c.offset) {
            m_runs.back().length += c.length;
            m_runs.back().last = i + 1;
        } else {
            m_runs.push_back({c.offset, c.length, i, i + 1});
        }
    }
}

HistoryScan::~HistoryScan() = default;

int HistoryScan::Column(QLatin1String field) const {
    const int column = m_file.columnIndex(field);
    if (column < 0)
        throw EDatabaseError(
            QStringLiteral("Таблица «%1»: в файле нет поля %2.").arg(m_file.displayName(), field));
    return column;
}

const char* HistoryScan::Record(std::uint32_t index) const {
    return m_file.record(index);
}

Variant HistoryScan::Value(const char* record, QLatin1String field) const {
    const int column = m_file.columnIndex(field);
    if (column < 0)
        if (const FieldDescription* described = HistoryTable().Field(field);
            described && described->mayBeMissing) // a history written before the field was
            return described->type == TFieldType::String ? Variant(QString()) : Variant();
    return m_file.decode(record, Column(field));
}

QString HistoryScan::Operator(const char* record) const {
    // A text field reads whatever its bytes are: nothing to fail here.
    return m_kassir < 0 ? QString() : m_file.decode(record, m_kassir).toString().trimmed();
}

double HistoryScan::Amount(const char* record, QLatin1String field) const {
    const Variant value = Value(record, field);
    return value.isNull() ? 0.0 : value.toReal();
}

bool HistoryScan::Readable(const char* record) const {
    for (const Run& run : m_runs) {
        if (leadingBlanks(record + run.offset, run.length) == run.length)
            continue;
        for (std::size_t i = run.first; i < run.last; ++i) {
            const Checked& c = m_checked[i];
            const char* bytes = record + c.offset;
            if (c.date ? plainDate(bytes) : plainNumber(bytes, c.length, c.whole))
                continue;
            try {
                const Variant value = m_file.decode(record, c.column);
                if (c.whole && !value.isNull())
                    (void)value.toInteger(); // «1.5» decodes, but is no serial
            } catch (const EVarnelError&) {
                return false;
            }
        }
    }
    return true;
}

HistoryScan::Kind::Kind(const HistoryScan& scan, const QString& kind)
    : m_scan(&scan), m_matcher(std::make_unique<FieldMatcher>(
                         scan.m_file.codec(), scan.Column(fields::VID), Variant(kind))),
      m_kind(kind) {}

HistoryScan::Kind::~Kind() = default;
HistoryScan::Kind::Kind(Kind&&) noexcept = default;

bool HistoryScan::Kind::Is(const char* record) const {
    return matches(*m_matcher, record,
                   [&] { return m_scan->Value(record, fields::VID) == m_kind; });
}

void HistoryScan::SetDays(const QDate& from, const QDate& to) {
    m_rangeSet = from.isValid() || to.isValid();
    m_from = from.isValid() ? from.toString(QStringLiteral("yyyyMMdd")).toLatin1() : QByteArray();
    m_to = to.isValid() ? to.toString(QStringLiteral("yyyyMMdd")).toLatin1() : QByteArray();
}

QDate HistoryScan::Day(const char* record) const {
    const Variant day = m_file.decode(record, m_den);
    return day.isNull() ? QDate() : day.toDate();
}

bool HistoryScan::InDays(const char* record) const {
    if (!m_rangeSet)
        return true;
    if (m_denBytes) {
        const char* day = record + m_file.columns().at(m_den).offset;
        if (day[0] < '0' || day[0] > '9')
            return false; // blank
        return (m_from.isEmpty() || std::memcmp(day, m_from.constData(), 8) >= 0) &&
               (m_to.isEmpty() || std::memcmp(day, m_to.constData(), 8) <= 0);
    }
    const QDate day = Day(record);
    if (!day.isValid())
        return false;
    const QString text = day.toString(QStringLiteral("yyyyMMdd"));
    return (m_from.isEmpty() || text >= QLatin1String(m_from)) &&
           (m_to.isEmpty() || text <= QLatin1String(m_to));
}

void HistoryScan::SetClient(const QString& part) {
    m_client = FoldName(part.trimmed());
    m_clientBytesUsable = false;
    if (m_client.isEmpty())
        return;
    if (m_file.codec().codePage().compare("windows-1251", Qt::CaseInsensitive) != 0)
        return;
    QStringEncoder encoder("windows-1251");
    const QByteArray bytes = encoder.encode(m_client);
    if (encoder.hasError())
        return; // a letter the code page lacks: decoded names are compared instead
    m_clientBytes = bytes;
    m_clientBytesUsable = true;
}

bool HistoryScan::ClientMatches(const char* record) const {
    if (m_client.isEmpty())
        return true;
    if (m_clientBytesUsable) {
        const DbfColumn& c = m_file.columns().at(m_fio);
        return containsFolded(record + c.offset, c.length, m_clientBytes);
    }
    return FoldName(m_file.decode(record, m_fio).toString()).contains(m_client);
}

void HistoryScan::SetEvent(std::optional<int> number) {
    m_event = number;
    m_eventMatcher.reset();
    if (number)
        m_eventMatcher = std::make_unique<FieldMatcher>(m_file.codec(), m_number, Variant(*number));
}

void HistoryScan::SetOperator(const QString& name) {
    m_operator = name;
    m_operatorMatcher.reset();
    if (!name.isEmpty() && m_kassir >= 0)
        m_operatorMatcher = std::make_unique<FieldMatcher>(m_file.codec(), m_kassir, Variant(name));
}

bool HistoryScan::OperatorMatches(const char* record) const {
    if (m_operator.isEmpty())
        return true;
    if (!m_operatorMatcher)
        return false;
    return matches(*m_operatorMatcher, record, [&] { return Operator(record) == m_operator; });
}

namespace {

// Each byte of a Windows-1251 text as its place among the characters once folded (FoldName):
// bytes compared by these places compare as the folded texts do.
const std::array<unsigned char, 256>& foldedPlaces() {
    static const std::array<unsigned char, 256> places = [] {
        std::array<char16_t, 256> folded{};
        for (int b = 0; b < 256; ++b) {
            QStringDecoder decoder("windows-1251");
            const QString text = FoldName(decoder.decode(QByteArray(1, char(b))));
            folded[std::size_t(b)] = text.isEmpty() ? 0 : char16_t(text.at(0).unicode());
        }
        std::array<char16_t, 256> sorted = folded;
        std::sort(sorted.begin(), sorted.end());
        std::array<unsigned char, 256> place{};
        // From 1: no byte of a key is 0, which pads a short key.
        for (int b = 0; b < 256; ++b)
            place[std::size_t(b)] = static_cast<unsigned char>(
                1 + std::lower_bound(sorted.begin(), sorted.end(), folded[std::size_t(b)]) -
                sorted.begin());
        return place;
    }();
    return places;
}

} // namespace

bool HistoryScan::TextKey(const char* record, int column, std::string& key) const {
    const DbfColumn& c = m_file.columns().at(column);
    if (!m_windows1251 || c.type != 'C')
        return false;
    const char* p = record + c.offset;
    int size = c.length;
    while (size > 0 && (p[size - 1] == ' ' || p[size - 1] == '\0')) // as the text reads
        --size;
    const auto& places = foldedPlaces();
    key.resize(std::size_t(size));
    for (int i = 0; i < size; ++i)
        key[std::size_t(i)] = char(places[static_cast<unsigned char>(p[i])]);
    return true;
}

bool HistoryScan::NumberKey(const char* record, int column, double& key) const {
    const DbfColumn& c = m_file.columns().at(column);
    const char* p = record + c.offset;
    const std::string_view text = Unpadded(p, c.length);
    if (text.empty()) { // blank, as the decoder reads it
        key = -std::numeric_limits<double>::infinity();
        return true;
    }
    if (c.type == 'D' && c.length == 8) {
        if (!std::all_of(p, p + 8, IsDigit))
            return false;
        const auto number = [&](int from, int size) {
            int n = 0;
            for (int i = from; i < from + size; ++i)
                n = n * 10 + (p[i] - '0');
            return n;
        };
        const QDate day(number(0, 4), number(4, 2), number(6, 2));
        if (!day.isValid())
            return false;
        key = double(day.toJulianDay());
        return true;
    }
    // What the decoder reads a number with, on the same unpadded text (a whole number of a
    // narrow field, read there as such, is the same double); anything it does not take is left
    // to the decoder.
    return (c.type == 'N' || c.type == 'F') && ReadReal(text, key);
}

void HistoryScan::SetSerial(std::optional<std::int64_t> serial) {
    m_serial = serial;
    m_serialMatcher.reset();
    if (serial && m_serialColumn >= 0)
        m_serialMatcher =
            std::make_unique<FieldMatcher>(m_file.codec(), m_serialColumn, Variant(*serial));
}

bool HistoryScan::SerialMatches(const char* record) const {
    if (!m_serial)
        return true;
    if (!m_serialMatcher)
        return false;
    return matches(*m_serialMatcher, record,
                   [&] { return m_file.decode(record, m_serialColumn) == Variant(*m_serial); });
}

bool HistoryScan::EventMatches(const char* record) const {
    if (!m_event)
        return true;
    return matches(*m_eventMatcher, record,
                   [&] { return m_file.decode(record, m_number) == Variant(*m_event); });
}

} // namespace varnel
