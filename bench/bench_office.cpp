// bench_office: the back office over a year of a million history records. Opening the window
// must not read the history; filtering and sorting it scan the file's bytes off the window's
// thread. Fixtures go to $VARNEL_BENCH_DIR when set, else the system temp folder.
//
//   bench_office                          the cases below
//   bench_office --lay-out FOLDER [N]     a working folder with a history of N records (a
//                                         million by default), to open with varnel-office
#include "bench/WindowBench.h"
#include "office/books/Figures.h"
#include "office/books/HistoryModel.h"
#include "office/window/OfficeWindow.h"
#include "store/History.h"
#include "store/Reading.h"
#include "store/Tables.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Variant.h"

#include <benchmark/benchmark.h>

#include <QDate>
#include <QDir>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <memory>
#include <stdexcept>

using namespace varnel;
using namespace varnel::office;

namespace {

constexpr std::uint32_t kYear = 1000000;

// A year of a busy office: events entered and settled, bets taken on them, payouts paid, by
// a few thousand clients, in the order the counter writes them, day after day.
void layOut(const QString& folder, std::uint32_t records) {
    CreateEmptyTables(folder);
    DbfFile::setSyncEnabled(false);
    DbfFile history(QDir(folder).filePath(HistoryTable().file));
    history.open();
    const QByteArray blank = history.blankRecord();
    const auto column = [&](const char* name) { return history.columnIndex(name); };
    const int den = column("DEN"), vremya = column("VREMYA"), vid = column("VID"),
              serial = column("SERIAL"), number = column("NUMBER"), kom1 = column("KOM1"),
              kom2 = column("KOM2"), result = column("RESULT"), summa = column("SUMMA"),
              koef = column("KOEFICIENT"), fio = column("FIO"), vyplata = column("VYPLATA"),
              kassir = column("KASSIR");
    const QString operators[] = {"anna", "boris", "vera", "gleb"};
    const QString sides[] = {"Спартак", "Зенит", "Динамо", "Локомотив", "ЦСКА", "Рубин"};
    const QString first[] = {"Иванов",  "Петров", "Сидоров", "Кузнецов", "Смирнов",
                             "Фёдоров", "Волков", "Морозов", "Попов",    "Лебедев"};
    const QString mix[] = {kinds::Bet(),  kinds::Bet(),   kinds::Bet(),  kinds::Bet(),
                           kinds::Bet(),  kinds::Lost(),  kinds::Lost(), kinds::Won(),
                           kinds::Paid(), kinds::Result()};
    const QDate start = QDate::currentDate().addDays(-364);
    for (std::uint32_t i = 0; i < records; ++i) {
        QByteArray record = blank;
        char* r = record.data();
        const QString& kind = i % 500 == 0 ? kinds::Event() : mix[(i * 7) % 10];
        history.encode(r, den, Variant(start.addDays(int(std::uint64_t(i) * 365 / records))));
        history.encode(r, vremya,
                       Variant(QStringLiteral("%1:%2:%3")
                                   .arg(9 + (i / 3600) % 12, 2, 10, QLatin1Char('0'))
                                   .arg((i / 60) % 60, 2, 10, QLatin1Char('0'))
                                   .arg(i % 60, 2, 10, QLatin1Char('0'))));
        history.encode(r, vid, Variant(kind));
        history.encode(r, kassir, Variant(operators[(i / 1000) % 4]));
        history.encode(r, number, Variant(int(1 + (i / 500) % 3000)));
        const QString client = QStringLiteral("%1 Клиент %2").arg(first[i % 10]).arg(i % 3000);
        if (kind == kinds::Event() || kind == kinds::Result() || kind == kinds::Bet()) {
            history.encode(r, kom1, Variant(sides[i % 6]));
            history.encode(r, kom2, Variant(sides[(i + 1) % 6]));
        }
        if (kind != kinds::Event() && kind != kinds::Result()) {
            history.encode(r, serial, Variant(std::int64_t(i) + 1));
            history.encode(r, fio, Variant(client));
        }
        if (kind == kinds::Bet() || kind == kinds::Won() || kind == kinds::Lost()) {
            history.encode(r, result, Variant(sides[i % 6]));
            history.encode(r, summa, Variant(50.0 + double(i % 40) * 25));
            history.encode(r, koef, Variant(1.5 + double(i % 20) / 10));
        }
        if (kind == kinds::Won() || kind == kinds::Paid())
            history.encode(r, vyplata, Variant(120.0 + double(i % 90) * 10));
        history.append(record);
    }
    DbfFile::setSyncEnabled(true);
}

const QString& year() {
    static std::unique_ptr<QTemporaryDir> dir;
    static const QString path = [] {
        const QByteArray base = qgetenv("VARNEL_BENCH_DIR");
        dir = std::make_unique<QTemporaryDir>(
            (base.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(base)) +
            QStringLiteral("/varnel-office-XXXXXX"));
        if (!dir->isValid())
            throw std::runtime_error("cannot make a temporary folder");
        std::fprintf(stderr, "laying out a history of %u records...\n", kYear);
        layOut(dir->path(), kYear);
        return dir->path();
    }();
    return path;
}

// What opening the window costs on a year: the books read, the history's model made over the
// file and the rows a screen shows decoded.
void BM_OpenHistory(benchmark::State& state) {
    const QString& folder = year();
    for (auto _ : state) {
        const auto books = ReadBooks(folder);
        HistoryModel model;
        model.SetBooks(books);
        for (int row = 0; row < 40; ++row)
            for (int c = 0; c < model.columnCount(); ++c)
                benchmark::DoNotOptimize(model.data(model.index(row, c)));
        if (model.rowCount() != int(kYear))
            state.SkipWithError("the history is not all there");
    }
}
BENCHMARK(BM_OpenHistory)->Unit(benchmark::kMillisecond);

// The whole window: made, the folder opened, shown and painted once.
void BM_OpenWindow(benchmark::State& state) {
    const QString& folder = year();
    for (auto _ : state) {
        OfficeWindow window;
        window.ShowView(0);
        if (!window.OpenFolder(folder))
            state.SkipWithError("the folder did not open");
        window.show();
        benchmark::DoNotOptimize(window.grab());
    }
}
BENCHMARK(BM_OpenWindow)->Unit(benchmark::kMillisecond);

void query(benchmark::State& state, const HistoryQuery& query) {
    const auto books = ReadBooks(year());
    const std::atomic<bool> never{false};
    std::size_t rows = 0;
    for (auto _ : state)
        rows = RunHistoryQuery(books->historyPath, books->historyCount, query, never).rows.size();
    state.counters["rows"] = double(rows);
}

void BM_FilterClient(benchmark::State& state) {
    HistoryQuery q;
    q.filter.client = QStringLiteral("фЁдоров клиент 12");
    query(state, q);
}
BENCHMARK(BM_FilterClient)->Unit(benchmark::kMillisecond);

void BM_FilterWeek(benchmark::State& state) {
    HistoryQuery q;
    q.filter.from = QDate::currentDate().addDays(-100);
    q.filter.to = q.filter.from.addDays(6);
    query(state, q);
}
BENCHMARK(BM_FilterWeek)->Unit(benchmark::kMillisecond);

void BM_FilterEventAndKind(benchmark::State& state) {
    HistoryQuery q;
    q.filter.event = 1234;
    q.filter.kind = kinds::Bet();
    query(state, q);
}
BENCHMARK(BM_FilterEventAndKind)->Unit(benchmark::kMillisecond);

void BM_SortByClient(benchmark::State& state) {
    HistoryQuery q;
    q.sortColumn = HistoryModel::ColumnOf(fields::FIO);
    q.order = Qt::AscendingOrder;
    query(state, q);
}
BENCHMARK(BM_SortByClient)->Unit(benchmark::kMillisecond);

void BM_SortByStake(benchmark::State& state) {
    HistoryQuery q;
    q.sortColumn = HistoryModel::ColumnOf(fields::SUMMA);
    query(state, q);
}
BENCHMARK(BM_SortByStake)->Unit(benchmark::kMillisecond);

void BM_FilterOperator(benchmark::State& state) {
    HistoryQuery q;
    q.filter.kassir = QStringLiteral("boris");
    query(state, q);
}
BENCHMARK(BM_FilterOperator)->Unit(benchmark::kMillisecond);

// What the window looks at after every reading, off its thread: the records that cannot be
// read, and the operators the history names.
void BM_Census(benchmark::State& state) {
    const auto books = ReadBooks(year());
    static const std::atomic<bool> never{false};
    for (auto _ : state) {
        const HistoryCensus census = TakeCensus(books->historyPath, 0, books->historyCount, never);
        if (census.operators.size() != 4 || census.unreadable != 0)
            state.SkipWithError("the census is not what was laid out");
    }
}
BENCHMARK(BM_Census)->Unit(benchmark::kMillisecond);

void BM_CashOfADay(benchmark::State& state) {
    const auto books = ReadBooks(year());
    const QDate day = QDate::currentDate().addDays(-30);
    for (auto _ : state)
        benchmark::DoNotOptimize(ComputeCash(*books, day, day));
}
BENCHMARK(BM_CashOfADay)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return varnel::bench::runWindowBenchmarks(argc, argv, nullptr, [&] {
        if (argc < 3 || QByteArray(argv[1]) != "--lay-out")
            return -1;
        layOut(QString::fromLocal8Bit(argv[2]),
               argc > 3 ? std::uint32_t(QByteArray(argv[3]).toUInt()) : kYear);
        return 0;
    });
}
