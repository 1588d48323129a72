// The Pelmar driver against SQLite on the catalogue's workloads, in one run.
//
// Each workload runs once on each side (the two read-only ones three times, counting the
// median), each timing after a fifth of a second of busy processor, on a fresh file in the
// same scratch directory, through the same kind of interface a program uses (file
// statements of the runtime for Pelmar, prepared statements for SQLite at its default
// durability). The end of the run prints per workload both throughputs and ours over the
// peer's, the file sizes, and the machine's cost of the flushes one commit needs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "bench/process_measures.hpp"
#include "runtime/file/fixed_string.hpp"
#include "runtime/file/table.hpp"
#include "storage/driver/pelmar_driver.hpp"

namespace {

using zelt::bench::PeakResidentMiB;

using zelt::runtime::FixedString;
using zelt::runtime::Table;
using zelt::runtime::TableDeclaration;
namespace key_attr = zelt::runtime::key_attr;
using Clock = std::chrono::steady_clock;

int Scale(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : fallback;
}
const int kSingleCommits = Scale("ZELT_BENCH_SINGLE", 2000);
const int kEvents = Scale("ZELT_BENCH_EVENTS", 100000);
const int kApps = Scale("ZELT_BENCH_APPS", 20000);
const int kChanges = 10000;
const int kSingleChanges = 1000;
const int kDeletes = 1000;

std::filesystem::path Scratch(const std::string& name) {
    static const std::filesystem::path dir = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zelt-vs-sqlite-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(pattern.data()));
    }();
    return dir / name;
}

#pragma pack(push, 1)
struct EventRecord {  // shaped like TEMPFILE
    FixedString<40> apps;
    std::int32_t date;
    std::int32_t clock;
    FixedString<80> event;
};
struct AppRecord {  // shaped like APPS
    FixedString<80> path;
    FixedString<50> name;
    std::int16_t tag;
    std::uint8_t priority;
    FixedString<250> target;
    std::int32_t project;
};
#pragma pack(pop)

EventRecord EV;
AppRecord AP;
FixedString<200> event_name;
FixedString<200> app_name;

TableDeclaration EventTable() {
    return TableDeclaration("EVENTS", "EV", "PELMAR")
        .NameVariable(event_name.Span())
        .Record(zelt::runtime::AsBytes(EV))
        .String("EV:Apps", 0, 40)
        .Long("EV:Date", 40)
        .Long("EV:Clock", 44)
        .String("EV:Event", 48, 80)
        .Key("EV:ClockKey", key_attr::Dup | key_attr::Opt | key_attr::NoCase,
             {"EV:Date", "EV:Clock"})
        .Key("EV:IdKey", 0, {"EV:Clock"});
}
TableDeclaration AppTable() {
    return TableDeclaration("APPS", "AP", "PELMAR")
        .NameVariable(app_name.Span())
        .Record(zelt::runtime::AsBytes(AP))
        .String("AP:Path", 0, 80)
        .String("AP:Name", 80, 50)
        .Short("AP:Tag", 130)
        .Byte("AP:Priority", 132)
        .String("AP:Target", 133, 250)
        .Long("AP:Project", 383)
        .Key("AP:DriveKey", key_attr::Opt | key_attr::NoCase, {"AP:Name", "AP:Path"})
        .Key("AP:PriorityKey", key_attr::Dup | key_attr::NoCase, {"AP:Priority", "AP:Name"})
        .Key("AP:ProjectKey", key_attr::Dup | key_attr::Opt | key_attr::NoCase, {"AP:Project"});
}

void FillEvent(int i) {
    EV.apps = "APPLICATION" + std::to_string(i % 500) + ".APP";
    EV.date = 80000 + i / 5000;
    EV.clock = i + 1;  // unique
    EV.event = "Make Finished " + std::to_string(i);
}
void FillApp(int i) {
    AP.path = "/home/dev/projects/group" + std::to_string(i % 97) + "/";
    AP.name = "APP" + std::to_string(i) + ".APP";
    AP.tag = static_cast<std::int16_t>(i % 2);
    AP.priority = static_cast<std::uint8_t>(1 + i % 255);
    AP.target = "/home/dev/out/APP" + std::to_string(i) + ".EXE";
    AP.project = i % 40;
}

// SQLite side ---------------------------------------------------------------------------

struct Sql {
    sqlite3* db = nullptr;
    explicit Sql(const std::string& name) {
        std::filesystem::remove(Scratch(name));
        sqlite3_open(Scratch(name).c_str(), &db);
        Exec(
            "CREATE TABLE events(apps TEXT, date INTEGER, clock INTEGER UNIQUE, event TEXT);"
            "CREATE INDEX events_clock ON events(date, clock);"
            "CREATE TABLE apps(path TEXT, name TEXT, tag INTEGER, priority INTEGER, target TEXT, "
            "project INTEGER);"
            "CREATE UNIQUE INDEX apps_drive ON apps(name COLLATE NOCASE, path COLLATE NOCASE);"
            "CREATE INDEX apps_priority ON apps(priority, name COLLATE NOCASE);"
            "CREATE INDEX apps_project ON apps(project);");
    }
    ~Sql() { sqlite3_close(db); }
    void Exec(const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
        return stmt;
    }
};

void SqlAddEvent(sqlite3_stmt* insert, int i) {
    FillEvent(i);
    const std::string apps = EV.apps.Clip();
    const std::string event = EV.event.Clip();
    sqlite3_bind_text(insert, 1, apps.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 2, EV.date);
    sqlite3_bind_int(insert, 3, EV.clock);
    sqlite3_bind_text(insert, 4, event.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_reset(insert);
}
void SqlAddApp(sqlite3_stmt* insert, int i) {
    FillApp(i);
    const std::string path = AP.path.Clip(), name = AP.name.Clip(), target = AP.target.Clip();
    sqlite3_bind_text(insert, 1, path.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 3, AP.tag);
    sqlite3_bind_int(insert, 4, AP.priority);
    sqlite3_bind_text(insert, 5, target.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 6, AP.project);
    sqlite3_step(insert);
    sqlite3_reset(insert);
}

// Results ------------------------------------------------------------------------------

struct Result {
    double ours = 0;  // operations per second
    double peer = 0;
};
std::map<std::string, Result> results;
std::vector<std::string> order;

// Keeps the processor busy for a fifth of a second. After a stretch spent waiting on
// flushes, a virtual machine's processor takes a while to come back to full speed, and a
// short workload timed right then pays for the one before it (catalogue adds after the
// single-record changes took 65 ms or 115 ms of processor time by that alone).
void WarmUp() {
    const auto until = Clock::now() + std::chrono::milliseconds(200);
    volatile std::uint64_t spins = 0;
    while (Clock::now() < until) spins = spins + 1;
}

// The time `body` takes, started with the processor at full speed.
template <typename F>
double Seconds(F body) {
    WarmUp();
    const auto start = Clock::now();
    body();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The read-only workloads run three times on each side and count the median: a walk of
// 20 ms is otherwise at the mercy of whatever else the machine does in those 20 ms.
template <typename F>
double MedianSeconds(F body) {
    std::array<double, 3> times{Seconds(body), Seconds(body), Seconds(body)};
    std::sort(times.begin(), times.end());
    return times[1];
}

void Record(benchmark::State& state, const std::string& workload, bool ours, int operations,
            double seconds) {
    state.SetIterationTime(seconds);
    state.counters["ops_per_s"] = operations / seconds;
    if (std::find(order.begin(), order.end(), workload) == order.end()) order.push_back(workload);
    (ours ? results[workload].ours : results[workload].peer) = operations / seconds;
}

// The cost of one flush of a small write, as a commit pays it.
double FlushSeconds() {
    const auto path = Scratch("flush.tmp");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    char block[512] = {};
    constexpr int kRounds = 200;
    const double seconds = Seconds([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (::pwrite(fd, block, sizeof block, (i % 8) * 512) < 0) break;
            ::fdatasync(fd);
        }
    });
    ::close(fd);
    std::filesystem::remove(path);
    return seconds / kRounds;
}

// Flushes measured right before and right after the single-record commits, so that they
// see the disk as those commits do.
std::vector<double> flush_samples;

// Workloads, Pelmar ----------------------------------------------------------------------

void Pelmar(benchmark::State& state) {
    zelt::storage::RegisterPelmarDriver();
    for (auto _ : state) {
        std::filesystem::remove(Scratch("events.PLM"));
        std::filesystem::remove(Scratch("single.PLM"));
        std::filesystem::remove(Scratch("apps.PLM"));
        {
            event_name = Scratch("single.PLM").string();
            Table t(EventTable());
            t.Create();
            t.Open(0x22);
            flush_samples.push_back(FlushSeconds());
            Record(state, "single-record adds, own commits", true, kSingleCommits, Seconds([&] {
                       for (int i = 0; i < kSingleCommits; ++i) {
                           FillEvent(i);
                           t.Add();
                       }
                   }));
            flush_samples.push_back(FlushSeconds());
        }
        event_name = Scratch("events.PLM").string();
        Table events(EventTable());
        events.Create();
        events.Open(0x22);
        Record(state, "event adds, one transaction", true, kEvents, Seconds([&] {
                   zelt::runtime::Logout(0, {&events});
                   for (int i = 0; i < kEvents; ++i) {
                       FillEvent(i);
                       events.Add();
                   }
                   zelt::runtime::Commit();
               }));
        Record(state, "point reads by unique key", true, kEvents, MedianSeconds([&] {
                   for (int i = 0; i < kEvents; ++i) {
                       EV.clock = 1 + static_cast<std::int32_t>((static_cast<long long>(i) * 7919) %
                                                                kEvents);
                       events.Get(1);
                   }
               }));
        Record(state, "ordered read by date and time", true, kEvents, MedianSeconds([&] {
                   events.SetKey(0);
                   while (events.Next() == 0) {
                   }
               }));
        Record(state, "changes by key, one transaction", true, kChanges, Seconds([&] {
                   zelt::runtime::Logout(0, {&events});
                   for (int i = 0; i < kChanges; ++i) {
                       EV.clock = 1 + i * 7;
                       if (events.Get(1) == 0) {
                           EV.event = "Changed " + std::to_string(i);
                           events.Put();
                       }
                   }
                   zelt::runtime::Commit();
               }));
        Record(state, "changes by key, own commits", true, kSingleChanges, Seconds([&] {
                   for (int i = 0; i < kSingleChanges; ++i) {
                       EV.clock = 2 + i * 13;
                       if (events.Get(1) == 0) {
                           EV.event = "Again " + std::to_string(i);
                           events.Put();
                       }
                   }
               }));
        events.Close();

        app_name = Scratch("apps.PLM").string();
        Table apps(AppTable());
        apps.Create();
        apps.Open(0x22);
        Record(state, "catalogue adds, one transaction", true, kApps, Seconds([&] {
                   zelt::runtime::Logout(0, {&apps});
                   for (int i = 0; i < kApps; ++i) {
                       FillApp(i);
                       apps.Add();
                   }
                   zelt::runtime::Commit();
               }));
        Record(state, "catalogue deletes, own commits", true, kDeletes, Seconds([&] {
                   for (int i = 0; i < kDeletes; ++i) {
                       FillApp(i * 3);
                       if (apps.Get(0) == 0) apps.Delete();
                   }
               }));
        apps.Close();
    }
}

void Sqlite(benchmark::State& state) {
    for (auto _ : state) {
        {
            Sql single("single.db");
            sqlite3_stmt* insert = single.Prepare("INSERT INTO events VALUES(?,?,?,?)");
            Record(state, "single-record adds, own commits", false, kSingleCommits, Seconds([&] {
                       for (int i = 0; i < kSingleCommits; ++i) SqlAddEvent(insert, i);
                   }));
            sqlite3_finalize(insert);
        }
        Sql sql("events.db");
        sqlite3_stmt* insert = sql.Prepare("INSERT INTO events VALUES(?,?,?,?)");
        Record(state, "event adds, one transaction", false, kEvents, Seconds([&] {
                   sql.Exec("BEGIN");
                   for (int i = 0; i < kEvents; ++i) SqlAddEvent(insert, i);
                   sql.Exec("COMMIT");
               }));
        sqlite3_finalize(insert);
        sqlite3_stmt* get =
            sql.Prepare("SELECT apps, date, clock, event FROM events WHERE clock = ?");
        Record(state, "point reads by unique key", false, kEvents, MedianSeconds([&] {
                   for (int i = 0; i < kEvents; ++i) {
                       sqlite3_bind_int(
                           get, 1,
                           1 + static_cast<int>((static_cast<long long>(i) * 7919) % kEvents));
                       if (sqlite3_step(get) == SQLITE_ROW)
                           std::memcpy(EV.apps.bytes, sqlite3_column_text(get, 0), 1);
                       sqlite3_reset(get);
                   }
               }));
        sqlite3_stmt* scan =
            sql.Prepare("SELECT apps, date, clock, event FROM events ORDER BY date, clock");
        Record(state, "ordered read by date and time", false, kEvents, MedianSeconds([&] {
                   while (sqlite3_step(scan) == SQLITE_ROW) EV.date = sqlite3_column_int(scan, 1);
                   sqlite3_reset(scan);
               }));
        sqlite3_stmt* change = sql.Prepare("UPDATE events SET event = ? WHERE clock = ?");
        auto change_one = [&](int clock, const std::string& text) {
            sqlite3_bind_int(get, 1, clock);
            const bool found = sqlite3_step(get) == SQLITE_ROW;
            sqlite3_reset(get);
            if (!found) return;
            sqlite3_bind_text(change, 1, text.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(change, 2, clock);
            sqlite3_step(change);
            sqlite3_reset(change);
        };
        Record(state, "changes by key, one transaction", false, kChanges, Seconds([&] {
                   sql.Exec("BEGIN");
                   for (int i = 0; i < kChanges; ++i)
                       change_one(1 + i * 7, "Changed " + std::to_string(i));
                   sql.Exec("COMMIT");
               }));
        Record(state, "changes by key, own commits", false, kSingleChanges, Seconds([&] {
                   for (int i = 0; i < kSingleChanges; ++i)
                       change_one(2 + i * 13, "Again " + std::to_string(i));
               }));
        for (auto* stmt : {get, scan, change}) sqlite3_finalize(stmt);

        sqlite3_stmt* add_app = sql.Prepare("INSERT INTO apps VALUES(?,?,?,?,?,?)");
        Record(state, "catalogue adds, one transaction", false, kApps, Seconds([&] {
                   sql.Exec("BEGIN");
                   for (int i = 0; i < kApps; ++i) SqlAddApp(add_app, i);
                   sql.Exec("COMMIT");
               }));
        sqlite3_finalize(add_app);
        sqlite3_stmt* find_app = sql.Prepare(
            "SELECT rowid FROM apps WHERE name = ? COLLATE NOCASE AND path = ? COLLATE NOCASE");
        sqlite3_stmt* del_app = sql.Prepare("DELETE FROM apps WHERE rowid = ?");
        Record(state, "catalogue deletes, own commits", false, kDeletes, Seconds([&] {
                   for (int i = 0; i < kDeletes; ++i) {
                       FillApp(i * 3);
                       const std::string name = AP.name.Clip(), path = AP.path.Clip();
                       sqlite3_bind_text(find_app, 1, name.c_str(), -1, SQLITE_TRANSIENT);
                       sqlite3_bind_text(find_app, 2, path.c_str(), -1, SQLITE_TRANSIENT);
                       if (sqlite3_step(find_app) == SQLITE_ROW) {
                           sqlite3_bind_int64(del_app, 1, sqlite3_column_int64(find_app, 0));
                           sqlite3_step(del_app);
                           sqlite3_reset(del_app);
                       }
                       sqlite3_reset(find_app);
                   }
               }));
        sqlite3_finalize(find_app);
        sqlite3_finalize(del_app);
    }
}

BENCHMARK(Pelmar)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Sqlite)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const double start_mib = PeakResidentMiB();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\n%-36s %14s %14s %8s\n", "workload (operations/s)", "Pelmar", "SQLite", "ratio");
    for (const auto& name : order) {
        const auto& r = results[name];
        std::printf("%-36s %14.0f %14.0f %8.2f\n", name.c_str(), r.ours, r.peer,
                    r.peer > 0 ? r.ours / r.peer : 0);
    }
    auto size = [](const char* name) {
        std::error_code ec;
        return static_cast<long long>(std::filesystem::file_size(Scratch(name), ec));
    };
    std::printf(
        "\nfile sizes: events %lld bytes (SQLite %lld), catalogue %lld bytes (SQLite: in the same "
        "file)\n",
        size("events.PLM"), size("events.db"), size("apps.PLM"));
    std::printf("peak resident memory: %.1f MiB (%.1f MiB at start; both engines in one process)\n",
                PeakResidentMiB(), start_mib);
    if (flush_samples.empty()) flush_samples.push_back(FlushSeconds());
    const double flush =
        std::accumulate(flush_samples.begin(), flush_samples.end(), 0.0) / flush_samples.size();
    const double commit_budget =
        3 * flush;  // two flushes in the journal phase, one in the apply phase
    const double single = results["single-record adds, own commits"].ours;
    std::printf(
        "flush: %.3f ms; a commit's three flushes: %.3f ms; a single-record commit: %.3f ms "
        "(%.2f times the flushes)\n",
        flush * 1e3, commit_budget * 1e3, single > 0 ? 1e3 / single : 0,
        single > 0 ? (1.0 / single) / commit_budget : 0);
    std::filesystem::remove_all(Scratch("").parent_path());
    return 0;
}
