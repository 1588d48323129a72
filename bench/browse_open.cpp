// A browse over a large table file against the same browse over a small one.
//
// Both files have the same layout (name, city, amount; a unique key on the name) and the
// browse lists them by that key. One walk: open the table file and the browse, show the
// first page, page down ten times, drag the thumb to the end. The walk's time over the 1M
// file is divided by its time over the 100-record file, for records added in key order
// (ordered) and in random key order (scattered); the last lines printed are
//   ordered layout 1M/100 ratio: X
//   scattered layout 1M/100 ratio: X
//   peak resident memory: X MiB (X MiB at start, X MiB above it)
//   browse 1M/100 ratio: X          (the worse of the two layouts)
//
// The files are built once and kept in $ZELT_BENCH_DIR (default /tmp/zelt-browse-bench);
// a file whose record count is not what it should be is built again.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/process_measures.hpp"
#include "framework/browse/browse_controller.hpp"
#include "framework/browse/table_view.hpp"
#include "framework/error_reporter.hpp"
#include "framework/file_manager.hpp"
#include "framework/relation_tracker.hpp"
#include "framework/window/tracked_record.hpp"
#include "runtime/file/fixed_string.hpp"
#include "runtime/file/table.hpp"
#include "runtime/window/headless_backend.hpp"
#include "storage/driver/pelmar_driver.hpp"

namespace {

using zelt::bench::PeakResidentMiB;

namespace fw = zelt::framework;
namespace rt = zelt::runtime;
using Clock = std::chrono::steady_clock;

constexpr int kPageRows = 20;
constexpr int kPageDowns = 10;
constexpr std::int64_t kBig = 1000000;
constexpr std::int64_t kSmall = 100;

#pragma pack(push, 1)
struct PersonRecord {
    rt::FixedString<30> Name;
    rt::FixedString<20> City;
    std::int32_t Amount;
};
#pragma pack(pop)

std::filesystem::path Directory() {
    const char* dir = std::getenv("ZELT_BENCH_DIR");
    std::filesystem::path path = dir ? dir : "/tmp/zelt-browse-bench";
    std::filesystem::create_directories(path);
    return path;
}

rt::TableDeclaration Declaration(PersonRecord& rec, const std::string& file) {
    return rt::TableDeclaration("PEOPLE", "PEO", "PELMAR")
        .FileName(file)
        .Record(rt::AsBytes(rec))
        .String("PEO:Name", 0, 30)
        .String("PEO:City", 30, 20)
        .Long("PEO:Amount", 50)
        .Key("PEO:NameKey", 0, {"PEO:Name"});
}

// How the records lie in the file against the key the list is sorted by.
enum class Layout { Ordered, Scattered };
const char* LayoutName(Layout layout) {
    return layout == Layout::Ordered ? "ordered" : "scattered";
}

std::string FileFor(Layout layout, std::int64_t records) {
    return (Directory() /
            ("people_" + std::string(LayoutName(layout)) + "_" + std::to_string(records) + ".plm"))
        .string();
}

bool g_built = false;  // a file was built in this process (its peak includes that)

// Builds the file unless it is there with the right number of records.
void EnsureFile(Layout layout, std::int64_t records) {
    const std::string file = FileFor(layout, records);
    PersonRecord rec{};
    {
        rt::Table table(Declaration(rec, file));
        if (std::filesystem::exists(file) && table.Open() == 0) {
            const bool good = table.Records() == records;
            table.Close();
            if (good) return;
        }
    }
    std::filesystem::remove(file);
    g_built = true;
    std::fprintf(stderr, "building %s (%lld records)\n", file.c_str(),
                 static_cast<long long>(records));
    rt::Table table(Declaration(rec, file));
    if (table.Create() != 0 || table.Open() != 0) {
        std::fprintf(stderr, "cannot create %s\n", file.c_str());
        std::exit(1);
    }
    // Names spread over the alphabet: four letters, then the record's number. Ordered: the
    // letters grow with the number, so records are added in key order (as events are to
    // the log); scattered: the letters are drawn at random.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> letter(0, 25);
    auto prefix = [&](std::int64_t n, int i) {
        if (layout == Layout::Scattered) return 'A' + letter(random);
        std::int64_t share = n * (26LL * 26 * 26 * 26) / records;
        for (int k = 3; k > i; --k) share /= 26;
        return static_cast<int>('A' + share % 26);
    };
    constexpr std::int64_t kBatch = 50000;
    for (std::int64_t done = 0; done < records;) {
        rt::Logout(0, {&table});
        for (std::int64_t i = 0; i < kBatch && done < records; ++i, ++done) {
            char name[32];
            std::snprintf(name, sizeof name, "%c%c%c%c%07lld", prefix(done, 0), prefix(done, 1),
                          prefix(done, 2), prefix(done, 3), static_cast<long long>(done));
            rec.Name = name;
            rec.City = done % 2 ? "Rome" : "Oslo";
            rec.Amount = static_cast<std::int32_t>(done % 1000);
            if (table.Add() != 0) {
                std::fprintf(stderr, "add failed at %lld\n", static_cast<long long>(done));
                std::exit(1);
            }
        }
        rt::Commit();
    }
    table.Close();
}

class PeopleWindow final : public fw::WindowController {
  public:
    PeopleWindow(fw::ErrorReporter& errors, rt::Table& table, fw::RelationTracker& tracker)
        : WindowController(errors, Declaration(), "BrowsePeople"),
          table_(table),
          record_(tracker),
          view_(table) {}
    fw::BrowseController browse;

    static rt::WindowDeclaration Declaration() {
        rt::WindowDeclaration w("People");
        w.List("?List", rt::ListFormat{{{"Name", 30}, {"City", 20}, {"Amount", 6}}, {}, true})
            .Immediate()
            .Hint(60, kPageRows);
        return w;
    }
    fw::Level Init() override {
        WindowController::Init();
        browse.Init(*this, 1, view_, record_, Errors);
        browse.ActiveOrder().Order = "PEO:NameKey";
        browse.ActiveOrder().FreeElement =
            fw::ViewField{"PEO:Name", fw::FieldBinding(table_, 0), true, false};
        browse.SetThumb(
            std::make_unique<fw::StepDistribution>(fw::LookupMode::Alphabetic, fw::step::Letters));
        for (int f = 0; f < 3; ++f) browse.AddField(fw::FieldBinding(table_, f));
        OpenWindow();
        return fw::LevelOk;
    }

  private:
    rt::Table& table_;
    fw::TrackedRecord record_;
    fw::TableView view_;
};

// With ZELT_BENCH_PHASES set, each walk prints the time of its steps to standard error.
struct Phases {
    bool on = std::getenv("ZELT_BENCH_PHASES") != nullptr;
    Clock::time_point last = Clock::now();
    std::string line;
    void Mark(const char* name) {
        if (!on) return;
        const auto now = Clock::now();
        line += std::string(" ") + name + " " +
                std::to_string(std::chrono::duration<double, std::micro>(now - last).count())
                    .substr(0, 7) +
                "us";
        last = now;
    }
    ~Phases() {
        if (on) std::fprintf(stderr, "%s\n", line.c_str());
    }
};

// One walk; the name on the last row shown, so that nothing is optimised away.
std::string Walk(Layout layout, std::int64_t records) {
    Phases phases;
    fw::ErrorReporter errors;
    errors.Init();
    PersonRecord rec{};
    rt::Table table(Declaration(rec, FileFor(layout, records)));
    fw::FileManager manager;
    manager.Init(table, errors);
    manager.AddKey(0, "Name");
    fw::RelationTracker tracker;
    tracker.Init(manager);
    tracker.OpenAll();
    phases.Mark("open");
    std::string last;
    {
        PeopleWindow w(errors, table, tracker);
        w.Init();
        phases.Mark("window");
        w.browse.Reset(true);  // the first page
        phases.Mark("first-page");
        for (int i = 0; i < kPageDowns; ++i) {
            w.browse.ScrollPage(rt::event::PageDown);
            w.browse.UpdateWindow();
        }
        phases.Mark("page-downs");
        w.browse.TakeThumb(100);
        phases.Mark("thumb");
        if (w.browse.RowCount() > 0) last = w.browse.ListQueue().back().values.at(0);
        w.Kill();
    }
    tracker.CloseAll();
    manager.Kill();
    tracker.Kill();
    phases.Mark("close");
    return last;
}

std::map<std::pair<Layout, std::int64_t>, std::vector<double>> g_times;

void BM_BrowseWalk(benchmark::State& state) {
    const Layout layout = state.range(0) == 0 ? Layout::Ordered : Layout::Scattered;
    const std::int64_t records = state.range(1);
    state.SetLabel(LayoutName(layout));
    for (auto _ : state) {
        const auto start = Clock::now();
        std::string last = Walk(layout, records);
        g_times[{layout, records}].push_back(
            std::chrono::duration<double>(Clock::now() - start).count());
        benchmark::DoNotOptimize(last);
    }
}
BENCHMARK(BM_BrowseWalk)
    ->Args({0, kSmall})
    ->Args({0, kBig})
    ->Args({1, kSmall})
    ->Args({1, kBig})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

double Fastest(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

// The ratio of the fastest walks: on a shared machine the other users' load only ever
// adds time, so the fastest of many walks is the walk's own cost. Medians are shown too.
double Ratio(Layout layout) {
    const auto& big = g_times[{layout, kBig}];
    const auto& small = g_times[{layout, kSmall}];
    std::printf(
        "%s layout: walk over %lld records %.3f ms (median %.3f), over %lld records %.3f ms "
        "(median %.3f)\n",
        LayoutName(layout), static_cast<long long>(kBig), Fastest(big) * 1e3, Median(big) * 1e3,
        static_cast<long long>(kSmall), Fastest(small) * 1e3, Median(small) * 1e3);
    return Fastest(small) > 0 ? Fastest(big) / Fastest(small) : 0.0;
}

int main(int argc, char** argv) {
    const double start_mib = PeakResidentMiB();
    zelt::storage::RegisterPelmarDriver();
    rt::HeadlessSession session;
    for (Layout layout : {Layout::Ordered, Layout::Scattered}) {
        EnsureFile(layout, kSmall);
        EnsureFile(layout, kBig);
        Walk(layout,
             kBig);  // the big file's pages in the system's cache, as for a file in daily use
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double ordered = Ratio(Layout::Ordered);
    const double scattered = Ratio(Layout::Scattered);
    std::printf("ordered layout 1M/100 ratio: %.2f\n", ordered);
    std::printf("scattered layout 1M/100 ratio: %.2f\n", scattered);
    const double peak = PeakResidentMiB();
    std::printf("peak resident memory: %.1f MiB (%.1f MiB at start, %.1f MiB above it%s)\n", peak,
                start_mib, peak - start_mib,
                g_built ? "; the files were built in this run, and building counts" : "");
    std::printf("browse 1M/100 ratio: %.2f\n", std::max(ordered, scattered));
    return 0;
}
