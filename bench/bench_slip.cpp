// A bet's slip: its PDF made and written (what a counter with no printer named does at each
// bet), and its payout code drawn and sealed.

#include "slip/SlipPage.h"
#include "store/Slip.h"
#include "tests/support/SlipFixture.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

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

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
