// bench_browser: the three browsers over big tables. Opening a browser must cost the same
// on a million records as on a thousand, in time and in memory; so must jumping to the last
// record. Fixtures go to $VARNEL_BENCH_DIR when set, else the system temp folder.
#include "base/Errors.h"
#include "bench/WindowBench.h"
#include "controls/DBGrid.h"
#include "controls/DBNavigator.h"
#include "store/DataModule6.h"
#include "store/Tables.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Variant.h"
#include "views/TableCompitition.h"
#include "views/TableMoney.h"
#include "views/TableStavka.h"

#include <benchmark/benchmark.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

using namespace varnel;

namespace {

enum Browser { Events, Bets, Payouts };

// A working folder of the four tables with `records` records in each of the events, bets
// and payouts; with `paidOut`, all payouts but the last ten are deleted, as years of paying
// out leave MONEY.DBF.
class Desk {
public:
    Desk(std::uint32_t records, bool paidOut) : m_dir(base() + "/varnel-browse-XXXXXX") {
        if (!m_dir.isValid())
            throw std::runtime_error("cannot make a temporary folder");
        CreateEmptyTables(m_dir.path());
        DbfFile::setSyncEnabled(false);
        fill("COMPIT.DBF", records, [](DbfFile& f, char* r, std::uint32_t i) {
            const QString sides[] = {QStringLiteral("Спартак"), QStringLiteral("Зенит"),
                                     QStringLiteral("Динамо"), QStringLiteral("Локомотив")};
            f.encode(r, f.columnIndex("NUMBER"), Variant(int(i % 30000)));
            f.encode(r, f.columnIndex("DATE"), Variant(QDate(2030, 1, 1).addDays(i % 3000)));
            f.encode(r, f.columnIndex("KOM1"), Variant(sides[i % 4]));
            f.encode(r, f.columnIndex("KOM2"), Variant(sides[(i + 1) % 4]));
            for (const char* koef : {"KOEF_1", "KOEF_2", "KOEF_N"})
                f.encode(r, f.columnIndex(koef), Variant(1.05 + double(i % 300) / 100.0));
            for (const char* summ : {"SUMM_1", "SUMM_2", "SUMM_N"})
                f.encode(r, f.columnIndex(summ), Variant(500.0 + i % 1000));
        });
        fill("PRIEM.DBF", records, [](DbfFile& f, char* r, std::uint32_t i) {
            f.encode(r, f.columnIndex("NUMBER"), Variant(int(i % 30000)));
            f.encode(r, f.columnIndex("RESULT"), Variant(QStringLiteral("Ничья")));
            f.encode(r, f.columnIndex("SUMMA"), Variant(100.0 + i % 5000));
            f.encode(r, f.columnIndex("KOEFICIENT"), Variant(1.85));
            f.encode(r, f.columnIndex("FIO"), Variant(QStringLiteral("Иванов Пётр Сергеевич")));
        });
        fill("MONEY.DBF", records, [](DbfFile& f, char* r, std::uint32_t i) {
            f.encode(r, f.columnIndex("FIO"), Variant(QStringLiteral("Смирнова Анна Викторовна")));
            f.encode(r, f.columnIndex("SUMMA"), Variant(250.5 + i % 5000));
        });
        if (paidOut) {
            DbfFile money(file("MONEY.DBF"));
            money.open();
            for (std::uint32_t i = 0; i + 10 < records; ++i)
                money.markDeleted(i);
        }
        DbfFile::setSyncEnabled(true);
    }
    QString path() const { return m_dir.path(); }
    QString file(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private:
    static QString base() {
        const QByteArray dir = qgetenv("VARNEL_BENCH_DIR");
        return dir.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(dir);
    }
    template <typename Fill> void fill(const char* name, std::uint32_t count, Fill&& fillOne) {
        DbfFile table(file(name));
        table.open();
        const QByteArray blank = table.blankRecord();
        for (std::uint32_t i = 0; i < count; ++i) {
            QByteArray record = blank;
            fillOne(table, record.data(), i);
            table.append(record);
        }
    }
    QTemporaryDir m_dir;
};

const Desk& desk(std::uint32_t records, bool paidOut) {
    static std::map<std::pair<std::uint32_t, bool>, std::unique_ptr<Desk>> desks;
    auto& made = desks[{records, paidOut}];
    if (!made) {
        std::fprintf(stderr, "laying out %u records per table%s...\n", records,
                     paidOut ? " (payouts paid out)" : "");
        made = std::make_unique<Desk>(records, paidOut);
    }
    return *made;
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

// Lets the peak resident size count from here on.
void resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

// The data module over a working folder, and one browser window bound to it, as start-up
// makes them.
struct Program {
    explicit Program(const Desk& where, Browser which) : previous(QDir::currentPath()) {
        QDir::setCurrent(where.path());
        module = std::make_unique<TDataModule6>();
        DataModule6 = module.get();
        emit module->OnCreate();
        if (which == Events)
            form = std::make_unique<TTableCompitition>();
        else if (which == Bets)
            form = std::make_unique<TTableStavka>();
        else
            form = std::make_unique<TTableMoney>();
        grid = form->findChild<TDBGrid*>();
        navigator = form->findChild<TDBNavigator*>();
        table = navigator->DataSource()->DataSet();
    }
    ~Program() {
        form.reset();
        DataModule6 = nullptr;
        module.reset();
        QDir::setCurrent(previous);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Shown and painted, every visible cell read from the file.
    void show() {
        form->Show();
        form->repaint();
    }

    QString previous;
    std::unique_ptr<TDataModule6> module;
    std::unique_ptr<TForm> form;
    TDBGrid* grid = nullptr;
    TDBNavigator* navigator = nullptr;
    TDataSet* table = nullptr;
};

bool failed = false;

template <typename Body> void guarded(benchmark::State& state, Body&& body) {
    try {
        failed = false;
        body();
        if (failed)
            state.SkipWithError("the program reported an error");
    } catch (const EVarnelError& error) {
        state.SkipWithError(error.message().toStdString().c_str());
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
    }
}

const char* const kNames[] = {"events", "bets", "payouts"};

// From the menu command to the browser painted with its first page. The tables are open
// already (start-up opened them); the counters give the memory the showing added.
void BM_OpenBrowser(benchmark::State& state) {
    guarded(state, [&] {
        const auto which = Browser(state.range(0));
        const auto records = std::uint32_t(state.range(1));
        const bool paidOut = state.range(2) != 0;
        const Desk& where = desk(records, paidOut);
        long grown = 0;
        long peak = 0;
        for (auto _ : state) {
            state.PauseTiming();
            auto program = std::make_unique<Program>(where, which);
            const long before = statusKiB("VmRSS:");
            resetPeak();
            state.ResumeTiming();
            program->show();
            state.PauseTiming();
            grown = std::max(grown, statusKiB("VmRSS:") - before);
            peak = std::max(peak, statusKiB("VmHWM:") - before);
            if (program->grid->model()->rowCount() == 0)
                throw std::runtime_error("the browser shows no rows");
            program.reset();
            state.ResumeTiming();
        }
        state.counters["rss_growth_KiB"] = double(grown);
        state.counters["peak_growth_KiB"] = double(peak);
        state.SetLabel(std::string(kNames[which]) + (paidOut ? ", all but 10 paid out" : ""));
    });
}
BENCHMARK(BM_OpenBrowser)
    ->ArgNames({"browser", "records", "paid"})
    ->Args({Events, 1'000, 0})
    ->Args({Events, 1'000'000, 0})
    ->Args({Bets, 1'000, 0})
    ->Args({Bets, 1'000'000, 0})
    ->Args({Payouts, 1'000, 0})
    ->Args({Payouts, 1'000'000, 0})
    ->Args({Payouts, 1'000'000, 1})
    ->Unit(benchmark::kMillisecond);

// The navigator's last button on an open browser, until the last page is painted; the
// cursor is put back on the first record between rounds, untimed.
void BM_JumpToLast(benchmark::State& state) {
    guarded(state, [&] {
        const auto which = Browser(state.range(0));
        const auto records = std::uint32_t(state.range(1));
        const bool paidOut = state.range(2) != 0;
        const Desk& where = desk(records, paidOut);
        Program program(where, which);
        program.show();
        const long before = statusKiB("VmRSS:");
        resetPeak();
        for (auto _ : state) {
            program.navigator->BtnClick(TDBNavigator::Button::Last);
            program.form->repaint();
            state.PauseTiming();
            if (program.table->CurrentIndex() != std::int64_t(records) - 1)
                throw std::runtime_error("the cursor is not on the last record");
            program.navigator->BtnClick(TDBNavigator::Button::First);
            program.form->repaint();
            state.ResumeTiming();
        }
        state.counters["rss_growth_KiB"] = double(statusKiB("VmRSS:") - before);
        state.counters["peak_growth_KiB"] = double(statusKiB("VmHWM:") - before);
        state.SetLabel(std::string(kNames[which]) + (paidOut ? ", all but 10 paid out" : ""));
    });
}
BENCHMARK(BM_JumpToLast)
    ->ArgNames({"browser", "records", "paid"})
    ->Args({Events, 1'000, 0})
    ->Args({Events, 1'000'000, 0})
    ->Args({Bets, 1'000'000, 0})
    ->Args({Payouts, 1'000'000, 0})
    ->Args({Payouts, 1'000'000, 1})
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // An error fails the case.
    return varnel::bench::runWindowBenchmarks(argc, argv, [] { failed = true; });
}
