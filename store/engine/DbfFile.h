#pragma once

#include "store/engine/DbfCodec.h"
#include "store/engine/Variant.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>

namespace varnel {

// A dBASE III/IV table file (version 0x03, no memo), read and written in place.
//
// Durability: every change is on disk when the call returns. An appended record (with the
// end-of-file byte after it) is synced before the header's count is raised, and the count
// is synced too, so a crash at any instant leaves a file whose header never claims a
// record that is not wholly written. A file found with whole records beyond its count (a
// crash between the two writes) or a partial record at its end is repaired when opened.
//
// Reading: records come from a block cache filled by large reads, so a scan over the file
// costs a few system calls per megabyte, and fields are decoded (by the table's DbfCodec) only
// when asked for.
class DbfFile {
public:
    explicit DbfFile(const QString& path);
    ~DbfFile();
    DbfFile(const DbfFile&) = delete;
    DbfFile& operator=(const DbfFile&) = delete;

    // Writes a new empty table (version 0x03, Windows-1251). Refuses to replace a file.
    static void create(const QString& path, const QList<DbfColumn>& columns);

    // How a file is opened. For reading, nothing is ever written: a crash-cut tail is read as
    // what is whole, and a file another program holds open for writing is read as it stands.
    enum class Access { ReadWrite, Read };
    // What becomes of a file whose header claims more records than it holds whole (another
    // writer cut off mid-append, an interrupted copy), or that goes on after its records with
    // bytes that are no record of it: refused with an ETruncatedTable or an EStrayTail, or
    // opened with the whole records, the rest dropped (written so unless for reading).
    enum class Truncated { Refuse, Cut };

    // Opens, checks and, where an earlier crash left it so, repairs the file. Throws an
    // EDatabaseError naming the file and the fault; a file found faulty is not written.
    void open(Access access = Access::ReadWrite, Truncated truncated = Truncated::Refuse);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    bool isReadOnly() const { return m_readOnly; }

    const QString& path() const { return m_path; }
    QString displayName() const; // the bare file name, as the operator knows it
    const QList<DbfColumn>& columns() const;
    int columnIndex(const QString& name) const; // -1 when absent; case-insensitive
    std::uint8_t languageDriver() const { return m_languageDriver; }

    // Records in the file, deleted ones included (with the work of an open transaction).
    std::uint32_t recordCount() const { return m_overlay ? m_overlayCount : m_count; }
    int recordLength() const { return m_recordLength; }

    // The raw bytes of a record (deletion flag first); valid until the next call on this file.
    const char* record(std::uint32_t index);
    bool isDeleted(std::uint32_t index) { return record(index)[0] == '*'; }
    // The record, and in `run` how many records from it on in the direction of `step` (+1 or
    // -1) lie next to it in memory, so that a scan steps through them by pointer.
    const char* recordRun(std::uint32_t index, int step, std::uint32_t& run);

    // Field values, as the table's codec reads and writes them (DbfCodec.h).
    const DbfCodec& codec() const { return *m_codec; }
    Variant decode(const char* record, int column) const { return m_codec->decode(record, column); }
    void encode(char* record, int column, const Variant& value) const {
        m_codec->encode(record, column, value);
    }
    QByteArray blankRecord() const { return m_codec->blankRecord(); }

    // Durable writes (see above). Each throws an EDatabaseError when the disk refuses.
    std::uint32_t append(const QByteArray& record);
    void write(std::uint32_t index, const QByteArray& record);
    void markDeleted(std::uint32_t index);

    // Transactions (see Transaction.h). While an overlay is open, append, write and
    // markDeleted change nothing on disk: the new bytes are held here and seen by record().
    struct Change {
        std::uint32_t index = 0;
        QByteArray before; // the record as stored; empty for an appended one
        QByteArray after;
    };
    // Throws an EDatabaseError when the table cannot be written (closed, or read-only). With
    // onDisk false, for work a transaction holds in memory, the file itself is not asked.
    void checkWritable(bool onDisk = true) const;
    void beginOverlay();
    bool inOverlay() const { return m_overlay; }
    void dropOverlay();
    QList<Change> overlayChanges();
    std::uint32_t committedCount() const { return m_count; }
    int headerLength() const { return m_headerLength; }
    // Reserves the disk space the appends will take, so that applying them cannot run out.
    void reserveForAppends(std::uint32_t newCount);
    // Writes the after-images, the end of the table and the header's count; synced. Ends
    // the overlay.
    void applyChanges(const QList<Change>& changes, std::uint32_t newCount);
    // Puts the before-images back and cuts the table to its old count; synced.
    void revertChanges(const QList<Change>& changes, std::uint32_t oldCount);

    // Syncs a folder, so that a file created, renamed or removed in it stays so after a crash.
    static void syncFolder(const QString& folder);

    // For measurements only: writes without syncing. Never switched off in the program.
    static void setSyncEnabled(bool enabled);
    static bool syncEnabled();

private:
    [[noreturn]] void fail(const QString& what) const;
    [[noreturn]] void failIo(const QString& action, int error) const;
    void readHeader();
    void repairTail(std::uint64_t fileSize, Truncated truncated);
    void pwriteAll(const char* data, std::size_t size, std::uint64_t offset, const char* what);
    void sync(const char* what);
    void writeHeaderCount(std::uint32_t count);
    void touchDate();

    QString m_path;
    QByteArray m_nativePath; // absolute, as found when opened
    int m_fd = -1;
    bool m_readOnly = false;
    std::uint8_t m_languageDriver = 0;
    std::uint32_t m_count = 0;
    int m_headerLength = 0;
    int m_recordLength = 0;
    std::unique_ptr<DbfCodec> m_codec; // while open

    void patchCache(std::uint32_t index, const QByteArray& record);
    void writeRecords(const QList<Change>& changes, bool after);
    void writeTail(std::uint32_t count);

    bool m_overlay = false;
    std::uint32_t m_overlayCount = 0;
    std::map<std::uint32_t, QByteArray> m_dirty;
    QDate m_touched; // the day the header's date was last written
    QByteArray m_block;
    std::uint32_t m_blockFirst = 0;
    std::uint32_t m_blockRecords = 0;
};

} // namespace varnel
