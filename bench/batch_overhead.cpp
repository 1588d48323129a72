// What the make batch itself costs per application: 200 tagged applications made, twice.
//
// In process: against an IDE in the same process that writes each target as it
// acknowledges the command. The overhead is the batch's whole time less the time the IDE
// spent in its commands, per item: from the moment a target exists to the moment the next
// command arrives (noticing the target, the conversation closed and opened again, the next
// old target deleted), plus every event written to the activity log on real table files and
// committed to the disk, plus the batch's start and end. The counter `gap_ms` is the first
// part alone.
//
// Over the bus: the path the program takes, against vxide (no delays) on a private session
// bus of the benchmark's own, through the D-Bus transport. The figure is the batch's whole
// time per item, the IDE's own work and every trip through the bus daemon included; the
// processor time of the batch's own process per item is printed beside it, since on a busy
// machine the whole time is mostly the wait for the other two processes to be scheduled.
//
// The last lines give both figures and their ratio; the very last one, the headline, reads
// `batch overhead per item: X ms` for the run over the bus (target: below 5 ms).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/batches/batch_engine.hpp"
#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/ide/ide_channel.hpp"
#include "bench/bench_catalogue.hpp"
#include "framework/error_reporter.hpp"
#include "platform/dbus/dbus_transport.hpp"
#include "platform/spawn/spawn_process.hpp"
#include "runtime/conversation/in_process_transport.hpp"
#include "storage/driver/pelmar_driver.hpp"
#include "tests/dbus/process_support.hpp"

namespace {

using namespace zelt;
using Clock = std::chrono::steady_clock;

constexpr int kApplications = 200;

// An IDE that makes at once: the target is on disk before the command is acknowledged.
class InstantIde final : public runtime::ConversationService {
  public:
    std::string folder;
    std::vector<double> gap_ms;  // target written to next command, per item after the first
    double inside_ms = 0;        // time spent in the commands

    std::optional<runtime::InitiateAnswer> Initiate(std::string_view, std::string_view) override {
        return runtime::InitiateAnswer{"VextorWin", "System"};
    }
    void Execute(runtime::ConversationId, std::string command,
                 runtime::ExecuteReply reply) override {
        const Clock::time_point arrived = Clock::now();
        if (made_)
            gap_ms.push_back(std::chrono::duration<double, std::milli>(arrived - written_).count());
        const auto start = command.find(folder);
        const auto point = command.find('.', start);
        std::ofstream(command.substr(start, point - start) + ".EXE") << "made\n";
        written_ = Clock::now();
        inside_ms += std::chrono::duration<double, std::milli>(written_ - arrived).count();
        made_ = true;
        reply(true);
    }
    std::optional<std::string> Request(runtime::ConversationId, std::string_view,
                                       std::uint32_t) override {
        return std::nullopt;
    }
    void NewBatch() {
        made_ = false;
        gap_ms.clear();
        inside_ms = 0;
    }

  private:
    Clock::time_point written_;
    bool made_ = false;
};

class QuietWindow final : public app::BatchWindow {
  public:
    void ShowMessage(std::string_view) override {}
    void Redisplay() override {}
    void SelectApplicationsList() override {}
    void PostEvent(runtime::EventCode) override {}
    int ShowMessageBox(const runtime::MessageRequest& request) override {
        return request.default_button;
    }
    void Beep() override {}
    void Activate() override {}
    void Focus(app::BatchFocus) override {}
    void WaitForResult(const app::ResultWait& wait) override {
        const Clock::time_point start = Clock::now();
        app::SleepOnResult(wait);
        ++waits;
        waited_ms += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    int waits = 0;         // sleeps of the waiting items
    double waited_ms = 0;  // and their time
};

// The catalogue on real table files: kApplications tagged applications over 200 priorities.
struct Catalogue : bench::BenchCatalogue {
    Catalogue()
        : BenchCatalogue("zelt-batch", 'A', kApplications, [](int i) { return 1 + i % 200; }) {}
};

double g_overhead_ms = 0;

void MakeBatchOfTaggedApplications(benchmark::State& state) {
    Catalogue catalogue;
    InstantIde ide_server;
    ide_server.folder = (catalogue.dir / "apps").string() + "/";
    auto transport = std::make_shared<runtime::InProcessTransport>();
    transport->AddServer("instant", ide_server);
    runtime::ConversationClient client(transport);
    QuietWindow window;
    struct NoStarter final : runtime::ServerStarter {
        runtime::StartResult Start(std::string_view) override { return {}; }
        std::string EndedInFailure() override { return {}; }
    } starter;
    app::IdeChannel ide(client, window, starter, [] { return std::string(); });
    app::BatchEngine engine(ide, window);
    double overhead_total = 0, gap_total = 0;
    int runs = 0;
    for (auto _ : state) {
        ide_server.NewBatch();
        const Clock::time_point start = Clock::now();
        const app::BatchSummary done = engine.MakeTagged();
        const double batch_ms =
            std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (done.made != kApplications) state.SkipWithError("not every application was made");
        overhead_total += (batch_ms - ide_server.inside_ms) / kApplications;
        double gaps = 0;
        for (double ms : ide_server.gap_ms) gaps += ms;
        gap_total +=
            ide_server.gap_ms.empty() ? 0 : gaps / static_cast<double>(ide_server.gap_ms.size());
        ++runs;
    }
    g_overhead_ms = runs > 0 ? overhead_total / runs : 0;
    state.counters["gap_ms"] = runs > 0 ? gap_total / runs : 0;
    state.counters["overhead_ms"] = g_overhead_ms;
}
BENCHMARK(MakeBatchOfTaggedApplications)->Iterations(3)->Unit(benchmark::kMillisecond);

double g_bus_ms = 0;
double g_bus_cpu_ms = 0;

// Processor time of this process so far (the batch's side only: the bus daemon and vxide
// run in processes of their own).
double ProcessorMs() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

void MakeBatchOverTheBus(benchmark::State& state) {
    zelt::testing::PrivateBus bus;  // never the user's own: vxide serves VextorWin
    if (!bus.ready()) {
        state.SkipWithError("no private session bus (dbus-daemon)");
        return;
    }
    zelt::testing::Vxide vxide({"--instance", "bench"}, zelt::testing::ErrorOutput::Quiet);
    std::string reason;
    std::shared_ptr<platform::DbusConversationTransport> transport =
        platform::DbusConversationTransport::ConnectSessionBus(&reason);
    if (!vxide.ready() || !transport) {
        state.SkipWithError(("vxide or the bus cannot be used: " + reason).c_str());
        return;
    }
    Catalogue catalogue;
    runtime::ConversationClient client(transport);
    QuietWindow window;
    platform::SpawnServerStarter starter;
    app::IdeChannel ide(client, window, starter, [] { return std::string(); });
    app::BatchEngine engine(ide, window);
    double total = 0;
    double processor = 0;
    int runs = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const double start_cpu = ProcessorMs();
        const app::BatchSummary done = engine.MakeTagged();
        const double batch_ms =
            std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (done.made != kApplications) state.SkipWithError("not every application was made");
        total += batch_ms / kApplications;
        processor += (ProcessorMs() - start_cpu) / kApplications;
        ++runs;
    }
    g_bus_ms = runs > 0 ? total / runs : 0;
    g_bus_cpu_ms = runs > 0 ? processor / runs : 0;
    state.counters["per_item_ms"] = g_bus_ms;
    state.counters["sleeps"] = runs > 0 ? window.waits / runs : 0;
    state.counters["slept_ms"] = runs > 0 ? window.waited_ms / runs / kApplications : 0;
}
BENCHMARK(MakeBatchOverTheBus)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("batch overhead per item, IDE in process: %.2f ms\n", g_overhead_ms);
    std::printf("processor time per item over the bus (this process): %.2f ms\n", g_bus_cpu_ms);
    std::printf("over the bus / in process: %.2f\n",
                g_overhead_ms > 0 ? g_bus_ms / g_overhead_ms : 0.0);
    std::printf("batch overhead per item: %.2f ms (over the bus against vxide)\n", g_bus_ms);
    return 0;
}
