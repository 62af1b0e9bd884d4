// Settling one event with 1,000 bets among many: the all-or-nothing walk against a plain
// walk that syncs every write on its own, and the all-or-nothing walk with a history of a
// record for every bet written in the same commit.
#include "store/History.h"
#include "store/InFolder.h"
#include "store/Rules.h"
#include "store/Tables.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Field.h"
#include "store/engine/Table.h"
#include "store/engine/Transaction.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>

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
// evenly through the file, half of them winners. The history holds the entry of each event and
// a record of each bet, as the counter writes them.
QString makeFixture(const QString& root, int bets) {
    const QString folder = QDir(root).filePath(QString("fixture-%1").arg(bets));
    if (QFile::exists(folder + "/PRIEM.DBF"))
        return folder;
    QDir().mkpath(folder);
    CreateEmptyTables(folder);
    DbfFile::setSyncEnabled(false);
    {
        using namespace fields;
        DbfFile events(folder + "/COMPIT.DBF");
        events.open();
        DbfFile history(folder + "/HISTORY.DBF");
        history.open();
        const auto in = [&history](const char* name) {
            return history.columnIndex(QString::fromLatin1(name));
        };
        QByteArray entry = history.blankRecord();
        for (const auto& [name, value] : QList<QPair<const char*, Variant>>{
                 {"DEN", Variant(QDate(2026, 1, 1))}, {"VREMYA", Variant("10:00:00")}})
            history.encode(entry.data(), in(name), value);
        for (int n = 1; n <= 100; ++n) {
            const QList<Variant> event = {Variant(n),   Variant(QDate(2030, 1, 1)),
                                          Variant("А"), Variant("Б"),
                                          Variant(1.5), Variant(2.0),
                                          Variant(3.0), Variant(500),
                                          Variant(500), Variant(500)};
            events.append(record(events, event));
            QByteArray h = entry;
            history.encode(h.data(), in("VID"), Variant(kinds::Event()));
            history.encode(h.data(), in("ZAPIS"), Variant(n - 1));
            for (int f = 0; f < event.size(); ++f)
                history.encode(h.data(), history.columnIndex(events.columns()[f].name), event[f]);
            history.append(h);
        }
        DbfFile table(folder + "/PRIEM.DBF");
        table.open();
        const int every = bets / kEventBets;
        int onEvent = 0;
        for (int i = 0; i < bets; ++i) {
            const bool mine = i % every == every / 2 && onEvent < kEventBets;
            const int number = mine ? 1 : 2 + i % 99;
            const bool wins = mine && onEvent++ % 2 == 0;
            const QList<Variant> bet = {Variant(number), Variant(wins ? "А" : "Ничья"),
                                        Variant(100.0), Variant(1.5),
                                        Variant(QString("Клиент %1").arg(i))};
            table.append(record(table, bet));
            QByteArray h = entry;
            history.encode(h.data(), in("VID"), Variant(kinds::Bet()));
            history.encode(h.data(), in("SERIAL"),
                           Variant(std::int64_t(history.recordCount()) + 1));
            history.encode(h.data(), in("ZAPIS"), Variant(i));
            for (int f = 0; f < bet.size(); ++f)
                history.encode(h.data(), history.columnIndex(table.columns()[f].name), bet[f]);
            history.append(h);
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

// The walk of the result dialog: every bet examined, winners paid, each bet's settlement
// recorded, the event's bets and then the event removed.
void walk(TTable& events, TTable& bets, TTable& money, THistory& history) {
    const Variant number(1), winner("А");
    events.First();
    const auto serials = history.SerialsOfBets(events, bets);
    const TField* betNumber = bets.FieldByName("NUMBER");
    bets.First();
    for (;;) {
        if (!(bets.GetFieldValue("NUMBER") == number)) {
            const std::int64_t next = bets.FindRecord(bets.CurrentIndex(), +1, betNumber, number);
            if (next < 0)
                break;
            bets.MoveTo(std::uint32_t(next));
            continue;
        }
        const auto place = std::uint32_t(bets.CurrentIndex());
        const auto serial =
            serials.contains(place) ? std::optional(serials.value(place)) : std::nullopt;
        if (bets.GetFieldValue("RESULT") == winner) {
            money.Insert();
            money.SetFieldValue("FIO", bets.GetFieldValue("FIO"));
            money.SetFieldValue(
                "SUMMA", BetPayout(bets.GetFieldValue("SUMMA"), bets.GetFieldValue("KOEFICIENT")));
            money.Post();
            history.BetSettled(bets, serial, &money);
        } else {
            history.BetSettled(bets, serial, nullptr);
        }
        bets.Delete();
        if (bets.Eof())
            break;
    }
    history.ResultEntered(events, winner.toString());
    events.Delete();
}

enum class Mode { AllOrNothing, PlainWalk, WithHistory };

void settle(benchmark::State& state, Mode mode) {
    const int total = int(state.range(0));
    QTemporaryDir root(QDir::tempPath() + "/varnel-bench-XXXXXX");
    const QString fixture = makeFixture(root.path(), total);
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir run(root.path() + "/run-XXXXXX");
        for (const QString& name : QDir(fixture).entryList({"*.DBF"}, QDir::Files))
            if (mode == Mode::WithHistory || name != "HISTORY.DBF")
                QFile::copy(fixture + "/" + name, run.filePath(name));
        const InFolder here(run.path());
        auto events = open("COMPIT.DBF");
        auto bets = open("PRIEM.DBF");
        auto money = open("MONEY.DBF");
        TTable historyTable;
        THistory history(&historyTable);
        if (mode == Mode::WithHistory) {
            historyTable.SetTableName("HISTORY.DBF");
            HistoryTable().MakeFields(&historyTable);
            historyTable.Open();
        }
        state.ResumeTiming();
        if (mode == Mode::PlainWalk) {
            walk(*events, *bets, *money, history);
        } else {
            TTransaction work({money.get(), bets.get(), events.get(), &historyTable});
            walk(*events, *bets, *money, history);
            work.Commit();
        }
        state.PauseTiming();
        DbfFile check("MONEY.DBF");
        check.open();
        if (check.recordCount() != std::uint32_t(kWinners))
            state.SkipWithError("wrong number of payouts");
        if (mode == Mode::WithHistory &&
            historyTable.EndKey() != std::uint32_t(100 + total + kEventBets + 1))
            state.SkipWithError("wrong number of history records");
        state.ResumeTiming();
    }
}

void BM_SettleAllOrNothing(benchmark::State& state) {
    settle(state, Mode::AllOrNothing);
}
void BM_SettlePlainWalk(benchmark::State& state) {
    settle(state, Mode::PlainWalk);
}
void BM_SettleWithHistory(benchmark::State& state) {
    settle(state, Mode::WithHistory);
}

// Recording one bet as the bet dialog does, the bet and its event in one commit, with or
// without its record in a history of a million records.
void recordBets(benchmark::State& state, bool withHistory) {
    QTemporaryDir root(QDir::tempPath() + "/varnel-bench-XXXXXX");
    const QString fixture = makeFixture(root.path(), int(state.range(0)));
    QTemporaryDir run(root.path() + "/run-XXXXXX");
    for (const QString& name : QDir(fixture).entryList({"*.DBF"}, QDir::Files))
        if (withHistory || name != "HISTORY.DBF")
            QFile::copy(fixture + "/" + name, run.filePath(name));
    {
        const InFolder here(run.path());
        auto events = open("COMPIT.DBF");
        auto bets = open("PRIEM.DBF");
        TTable historyTable;
        THistory history(&historyTable);
        if (withHistory) {
            historyTable.SetTableName("HISTORY.DBF");
            HistoryTable().MakeFields(&historyTable);
            historyTable.Open();
        }
        const std::uint32_t before = historyTable.EndKey();
        std::int64_t n = 0;
        for (auto _ : state) {
            TTransaction work({bets.get(), events.get(), &historyTable});
            bets->Insert();
            bets->SetFieldValue("NUMBER", Variant(2));
            bets->SetFieldValue("RESULT", Variant("А"));
            bets->SetFieldValue("SUMMA", Variant(100));
            bets->SetFieldValue("KOEFICIENT", Variant(1.5));
            bets->SetFieldValue("FIO", Variant("Клиент"));
            bets->Post();
            events->MoveTo(1);
            events->Edit();
            events->SetFieldValue("SUMM_1", events->GetFieldValue("SUMM_1") + Variant(100));
            events->Post();
            history.BetTaken(*bets, *events);
            work.Commit();
            ++n;
        }
        if (withHistory && historyTable.EndKey() != before + std::uint32_t(n))
            state.SkipWithError("a bet without its history record");
    }
}

void BM_RecordBet(benchmark::State& state) {
    recordBets(state, false);
}
void BM_RecordBetWithHistory(benchmark::State& state) {
    recordBets(state, true);
}

} // namespace

BENCHMARK(BM_RecordBet)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_RecordBetWithHistory)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_SettleAllOrNothing)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_SettlePlainWalk)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SettleWithHistory)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
