#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace varnel {

class DbfFile;
class TTable;

// The history's chain. Each record carries the SHA-256 of its place and its fields together
// with the hash of the record before it, so that no record can be changed, removed, put in
// between or moved, and no tail cut behind a head written down, without the chain showing it.
// The form hashed is the same on both homes (README, «Цепочка истории»): record n (from 1, in
// the order written: a folder's file order, deleted records too; a server's order of sealing)
// is the text
//     n ";" L1 ":" V1 ";" L2 ":" V2 … (each field of the history but HASH, in its order)
// where Vi is the field's value as UTF-8 text and Li its length in bytes: text without trailing
// blanks; a number in its decimal digits as the column holds them, no padding, no leading zeros,
// no trailing zeros after the point, no point without a fraction, no sign on zero; a day as
// YYYYMMDD; a blank or NULL value empty; KOD (a payout code's seal, kept from operators on a
// server) as the hex SHA-256 of its text. Its hash is the lowercase hex SHA-256 of the 64 hex
// characters of the hash before it (64 zeros before the first record) followed by that text.
inline constexpr int kChainHashLength = 64;

// Where a chain stands: how many records, and the hash of the last (ChainStart for none).
struct ChainHead {
    std::int64_t records = 0;
    QByteArray hash;
    bool operator==(const ChainHead&) const = default;
};
QByteArray ChainStart();
// The head as varnel-verify prints it and reads it back: "записей N, голова HASH".
QString HeadText(const ChainHead& head);
// Every head found in a text (one written down, a file of them, a line a check printed).
QList<ChainHead> HeadsIn(const QString& text);

// SHA-256 over the canonical text, the one hasher of the folder's writer and every checker.
class ChainHasher {
public:
    ChainHasher();
    ~ChainHasher();
    ChainHasher(const ChainHasher&) = delete;
    ChainHasher& operator=(const ChainHasher&) = delete;
    // The hash of record `place` of these fields (CanonicalRecord) after the hash `previous`.
    QByteArray Link(const QByteArray& previous, std::int64_t place, std::string_view fields);
    // The lowercase hex SHA-256 of a text.
    QByteArray Hex(std::string_view text);

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// The canonical text of one record's fields (its place goes before them), built field by field.
class CanonicalRecord {
public:
    void Begin() { m_text.clear(); }
    void Text(std::string_view utf8); // trailing blanks dropped here
    // A number as the column's text holds it (padding around it allowed); text that is no
    // plain decimal number enters as it stands.
    void Number(std::string_view digits);
    void Day(std::string_view yyyymmdd); // 8 digits, or empty for none
    void Raw(std::string_view value);    // a value already in its canonical form
    const std::string& Form() const { return m_text; }

private:
    std::string m_text;
    std::string m_scratch;
};

// A history file's records in the canonical form, read off their bytes.
class FileChainForm {
public:
    // Throws an EDatabaseError when the file's code page cannot be read.
    explicit FileChainForm(const DbfFile& file);
    ~FileChainForm();
    bool Chained() const { return m_hashOffset > 0; } // the file has the HASH field
    void Canonical(const char* record, CanonicalRecord& out, ChainHasher& hasher) const;
    // The record's HASH, without its padding; empty when blank or when the file has no field.
    std::string_view StoredHash(const char* record) const;
    void WriteHash(char* record, const QByteArray& hash) const;

private:
    enum class Kind { Text, Sealed, Number, Day, Missing };
    struct Column {
        Kind kind = Kind::Missing;
        int offset = 0;
        int length = 0;
    };
    void AppendText(const char* bytes, int length, std::string& out) const;

    QList<Column> m_columns;
    int m_hashOffset = 0;
    int m_hashLength = 0;
    std::string m_bytes[256]; // each byte of the file's code page as UTF-8
};

// Seals each record appended to a history table (of a folder) with its hash: installed on the
// table, it fills the record's HASH before the record is written. The chain of a history whose
// last record has no hash (records written before the field) starts from the hash of every
// record before, computed once.
void ChainAppends(TTable& history);

// Seals the records at the end of a history file that carry no hash (a server's records its
// sealer had not reached when the books were written out) as the folder's writer seals each
// record it appends; the records sealed. Throws an EDatabaseError when the file cannot be
// written.
std::int64_t SealFileTail(const QString& historyPath);

// What a check of a chain found.
enum class ChainBreach {
    None,
    Changed,   // a record's fields (or its hash) are not what was sealed
    Removed,   // a record is missing before this one, or marked deleted
    Inserted,  // a record was put in that the chain does not know
    Reordered, // records changed places
    Unsealed,  // a record after the chain's start carries no hash
    Cut,       // the history ends before a head written down earlier
    Rewritten, // the chain does not pass through a head written down earlier
};

struct ChainVerdict {
    ChainHead head; // the whole chain's, when whole
    ChainBreach breach = ChainBreach::None;
    std::int64_t at = 0;             // the first record that does not match (from 1)
    std::int64_t sealedFrom = 0;     // the first record carrying a hash (0: none)
    std::optional<ChainHead> digest; // the head written down that was not met
    bool Whole() const { return breach == ChainBreach::None; }
    // In Russian: whole (records, head) or the first broken record and what was done to it.
    QString Said() const;
};

// Checks records fed in the chain's order against their hashes and against heads written down
// earlier. It looks a few records past the first that does not match, to tell what was done.
class ChainChecker {
public:
    explicit ChainChecker(QList<ChainHead> digests = {});
    // Resumes after a part checked before: its head (trusted).
    void Resume(const ChainHead& from, std::int64_t sealedFrom);
    // The next record (its place NextPlace()): its fields' canonical text, the hash it carries
    // (empty: none), whether it is marked deleted. False once the verdict is known.
    bool Feed(std::string_view fields, std::string_view stored, bool deleted = false);
    std::int64_t NextPlace() const { return m_head.records + m_pending.size() + 1; }
    ChainVerdict Finish();

private:
    struct Pending {
        std::int64_t place;
        std::string body; // the canonical text without its place
        QByteArray stored;
        bool deleted;
    };
    void Classify();
    bool Broken() const { return m_verdict.breach != ChainBreach::None; }

    ChainHasher m_hasher;
    QList<ChainHead> m_digests;
    ChainHead m_head;
    std::int64_t m_sealedFrom = 0;
    std::deque<Pending> m_pending;
    ChainVerdict m_verdict;
    bool m_decided = false;
};

// Checks the chain of a folder's HISTORY.DBF, from the start or after the part checked before
// (its head and its first record carrying a hash), up to `records` at most (all: -1); a head
// checked before that is no longer in the file (cut, or rewritten through it) has the whole
// checked again against it. Throws an EDatabaseError when it cannot be read.
ChainVerdict CheckFolderChain(const QString& historyPath, const QList<ChainHead>& digests,
                              const ChainHead& from = {}, std::int64_t sealedFrom = 0,
                              std::int64_t records = -1);

// The heads a folder keeps in digests/: a file a day, YYYY-MM-DD.txt, a line a head.
inline constexpr char kDigestsFolder[] = "digests";
QList<ChainHead> FolderDigests(const QString& folder);
// Appends the head to today's file there, with the time and what for; throws an EDatabaseError
// when it cannot be written.
void WriteFolderDigest(const QString& folder, const ChainHead& head, const QString& why);

} // namespace varnel
