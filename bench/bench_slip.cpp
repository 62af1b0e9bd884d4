// A bet's slip: its PDF made and written (what a counter with no printer named does at each
// bet), its payout code drawn and sealed, a bet taken with and without its slip, and a slip
// looked up among 100,000 payouts owed and 1,000,000 bets, on a folder and (when
// VARNEL_BENCH_SERVER names a server, as bench/server.sh does) on a server.

#include "server/Connection.h"
#include "server/Schema.h"
#include "server/ServerHome.h"
#include "slip/SlipPage.h"
#include "store/DataModule6.h"
#include "store/History.h"
#include "store/Rules.h"
#include "store/Slip.h"
#include "store/Tables.h"
#include "store/engine/DataSet.h"
#include "store/engine/DbfFile.h"
#include "tests/support/SlipFixture.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

using namespace varnel;

void BM_SlipPdf(benchmark::State& state) {
    QTemporaryDir folder;
    std::int64_t serial = 0;
    for (auto _ : state) {
        ++serial;
        WriteSlipPdf(test::aSlip(serial, NewPayoutCode()),
                     SlipPdfPath(folder.path(), QDate::currentDate(), serial));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SlipPdf)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

void BM_PayoutCode(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(SealPayoutCode(NewPayoutCode()));
}
BENCHMARK(BM_PayoutCode)->Unit(benchmark::kMicrosecond);

// The books of a busy office: a million bets taken, the first 100,000 of them won and owed.
constexpr std::int64_t kBets = 1000000;
constexpr std::int64_t kOwed = 100000;

// The payout code of the bet of a serial, made up so that the lookups know it.
QString codeOf(std::int64_t serial) {
    return QStringLiteral("%1").arg(serial, 20, 10, QLatin1Char('0'));
}

// Each bet's Ставка record with its seal, then the settlement's Выигрыш of the first kOwed with
// their payouts in MONEY.DBF, written straight into the files.
void layOutFolder(const QString& folder) {
    CreateEmptyTables(folder);
    DbfFile::setSyncEnabled(false);
    DbfFile history(QDir(folder).filePath(HistoryTable().file));
    DbfFile money(QDir(folder).filePath(MoneyTable().file));
    history.open();
    money.open();
    const auto h = [&](const char* name) { return history.columnIndex(name); };
    const auto m = [&](const char* name) { return money.columnIndex(name); };
    const Variant day(QDate::currentDate());
    for (std::int64_t serial = 1; serial <= kBets; ++serial) {
        QByteArray record = history.blankRecord();
        char* r = record.data();
        history.encode(r, h("DEN"), day);
        history.encode(r, h("VREMYA"), Variant(QStringLiteral("12:00:00")));
        history.encode(r, h("VID"), Variant(kinds::Bet()));
        history.encode(r, h("SERIAL"), Variant(serial));
        history.encode(r, h("NUMBER"), Variant(int(1 + serial % 3000)));
        history.encode(r, h("DATE"), day);
        history.encode(r, h("KOM1"), Variant(QStringLiteral("Зенит")));
        history.encode(r, h("KOM2"), Variant(QStringLiteral("Спартак")));
        history.encode(r, h("RESULT"), Variant(QStringLiteral("Зенит")));
        history.encode(r, h("SUMMA"), Variant(100.0));
        history.encode(r, h("KOEFICIENT"), Variant(2.5));
        history.encode(r, h("FIO"), Variant(QStringLiteral("Клиент %1").arg(serial % 3000)));
        history.encode(r, h("KOD"), Variant(SealPayoutCode(codeOf(serial))));
        history.append(record);
    }
    for (std::int64_t serial = 1; serial <= kOwed; ++serial) {
        QByteArray record = history.blankRecord();
        char* r = record.data();
        history.encode(r, h("VID"), Variant(kinds::Won()));
        history.encode(r, h("SERIAL"), Variant(serial));
        history.encode(r, h("VYPLATA"), Variant(350.0));
        history.encode(r, h("ZAPIS"), Variant(serial - 1));
        history.append(record);
        QByteArray owed = money.blankRecord();
        money.encode(owed.data(), m("FIO"),
                     Variant(QStringLiteral("Клиент %1").arg(serial % 3000)));
        money.encode(owed.data(), m("SUMMA"), Variant(350.0));
        money.encode(owed.data(), m("SERIAL"), Variant(serial));
        money.append(owed);
    }
    DbfFile::setSyncEnabled(true);
}

// The same books on a server, made by the server (the seals by its sha256).
void layOutServer(ServerConnection& server) {
    LayOutServer(server);
    server.Exec(QStringLiteral(
                    "insert into varnel.history (den, vremya, vid, serial, number, kom1, kom2, "
                    "result, summa, koeficient, fio, kod) select current_date, '12:00:00', ?, s, "
                    "1 + s % 3000, 'Зенит', 'Спартак', 'Зенит', 100, 2.5, 'Клиент ' || s % 3000, "
                    "encode(salt, 'hex') || '$' || encode(sha256(salt || convert_to(lpad(s::text, "
                    "20, '0'), 'UTF8')), 'hex') from generate_series(1, %1) s, "
                    "substring(decode(md5(s::text), 'hex') from 1 for 8) salt")
                    .arg(kBets),
                {kinds::Bet()});
    server.Exec(QStringLiteral("insert into varnel.money (key, fio, summa, serial) select s, "
                               "'Клиент ' || s % 3000, 350, s from generate_series(1, %1) s")
                    .arg(kOwed));
    server.Exec(QStringLiteral("insert into varnel.history (vid, serial, vyplata, zapis) select ?, "
                               "s, 350, s from generate_series(1, %1) s")
                    .arg(kOwed),
                {kinds::Won()});
    server.Exec(QStringLiteral("vacuum analyze varnel.history"));
    server.Exec(QStringLiteral("vacuum analyze varnel.money"));
}

// A slip looked up as the payment by slip does, before its Ok: the first bet's (its records the
// farthest back), or the last owed's.
void lookUp(benchmark::State& state, TDataModule6& books) {
    const std::int64_t serial = state.range(0) == 0 ? 1 : kOwed;
    const QString scanned = SlipBarcodeText(serial, codeOf(serial));
    for (auto _ : state)
        if (books.CheckSlip(scanned).state != SlipCheck::State::Owed)
            state.SkipWithError("the slip is not owed");
}

void BM_SlipLookupFolder(benchmark::State& state) {
    static QTemporaryDir folder;
    static std::unique_ptr<TDataModule6> books;
    if (!books) {
        std::fprintf(stderr, "laying out %lld bets in a folder...\n", qlonglong(kBets));
        layOutFolder(folder.path());
        QDir::setCurrent(folder.path());
        books = std::make_unique<TDataModule6>();
        books->DataModuleCreate();
    }
    lookUp(state, *books);
}
BENCHMARK(BM_SlipLookupFolder)->ArgName("last")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_SlipLookupServer(benchmark::State& state) {
    static std::unique_ptr<ServerConnection> server;
    static std::unique_ptr<TDataModule6> books;
    if (!books) {
        server = std::make_unique<ServerConnection>(qEnvironmentVariable("VARNEL_BENCH_SERVER"));
        if (!HoldsServerBooks(*server)) {
            std::fprintf(stderr, "laying out %lld bets on the server...\n", qlonglong(kBets));
            layOutServer(*server);
        }
        books = std::make_unique<TDataModule6>(nullptr, ServerHome(*server));
        books->DataModuleCreate();
    }
    lookUp(state, *books);
}

// A bet taken on a folder as the bet dialog's second Ok takes it, with its slip made as a PDF
// (no printer named) or without a slip.
void BM_BetWithSlip(benchmark::State& state) {
    QTemporaryDir folder;
    CreateEmptyTables(folder.path());
    QDir::setCurrent(folder.path());
    TDataModule6 books;
    books.DataModuleCreate();
    TDataSet& events = *books.TableCompit;
    events.Insert();
    events.SetFieldValue(fields::NUMBER, Variant(1));
    events.SetFieldValue(fields::DATE, Variant(QDate::currentDate().addDays(30)));
    events.SetFieldValue(fields::KOM1, Variant(QStringLiteral("Зенит")));
    events.SetFieldValue(fields::KOM2, Variant(QStringLiteral("Спартак")));
    for (const Outcome outcome : kOutcomes)
        events.SetFieldValue(KoefField(outcome), Variant(2.5));
    for (const QLatin1String sum : {fields::SUMM_1, fields::SUMM_2, fields::SUMM_N})
        events.SetFieldValue(sum, Variant(500));
    books.EnterEvent();
    const bool slip = state.range(0) == 1;
    for (auto _ : state) {
        books.FindEvent(Variant(1));
        TDataSet& bets = *books.TableStavka;
        bets.Insert();
        bets.SetFieldValue(fields::NUMBER, Variant(1));
        bets.SetFieldValue(fields::RESULT, Variant(QStringLiteral("Зенит")));
        bets.SetFieldValue(fields::SUMMA, Variant(100));
        bets.SetFieldValue(fields::KOEFICIENT, events.GetFieldValue(fields::KOEF_1));
        bets.SetFieldValue(fields::FIO, Variant(QStringLiteral("Клиент")));
        books.RecordBet(Outcome::Side1, false);
        if (slip) {
            Slip taken = *books.LastSlip();
            WriteSlipPdf(taken, SlipPdfPath(folder.path(), taken.taken.date(), taken.serial));
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BetWithSlip)
    ->ArgName("slip")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!qEnvironmentVariableIsEmpty("VARNEL_BENCH_SERVER"))
        benchmark::RegisterBenchmark("BM_SlipLookupServer", BM_SlipLookupServer)
            ->ArgName("last")
            ->Arg(0)
            ->Arg(1)
            ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
