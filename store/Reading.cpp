#include "store/Reading.h"

#include "store/DataModule6.h"
#include "store/HistoryScan.h"
#include "store/Tables.h"
#include "store/engine/Field.h"
#include "store/engine/Table.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnel {

namespace {

// What can be told of a table file without opening it as a table: a commit that changed it
// changes at least one of these. The history's count is the one that every commit of the
// books raises (each writes its record there); the others catch a folder kept without a
// history, and writers other than the counter.
struct FileStamp {
    bool exists = false;
    std::uint64_t inode = 0;
    std::int64_t size = 0, mtime = 0, ctime = 0;
    std::uint32_t count = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const QString& path) {
    FileStamp stamp;
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0)
        return stamp;
    stamp.exists = true;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.mtime = std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.ctime = std::int64_t(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        unsigned char bytes[4] = {};
        if (::pread(fd, bytes, sizeof bytes, 4) == 4)
            stamp.count = std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 |
                          std::uint32_t(bytes[2]) << 16 | std::uint32_t(bytes[3]) << 24;
        ::close(fd);
    }
    return stamp;
}

const QList<const TableDescription*>& readTables() {
    static const QList<const TableDescription*> tables = {&CompitTable(), &PriemTable(),
                                                          &MoneyTable(), &HistoryTable()};
    return tables;
}

using FolderStamp = QList<FileStamp>;

FolderStamp stampOf(const QDir& dir) {
    FolderStamp stamps;
    for (const TableDescription* table : readTables())
        stamps << stampOf(dir.filePath(table->file));
    return stamps;
}

bool journalThere(const QDir& dir) {
    return TDataModule6::HasInterruptedWork(dir.path());
}

double real(const Variant& value) {
    return value.isNull() ? 0.0 : value.toReal();
}

struct ReadTable {
    ReadTable(const QDir& dir, const TableDescription& description)
        : table(OpenToRead(dir, description)) {}
    Variant at(std::uint32_t record, QLatin1String field) const {
        return table->ValueAt(record, table->FieldByName(field));
    }
    template <typename Each> void forEachLive(Each each) const {
        for (std::uint32_t i = 0; i < table->EndKey(); ++i)
            if (!table->IsDeletedAt(i))
                each(i);
    }
    std::unique_ptr<TTable> table;
};

std::shared_ptr<Books> readOnce(const QDir& dir,
                                const std::function<void(const QString&)>& afterTable) {
    using namespace fields;
    auto books = std::make_shared<Books>();
    books->folder = dir.absolutePath();
    const auto attempt = [&](auto read, const QString& table) {
        try {
            read();
        } catch (const EVarnelError& error) { // a table refused, or a value of it unreadable
            books->problems << error.message();
        }
        if (afterTable)
            afterTable(table);
    };
    attempt(
        [&] {
            ReadTable t(dir, CompitTable());
            t.forEachLive([&](std::uint32_t i) {
                Event e;
                e.record = i;
                e.number = t.at(i, NUMBER);
                e.date = t.at(i, DATE).toDate();
                e.kom1 = t.at(i, KOM1).toString();
                e.kom2 = t.at(i, KOM2).toString();
                e.koef = {real(t.at(i, KOEF_1)), real(t.at(i, KOEF_2)), real(t.at(i, KOEF_N))};
                e.sums = {real(t.at(i, SUMM_1)), real(t.at(i, SUMM_2)), real(t.at(i, SUMM_N))};
                books->events << e;
            });
        },
        CompitTable().file);
    attempt(
        [&] {
            ReadTable t(dir, PriemTable());
            t.forEachLive([&](std::uint32_t i) {
                books->bets << Bet{i,
                                   t.at(i, NUMBER),
                                   t.at(i, RESULT).toString(),
                                   real(t.at(i, SUMMA)),
                                   real(t.at(i, KOEFICIENT)),
                                   t.at(i, FIO).toString()};
            });
        },
        PriemTable().file);
    attempt(
        [&] {
            ReadTable t(dir, MoneyTable());
            t.forEachLive([&](std::uint32_t i) {
                books->payouts << Payout{i, t.at(i, FIO).toString(), real(t.at(i, SUMMA))};
            });
        },
        MoneyTable().file);
    if (QFileInfo::exists(dir.filePath(LimitsTable().file)))
        attempt([&] { books->limits = ReadLimits(*OpenToRead(dir, LimitsTable())); },
                LimitsTable().file);
    books->historyPath = dir.filePath(HistoryTable().file);
    if (QFileInfo::exists(books->historyPath)) {
        attempt(
            [&] {
                auto history = std::make_shared<THistoryFile>(books->historyPath);
                // The fields the readings take must be there, of their kind.
                TTable check;
                check.SetTableName(books->historyPath);
                check.SetReadOnly(true);
                HistoryTable().MakeFields(&check);
                check.Open();
                books->historyCount = history->Count();
                books->history = std::move(history);
            },
            HistoryTable().file);
    }
    return books;
}

} // namespace

std::unique_ptr<TTable> OpenToRead(const QDir& dir, const TableDescription& description) {
    auto table = std::make_unique<TTable>();
    table->SetTableName(dir.filePath(description.file));
    table->SetExactFields(description.exactFields);
    table->SetReadOnly(true);
    description.MakeFields(table.get());
    table->Open();
    return table;
}

// A commit writes its journal before it touches any table and removes it after the last one,
// and the history's count goes up in every commit of the books. So a reading is whole when no
// journal was there after the first look at the tables nor before the last one, and the
// tables looked the same both times: a commit that ran into the reading either still had its
// journal at the end, or had raised the history's count by then.
std::shared_ptr<const Books> ReadBooks(const QString& folder, int patienceMs,
                                       const std::function<void(const QString&)>& afterTable) {
    const QDir dir(folder);
    const QDeadlineTimer deadline(patienceMs);
    for (;;) {
        const FolderStamp before = stampOf(dir);
        if (!journalThere(dir)) {
            std::shared_ptr<Books> books = readOnce(dir, afterTable);
            if (!journalThere(dir) && stampOf(dir) == before) {
                if (books->history && books->historyCount != before.last().count)
                    books->historyCount = std::min(books->historyCount, before.last().count);
                return books;
            }
        }
        if (deadline.hasExpired())
            throw EBooksBusy(QStringLiteral("Касса сейчас записывает изменения в книги папки «%1»; "
                                            "чтение будет повторено.")
                                 .arg(QDir::toNativeSeparators(dir.absolutePath())));
        QThread::msleep(15);
    }
}

bool HoldsBooks(const QString& folder) {
    const QDir dir(folder);
    for (const TableDescription* table : {&CompitTable(), &PriemTable(), &MoneyTable()})
        if (!QFileInfo::exists(dir.filePath(table->file)))
            return false;
    return true;
}

} // namespace varnel
