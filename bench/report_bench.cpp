// The log report over 100,000 events saved as a PDF file, against reading the same events
// with the driver alone.
//
// The events lie in the catalogue's TEMPFILE.PLM in $ZELT_BENCH_DIR (default
// /tmp/zelt-report-bench), with a ZELT.INI that points there, built once. Three
// measurements:
//   - the report as `zelt --print-log` makes it, in this process: the program brought up
//     over the console backend with the PDF writer that zelt's main installs, and the
//     headless run of --print-log (RunHeadless); the PDF writer's share is timed apart;
//   - the bare read: the driver opens the file and reads every record in file order;
//   - the real programs: `zelt --print-log` and `plm dump` of the same file, each run as a
//     child process three times, their processor time (user and system) from wait4. Target:
//     zelt's at most three times plm's.
// The last lines printed are
//   program: zelt --print-log X ms, plm dump Y ms   processor ratio: R (target <= 3)
//   peak resident memory: ... MiB (... MiB at start; zelt --print-log ... MiB)
//   report: N records/s (walk X ms, PDF Y ms)   bare read: M records/s
//   report/read cost ratio: R
// Costs are processor time, fastest run of each (the machine may be shared).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/headless/console_messages.hpp"
#include "app/headless/headless_options.hpp"
#include "app/headless/headless_run.hpp"
#include "app/program/program.hpp"
#include "bench/process_measures.hpp"
#include "framework/error_reporter.hpp"
#include "platform/pdf/report_pdf_writer.hpp"
#include "platform/profile/ini_file_service.hpp"
#include "runtime/report/report_pdf.hpp"
#include "storage/driver/pelmar_driver.hpp"

extern char** environ;

namespace {

using zelt::bench::PeakResidentMiB;
using zelt::bench::ProcessCpuSeconds;

namespace app = zelt::app;
namespace rt = zelt::runtime;

constexpr int kEvents = 100000;

std::filesystem::path Directory() {
    const char* dir = std::getenv("ZELT_BENCH_DIR");
    std::filesystem::path path = dir ? dir : "/tmp/zelt-report-bench";
    std::filesystem::create_directories(path);
    return std::filesystem::absolute(path);
}

// ZELT.INI naming the bench folder as the table directory, and the log's file in it.
void EnsureCatalogue() {
    const std::string dir = Directory().string() + "/";
    std::ofstream(dir + "ZELT.INI")
        << "[Preserved]\nNewLog=N\nCL_Command=\nFilePath=" << dir << "\nRetainTags=0\n";
    app::ResetCatalogueGlobals();
    app::TempFileFileName = dir + "TEMPFILE.PLM";
    if (std::filesystem::exists(dir + "TEMPFILE.PLM") && app::TempFile.Open() == 0) {
        const bool good = app::TempFile.Records() == kEvents;
        app::TempFile.Close();
        if (good) return;
    }
    std::filesystem::remove(dir + "TEMPFILE.PLM");
    std::fprintf(stderr, "building %sTEMPFILE.PLM\n", dir.c_str());
    if (app::TempFile.Create() != 0 || app::TempFile.Open() != 0) {
        std::fprintf(stderr, "cannot create %sTEMPFILE.PLM\n", dir.c_str());
        std::exit(1);
    }
    static const char* kSteps[] = {"Begin Make", "Target Deleted", "Make Command Sent",
                                   "Make Finished"};
    rt::Logout(0, {&app::TempFile});
    for (int n = 0; n < kEvents; ++n) {
        app::TMP.Apps = "C:\\PROJECTS\\APP" + std::to_string(n / 4 % 500) + ".APP";
        app::TMP.Date = 82000 + n / 5000;
        app::TMP.Clock = 1 + n % 5000 * 1000;
        app::TMP.Event = std::string(kSteps[n % 4]) + " (" + std::to_string(n) + ")";
        if (app::TempFile.Add() != 0) std::exit(1);
    }
    rt::Commit();
    app::TempFile.Close();
}

struct Run {
    double seconds = 0;
    double pdf_seconds = 0;
};
std::vector<Run> g_reports;
std::vector<double> g_reads;
double g_pdf_seconds = 0;  // the PDF writer's share of the run in progress

void BM_BareRead(benchmark::State& state) {
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        app::TempFileFileName = (Directory() / "TEMPFILE.PLM").string();
        app::TempFile.Open(rt::access::ReadOnly | rt::access::DenyNone);
        app::TempFile.SetFile();
        int n = 0;
        while (app::TempFile.Next() == 0) ++n;
        app::TempFile.Close();
        g_reads.push_back(ProcessCpuSeconds() - start);
        if (n != kEvents) state.SkipWithError("short read");
    }
}
BENCHMARK(BM_BareRead)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// What `zelt --print-log FILE` does after its main has installed the services.
void BM_PrintLog(benchmark::State& state) {
    app::HeadlessOptions options;
    options.command = app::HeadlessCommand::PrintLog;
    options.pdf_path = (Directory() / "events_100k.pdf").string();
    for (auto _ : state) {
        const double start = ProcessCpuSeconds();
        g_pdf_seconds = 0;
        app::ResetCatalogueGlobals();  // as at zelt's start: the names without a folder
        app::ConsoleBackend backend;
        app::ConsolePresenter presenter;
        app::Program program(backend, &presenter);
        const int status =
            program.Run([&](app::Program& p) { return app::RunHeadless(p, options); });
        g_reports.push_back({ProcessCpuSeconds() - start, g_pdf_seconds});
        if (status != 0) state.SkipWithError("the report was not saved");
    }
}
BENCHMARK(BM_PrintLog)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// A program run as a child in the bench folder, its output to /dev/null; its processor
// time and peak resident memory, or a negative time when it failed.
struct ChildCost {
    double seconds = -1;
    double peak_mib = 0;
};
ChildCost RunChild(const std::vector<std::string>& argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ChildCost cost;
    if (spawned != 0) return cost;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return cost;
    cost.seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    cost.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return cost;
}

ChildCost FastestOfThree(const std::vector<std::string>& argv) {
    ChildCost best;
    for (int i = 0; i < 3; ++i) {
        const ChildCost c = RunChild(argv);
        if (c.seconds < 0) return c;
        if (best.seconds < 0 || c.seconds < best.seconds) best = c;
    }
    return best;
}

}  // namespace

// The fastest runs: on a shared machine other users' load only ever adds time.
int main(int argc, char** argv) {
    const double start_mib = PeakResidentMiB();
    const std::filesystem::path dir = Directory();
    std::filesystem::current_path(dir);           // zelt reads the ZELT.INI of its folder
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);  // the per-user profile, for both
    zelt::storage::RegisterPelmarDriver();
    zelt::platform::InstallIniFileService();
    // As zelt's main: every PDF file through the libharu writer (here timed).
    rt::InstallReportPdfWriter([](const rt::ReportDocument& pages, const std::string& path) {
        const double begin = ProcessCpuSeconds();
        const bool written = zelt::platform::WriteReportPdfFile(pages, path);
        g_pdf_seconds += ProcessCpuSeconds() - begin;
        return written;
    });
    EnsureCatalogue();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_reports.empty() || g_reads.empty()) return 0;

    const ChildCost zelt_cost =
        FastestOfThree({ZELT_PROGRAM_PATH, "--print-log", (dir / "zelt_100k.pdf").string()});
    const ChildCost plm_cost = FastestOfThree({ZELT_PLM_PATH, "dump", "TEMPFILE.PLM"});
    if (zelt_cost.seconds < 0 || plm_cost.seconds < 0) {
        std::printf("program: zelt --print-log or plm dump failed\n");
    } else {
        std::printf(
            "program: zelt --print-log %.0f ms, plm dump %.0f ms   processor ratio: %.2f "
            "(target <= 3)\n",
            zelt_cost.seconds * 1e3, plm_cost.seconds * 1e3, zelt_cost.seconds / plm_cost.seconds);
    }
    std::printf("peak resident memory: %.1f MiB (%.1f MiB at start; zelt --print-log %.1f MiB)\n",
                PeakResidentMiB(), start_mib, zelt_cost.peak_mib);
    const Run best =
        *std::min_element(g_reports.begin(), g_reports.end(),
                          [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    const double read = *std::min_element(g_reads.begin(), g_reads.end());
    std::printf("report: %.0f records/s (walk %.0f ms, PDF %.0f ms)   bare read: %.0f records/s\n",
                kEvents / best.seconds, (best.seconds - best.pdf_seconds) * 1e3,
                best.pdf_seconds * 1e3, kEvents / read);
    std::printf("report/read cost ratio: %.2f\n", best.seconds / read);
    return zelt_cost.seconds >= 0 && zelt_cost.seconds <= 3 * plm_cost.seconds ? 0 : 1;
}
