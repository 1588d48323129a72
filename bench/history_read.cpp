// The build history read from an activity log of 100,000 events, against reading the same
// events in the same order with the table alone.
//
// The events lie in TEMPFILE.PLM in $ZELT_BENCH_DIR (default /tmp/zelt-history-bench),
// built once: 500 applications made over and over, each make a "Begin Make" and a "Make
// Finished" some seconds apart, every 20th failing with an error instead. Two measurements:
//   - the history as `zelt --history` and the time-left estimate read it (ReadHistory: the
//     log's file manager, date and time order, the runs told apart and gathered), and the
//     summaries that --history prints;
//   - the bare read: the table opened and every record read in the same key order.
// The last lines printed are
//   history of 100000 events: X ms (bare read Y ms), N applications, R runs
//   history/read cost ratio: R
// Costs are processor time, fastest run of each (the machine may be shared); the target is
// well under a second for the history.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/history/read_history.hpp"
#include "bench/process_measures.hpp"
#include "framework/error_reporter.hpp"
#include "storage/driver/pelmar_driver.hpp"

namespace {

using zelt::bench::ProcessCpuSeconds;
namespace app = zelt::app;
namespace rt = zelt::runtime;

constexpr int kEvents = 100000;
constexpr int kApplications = 500;

std::string LogPath() {
    const char* dir = std::getenv("ZELT_BENCH_DIR");
    std::filesystem::path path = dir ? dir : "/tmp/zelt-history-bench";
    std::filesystem::create_directories(path);
    return (std::filesystem::absolute(path) / "TEMPFILE.PLM").string();
}

void EnsureLog() {
    const std::string path = LogPath();
    app::TempFileFileName = path;
    if (std::filesystem::exists(path) && app::TempFile.Open() == 0) {
        const bool good = app::TempFile.Records() == kEvents;
        app::TempFile.Close();
        if (good) return;
    }
    std::filesystem::remove(path);
    std::fprintf(stderr, "building %s\n", path.c_str());
    if (app::TempFile.Create() != 0 || app::TempFile.Open() != 0) std::exit(1);
    rt::Logout(0, {&app::TempFile});
    std::int64_t second = 0;
    for (int n = 0; n < kEvents; n += 2) {
        const int make = n / 2;
        app::TMP.Apps = "APP" + std::to_string(make % kApplications) + ".APP";
        for (int step = 0; step < 2; ++step) {
            second += step == 0 ? 3 : 20 + make % 40;
            app::TMP.Date = static_cast<std::int32_t>(82000 + second / 86400);
            app::TMP.Clock = static_cast<std::int32_t>(second % 86400 * 100 + 1);
            app::TMP.Event = step == 0        ? "Begin Make"
                             : make % 20 == 0 ? "Error 5 Access Denied"
                                              : "Make Finished";
            if (app::TempFile.Add() != 0) std::exit(1);
        }
    }
    rt::Commit();
    app::TempFile.Close();
}

std::vector<double> g_history;
std::vector<double> g_read;
std::size_t g_applications = 0;
std::size_t g_runs = 0;

void BM_History(benchmark::State& state) {
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        app::History history;
        if (app::ReadHistory(history) != 0) state.SkipWithError("the log was not read");
        std::vector<app::ApplicationSummary> summaries;
        for (const app::ApplicationRuns& runs : history) summaries.push_back(Summarise(runs));
        g_history.push_back(ProcessCpuSeconds() - start);
        g_applications = history.size();
        g_runs = 0;
        for (const app::ApplicationSummary& s : summaries)
            g_runs += static_cast<std::size_t>(s.runs);
    }
}
BENCHMARK(BM_History)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_BareRead(benchmark::State& state) {
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        app::TempFile.Open(rt::access::ReadOnly | rt::access::DenyNone);
        app::TempFile.SetKey(app::TempFileTable::clockkey);
        int n = 0;
        while (app::TempFile.Next() == 0) ++n;
        app::TempFile.Close();
        g_read.push_back(ProcessCpuSeconds() - start);
        if (n != kEvents) state.SkipWithError("short read");
    }
}
BENCHMARK(BM_BareRead)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
    zelt::storage::RegisterPelmarDriver();
    zelt::framework::ErrorReporter errors;
    errors.Init();
    app::ResetCatalogueGlobals();
    EnsureLog();
    app::InitDictionary(errors);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    app::KillDictionary();
    errors.Kill();
    if (g_history.empty() || g_read.empty()) return 1;
    const double history = *std::min_element(g_history.begin(), g_history.end());
    const double read = *std::min_element(g_read.begin(), g_read.end());
    std::printf("history of %d events: %.0f ms (bare read %.0f ms), %zu applications, %zu runs\n",
                kEvents, history * 1e3, read * 1e3, g_applications, g_runs);
    std::printf("history/read cost ratio: %.2f\n", history / read);
    return history < 1.0 ? 0 : 1;
}
