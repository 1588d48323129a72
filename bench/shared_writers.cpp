// Several programs adding to one shared table file at once, through the driver.
//
// Four processes each open the file deny-none and add 1,000 records, one committed
// operation each, trying an operation again whenever the driver refuses it with 5 ("Access
// Denied": the writer byte or a reader slot was not had in three tries). The run is made
// twice on fresh files: with the lock tries as the driver makes them (paused, rising, and
// writers served in turn) and, as the peer, with three tries in a row and no turn. Each
// prints the operations refused with 5 (OPEN included) per 1,000, the longest single call,
// the wall time and the processor time per completed operation (user + system, all four
// processes), then the ratios of the two. ZELT_BENCH_WRITERS and ZELT_BENCH_ADDS scale it.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/file/fixed_string.hpp"
#include "runtime/file/table.hpp"
#include "storage/driver/pelmar_driver.hpp"
#include "storage/io/file_handle.hpp"

namespace {

using zelt::runtime::FixedString;
using zelt::runtime::Table;
using zelt::runtime::TableDeclaration;
using Clock = std::chrono::steady_clock;
constexpr zelt::runtime::ErrorCode kAccessDenied = 5;

int Scale(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : fallback;
}
const int kWriters = Scale("ZELT_BENCH_WRITERS", 4);
const int kAdds = Scale("ZELT_BENCH_ADDS", 1000);

#pragma pack(push, 1)
struct EventRow {  // shaped like an activity log event
    FixedString<40> apps;
    std::int32_t date;
    std::int32_t time;
    FixedString<80> event;
    std::int32_t number;
};
#pragma pack(pop)

struct Outcome {
    long refused = 0;
    long failed = 0;
    double longest_ms = 0;
};

struct Run {
    Outcome outcome;
    double wall_s = 0;
    double cpu_s = 0;
};

TableDeclaration Events(FixedString<260>& name, EventRow& row) {
    return TableDeclaration("EVENTS", "EVT", "PELMAR")
        .NameVariable(name.Span())
        .Record({reinterpret_cast<char*>(&row), sizeof row})
        .String("EVT:Apps", 0, 40)
        .Long("EVT:Date", 40)
        .Long("EVT:Time", 44)
        .String("EVT:Event", 48, 80)
        .Long("EVT:Number", 128)
        .Key("EVT:NumberKey", 0, {"EVT:Number"})
        .Key("EVT:ClockKey", zelt::runtime::key_attr::Dup, {"EVT:Date", "EVT:Time"});
}

// One writer process: open, add kAdds records, close; everything refused is tried again.
Outcome Write(const std::string& path, int writer) {
    Outcome outcome;
    EventRow row{};
    FixedString<260> name(path);
    Table table(Events(name, row));
    const auto timed = [&](auto&& call) {
        for (;;) {
            const auto start = Clock::now();
            const auto code = call();
            outcome.longest_ms =
                std::max(outcome.longest_ms,
                         std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            if (code != kAccessDenied) return code;
            ++outcome.refused;
        }
    };
    if (timed([&] { return table.Open(0x42); }) != 0) {
        outcome.failed = kAdds;
        return outcome;
    }
    for (int n = 0; n < kAdds; ++n) {
        row.number = writer * 1000000 + n;
        row.date = 80000 + n / 100;
        row.time = n * 7 + 1;
        row.apps = "writer " + std::to_string(writer);
        row.event = "Make Finished " + std::to_string(n);
        if (timed([&] { return table.Add(); }) != 0) ++outcome.failed;
    }
    table.Close();
    return outcome;
}

double Seconds(const timeval& tv) {
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

Run RunWriters(bool patient) {
    zelt::storage::io::FileHandle::SetPatientLocks(patient);
    char pattern[] = "/tmp/zelt-shared-writers-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(pattern);
    const std::string path = (dir / "EVENTS.PLM").string();
    {
        EventRow row{};
        FixedString<260> name(path);
        Table table(Events(name, row));
        table.Create();
    }
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) std::abort();
    rusage before{};
    ::getrusage(RUSAGE_CHILDREN, &before);
    const auto start = Clock::now();
    for (int w = 0; w < kWriters; ++w) {
        if (::fork() == 0) {
            ::close(pipe_fds[0]);
            const Outcome outcome = Write(path, w);
            (void)!::write(pipe_fds[1], &outcome, sizeof outcome);
            ::_exit(0);
        }
    }
    ::close(pipe_fds[1]);
    Run run;
    for (int w = 0; w < kWriters; ++w) {
        Outcome one;
        if (::read(pipe_fds[0], &one, sizeof one) != static_cast<ssize_t>(sizeof one)) break;
        run.outcome.refused += one.refused;
        run.outcome.failed += one.failed;
        run.outcome.longest_ms = std::max(run.outcome.longest_ms, one.longest_ms);
    }
    while (::wait(nullptr) > 0) {
    }
    run.wall_s = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(pipe_fds[0]);
    rusage after{};
    ::getrusage(RUSAGE_CHILDREN, &after);
    run.cpu_s = Seconds(after.ru_utime) - Seconds(before.ru_utime) + Seconds(after.ru_stime) -
                Seconds(before.ru_stime);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    zelt::storage::io::FileHandle::SetPatientLocks(true);
    return run;
}

Run g_patient;
Run g_eager;

void SharedWriters(benchmark::State& state) {
    for (auto _ : state) {
        g_patient = RunWriters(true);
        g_eager = RunWriters(false);
    }
}
BENCHMARK(SharedWriters)->Iterations(1)->Unit(benchmark::kSecond);

void Print(const char* label, const Run& run) {
    const double ops = static_cast<double>(kWriters) * (kAdds + 1);
    std::printf("%-28s %9.1f %10.1f %12.2f %9.2f %11.3f %6ld\n", label,
                1000.0 * static_cast<double>(run.outcome.refused) / ops, run.outcome.longest_ms,
                run.wall_s, 1000.0 * run.cpu_s / ops, 1000.0 * run.wall_s / ops,
                run.outcome.failed);
}

}  // namespace

int main(int argc, char** argv) {
    zelt::storage::RegisterPelmarDriver();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\n%d writers x %d adds on one shared file (each add one commit)\n", kWriters,
                kAdds);
    std::printf("%-28s %9s %10s %12s %9s %11s %6s\n", "", "5s/1000", "longest ms", "wall s",
                "cpu ms/op", "wall ms/op", "failed");
    Print("paused tries, in turn", g_patient);
    Print("peer: three tries in a row", g_eager);
    const double ops = static_cast<double>(kWriters) * (kAdds + 1);
    std::printf("ratios (ours / peer): 5s %.4f, cpu per op %.3f, wall %.3f\n",
                g_eager.outcome.refused == 0 ? 0.0
                                             : static_cast<double>(g_patient.outcome.refused) /
                                                   static_cast<double>(g_eager.outcome.refused),
                (g_patient.cpu_s / ops) / (g_eager.cpu_s / ops), g_patient.wall_s / g_eager.wall_s);
    std::printf("must hold: 5s <= 10 per 1000, longest call < 1000 ms, failed 0: %s\n",
                g_patient.outcome.refused * 100 <= static_cast<long>(ops) &&
                        g_patient.outcome.longest_ms < 1000.0 && g_patient.outcome.failed == 0
                    ? "yes"
                    : "NO");
    return 0;
}
