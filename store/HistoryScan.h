#pragma once

#include "store/engine/Variant.h"

#include <QByteArray>
#include <QDate>
#include <QLatin1String>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnel {

class DbfFile;
class FieldMatcher;

// The history table opened for reading, its records read by their place (their RecordKey).
// The history is only appended to, so a record once counted never changes under a reader.
// One thread only: it caches blocks of the file.
class THistoryFile {
public:
    // Opens it for reading; ReadBooks has checked its fields.
    explicit THistoryFile(const QString& path);
    ~THistoryFile();
    THistoryFile(const THistoryFile&) = delete;
    THistoryFile& operator=(const THistoryFile&) = delete;

    std::uint32_t Count() const;
    int ColumnCount() const;
    int ColumnOf(QLatin1String field) const;       // -1 when the file has no such field
    const char* Record(std::uint32_t index) const; // the record's bytes, valid until the next read
    Variant Decode(const char* record, int column) const;

private:
    friend class HistoryScan;
    std::unique_ptr<DbfFile> m_file;
};

// Client names compared as the manager types them: any case, and ё as е.
QString FoldName(const QString& name);

// Reads the history's records on its file's bytes, decoding only what a scan asks for: what
// kind a record is, whether its day is in a range and whether its client's name contains a
// text are told from the bytes where the file is in the program's own form.
class HistoryScan {
public:
    explicit HistoryScan(const THistoryFile& file);
    ~HistoryScan();

    const char* Record(std::uint32_t index) const;
    // A field of the history that may be missing reads blank from a file without it.
    Variant Value(const char* record, QLatin1String field) const;
    double Amount(const char* record, QLatin1String field) const; // a blank as 0
    // The operator who wrote the record (KASSIR), trimmed; empty when it names none or the
    // history was written before the field was.
    QString Operator(const char* record) const;

    // Whether every field of the history in the record reads as what it is: another program
    // may have written «1O» for a serial, a day that is none or «12,50» for an amount. Such a
    // record is unreadable as a whole, as its row in the grid is; it counts in no figure. Told
    // from the bytes where they are in the form this program writes.
    bool Readable(const char* record) const;

    // One kind of record (a VID of History.h).
    class Kind {
    public:
        Kind(const HistoryScan& scan, const QString& kind);
        ~Kind();
        Kind(Kind&&) noexcept;
        bool Is(const char* record) const;

    private:
        const HistoryScan* m_scan;
        std::unique_ptr<FieldMatcher> m_matcher;
        Variant m_kind;
    };

    // Days from..to, either end open when null; a record with no day is in no range.
    void SetDays(const QDate& from, const QDate& to);
    bool InDays(const char* record) const;
    QDate Day(const char* record) const; // null for none

    // Records whose client's name contains the text (FoldName); none set: all.
    void SetClient(const QString& part);
    bool HasClient() const { return !m_client.isEmpty(); }
    bool ClientMatches(const char* record) const;

    // Records of one event number.
    void SetEvent(std::optional<int> number);
    bool EventMatches(const char* record) const;
    // Records of one bet's serial (its slip's number): its «Ставка» and what became of it.
    void SetSerial(std::optional<std::int64_t> serial);
    bool SerialMatches(const char* record) const;

    // Records of one operator (Operator, the name exactly); none set: all. A history written
    // before KASSIR has no record of anyone's.
    void SetOperator(const QString& name);
    bool OperatorMatches(const char* record) const;

    // A text column's sort key as the history sorts it (FoldName, then the order of the
    // characters), as bytes in that order, none of them 0; for a file of another code page
    // than Windows-1251, false, and the key is to be made of the decoded text.
    bool TextKey(const char* record, int column, std::string& key) const;
    // A number or date column's sort key read off the record's bytes, as the decoded value's
    // would be (a day as its Julian day; a blank as minus infinity); false where the bytes are
    // left to the decoder, which may refuse them.
    bool NumberKey(const char* record, int column, double& key) const;

private:
    int Column(QLatin1String field) const;

    // A number or date column of the history's own fields, as Readable checks it.
    struct Checked {
        int column = 0, offset = 0, length = 0;
        bool date = false;
        bool whole = false; // a whole number (a serial, an event's number, a record's place)
    };

    // Checked columns that lie side by side in the record: [first, last) of m_checked.
    struct Run {
        int offset = 0, length = 0;
        std::size_t first = 0, last = 0;
    };

    DbfFile& m_file;
    std::vector<Checked> m_checked; // in the order of the record
    std::vector<Run> m_runs;
    int m_den = -1, m_fio = -1, m_number = -1;
    int m_kassir = -1;       // -1: a history written before KASSIR
    bool m_denBytes = false; // DEN is the 8 digits of a dBASE date
    QByteArray m_from, m_to; // as those digits, empty for an open end
    bool m_rangeSet = false;
    QString m_client;
    QByteArray m_clientBytes; // the folded text in the file's code page, when it is Windows-1251
    bool m_clientBytesUsable = false;
    std::optional<int> m_event;
    std::unique_ptr<FieldMatcher> m_eventMatcher;
    int m_serialColumn = -1;
    std::optional<std::int64_t> m_serial;
    std::unique_ptr<FieldMatcher> m_serialMatcher;
    QString m_operator;
    std::unique_ptr<FieldMatcher> m_operatorMatcher;
    bool m_windows1251 = false;
};

} // namespace varnel
