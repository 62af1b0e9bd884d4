// bench_server: the books on a PostgreSQL server. Bets per second with several counters taking
// bets at once; settling an event of 1,000 or of 100,000 bets among 1,000,000 while other
// counters take bets; the bets' browser opened on 1,000,000 rows; the time from a bet's commit at a
// counter to the back office showing it. The server is the one VARNEL_BENCH_SERVER names (a libpq
// connection string of a throwaway cluster: bench/server.sh starts one and runs this); every case
// lays out a database of its own on it, dropping one of that name left by a run before.
#include "base/Errors.h"
#include "bench/WindowBench.h"
#include "controls/DBGrid.h"
#include "office/books/HistoryModel.h"
#include "office/window/HistoryView.h"
#include "office/window/OfficeWindow.h"
#include "server/Connection.h"
#include "server/Schema.h"
#include "server/ServerHome.h"
#include "store/DataModule6.h"
#include "store/History.h"
#include "store/Home.h"
#include "store/InFolder.h"
#include "store/Rules.h"
#include "store/Tables.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Variant.h"
#include "views/TableStavka.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace varnel;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

QString serverConninfo() {
    const QString conninfo = qEnvironmentVariable("VARNEL_BENCH_SERVER");
    if (conninfo.isEmpty()) {
        std::fprintf(stderr, "VARNEL_BENCH_SERVER is not set: run bench/server.sh, or set it to "
                             "the connection string of a throwaway server\n");
        std::exit(2);
    }
    return conninfo;
}

QString conninfoOf(const QString& database) {
    QString conninfo = serverConninfo();
    static const QRegularExpression dbname(QStringLiteral("dbname=\\S+"));
    if (conninfo.contains(dbname))
        return conninfo.replace(dbname, QStringLiteral("dbname=") + database);
    return conninfo + QStringLiteral(" dbname=") + database;
}

// Whether a database of that name is there (laid out by an earlier run) and may be used again:
// with VARNEL_BENCH_REUSE=1, for rerunning one case without laying out a million rows again.
bool reusable(const QString& database) {
    if (qEnvironmentVariable("VARNEL_BENCH_REUSE") != QLatin1String("1"))
        return false;
    ServerConnection server(serverConninfo());
    return server
               .Value(QStringLiteral("select count(*) from pg_database where datname = ?"),
                      {database})
               .toInt() == 1;
}

// A new database of that name with the books laid out on it; its connection string.
QString freshBooks(const QString& database) {
    {
        ServerConnection server(serverConninfo());
        server.Exec(QStringLiteral("drop database if exists %1").arg(database));
        server.Exec(QStringLiteral("create database %1").arg(database));
    }
    const QString conninfo = conninfoOf(database);
    ServerConnection books(conninfo);
    if (!LayOutServer(books))
        throw std::runtime_error("the new database holds books already");
    // With VARNEL_BENCH_UNINDEXED=1, the history without the back office's indexes: what they
    // cost a bet, measured against a run with them.
    if (qEnvironmentVariable("VARNEL_BENCH_UNINDEXED") == QLatin1String("1"))
        books.Exec(QStringLiteral(
            "do $$ declare i text; begin for i in select indexname from pg_indexes where "
            "schemaname = 'varnel' and (indexname like 'history\\_by\\_%' or indexname in "
            "('history_xact', 'history_fio_part')) loop execute 'drop index varnel.' || i; end "
            "loop; end $$"));
    // With VARNEL_BENCH_TAKE_BET=FILE, a bet is the stand-in the file defines (bench/stand-ins/)
    // instead of the operation: what the rest of a bet costs, the rules' part or more left out.
    if (const QString standIn = qEnvironmentVariable("VARNEL_BENCH_TAKE_BET"); !standIn.isEmpty()) {
        QFile file(standIn);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read " + standIn.toStdString());
        books.Exec(QString::fromUtf8(file.readAll()));
    }
    return conninfo;
}

qlonglong count(ServerConnection& server, const QString& sql, const QVariantList& values = {}) {
    return server.Value(sql, values).toLongLong();
}

// One counter: its own connection and data module, made on the thread that uses them.
struct Counter {
    explicit Counter(const QString& conninfo) : Counter(ServerHome(conninfo)) {}
    explicit Counter(std::unique_ptr<TBooksHome> home)
        : module(std::make_unique<TDataModule6>(nullptr, std::move(home))) {
        module->DataModuleCreate();
    }

    // A bet as the bet dialog takes it: the event found by its number, the bet on an outcome
    // at the coefficient it stands at, recorded with the odds rule off.
    void takeBet(int number, int outcome, double stake, const QString& client) {
        using namespace fields;
        if (!module->FindEvent(Variant(number)))
            throw EDatabaseError(QStringLiteral("no event %1").arg(number));
        TDataSet& events = *module->TableCompit;
        TDataSet& bets = *module->TableStavka;
        const auto chosen = Outcome(outcome);
        bets.Insert();
        bets.SetFieldValue(NUMBER, Variant(number));
        bets.SetFieldValue(RESULT, Variant(OutcomeName(events, chosen)));
        bets.SetFieldValue(SUMMA, Variant(stake));
        bets.SetFieldValue(KOEFICIENT, events.GetFieldValue(KoefField(chosen)));
        bets.SetFieldValue(FIO, Variant(client));
        module->RecordBet(chosen, false);
    }

    std::unique_ptr<TDataModule6> module;
};

template <typename Body> void guarded(benchmark::State& state, Body&& body) {
    try {
        body();
    } catch (const EVarnelError& error) {
        state.SkipWithError(error.message().toStdString().c_str());
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
    }
}

// --- Bets per second --------------------------------------------------------------------------

constexpr int kBetEvents = 8;
constexpr double kStake = 10.0;

// Events 1 to `events` entered through the operations, as the event dialog enters them.
void enterEventsOn(TDataModule6& books, int events) {
    using namespace fields;
    TDataSet& table = *books.TableCompit;
    for (int n = 1; n <= events; ++n) {
        table.Insert();
        table.SetFieldValue(NUMBER, Variant(n));
        table.SetFieldValue(DATE, Variant(QDate::currentDate().addDays(2)));
        table.SetFieldValue(KOM1, Variant(QStringLiteral("Зенит %1").arg(n)));
        table.SetFieldValue(KOM2, Variant(QStringLiteral("Спартак %1").arg(n)));
        for (const QLatin1String koef : {KOEF_1, KOEF_2, KOEF_N})
            table.SetFieldValue(koef, Variant(2.0));
        for (const QLatin1String sum : {SUMM_1, SUMM_2, SUMM_N})
            table.SetFieldValue(sum, Variant(500.0));
        books.EnterEvent();
    }
}

void enterEvents(const QString& conninfo, int events) {
    Counter desk(conninfo);
    enterEventsOn(*desk.module, events);
}

// Eight events entered through the operations, as the event dialog enters them.
constexpr int kOpenBets = 10000;

// The books of the bets, with the history's chain (`chained`) or with its sealer made a no-op
// (the same books otherwise), for the cost of the chain in one run.
const QString& betsBooks(bool chained) {
    static QString books[2];
    static std::once_flag made[2];
    std::call_once(made[chained], [chained] {
        QString& conninfo = books[chained];
        conninfo =
            freshBooks(chained ? QStringLiteral("bench_bets") : QStringLiteral("bench_bets_plain"));
        if (!chained)
            ServerConnection(conninfo).Exec(QStringLiteral(
                "create or replace function varnel.seal() returns bigint language sql as "
                "'select 0::bigint'"));
        enterEvents(conninfo, kBetEvents);
        // An office's books are not new: open bets on other events, and the statistics that
        // autovacuum keeps (on books just laid out it has none for its first minute, and a
        // page of bets is read as the whole table).
        ServerConnection server(conninfo);
        server.Exec(QStringLiteral("insert into priem (number, result, summa, koeficient, fio) "
                                   "select 1000 + i % 50, 'Зенит', 100, 2, 'Клиент ' || i "
                                   "from generate_series(1, %1) i")
                        .arg(kOpenBets));
        server.Exec(QStringLiteral("vacuum analyze"));
    });
    return books[chained];
}

std::atomic<long> betsTaken[2] = {0, 0};

// Every counter (a thread of its own, its own connection) takes bets on a random one of the
// eight events and outcomes, as fast as the server lets it: one iteration is one bet, from
// finding the event by its number to the commit of the bet with its history record. Afterwards
// the server must hold every bet, and each event's stake sums must have grown by its bets.
// chain:1 with the history's chain, chain:0 with its sealer a no-op; with the chain, how long
// records waited to be sealed (from the start of the bet's transaction to the start of the one
// that sealed it: seal_p50_ms, seal_max_ms) and that every record of the history is sealed.
void BM_RecordBets(benchmark::State& state) {
    guarded(state, [&] {
        const bool chained = state.range(0) == 1;
        const QString& conninfo = betsBooks(chained);
        std::atomic<long>& betsTaken = ::betsTaken[chained];
        Counter counter(conninfo);
        std::mt19937 random(unsigned(state.thread_index() + 1));
        const QString client = QStringLiteral("Касса %1").arg(state.thread_index() + 1);
        for (auto _ : state) {
            counter.takeBet(1 + int(random() % kBetEvents), 1 + int(random() % 3), kStake, client);
            betsTaken.fetch_add(1, std::memory_order_relaxed);
        }
        state.SetItemsProcessed(state.iterations());
        if (state.thread_index() != 0)
            return;
        ServerConnection server(conninfo);
        const qlonglong bets =
            count(server, QStringLiteral("select count(*) from priem where number < 1000"));
        const qlonglong serials =
            count(server, QStringLiteral("select count(*) from history where serial is not null"));
        const qlonglong unmatched = count(
            server, QStringLiteral("select count(*) from compit c where summ_1 + summ_2 + summ_n "
                                   "<> 1500 + (select coalesce(sum(summa), 0) from priem p where "
                                   "p.number = c.number)"));
        // (a stand-in need not keep what the operation keeps)
        const bool standIn = qEnvironmentVariableIsSet("VARNEL_BENCH_TAKE_BET");
        if (!standIn && (bets != betsTaken.load() || serials != bets || unmatched != 0))
            throw std::runtime_error("the server does not hold what the counters recorded");
        if (!chained)
            return;
        server.Exec(QStringLiteral("select varnel.seal()"));
        ServerRows waited = server.Exec(QStringLiteral(
            "select percentile_cont(0.5) within group (order by w), max(w), count(*) from "
            "(select extract(epoch from s.sealed - h.written) * 1000 as w from varnel.seals s "
            "join varnel.history h on h.key = s.key where h.written is not null) t"));
        waited.Next();
        state.counters["seal_p50_ms"] = waited.Value(0).toDouble();
        state.counters["seal_max_ms"] = waited.Value(1).toDouble();
        if (!standIn && count(server, QStringLiteral("select count(*) from history")) !=
                            count(server, QStringLiteral("select count(*) from seals")))
            throw std::runtime_error("a record of the history is not sealed");
    });
}
BENCHMARK(BM_RecordBets)
    ->ArgName("chain")
    ->Arg(0)
    ->Arg(1)
    ->ThreadRange(1, 8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The cost of the owner's limits: one bet on an event that holds 10,000 bets already, with every
// limit set (generous enough to pass) beside the same with none, on a folder's files (Arg 0)
// and on the server (Arg 1), in one run. Each iteration is the whole operation: the event found,
// the bet recorded with its history record (a folder's synced to disk).
void BM_BetUnderLimits(benchmark::State& state) {
    guarded(state, [&] {
        const bool onServer = state.range(0) == 1;
        const bool limited = state.range(1) == 1;
        constexpr int kBetsThere = 10000;
        QTemporaryDir folder;
        std::optional<InFolder> here;
        std::unique_ptr<Counter> counter;
        if (onServer) {
            const QString conninfo =
                freshBooks(QStringLiteral("bench_limits_%1").arg(limited ? 1 : 0));
            enterEvents(conninfo, 1);
            ServerConnection server(conninfo);
            server.Exec(QStringLiteral("insert into priem (number, result, summa, koeficient, "
                                       "fio) select 1, 'Зенит 1', 100, 2, 'Клиент ' || i from "
                                       "generate_series(1, %1) i")
                            .arg(kBetsThere));
            counter = std::make_unique<Counter>(conninfo);
        } else {
            CreateEmptyTables(folder.path());
            here.emplace(folder.path());
            counter = std::make_unique<Counter>(FolderHome());
            enterEventsOn(*counter->module, 1);
            TDataSet& bets = *counter->module->TableStavka;
            DbfFile::setSyncEnabled(false);
            for (int i = 0; i < kBetsThere; ++i) {
                bets.Insert();
                bets.SetFieldValue(fields::NUMBER, Variant(1));
                bets.SetFieldValue(fields::RESULT, Variant(QStringLiteral("Зенит 1")));
                bets.SetFieldValue(fields::SUMMA, Variant(100));
                bets.SetFieldValue(fields::KOEFICIENT, Variant(2.0));
                bets.SetFieldValue(fields::FIO, Variant(QStringLiteral("Клиент %1").arg(i)));
                bets.Post();
            }
            DbfFile::setSyncEnabled(true);
        }
        if (limited)
            counter->module->SetLimits(Limits{1, 1e6, 1e9, 1e12, 10});
        for (auto _ : state)
            counter->takeBet(1, 1, kStake, QStringLiteral("Касса"));
        state.SetItemsProcessed(state.iterations());
        if (limited && counter->module->CurrentLimits() != Limits{1, 1e6, 1e9, 1e12, 10})
            throw std::runtime_error("the limits were not in force");
    });
}
BENCHMARK(BM_BetUnderLimits)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"server", "limits"})
    ->Iterations(200)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// --- Settling ---------------------------------------------------------------------------------

constexpr int kSettleEvents = 100;

// 100 events, 1,000,000 bets among them; event 1 has `eventBets` of them (1,000 or 100,000),
// spread evenly through the rows, half of them on the winner. The history holds each event's entry
// and each bet's record, as the counters write them. Event 1's rows are kept aside, to be put back
// after each settlement with their own keys and serials.
struct SettleBooks {
    QString conninfo;
    qlonglong historyEnd = 0;
};

const SettleBooks& settleBooks(int total, int eventBets) {
    static std::map<std::pair<int, int>, SettleBooks> made;
    SettleBooks& books = made[{total, eventBets}];
    if (!books.conninfo.isEmpty())
        return books;
    const QString database = QStringLiteral("bench_settle_%1_%2").arg(total).arg(eventBets);
    if (reusable(database)) {
        books.conninfo = conninfoOf(database);
        ServerConnection server(books.conninfo);
        books.historyEnd = count(server, QStringLiteral("select key from keep_end"));
        return books;
    }
    std::fprintf(stderr, "laying out %d bets on the server...\n", total);
    const auto start = Clock::now();
    books.conninfo = freshBooks(database);
    ServerConnection server(books.conninfo);
    const QVariant day = QDate::currentDate().addDays(2);
    server.Exec(QStringLiteral("insert into compit (key, number, date, kom1, kom2, koef_1, koef_2, "
                               "koef_n, summ_1, summ_2, summ_n) select n - 1, n, ?, 'А', 'Б', "
                               "1.5, 2, 3, 500, 500, 500 from generate_series(1, ?) n"),
                {day, kSettleEvents});
    const int every = total / eventBets;
    server.Exec(QStringLiteral("insert into priem (key, number, result, summa, koeficient, fio) "
                               "select i, case when i %% %1 = %2 then 1 else 2 + i %% 99 end, "
                               "case when i %% %1 = %2 and (i / %1) %% 2 = 0 then 'А' else "
                               "'Ничья' end, 100, 1.5, 'Клиент ' || i from generate_series(0, "
                               "%3) i")
                    .arg(every)
                    .arg(every / 2)
                    .arg(total - 1)
                    .replace(QStringLiteral("%%"), QStringLiteral("%")));
    server.Exec(QStringLiteral("insert into history (den, vremya, vid, zapis, number, date, kom1, "
                               "kom2, koef_1, koef_2, koef_n, summ_1, summ_2, summ_n) select "
                               "current_date, '10:00:00', ?, key, number, date, kom1, kom2, "
                               "koef_1, koef_2, koef_n, summ_1, summ_2, summ_n from compit order "
                               "by key"),
                {kinds::Event()});
    server.Exec(
        QStringLiteral("insert into history (den, vremya, vid, serial, zapis, number, date, "
                       "kom1, kom2, koef_1, koef_2, koef_n, summ_1, summ_2, summ_n, "
                       "result, summa, koeficient, fio) select current_date, "
                       "'10:00:00', ?, p.serial, p.key, p.number, c.date, c.kom1, "
                       "c.kom2, c.koef_1, c.koef_2, c.koef_n, c.summ_1, c.summ_2, "
                       "c.summ_n, p.result, p.summa, p.koeficient, p.fio from priem p "
                       "join compit c using (number) order by p.key"),
        {kinds::Bet()});
    // The identities go on after the rows laid out with keys of their own.
    for (const char* table : {"compit", "priem", "history"})
        server.Exec(QStringLiteral("select setval(pg_get_serial_sequence('varnel.%1', 'key'), "
                                   "(select max(key) from varnel.%1))")
                        .arg(QLatin1String(table)));
    server.Exec(
        QStringLiteral("create table keep_compit as select * from compit where number = 1"));
    server.Exec(QStringLiteral("create table keep_priem as select * from priem where number = 1"));
    server.Exec(QStringLiteral("create table keep_end as select max(key) as key from history"));
    server.Exec(QStringLiteral("vacuum analyze"));
    books.historyEnd = count(server, QStringLiteral("select key from keep_end"));
    std::fprintf(stderr, "laid out in %.1f s\n", msSince(start) / 1000.0);
    return books;
}

// Event 1 as it was before it was settled: its row and its bets with their keys and serials;
// its payouts and the settlement's history records gone.
void putBack(ServerConnection& server, const SettleBooks& books) {
    ServerTransaction work(server);
    server.Exec(QStringLiteral("delete from money"));
    server.Exec(QStringLiteral("delete from history where key > ? and number = 1"),
                {books.historyEnd});
    server.Exec(QStringLiteral("delete from priem where number = 1"));
    server.Exec(QStringLiteral("delete from compit where number = 1"));
    server.Exec(QStringLiteral("insert into compit select * from keep_compit"));
    server.Exec(QStringLiteral("insert into priem select * from keep_priem"));
    work.Commit();
}

// Counters taking bets on events 2 to 9 on threads of their own until stopped.
class OtherCounters {
public:
    OtherCounters(const QString& conninfo, int counters) {
        for (int c = 0; c < counters; ++c)
            m_threads.emplace_back([this, conninfo, c] {
                try {
                    Counter counter(conninfo);
                    std::mt19937 random(unsigned(100 + c));
                    const QString client = QStringLiteral("Касса %1").arg(c + 2);
                    m_ready.fetch_add(1);
                    while (!m_stop.load()) {
                        counter.takeBet(2 + int(random() % 8), 3, kStake, client);
                        m_bets.fetch_add(1);
                    }
                } catch (const EVarnelError& error) {
                    std::lock_guard lock(m_mutex);
                    m_error = error.message().toStdString();
                    m_ready.fetch_add(1);
                }
            });
        while (m_ready.load() < counters)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~OtherCounters() { stop(); }
    long bets() const { return m_bets.load(); }
    void stop() {
        m_stop = true;
        for (std::thread& t : m_threads)
            if (t.joinable())
                t.join();
        std::lock_guard lock(m_mutex);
        if (!m_error.empty())
            throw std::runtime_error("another counter failed: " + m_error);
    }

private:
    std::vector<std::thread> m_threads;
    std::atomic<int> m_ready{0};
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_bets{0};
    std::mutex m_mutex;
    std::string m_error;
};

// SettleEvent of event 1 (found by its number first, untimed, as the result dialog finds it),
// with 0 or 2 other counters taking bets on other events meanwhile. Afterwards none of the
// event's bets may be left, and its winners (half its bets) must be owed their payouts.
void BM_SettleEvent(benchmark::State& state) {
    guarded(state, [&] {
        const int total = int(state.range(0));
        const int eventBets = int(state.range(2));
        const SettleBooks& books = settleBooks(total, eventBets);
        ServerConnection server(books.conninfo);
        Counter desk(books.conninfo);
        OtherCounters others(books.conninfo, int(state.range(1)));
        const long betsBefore = others.bets();
        double settling = 0;
        for (auto _ : state) {
            putBack(server, books);
            if (!desk.module->FindEvent(Variant(1)))
                throw std::runtime_error("event 1 is not on the server");
            const RecordKey event = desk.module->TableCompit->CurrentIndex();
            const auto start = Clock::now();
            desk.module->SettleEvent(event, QStringLiteral("А"));
            const double ms = msSince(start);
            state.SetIterationTime(ms / 1000.0);
            settling += ms;
            if (count(server, QStringLiteral("select count(*) from priem where number = 1")) != 0 ||
                count(server, QStringLiteral("select count(*) from money")) != eventBets / 2)
                throw std::runtime_error("the settlement left bets or owes the wrong payouts");
        }
        const long otherBets = others.bets() - betsBefore;
        others.stop();
        state.counters["others_bets_per_s"] =
            settling > 0 ? double(otherBets) / (settling / 1000.0) : 0;
        state.SetLabel(state.range(1) == 0 ? "alone" : "other counters taking bets");
    });
}
BENCHMARK(BM_SettleEvent)
    ->ArgNames({"bets", "others", "settled"})
    ->Args({1'000'000, 0, 1'000})
    ->Args({1'000'000, 2, 1'000})
    ->Args({1'000'000, 0, 100'000})
    ->Args({1'000'000, 2, 100'000})
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

// --- The browser ------------------------------------------------------------------------------

const QString& browseBooks(int total) {
    static std::map<int, QString> made;
    QString& conninfo = made[total];
    if (!conninfo.isEmpty())
        return conninfo;
    const QString database = QStringLiteral("bench_browse_%1").arg(total);
    if (reusable(database))
        return conninfo = conninfoOf(database);
    std::fprintf(stderr, "laying out %d bets on the server...\n", total);
    conninfo = freshBooks(database);
    ServerConnection server(conninfo);
    server.Exec(QStringLiteral("insert into priem (number, result, summa, koeficient, fio) select "
                               "i % 30000, 'Ничья', 100 + i % 5000, 1.85, 'Иванов Пётр "
                               "Сергеевич' from generate_series(0, ?) i"),
                {total - 1});
    server.Exec(QStringLiteral("vacuum analyze"));
    return conninfo;
}

long statusKiB(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLong();
    return -1;
}

// Bytes the program holds from the heap now.
long heapKiB() {
    return long(mallinfo2().uordblks / 1024);
}

// Lets the peak resident size count from here on.
void resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

// From the data module's creation handler (the connection made, the tables opened on the
// server) to the bets' browser painted with its first screen. The counters split the time
// into the opening and the showing, and give the memory both added: the most any round added
// (resident, its peak, and the heap in use), and what the process's very first round added,
// which includes loading what any first window loads (fonts, styles).
void BM_OpenBrowser(benchmark::State& state) {
    static long firstGrowth = -1;
    guarded(state, [&] {
        const int total = int(state.range(0));
        const QString& conninfo = browseBooks(total);
        long grown = 0, peak = 0, heap = 0;
        double opening = 0, showing = 0;
        for (auto _ : state) {
            auto module = std::make_unique<TDataModule6>(nullptr, ServerHome(conninfo));
            DataModule6 = module.get();
            const long before = statusKiB("VmRSS:");
            const long heapBefore = heapKiB();
            resetPeak();
            const auto start = Clock::now();
            module->DataModuleCreate();
            const double opened = msSince(start);
            auto form = std::make_unique<TTableStavka>();
            form->Show();
            form->repaint();
            const double ms = msSince(start);
            state.SetIterationTime(ms / 1000.0);
            opening += opened;
            showing += ms - opened;
            grown = std::max(grown, statusKiB("VmRSS:") - before);
            peak = std::max(peak, statusKiB("VmHWM:") - before);
            heap = std::max(heap, heapKiB() - heapBefore);
            if (firstGrowth < 0)
                firstGrowth = statusKiB("VmHWM:") - before;
            const auto* grid = form->findChild<TDBGrid*>();
            if (!grid || grid->model()->rowCount() == 0)
                throw std::runtime_error("the browser shows no rows");
            form.reset();
            DataModule6 = nullptr;
        }
        const double n = double(state.iterations());
        state.counters["open_ms"] = opening / n;
        state.counters["show_ms"] = showing / n;
        state.counters["rss_growth_KiB"] = double(grown);
        state.counters["peak_growth_KiB"] = double(peak);
        state.counters["heap_growth_KiB"] = double(heap);
        state.counters["first_peak_growth_KiB"] = double(firstGrowth);
    });
}
BENCHMARK(BM_OpenBrowser)
    ->ArgNames({"bets"})
    ->Arg(1'000)
    ->Arg(1'000'000)
    ->UseManualTime()
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

// --- The back office following the counters ---------------------------------------------------

constexpr int kFollowedBets = 200;

// The back office open on a folder whose varnel.conf names the books' server, a counter taking
// bets on a thread of its own, one at a time at a counter's pace (the next asked for 30 ms after
// the office showed the last): the time from each bet's commit (the counter's operation done)
// to the office's history view holding its row. Median and 95th percentile over 200 bets.
void BM_CommitToView(benchmark::State& state) {
    using namespace std::chrono_literals;
    guarded(state, [&] {
        const QString conninfo = freshBooks(QStringLiteral("bench_view"));
        enterEvents(conninfo, 1);
        QTemporaryDir folder;
        QFile conf(QDir(folder.path()).filePath(QStringLiteral("varnel.conf")));
        if (!conf.open(QIODevice::WriteOnly) ||
            conf.write(QStringLiteral("[server]\nconninfo=%1\n").arg(conninfo).toUtf8()) <= 0)
            throw std::runtime_error("varnel.conf cannot be written");
        conf.close();
        office::OfficeWindow window;
        window.show();
        if (!window.OpenFolder(folder.path()))
            throw std::runtime_error("the back office did not open the server's books");
        const auto shown = [&] { return window.History()->Model()->rowCount(); };
        QTimer tick; // the main thread's wait wakes at least this often
        tick.start(5);

        std::atomic<int> asked{0}, committed{0};
        std::atomic<Clock::rep> committedAt{0};
        std::atomic<bool> failed{false};
        std::thread counter([&] {
            try {
                Counter desk(conninfo);
                for (int i = 0; i < kFollowedBets; ++i) {
                    while (asked.load() <= i)
                        std::this_thread::sleep_for(1ms);
                    desk.takeBet(1, 1 + i % 3, kStake, QStringLiteral("Клиент"));
                    committedAt = Clock::now().time_since_epoch().count();
                    committed = i + 1;
                }
            } catch (...) {
                failed = true;
            }
        });
        const auto wait = [&](const std::function<bool()>& done) {
            const auto deadline = Clock::now() + 10s;
            while (!done() && !failed && Clock::now() < deadline)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            return done();
        };
        std::vector<double> latencies;
        for (auto _ : state) {
            for (int i = 0; i < kFollowedBets; ++i) {
                const int before = shown();
                asked = i + 1;
                if (!wait([&] { return committed.load() > i && shown() > before; }))
                    break;
                latencies.push_back(
                    std::chrono::duration<double, std::milli>(
                        Clock::now() - Clock::time_point(Clock::duration(committedAt.load())))
                        .count());
                const auto pause = Clock::now() + 30ms;
                wait([&] { return Clock::now() >= pause; });
            }
        }
        asked = kFollowedBets; // a counter still waiting goes on and ends
        counter.join();
        if (latencies.size() != std::size_t(kFollowedBets))
            throw std::runtime_error("the back office did not show every bet within 10 s");
        std::sort(latencies.begin(), latencies.end());
        state.counters["median_ms"] = latencies[latencies.size() / 2];
        state.counters["p95_ms"] = latencies[latencies.size() * 95 / 100];
        state.counters["max_ms"] = latencies.back();
    });
}
BENCHMARK(BM_CommitToView)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return varnel::bench::runWindowBenchmarks(argc, argv, nullptr, [] {
        serverConninfo();
        return -1;
    });
}
