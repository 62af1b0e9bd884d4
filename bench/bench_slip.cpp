// A bet's slip: its PDF made and written (what a counter with no printer named does at each
// bet), and its payout code drawn and sealed.

#include "slip/SlipPage.h"
#include "store/Slip.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using namespace varnel;

Slip aSlip(std::int64_t serial) {
    Slip slip;
    slip.office = QStringLiteral("Контора «Северная», касса 2");
    slip.taken = QDateTime::currentDateTime();
    slip.serial = serial;
    slip.eventNumber = 7;
    slip.eventDate = QDate(2026, 12, 12);
    slip.side1 = QStringLiteral("Зенит");
    slip.side2 = QStringLiteral("Спартак");
    slip.outcome = QStringLiteral("Зенит");
    slip.stake = 1000;
    slip.koef = 2.5;
    slip.payout = 3500;
    slip.cashier = QStringLiteral("Иванова");
    slip.code = NewPayoutCode();
    return slip;
}

void BM_SlipPdf(benchmark::State& state) {
    QTemporaryDir folder;
    std::int64_t serial = 0;
    for (auto _ : state) {
        ++serial;
        WriteSlipPdf(aSlip(serial), SlipPdfPath(folder.path(), QDate::currentDate(), serial));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SlipPdf)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

void BM_PayoutCode(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(SealPayoutCode(NewPayoutCode()));
}
BENCHMARK(BM_PayoutCode)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
