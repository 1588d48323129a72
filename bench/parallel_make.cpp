// How much faster a make is on several IDEs: 32 tagged applications of one priority, each
// of whose builds takes 0.5 s in the IDE, made with one IDE at a time and with four.
//
// The path the program takes: a private session bus of the benchmark's own, four vxide
// instances with `--build-delay 500` (each builds one application at a time, as an IDE
// does), the D-Bus transport, the batch engine with its ParallelIDEs set as the setting or
// `zelt --jobs` sets it, and the activity log on real table files. With 1 the make is the
// one-by-one make (it talks to the first IDE only); with 4 it drives all four.
//
// Then a run of two priority stages of 16 applications each on four IDEs, from the log's own
// time stamps: when each stage's first item began and its last one ended, and the gap from
// the end of stage one to the beginning of stage two (never negative: stage two is sent
// only once every item of stage one has ended).
//
// The last line is `parallel make speed-up with 4 IDEs: X` (target: at least 3.5).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
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
#include "storage/driver/pelmar_driver.hpp"
#include "tests/dbus/process_support.hpp"

namespace {

using namespace zelt;
using Clock = std::chrono::steady_clock;

constexpr int kApplications = 32;
// ZELT_BENCH_BUILD_MS changes the build's time (0: the batch's own cost alone).
const int kBuildMs = [] {
    const char* text = std::getenv("ZELT_BENCH_BUILD_MS");
    return text && *text ? std::atoi(text) : 500;
}();
constexpr int kIdes = 4;

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
    void WaitForResult(const app::ResultWait& wait) override { app::SleepOnResult(wait); }
    void EventLogged(const app::TempFileRecord& event) override {
        if (on_logged) on_logged(event);
    }
    std::function<void(const app::TempFileRecord&)> on_logged;
};

// The catalogue on real table files: kApplications tagged applications, the priority of
// each given by `priority_of`.
struct Catalogue : bench::BenchCatalogue {
    explicit Catalogue(const std::function<int(int)>& priority_of)
        : BenchCatalogue("zelt-parallel", 'P', kApplications, priority_of) {}
};

// The bus, the four IDEs and the program's side of the channel, for one benchmark.
struct Ides {
    zelt::testing::PrivateBus bus;  // never the user's own: vxide serves VextorWin
    std::vector<std::unique_ptr<zelt::testing::Vxide>> servers;
    std::shared_ptr<platform::DbusConversationTransport> transport;
    std::string problem;

    Ides() {
        if (!bus.ready()) {
            problem = "no private session bus (dbus-daemon)";
            return;
        }
        for (int i = 0; i < kIdes; ++i) {
            servers.push_back(std::make_unique<zelt::testing::Vxide>(
                std::vector<std::string>{"--instance", "bench_" + std::to_string(i),
                                         "--build-delay", std::to_string(kBuildMs)},
                zelt::testing::ErrorOutput::Quiet));
            if (!servers.back()->ready()) problem = "vxide did not start";
        }
        transport = platform::DbusConversationTransport::ConnectSessionBus(&problem);
    }
};

std::map<int, double> g_seconds;  // by number of IDEs

void MakeOnIdes(benchmark::State& state) {
    const int ides = static_cast<int>(state.range(0));
    Ides bus;
    if (!bus.transport || !bus.problem.empty()) {
        state.SkipWithError(bus.problem.c_str());
        return;
    }
    Catalogue catalogue([](int) { return 1; });
    runtime::ConversationClient client(bus.transport);
    QuietWindow window;
    platform::SpawnServerStarter starter;
    app::IdeChannel ide(client, window, starter, [] { return std::string(); });
    app::BatchEngine engine(ide, window);
    engine.ParallelIDEs = ides;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const app::BatchSummary done = engine.MakeTagged();
        g_seconds[ides] = std::chrono::duration<double>(Clock::now() - start).count();
        if (done.made != kApplications) state.SkipWithError("not every application was made");
    }
    state.counters["seconds"] = g_seconds[ides];
}
BENCHMARK(MakeOnIdes)->Arg(1)->Arg(kIdes)->Iterations(1)->Unit(benchmark::kMillisecond);

struct Span {
    double first_begin = 1e18;
    double last_end = 0;
};
std::map<int, Span> g_stages;  // by priority, seconds from the start of the day

void TwoStagesOnFourIdes(benchmark::State& state) {
    Ides bus;
    if (!bus.transport || !bus.problem.empty()) {
        state.SkipWithError(bus.problem.c_str());
        return;
    }
    Catalogue catalogue([](int i) { return i < kApplications / 2 ? 1 : 2; });
    runtime::ConversationClient client(bus.transport);
    QuietWindow window;
    std::map<std::string, int> priority_of;
    for (int i = 0; i < kApplications; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "P%04d.APP", i);
        priority_of[name] = i < kApplications / 2 ? 1 : 2;
    }
    window.on_logged = [&](const app::TempFileRecord& event) {
        const auto found = priority_of.find(event.Apps.Clip());
        if (found == priority_of.end()) return;
        const double at = static_cast<double>(event.Clock - 1) / 100.0;
        Span& stage = g_stages[found->second];
        const std::string text = event.Event.Clip();
        if (text == "Begin Make") stage.first_begin = std::min(stage.first_begin, at);
        if (text == "Make Finished") stage.last_end = std::max(stage.last_end, at);
    };
    platform::SpawnServerStarter starter;
    app::IdeChannel ide(client, window, starter, [] { return std::string(); });
    app::BatchEngine engine(ide, window);
    engine.ParallelIDEs = kIdes;
    for (auto _ : state) {
        const app::BatchSummary done = engine.MakeTagged();
        if (done.made != kApplications) state.SkipWithError("not every application was made");
    }
}
BENCHMARK(TwoStagesOnFourIdes)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("%d applications of one priority, %d ms of build each in the IDE\n", kApplications,
                kBuildMs);
    std::printf("made with 1 IDE: %.2f s, with %d IDEs: %.2f s\n", g_seconds[1], kIdes,
                g_seconds[kIdes]);
    if (g_stages.count(1) && g_stages.count(2)) {
        const Span& one = g_stages[1];
        const Span& two = g_stages[2];
        const double base = one.first_begin;
        std::printf("two stages of %d on %d IDEs (seconds from the first command):\n",
                    kApplications / 2, kIdes);
        std::printf("  stage 1 (priority 1): first began %.2f, last ended %.2f\n", 0.0,
                    one.last_end - base);
        std::printf("  stage 2 (priority 2): first began %.2f, last ended %.2f\n",
                    two.first_begin - base, two.last_end - base);
        std::printf("  stage 2 began %.2f s after stage 1 ended: %s\n",
                    two.first_begin - one.last_end,
                    two.first_begin >= one.last_end ? "in order" : "OUT OF ORDER");
    }
    const double speed_up = g_seconds[kIdes] > 0 ? g_seconds[1] / g_seconds[kIdes] : 0.0;
    std::printf("parallel make speed-up with %d IDEs: %.2f\n", kIdes, speed_up);
    return 0;
}
