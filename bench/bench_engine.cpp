// bench_engine: the table engine's costs against the performance budget in DESIGN.md.
// Fixtures go to $VARNEL_BENCH_DIR when set, else the system temp folder: fsync cost
// depends on the filesystem, so run it on each one the tables may live on.
#include "base/Errors.h"
#include "store/InFolder.h"
#include "store/Tables.h"
#include "store/engine/DataSet.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Field.h"
#include "store/engine/Table.h"
#include "store/engine/Variant.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace varnel;

namespace {

constexpr std::uint32_t kBigTable = 200'000;
constexpr std::uint32_t kPostBase = 5'000;
// Events 1..997 fill the bets; the one looked up is only in the last record, so a lookup
// walks the whole table.
constexpr int kEvents = 997;
constexpr int kWantedEvent = 32'000;

QString fixtureBase() {
    const QByteArray base = qgetenv("VARNEL_BENCH_DIR");
    return base.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(base);
}

// A fresh working folder with the four empty tables, removed again at the end.
class Desk {
public:
    Desk() : m_dir(QDir(fixtureBase()).filePath(QStringLiteral("varnel-bench-XXXXXX"))) {
        if (!m_dir.isValid())
            throw std::runtime_error("cannot make a temporary folder under " +
                                     fixtureBase().toStdString());
        CreateEmptyTables(m_dir.path());
    }
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return QDir(m_dir.path()).filePath(name); }

private:
    QTemporaryDir m_dir;
};

class SyncSetting {
public:
    explicit SyncSetting(bool enabled) : m_previous(DbfFile::syncEnabled()) {
        DbfFile::setSyncEnabled(enabled);
    }
    ~SyncSetting() { DbfFile::setSyncEnabled(m_previous); }
    SyncSetting(const SyncSetting&) = delete;
    SyncSetting& operator=(const SyncSetting&) = delete;

private:
    bool m_previous;
};

const QStringList& names() {
    static const QStringList list = {
        QStringLiteral("Иванов Пётр Сергеевич"),    QStringLiteral("Смирнова Анна Викторовна"),
        QStringLiteral("Кузнецов Олег Иванович"),   QStringLiteral("Попова Ирина Павловна"),
        QStringLiteral("Васильев Дмитрий Юрьевич"), QStringLiteral("Соколов Артём Андреевич"),
        QStringLiteral("Михайлова Елена Олеговна"),
    };
    return list;
}

const QStringList& results() {
    static const QStringList list = {QStringLiteral("Команда 1"), QStringLiteral("Команда 2"),
                                     QStringLiteral("Ничья")};
    return list;
}

// Fills PRIEM.DBF through the file layer with syncing off: a fixture, not a measurement.
// With lastEvent set, the final record carries that event number.
void fillBets(const QString& path, std::uint32_t count, int lastEvent = 0) {
    SyncSetting off(false);
    DbfFile file(path);
    file.open();
    const int number = file.columnIndex(QStringLiteral("NUMBER"));
    const int result = file.columnIndex(QStringLiteral("RESULT"));
    const int summa = file.columnIndex(QStringLiteral("SUMMA"));
    const int koef = file.columnIndex(QStringLiteral("KOEFICIENT"));
    const int fio = file.columnIndex(QStringLiteral("FIO"));
    const QByteArray blank = file.blankRecord();
    for (std::uint32_t i = 0; i < count; ++i) {
        QByteArray record = blank;
        const bool last = i + 1 == count && lastEvent != 0;
        file.encode(record.data(), number, Variant(last ? lastEvent : int(i % kEvents) + 1));
        file.encode(record.data(), result, Variant(results()[int(i % 3)]));
        file.encode(record.data(), summa, Variant::fromCurrencyUnits((100 + i % 5000) * 10'000));
        file.encode(record.data(), koef, Variant(1.05 + double(i % 300) / 100.0));
        file.encode(record.data(), fio, Variant(names()[int(i % names().size())]));
        file.append(record);
    }
    if (file.recordCount() != count)
        throw std::runtime_error("the fixture did not get all its records");
}

// A working folder whose PRIEM.DBF holds 200,000 bets (about 24 MB), made once.
const Desk& bigDesk() {
    static const std::unique_ptr<Desk> desk = [] {
        auto d = std::make_unique<Desk>();
        fillBets(d->file(QStringLiteral("PRIEM.DBF")), kBigTable, kWantedEvent);
        return d;
    }();
    return *desk;
}

template <typename Body> void guarded(benchmark::State& state, Body&& body) {
    try {
        body();
    } catch (const EVarnelError& error) {
        state.SkipWithError(error.message().toStdString().c_str());
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
    }
}

// One new bet written by Post (two syncs when syncing is on), into a PRIEM.DBF that already
// holds some thousands of bets. The measured time is Post alone; filling in the fields
// before it is shown as the counter fill_us.
void BM_PostBet(benchmark::State& state) {
    guarded(state, [&] {
        const bool sync = state.range(0) != 0;
        Desk desk;
        fillBets(desk.file(QStringLiteral("PRIEM.DBF")), kPostBase);
        InFolder in(desk.path());
        SyncSetting setting(sync);
        TTable table;
        table.SetTableName(QStringLiteral("PRIEM.DBF"));
        table.Open();
        const std::uint32_t before = table.EndKey();
        double fillSeconds = 0;
        std::int64_t n = 0;
        using Clock = std::chrono::steady_clock;
        for (auto _ : state) {
            const auto t0 = Clock::now();
            table.Insert();
            table.SetFieldValue(QStringLiteral("NUMBER"), Variant(int(n % kEvents) + 1));
            table.SetFieldValue(QStringLiteral("RESULT"), Variant(results()[int(n % 3)]));
            table.SetFieldValue(QStringLiteral("SUMMA"), Variant::fromCurrencyUnits(500'000));
            table.SetFieldValue(QStringLiteral("KOEFICIENT"), Variant(1.85));
            table.SetFieldValue(QStringLiteral("FIO"), Variant(names()[int(n % names().size())]));
            const auto t1 = Clock::now();
            table.Post();
            const auto t2 = Clock::now();
            state.SetIterationTime(std::chrono::duration<double>(t2 - t1).count());
            fillSeconds += std::chrono::duration<double>(t1 - t0).count();
            ++n;
        }
        // Every Post must have landed in the file, and the last one must read back.
        DbfFile check(desk.file(QStringLiteral("PRIEM.DBF")));
        check.open();
        if (check.recordCount() != before + std::uint64_t(n))
            throw std::runtime_error("posted bets are missing from PRIEM.DBF");
        if (n > 0) {
            const Variant number = check.decode(check.record(check.recordCount() - 1),
                                                check.columnIndex(QStringLiteral("NUMBER")));
            if (!(number == Variant(int((n - 1) % kEvents) + 1)))
                throw std::runtime_error("the last posted bet reads back wrong");
        }
        state.counters["fill_us"] =
            benchmark::Counter(fillSeconds * 1e6 / double(std::max<std::int64_t>(n, 1)));
        state.SetLabel(sync ? "synced" : "no sync");
    });
}
BENCHMARK(BM_PostBet)
    ->ArgName("sync")
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A lookup by event number the way a window does it: First, compare NUMBER, Next until Eof.
// The wanted event is in the last of 200,000 records. Arg cold=1 drops the file from the
// page cache before each scan (what the disk, not the engine, costs).
void BM_ScanByNumber(benchmark::State& state) {
    guarded(state, [&] {
        const bool cold = state.range(0) != 0;
        const Desk& desk = bigDesk();
        InFolder in(desk.path());
        TTable table;
        table.SetTableName(QStringLiteral("PRIEM.DBF"));
        table.Open();
        const std::uint32_t count = table.EndKey();
        const Variant wanted(kWantedEvent);
        const int fd = ::open(QFile::encodeName(desk.file(QStringLiteral("PRIEM.DBF"))).constData(),
                              O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw std::runtime_error("cannot open PRIEM.DBF to drop it from the cache");
        std::int64_t found = -1;
        for (auto _ : state) {
            if (cold) {
                state.PauseTiming();
                ::fdatasync(fd);
                ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
                state.ResumeTiming();
            }
            found = -1;
            table.First();
            while (!table.Eof()) {
                if (table.GetFieldValue(QStringLiteral("NUMBER")) == wanted) {
                    found = table.CurrentIndex();
                    break;
                }
                table.Next();
            }
            benchmark::DoNotOptimize(found);
        }
        ::close(fd);
        if (found != std::int64_t(count) - 1)
            throw std::runtime_error("the scan did not find the event in the last record");
        state.SetItemsProcessed(state.iterations() * std::int64_t(count));
        state.SetBytesProcessed(state.iterations() *
                                QFileInfo(desk.file(QStringLiteral("PRIEM.DBF"))).size());
        state.SetLabel(cold ? "page cache dropped" : "page cache warm");
    });
}
BENCHMARK(BM_ScanByNumber)->ArgName("cold")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The engine's own scan for a value (TDataSet::FindRecord): NUMBER compared on the file's bytes,
// nothing decoded but the match. The same file and the same wanted record as above.
void BM_FindByNumber(benchmark::State& state) {
    guarded(state, [&] {
        const Desk& desk = bigDesk();
        InFolder in(desk.path());
        TTable table;
        table.SetTableName(QStringLiteral("PRIEM.DBF"));
        table.Open();
        const std::uint32_t count = table.EndKey();
        const TField* number = table.FieldByName(QStringLiteral("NUMBER"));
        const Variant wanted(kWantedEvent);
        std::int64_t found = -1;
        for (auto _ : state) {
            found = table.FindRecord(-1, +1, number, wanted);
            benchmark::DoNotOptimize(found);
        }
        if (found != std::int64_t(count) - 1)
            throw std::runtime_error("the scan did not find the event in the last record");
        state.SetItemsProcessed(state.iterations() * std::int64_t(count));
        state.SetBytesProcessed(state.iterations() *
                                QFileInfo(desk.file(QStringLiteral("PRIEM.DBF"))).size());
    });
}
BENCHMARK(BM_FindByNumber)->Unit(benchmark::kMillisecond);

// For scale: reading the same 24 MB in 256 KB blocks and touching one byte per record,
// with no decoding at all.
void BM_RawRead(benchmark::State& state) {
    guarded(state, [&] {
        const Desk& desk = bigDesk();
        const QByteArray path = QFile::encodeName(desk.file(QStringLiteral("PRIEM.DBF")));
        ssize_t recordLength = 0;
        {
            DbfFile file(desk.file(QStringLiteral("PRIEM.DBF")));
            file.open();
            recordLength = file.recordLength();
        }
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw std::runtime_error("cannot open PRIEM.DBF");
        std::vector<char> block(256 * 1024);
        std::int64_t total = 0;
        for (auto _ : state) {
            std::uint64_t sum = 0;
            off_t at = 0;
            total = 0;
            for (;;) {
                const auto got = ::pread(fd, block.data(), block.size(), at);
                if (got <= 0)
                    break;
                for (ssize_t i = 0; i < got; i += recordLength)
                    sum += static_cast<unsigned char>(block[std::size_t(i)]);
                at += got;
                total += got;
            }
            benchmark::DoNotOptimize(sum);
        }
        ::close(fd);
        if (total < std::int64_t(kBigTable) * recordLength)
            throw std::runtime_error("PRIEM.DBF is shorter than its records");
        state.SetBytesProcessed(state.iterations() * total);
    });
}
BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond);

// The start-up's table work: opening COMPIT, PRIEM, TMP and MONEY by bare name (and
// closing them again). Arg bets=0 is a fresh working folder; bets=200000 has the big PRIEM.
void BM_OpenTables(benchmark::State& state) {
    guarded(state, [&] {
        std::unique_ptr<Desk> fresh;
        const Desk* desk = nullptr;
        if (state.range(0) == 0) {
            fresh = std::make_unique<Desk>();
            desk = fresh.get();
        } else {
            desk = &bigDesk();
        }
        InFolder in(desk->path());
        const QStringList files = TableFileNames();
        for (auto _ : state) {
            TTable tables[4];
            for (int i = 0; i < 4; ++i) {
                tables[i].SetTableName(files[i]);
                tables[i].Open();
            }
            for (const TTable& table : tables)
                if (!table.Active())
                    throw std::runtime_error("a table did not open");
            benchmark::DoNotOptimize(tables[1].EndKey());
        }
    });
}
BENCHMARK(BM_OpenTables)->ArgName("bets")->Arg(0)->Arg(kBigTable)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
