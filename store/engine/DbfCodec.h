#pragma once

#include "store/engine/Variant.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

class QStringDecoder;

namespace varnel {

// One column of a dBASE table as its header describes it.
struct DbfColumn {
    QString name;     // upper-case ASCII, at most 10 characters
    char type = 'C';  // 'C', 'N', 'F', 'D', 'L'; other types are kept but not decoded
    int length = 0;   // bytes in the record
    int decimals = 0; // digits after the point, for 'N' and 'F'
    int offset = 0;   // from the start of the record, after the deletion flag
};

// The bytes of dBASE III/IV tables (version 0x03, no memo): the header and the field values of
// a record. Pure functions over bytes; nothing here touches a file. Every error is an
// EDatabaseError (bytes no dBASE tool writes) or an EConvertError (a value that does not fit
// its column), with a message naming the table, as the operator knows it, and the column.
namespace dbf {

inline constexpr int kHeaderSize = 32;
inline constexpr int kDescriptorSize = 32;
inline constexpr char kEndOfFile = 0x1A;
inline constexpr char kHeaderEnd = 0x0D;
inline constexpr std::uint8_t kWindows1251 = 0xC9;

// What the fixed part of a header says.
struct Header {
    std::uint32_t count = 0; // records, deleted ones included
    int headerLength = 0;    // where the first record starts
    int recordLength = 0;    // deletion flag included
    std::uint8_t languageDriver = 0;
};

// The first 32 bytes of a file; throws for a file too short or of another kind.
Header ParseHeader(QByteArrayView bytes, const QString& table);
// The field descriptors that follow them, up to the header's end mark; checked against the
// record length.
QList<DbfColumn> ParseColumns(QByteArrayView descriptors, int recordLength, const QString& table);

// A whole new empty table, Windows-1251, dated `today`.
QByteArray EmptyTable(const QList<DbfColumn>& columns, const QDate& today);
// The header's date of last update (bytes 1-3) and its record count (4-7), as written at
// offset 1: seven bytes.
QByteArray DateAndCount(const QDate& today, std::uint32_t count);
QByteArray DateBytes(const QDate& today);

// The code page a language driver byte names. Tables without one hold Windows-1251 here.
QByteArray CodePage(std::uint8_t languageDriver);

} // namespace dbf

// Whether one field of a stored record holds a value, told from the bytes alone where they are
// in the form this program writes: a text's characters, an integer's digits. Unsure when they
// are not (an integer written with a plus or leading zeros, a real, a date, a blank sought):
// the caller then decodes the field and compares the values.
enum class ByteMatch { Same, Different, Unsure };

class DbfCodec;
class FieldMatcher {
public:
    // As `decoded.compare(value) == equivalent` would say, for the field's decoded value.
    FieldMatcher(const DbfCodec& codec, int column, const Variant& value);
    ByteMatch match(const char* record) const;

private:
    enum class Mode { Text, Integer, Decode };
    int m_offset = 0;
    int m_length = 0;
    Mode m_mode = Mode::Decode;
    QByteArray m_bytes; // the text's bytes, or the integer's digits (none for a fraction)
};

// The refusal of a value too long for its column, `value` already quoted.
QString ValueTooLongMessage(const QString& value, const QString& column, const QString& table,
                            const QString& length);
// The refusals of text a column cannot hold: control characters; a character its code page
// lacks. And of a day it cannot hold.
QString ControlCharactersMessage(const QString& column);
QString MissingCharacterMessage(const QString& character, const QString& column,
                                const QString& codePage);
QString UnwritableDateMessage(const QString& column);

// Field values in and out of the records of one table layout.
class DbfCodec {
public:
    // Throws when the code page is not available.
    DbfCodec(const QList<DbfColumn>& columns, int recordLength, std::uint8_t languageDriver,
             const QString& table);
    ~DbfCodec();
    DbfCodec(const DbfCodec&) = delete;
    DbfCodec& operator=(const DbfCodec&) = delete;

    const QList<DbfColumn>& columns() const { return m_columns; }
    const QByteArray& codePage() const { return m_codePage; }

    // decode() throws an EDatabaseError for bytes no dBASE tool writes; encode() throws an
    // EConvertError naming the column for a value that does not fit it.
    Variant decode(const char* record, int column) const;
    void encode(char* record, int column, const Variant& value) const;
    QByteArray blankRecord() const;

private:
    QString decodeText(const char* data, int size) const;

    QList<DbfColumn> m_columns;
    int m_recordLength;
    QString m_table;
    QByteArray m_codePage;
    std::unique_ptr<QStringDecoder> m_decoder; // built once: ICU converters must not move
};

} // namespace varnel
