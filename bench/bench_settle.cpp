// Settling one event with 1,000 bets among many: the all-or-nothing walk against a plain
// walk that syncs every write on its own.
#include "store/Tables.h"
#include "store/engine/DataSet.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Transaction.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

using namespace varnel;

namespace {

constexpr int kWinners = 500;
constexpr int kEventBets = 1000;

QByteArray record(DbfFile& file, const QList<Variant>& values) {
    QByteArray bytes = file.blankRecord();
    for (int i = 0; i < values.size(); ++i)
        file.encode(bytes.data(), i, values[i]);
    return bytes;
}

// A folder with 100 events and the given number of bets; event 1 has 1,000 of them spread
// evenly through the file, half of them winners.
QString makeFixture(const QString& root, int bets) {
    const QString folder = QDir(root).filePath(QString("fixture-%1").arg(bets));
    if (QFile::exists(folder + "/PRIEM.DBF"))
        return folder;
    QDir().mkpath(folder);
    CreateEmptyTables(folder);
    DbfFile::setSyncEnabled(false);
    {
        DbfFile events(folder + "/COMPIT.DBF");
        events.open();
        for (int n = 1; n <= 100; ++n)
            events.append(record(events, {Variant(n), Variant(QDate(2030, 1, 1)), Variant("А"),
                                          Variant("Б"), Variant(1.5), Variant(2.0), Variant(3.0),
                                          Variant(500), Variant(500), Variant(500)}));
        DbfFile table(folder + "/PRIEM.DBF");
        table.open();
        const int every = bets / kEventBets;
        int onEvent = 0;
        for (int i = 0; i < bets; ++i) {
            const bool mine = i % every == every / 2 && onEvent < kEventBets;
            const int number = mine ? 1 : 2 + i % 99;
            const bool wins = mine && onEvent++ % 2 == 0;
            table.append(
                record(table, {Variant(number), Variant(wins ? "А" : "Ничья"), Variant(100.0),
                               Variant(1.5), Variant(QString("Клиент %1").arg(i))}));
        }
    }
    DbfFile::setSyncEnabled(true);
    return folder;
}

std::unique_ptr<TTable> open(const char* name) {
    auto t = std::make_unique<TTable>();
    t->SetTableName(QString::fromLatin1(name));
    t->Open();
    return t;
}

// The walk of the result dialog: every bet examined, winners paid, the event's bets and
// then the event removed.
void walk(TTable& events, TTable& bets, TTable& money) {
    const Variant number(1), winner("А");
    bets.First();
    for (;;) {
        if (!(bets.GetFieldValue("NUMBER") == number)) {
            bets.Next();
            if (bets.Eof())
                break;
            continue;
        }
        if (bets.GetFieldValue("RESULT") == winner) {
            money.Insert();
            money.SetFieldValue("FIO", bets.GetFieldValue("FIO"));
            const Variant stake = bets.GetFieldValue("SUMMA");
            money.SetFieldValue("SUMMA", stake + stake * bets.GetFieldValue("KOEFICIENT"));
            money.Post();
        }
        bets.Delete();
        if (bets.Eof())
            break;
    }
    events.First();
    events.Delete();
}

void settle(benchmark::State& state, bool allOrNothing) {
    const int total = int(state.range(0));
    QTemporaryDir root(QDir::tempPath() + "/varnel-bench-XXXXXX");
    const QString fixture = makeFixture(root.path(), total);
    const QString previous = QDir::currentPath();
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir run(root.path() + "/run-XXXXXX");
        for (const QString& name : QDir(fixture).entryList({"*.DBF"}, QDir::Files))
            QFile::copy(fixture + "/" + name, run.filePath(name));
        QDir::setCurrent(run.path());
        auto events = open("COMPIT.DBF");
        auto bets = open("PRIEM.DBF");
        auto money = open("MONEY.DBF");
        state.ResumeTiming();
        if (allOrNothing) {
            TTransaction work({money.get(), bets.get(), events.get()});
            walk(*events, *bets, *money);
            work.Commit();
        } else {
            walk(*events, *bets, *money);
        }
        state.PauseTiming();
        DbfFile check("MONEY.DBF");
        check.open();
        if (check.recordCount() != std::uint32_t(kWinners))
            state.SkipWithError("wrong number of payouts");
        QDir::setCurrent(previous);
        state.ResumeTiming();
    }
}

void BM_SettleAllOrNothing(benchmark::State& state) {
    settle(state, true);
}
void BM_SettlePlainWalk(benchmark::State& state) {
    settle(state, false);
}

} // namespace

BENCHMARK(BM_SettleAllOrNothing)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_SettlePlainWalk)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
