// bench_office: the back office over a year of a million history records. Opening the window
// must not read the history; filtering and sorting it scan the file's bytes off the window's
// thread. Fixtures go to $VARNEL_BENCH_DIR when set, else the system temp folder. With
// VARNEL_BENCH_SERVER (a libpq connection string of a throwaway cluster's maintenance database,
// as bench/office-server.sh gives it), the BM_Server cases ask the same questions of a server
// holding a year alike, with 100,000 live bets and 50,000 payouts owed.
//
//   bench_office                          the cases below
//   bench_office --lay-out FOLDER [N]     a working folder with a history of N records (a
//                                         million by default), to open with varnel-office
#include "bench/WindowBench.h"
#include "office/books/HistoryModel.h"
#include "office/window/CashView.h"
#include "office/window/HistoryView.h"
#include "office/window/OfficeWindow.h"
#include "server/Config.h"
#include "server/Connection.h"
#include "server/Questions.h"
#include "server/Schema.h"
#include "store/DataModule6.h"
#include "store/Figures.h"
#include "store/History.h"
#include "store/InFolder.h"
#include "store/Reading.h"
#include "store/Rules.h"
#include "store/Tables.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Variant.h"

#include <benchmark/benchmark.h>

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
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

// The year on a server: the same mix of records as layOut writes, made by the server itself, and
// the live books of a busy day: 1,000 open events, 100,000 bets on them, 50,000 payouts owed.
QString serverYear() {
    static const QString conninfo = [] {
        const QString maintenance = qEnvironmentVariable("VARNEL_BENCH_SERVER");
        if (maintenance.isEmpty())
            return QString();
        {
            ServerConnection server(maintenance);
            server.Exec(QStringLiteral("drop database if exists varnel_year"));
            server.Exec(QStringLiteral("create database varnel_year"));
        }
        const QString year = maintenance + QStringLiteral(" dbname=varnel_year");
        ServerConnection server(year);
        LayOutServer(server);
        std::fprintf(stderr, "laying out a history of %u records on the server...\n", kYear);
        const auto literal = [](const QString& text) { return "'" + text + "'"; };
        server.Exec(
            QStringLiteral(
                "insert into varnel.history (den, vremya, vid, kassir, number, kom1, kom2, "
                "serial, fio, result, summa, koeficient, vyplata) select current_date - 364 + "
                "(i::bigint * 365 / %1)::int, lpad((9 + (i / 3600) % 12)::text, 2, '0') || ':' "
                "|| lpad(((i / 60) % 60)::text, 2, '0') || ':' || lpad((i % 60)::text, 2, '0'), "
                "k, (array['anna', 'boris', 'vera', 'gleb'])[(i / 1000) % 4 + 1], 1 + (i / 500) % "
                "3000, case when k in (%2, %3, %4) then s[i % 6 + 1] end, case when k in (%2, "
                "%3, %4) then s[(i + 1) % 6 + 1] end, case when k not in (%2, %3) then i + 1 end, "
                "case when k not in (%2, %3) then (array['Иванов', 'Петров', 'Сидоров', "
                "'Кузнецов', 'Смирнов', 'Фёдоров', 'Волков', 'Морозов', 'Попов', "
                "'Лебедев'])[i % 10 + 1] || ' Клиент ' || i % 3000 end, case when k in (%4, %5, "
                "%6) then s[i % 6 + 1] end, case when k in (%4, %5, %6) then 50 + (i % 40) * 25 "
                "end, case when k in (%4, %5, %6) then 1.5 + (i % 20) / 10.0 end, case when k in "
                "(%5, %7) then 120 + (i % 90) * 10 end from (select i, case when i % 500 = 0 "
                "then %2 else (array[%4, %4, %4, %4, %4, %6, %6, %5, %7, %3])[(i * 7) % 10 + 1] "
                "end as k, array['Спартак', 'Зенит', 'Динамо', 'Локомотив', 'ЦСКА', 'Рубин'] as "
                "s from generate_series(0, %1 - 1) i) g")
                .arg(kYear)
                .arg(literal(kinds::Event()), literal(kinds::Result()), literal(kinds::Bet()),
                     literal(kinds::Won()), literal(kinds::Lost()), literal(kinds::Paid())));
        server.Exec(QStringLiteral(
            "insert into varnel.compit (number, date, kom1, kom2, koef_1, koef_2, koef_n, summ_1, "
            "summ_2, summ_n) select n, current_date + 1 + n % 30, 'Спартак', 'Зенит', 2, 3, 3.5, "
            "0, 0, 0 from generate_series(1, 1000) n"));
        server.Exec(QStringLiteral(
            "insert into varnel.priem (number, result, summa, koeficient, fio) select 1 + i % "
            "1000, (array['Спартак', 'Зенит', 'Ничья'])[i % 3 + 1], 50 + i % 40 * 25, 2, "
            "'Клиент ' || i % 3000 from generate_series(0, 99999) i"));
        server.Exec(QStringLiteral("insert into varnel.money (fio, summa, serial) select 'Клиент "
                                   "' || i % 3000, 120 + i % 90 * 10, 2000000 + i from "
                                   "generate_series(0, 49999) i"));
        // As the bets' operation keeps them: each outcome's payout sum on its event.
        server.Exec(QStringLiteral(
            "update varnel.compit c set vypl_1 = varnel.decimal(varnel.payout_sum(c.number, "
            "c.kom1), 4), vypl_2 = varnel.decimal(varnel.payout_sum(c.number, c.kom2), 4), vypl_n "
            "= varnel.decimal(varnel.payout_sum(c.number, 'Ничья'), 4)"));
        server.Exec(QStringLiteral("vacuum analyze"));
        return year;
    }();
    return conninfo;
}

// The resident memory of this process, in bytes.
double residentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024;
    return 0;
}

// The longest the window's thread went without turning its event loop while `until` was
// waited for: a timer of 1 ms tells how late each of its turns came.
template <typename Until> double longestBusyMs(Until until, int patienceMs = 30000) {
    QElapsedTimer clock, gap;
    clock.start();
    gap.start();
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, gap.nsecsElapsed());
        gap.restart();
    });
    tick.start();
    while (!until() && clock.elapsed() < patienceMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    longest = std::max(longest, gap.nsecsElapsed());
    return double(longest) / 1e6;
}

#define SERVER_OR_SKIP(state)                                                                      \
    const QString conninfo = serverYear();                                                         \
    if (conninfo.isEmpty()) {                                                                      \
        state.SkipWithError("VARNEL_BENCH_SERVER is not set");                                     \
        return;                                                                                    \
    }

// Start to the history's first screen: the window made, the folder opened (its own books, or
// the server its varnel.conf names), the live books read and the first rows of the history
// shown; with the memory the views added and the longest the window's thread was held. The time
// itself is to every view settled (the day's cash, the operators too).
void openWindow(benchmark::State& state, const QString& folder) {
    double busy = 0, added = 0, firstScreen = 0;
    for (auto _ : state) {
        const double before = residentBytes();
        QElapsedTimer clock;
        clock.start();
        OfficeWindow window;
        window.ShowView(0);
        window.show();
        if (!window.OpenFolder(folder))
            state.SkipWithError("the folder did not open");
        qint64 shown = -1;
        busy = std::max(busy, longestBusyMs([&] {
                            if (shown < 0 && window.History()->Model()->rowCount() > 0)
                                shown = clock.elapsed();
                            return window.Settled() && shown >= 0;
                        }));
        firstScreen = std::max(firstScreen, double(shown));
        benchmark::DoNotOptimize(window.grab());
        added = residentBytes() - before;
    }
    state.counters["first_screen_ms"] = firstScreen;
    state.counters["busy_ms"] = busy;
    state.counters["added_MiB"] = added / (1 << 20);
}

// A folder whose varnel.conf names the server's books.
std::unique_ptr<QTemporaryDir> namingServer(const QString& conninfo) {
    auto folder = std::make_unique<QTemporaryDir>();
    QFile conf(QDir(folder->path()).filePath(QStringLiteral("varnel.conf")));
    conf.open(QIODevice::WriteOnly);
    conf.write(QStringLiteral("[server]\nconninfo=%1\n").arg(conninfo).toUtf8());
    return folder;
}

void BM_OpenWindow(benchmark::State& state) {
    openWindow(state, year());
}
BENCHMARK(BM_OpenWindow)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ServerOpenWindow(benchmark::State& state) {
    SERVER_OR_SKIP(state)
    const auto folder = namingServer(conninfo);
    openWindow(state, folder->path());
}
BENCHMARK(BM_ServerOpenWindow)->Unit(benchmark::kMillisecond)->Iterations(3);

// A bet committed to the office showing it, on the year: each through the books' own operation
// on a connection of the bench's (as a counter's), timed from its commit to the window's count
// of bets going up, the event loop turning meanwhile; the 95th percentile and the longest, and
// the longest the window's thread was held.
// Each `commit` timed to the window's count of bets going up, the event loop turning meanwhile:
// the median, the 95th percentile and the longest, and the longest the window's thread was held.
void commitsToView(benchmark::State& state, OfficeWindow& window,
                   const std::function<void()>& commit) {
    longestBusyMs([&] { return window.Settled(); });
    std::vector<double> times;
    double busy = 0;
    for (auto _ : state) {
        const qsizetype before = window.CurrentBooks()->BetCount();
        commit();
        QElapsedTimer clock;
        clock.start();
        busy = std::max(
            busy, longestBusyMs([&] { return window.CurrentBooks()->BetCount() > before; }, 10000));
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        longestBusyMs([&] { return window.Settled(); }, 10000);
    }
    std::sort(times.begin(), times.end());
    state.counters["p50_ms"] = times[times.size() / 2];
    state.counters["p95_ms"] = times[std::min(times.size() - 1, times.size() * 95 / 100)];
    state.counters["max_ms"] = times.back();
    state.counters["busy_ms"] = busy;
}

// On the year's folder: a bet through the counter's own operation, its module in this process.
void BM_CommitToView(benchmark::State& state) {
    const QString& folder = year();
    const InFolder here(folder);
    TDataModule6 counter;
    counter.DataModuleCreate();
    using namespace fields;
    TDataSet& events = *counter.TableCompit;
    if (!counter.FindEvent(Variant(7))) {
        events.Insert();
        events.SetFieldValue(NUMBER, Variant(7));
        events.SetFieldValue(DATE, Variant(QDate::currentDate().addDays(2)));
        events.SetFieldValue(KOM1, Variant(QStringLiteral("Спартак")));
        events.SetFieldValue(KOM2, Variant(QStringLiteral("Зенит")));
        for (const QLatin1String koef : {KOEF_1, KOEF_2, KOEF_N})
            events.SetFieldValue(koef, Variant(2.0));
        for (const QLatin1String sum : {SUMM_1, SUMM_2, SUMM_N})
            events.SetFieldValue(sum, Variant(500.0));
        counter.EnterEvent();
    }
    OfficeWindow window;
    window.show();
    if (!window.OpenFolder(folder))
        state.SkipWithError("the folder did not open");
    commitsToView(state, window, [&] {
        if (!counter.FindEvent(Variant(7)))
            throw std::runtime_error("no event 7");
        TDataSet& bets = *counter.TableStavka;
        bets.Insert();
        bets.SetFieldValue(NUMBER, Variant(7));
        bets.SetFieldValue(RESULT, Variant(QStringLiteral("Спартак")));
        bets.SetFieldValue(SUMMA, Variant(10.0));
        bets.SetFieldValue(KOEFICIENT, events.GetFieldValue(KOEF_1));
        bets.SetFieldValue(FIO, Variant(QStringLiteral("Замер")));
        counter.RecordBet(Outcome::Side1, false);
    });
}
BENCHMARK(BM_CommitToView)->Unit(benchmark::kMillisecond)->Iterations(60);

void BM_ServerCommitToView(benchmark::State& state) {
    SERVER_OR_SKIP(state)
    const auto folder = namingServer(conninfo);
    OfficeWindow window;
    window.show();
    if (!window.OpenFolder(folder->path()))
        state.SkipWithError("the folder did not open");
    ServerConnection counter(conninfo);
    const QVariant event = counter.Value(QStringLiteral("select key from varnel.compit where "
                                                        "number = 7"));
    commitsToView(state, window, [&] {
        counter.Exec(QStringLiteral("select varnel.take_bet(?, 7, 1, false, 'Замер', 10, "
                                    "(select koef_1 from varnel.compit where number = 7), null, "
                                    "gen_random_uuid())"),
                     {event});
    });
}
BENCHMARK(BM_ServerCommitToView)->Unit(benchmark::kMillisecond)->Iterations(60);

// A question of the history as the window asks it: its first page and how many records it
// lets through.
void serverQuery(benchmark::State& state, const HistoryQuery& query) {
    SERVER_OR_SKIP(state)
    ServerConnection server(conninfo);
    ServerQuestions questions(server);
    std::size_t rows = 0;
    std::int64_t matching = 0;
    for (auto _ : state) {
        rows = questions.History(query, nullptr, 500).rows.size();
        matching = questions.Count(query.filter);
    }
    state.counters["rows"] = double(rows);
    state.counters["matching"] = double(matching);
}

void BM_ServerFilterClient(benchmark::State& state) {
    HistoryQuery q;
    q.filter.client = QStringLiteral("фЁдоров клиент 12");
    serverQuery(state, q);
}
BENCHMARK(BM_ServerFilterClient)->Unit(benchmark::kMillisecond);

void BM_ServerFilterWeek(benchmark::State& state) {
    HistoryQuery q;
    q.filter.from = QDate::currentDate().addDays(-100);
    q.filter.to = q.filter.from.addDays(6);
    serverQuery(state, q);
}
BENCHMARK(BM_ServerFilterWeek)->Unit(benchmark::kMillisecond);

void BM_ServerFilterEventAndKind(benchmark::State& state) {
    HistoryQuery q;
    q.filter.event = 1234;
    q.filter.kind = kinds::Bet();
    serverQuery(state, q);
}
BENCHMARK(BM_ServerFilterEventAndKind)->Unit(benchmark::kMillisecond);

void BM_ServerFilterKind(benchmark::State& state) {
    HistoryQuery q;
    q.filter.kind = kinds::Paid();
    serverQuery(state, q);
}
BENCHMARK(BM_ServerFilterKind)->Unit(benchmark::kMillisecond);

void BM_ServerFilterOperator(benchmark::State& state) {
    HistoryQuery q;
    q.filter.kassir = QStringLiteral("boris");
    serverQuery(state, q);
}
BENCHMARK(BM_ServerFilterOperator)->Unit(benchmark::kMillisecond);

// Each column's sort, both ways: the first page.
void BM_ServerSort(benchmark::State& state) {
    HistoryQuery q;
    q.sortColumn = int(state.range(0));
    q.order = state.range(1) ? Qt::DescendingOrder : Qt::AscendingOrder;
    state.SetLabel(QString::fromLatin1(HistoryColumns()[q.sortColumn].field).toStdString());
    SERVER_OR_SKIP(state)
    ServerConnection server(conninfo);
    ServerQuestions questions(server);
    for (auto _ : state)
        benchmark::DoNotOptimize(questions.History(q, nullptr, 500));
}
BENCHMARK(BM_ServerSort)
    ->Unit(benchmark::kMillisecond)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 20, 1), {0, 1}});

// The next page after the first, as the grid is scrolled.
void BM_ServerNextPageByClient(benchmark::State& state) {
    SERVER_OR_SKIP(state)
    ServerConnection server(conninfo);
    ServerQuestions questions(server);
    HistoryQuery q;
    q.sortColumn = HistoryColumnOf(fields::FIO);
    const HistoryPage first = questions.History(q, nullptr, 500);
    for (auto _ : state)
        benchmark::DoNotOptimize(questions.History(q, &first, 500));
}
BENCHMARK(BM_ServerNextPageByClient)->Unit(benchmark::kMillisecond);

void BM_ServerCashOfADay(benchmark::State& state) {
    SERVER_OR_SKIP(state)
    ServerConnection server(conninfo);
    ServerQuestions questions(server);
    const QDate day = QDate::currentDate().addDays(-30);
    for (auto _ : state)
        benchmark::DoNotOptimize(questions.Cash(day, day));
}
BENCHMARK(BM_ServerCashOfADay)->Unit(benchmark::kMillisecond);

// The live books read (the risk's bets among them) and the risk summed from them.
void BM_ServerReadAndRisk(benchmark::State& state) {
    SERVER_OR_SKIP(state)
    ServerConnection server(conninfo);
    ServerQuestions questions(server);
    for (auto _ : state) {
        const ServerReading reading = questions.Read();
        benchmark::DoNotOptimize(ComputeRisk(*reading.books));
    }
}
BENCHMARK(BM_ServerReadAndRisk)->Unit(benchmark::kMillisecond);

void BM_ServerOperators(benchmark::State& state) {
    SERVER_OR_SKIP(state)
    ServerConnection server(conninfo);
    ServerQuestions questions(server);
    for (auto _ : state)
        if (questions.Operators().size() < 4) // and whoever took BM_ServerCommitToView's bets
            state.SkipWithError("the operators are not what was laid out");
}
BENCHMARK(BM_ServerOperators)->Unit(benchmark::kMillisecond);

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
