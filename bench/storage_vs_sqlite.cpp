// The Pelmar driver against SQLite on the catalogue's workloads, in one run.
//
// The run goes through every workload in five rounds (ZELT_BENCH_ROUNDS), each on fresh
// files in the same scratch directory, through the same kind of interface a program uses
// (file statements of the runtime for Pelmar, prepared statements for SQLite at its
// default durability). Within a round each workload runs on one engine right after the
// other, the one going first alternating, so that both meet the machine in the same
// state; the ordered read, a walk of some 20 ms, runs seven times on each side per round,
// the engines taking turns. A round's ratio compares each engine's fastest timing in that
// round, taken one right after the other; the run prints the median of the rounds' ratios.
// On a shared machine the processor runs slow for stretches of a second or two (the same
// walk then takes 1.7 times its processor time) and the disk's flushes change speed just
// as suddenly, so a figure taken on one engine a minute after the other says more about
// the machine than about the engines. Each timing starts after a fifth of a second of
// busy processor. The end of the run prints per workload both throughputs (medians of the
// rounds) and the ratio, the file sizes, and the machine's cost of the flushes one commit
// needs.
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
#include <optional>
#include <string>
#include <string_view>
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

// Fills the record buffer from a result row, as a program that reads a row into its
// record does (a Pelmar read fills the whole record too). The texts are taken as the bytes
// stored, the cheapest way SQLite gives them (sqlite3_column_text would copy each one to
// end it with a zero byte).
void SqlRowToEvent(sqlite3_stmt* row) {
    auto text = [row](int column) {
        const void* bytes = sqlite3_column_blob(row, column);
        return std::string_view(
            static_cast<const char*>(bytes),
            bytes != nullptr ? static_cast<std::size_t>(sqlite3_column_bytes(row, column)) : 0);
    };
    EV.apps = text(0);
    EV.date = sqlite3_column_int(row, 1);
    EV.clock = sqlite3_column_int(row, 2);
    EV.event = text(3);
}

// Results ------------------------------------------------------------------------------

// Per workload and round, each engine's fastest timing in operations per second.
struct Result {
    std::vector<double> ours;
    std::vector<double> peer;
};
std::map<std::string, Result> results;
std::vector<std::string> order;
int current_round = 0;

// Keeps the processor busy for a fifth of a second. After a stretch spent waiting on
// flushes, a virtual machine's processor takes a while to come back to full speed, and a
// short workload timed right then pays for the one before it (catalogue adds after the
// single-record changes took 65 ms or 115 ms of processor time by that alone).
void WarmUp() {
    const auto until = Clock::now() + std::chrono::milliseconds(200);
    volatile std::uint64_t spins = 0;
    while (Clock::now() < until) spins = spins + 1;
}

// The time `body` takes; after a warm-up unless the processor has just been busy.
template <typename F>
double Seconds(F body, bool warm_up = true) {
    if (warm_up) WarmUp();
    const auto start = Clock::now();
    body();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Record(const std::string& workload, bool ours, int operations, double seconds) {
    if (std::find(order.begin(), order.end(), workload) == order.end()) order.push_back(workload);
    std::vector<double>& rounds = ours ? results[workload].ours : results[workload].peer;
    if (rounds.size() <= static_cast<std::size_t>(current_round))
        rounds.resize(static_cast<std::size_t>(current_round) + 1, 0.0);
    double& best = rounds[static_cast<std::size_t>(current_round)];
    best = std::max(best, operations / seconds);
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

// SQLite's ordered read taking the date alone, operations per second (fastest per round).
std::vector<double> date_only_walk;

// Per round: the flush measured right before and right after the single-record commits
// (so that it sees the disk as those commits do), and a commit's time over three flushes.
std::vector<double> round_flushes;
std::vector<double> commit_over_flushes;

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Workloads, Pelmar ----------------------------------------------------------------------

class PelmarSide {
  public:
    PelmarSide() { zelt::storage::RegisterPelmarDriver(); }

    // Single-record adds with their own commits; answers the seconds, between two
    // measurements of the flush.
    double SingleAdds() {
        std::filesystem::remove(Scratch("single.PLM"));
        event_name = Scratch("single.PLM").string();
        Table t(EventTable());
        t.Create();
        t.Open(0x22);
        const double flush_before = FlushSeconds();
        const double seconds = Seconds([&] {
            for (int i = 0; i < kSingleCommits; ++i) {
                FillEvent(i);
                t.Add();
            }
        });
        const double flush = (flush_before + FlushSeconds()) / 2;
        round_flushes.push_back(flush);
        commit_over_flushes.push_back(seconds / kSingleCommits / (3 * flush));
        return seconds;
    }
    double EventAdds() {
        events_.reset();
        std::filesystem::remove(Scratch("events.PLM"));
        event_name = Scratch("events.PLM").string();
        events_.emplace(EventTable());
        events_->Create();
        events_->Open(0x22);
        return Seconds([&] {
            zelt::runtime::Logout(0, {&*events_});
            for (int i = 0; i < kEvents; ++i) {
                FillEvent(i);
                events_->Add();
            }
            zelt::runtime::Commit();
        });
    }
    double PointReads(bool warm_up) {
        return Seconds(
            [&] {
                for (int i = 0; i < kEvents; ++i) {
                    EV.clock =
                        1 + static_cast<std::int32_t>((static_cast<long long>(i) * 7919) % kEvents);
                    events_->Get(1);
                }
            },
            warm_up);
    }
    double OrderedRead(bool warm_up) {
        return Seconds(
            [&] {
                events_->SetKey(0);
                while (events_->Next() == 0) {
                }
            },
            warm_up);
    }
    double Changes() {
        return Seconds([&] {
            zelt::runtime::Logout(0, {&*events_});
            for (int i = 0; i < kChanges; ++i) {
                EV.clock = 1 + i * 7;
                if (events_->Get(1) == 0) {
                    EV.event = "Changed " + std::to_string(i);
                    events_->Put();
                }
            }
            zelt::runtime::Commit();
        });
    }
    double SingleChanges() {
        const double seconds = Seconds([&] {
            for (int i = 0; i < kSingleChanges; ++i) {
                EV.clock = 2 + i * 13;
                if (events_->Get(1) == 0) {
                    EV.event = "Again " + std::to_string(i);
                    events_->Put();
                }
            }
        });
        events_->Close();
        events_.reset();
        return seconds;
    }
    double CatalogueAdds() {
        std::filesystem::remove(Scratch("apps.PLM"));
        app_name = Scratch("apps.PLM").string();
        apps_.emplace(AppTable());
        apps_->Create();
        apps_->Open(0x22);
        return Seconds([&] {
            zelt::runtime::Logout(0, {&*apps_});
            for (int i = 0; i < kApps; ++i) {
                FillApp(i);
                apps_->Add();
            }
            zelt::runtime::Commit();
        });
    }
    double CatalogueDeletes() {
        const double seconds = Seconds([&] {
            for (int i = 0; i < kDeletes; ++i) {
                FillApp(i * 3);
                if (apps_->Get(0) == 0) apps_->Delete();
            }
        });
        apps_->Close();
        apps_.reset();
        return seconds;
    }

  private:
    std::optional<Table> events_;
    std::optional<Table> apps_;
};

// Workloads, SQLite ----------------------------------------------------------------------

class SqliteSide {
  public:
    double SingleAdds() {
        Sql single("single.db");
        sqlite3_stmt* insert = single.Prepare("INSERT INTO events VALUES(?,?,?,?)");
        const double seconds = Seconds([&] {
            for (int i = 0; i < kSingleCommits; ++i) SqlAddEvent(insert, i);
        });
        sqlite3_finalize(insert);
        return seconds;
    }
    double EventAdds() {
        sql_.emplace("events.db");
        sqlite3_stmt* insert = sql_->Prepare("INSERT INTO events VALUES(?,?,?,?)");
        const double seconds = Seconds([&] {
            sql_->Exec("BEGIN");
            for (int i = 0; i < kEvents; ++i) SqlAddEvent(insert, i);
            sql_->Exec("COMMIT");
        });
        sqlite3_finalize(insert);
        get_ = sql_->Prepare("SELECT apps, date, clock, event FROM events WHERE clock = ?");
        scan_ = sql_->Prepare("SELECT apps, date, clock, event FROM events ORDER BY date, clock");
        change_ = sql_->Prepare("UPDATE events SET event = ? WHERE clock = ?");
        return seconds;
    }
    double PointReads(bool warm_up) {
        return Seconds(
            [&] {
                for (int i = 0; i < kEvents; ++i) {
                    sqlite3_bind_int(
                        get_, 1,
                        1 + static_cast<int>((static_cast<long long>(i) * 7919) % kEvents));
                    if (sqlite3_step(get_) == SQLITE_ROW) SqlRowToEvent(get_);
                    sqlite3_reset(get_);
                }
            },
            warm_up);
    }
    double OrderedRead(bool warm_up) {
        return Seconds(
            [&] {
                while (sqlite3_step(scan_) == SQLITE_ROW) SqlRowToEvent(scan_);
                sqlite3_reset(scan_);
            },
            warm_up);
    }
    // The walk as this bench had it before, taking the date alone (which the index
    // holds), for comparison with earlier figures.
    double OrderedReadDateOnly() {
        return Seconds(
            [&] {
                while (sqlite3_step(scan_) == SQLITE_ROW) EV.date = sqlite3_column_int(scan_, 1);
                sqlite3_reset(scan_);
            },
            false);
    }
    double Changes() {
        return Seconds([&] {
            sql_->Exec("BEGIN");
            for (int i = 0; i < kChanges; ++i) ChangeOne(1 + i * 7, "Changed " + std::to_string(i));
            sql_->Exec("COMMIT");
        });
    }
    double SingleChanges() {
        const double seconds = Seconds([&] {
            for (int i = 0; i < kSingleChanges; ++i)
                ChangeOne(2 + i * 13, "Again " + std::to_string(i));
        });
        sqlite3_finalize(get_);
        sqlite3_finalize(scan_);
        sqlite3_finalize(change_);
        get_ = scan_ = change_ = nullptr;
        return seconds;
    }
    double CatalogueAdds() {
        sqlite3_stmt* add_app = sql_->Prepare("INSERT INTO apps VALUES(?,?,?,?,?,?)");
        const double seconds = Seconds([&] {
            sql_->Exec("BEGIN");
            for (int i = 0; i < kApps; ++i) SqlAddApp(add_app, i);
            sql_->Exec("COMMIT");
        });
        sqlite3_finalize(add_app);
        return seconds;
    }
    double CatalogueDeletes() {
        sqlite3_stmt* find_app = sql_->Prepare(
            "SELECT rowid FROM apps WHERE name = ? COLLATE NOCASE AND path = ? COLLATE NOCASE");
        sqlite3_stmt* del_app = sql_->Prepare("DELETE FROM apps WHERE rowid = ?");
        const double seconds = Seconds([&] {
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
        });
        sqlite3_finalize(find_app);
        sqlite3_finalize(del_app);
        sql_.reset();
        return seconds;
    }

  private:
    void ChangeOne(int clock, const std::string& text) {
        sqlite3_bind_int(get_, 1, clock);
        const bool found = sqlite3_step(get_) == SQLITE_ROW;
        if (found) SqlRowToEvent(get_);
        sqlite3_reset(get_);
        if (!found) return;
        sqlite3_bind_text(change_, 1, text.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(change_, 2, clock);
        sqlite3_step(change_);
        sqlite3_reset(change_);
    }
    std::optional<Sql> sql_;
    sqlite3_stmt* get_ = nullptr;
    sqlite3_stmt* scan_ = nullptr;
    sqlite3_stmt* change_ = nullptr;
};

// The rounds ---------------------------------------------------------------------------

const int kRounds = std::max(1, Scale("ZELT_BENCH_ROUNDS", 5));
constexpr int kOrderedPasses = 7;  // per engine and round

// Runs one workload on both engines, `ours_first` saying which goes first.
template <typename Ours, typename Peer>
void Pair(const std::string& workload, int operations, bool ours_first, Ours ours, Peer peer) {
    if (ours_first) Record(workload, true, operations, ours());
    Record(workload, false, operations, peer());
    if (!ours_first) Record(workload, true, operations, ours());
}

void StorageVsSqlite(benchmark::State& state) {
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            current_round = round;
            date_only_walk.push_back(0);
            PelmarSide ours;
            SqliteSide peer;
            int turn = round;  // who goes first alternates from one timing to the next
            auto next_first = [&turn] { return turn++ % 2 == 0; };
            Pair(
                "single-record adds, own commits", kSingleCommits, next_first(),
                [&] { return ours.SingleAdds(); }, [&] { return peer.SingleAdds(); });
            Pair(
                "event adds, one transaction", kEvents, next_first(),
                [&] { return ours.EventAdds(); }, [&] { return peer.EventAdds(); });
            Pair(
                "point reads by unique key", kEvents, next_first(),
                [&] { return ours.PointReads(true); }, [&] { return peer.PointReads(true); });
            // The walks run back to back: the processor stays busy between them.
            for (int pass = 0; pass < kOrderedPasses; ++pass) {
                const bool warm_up = pass == 0;
                Pair(
                    "ordered read by date and time", kEvents, next_first(),
                    [&] { return ours.OrderedRead(warm_up); },
                    [&] { return peer.OrderedRead(false); });
                date_only_walk.back() =
                    std::max(date_only_walk.back(), kEvents / peer.OrderedReadDateOnly());
            }
            Pair(
                "changes by key, one transaction", kChanges, next_first(),
                [&] { return ours.Changes(); }, [&] { return peer.Changes(); });
            Pair(
                "changes by key, own commits", kSingleChanges, next_first(),
                [&] { return ours.SingleChanges(); }, [&] { return peer.SingleChanges(); });
            Pair(
                "catalogue adds, one transaction", kApps, next_first(),
                [&] { return ours.CatalogueAdds(); }, [&] { return peer.CatalogueAdds(); });
            Pair(
                "catalogue deletes, own commits", kDeletes, next_first(),
                [&] { return ours.CatalogueDeletes(); }, [&] { return peer.CatalogueDeletes(); });
        }
    }
    state.counters["rounds"] = kRounds;
}

BENCHMARK(StorageVsSqlite)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const double start_mib = PeakResidentMiB();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Each round's ratio compares timings taken one right after the other; the ratio
    // printed is the median of the rounds' ratios, the throughputs the median of each
    // engine's rounds.
    std::printf("\n%-36s %14s %14s %8s   %s\n", "workload (operations/s)", "Pelmar", "SQLite",
                "ratio", "ratio per round");
    auto ratios = [](const std::vector<double>& ours, const std::vector<double>& peer) {
        std::vector<double> out;
        for (std::size_t r = 0; r < ours.size() && r < peer.size(); ++r)
            out.push_back(peer[r] > 0 ? ours[r] / peer[r] : 0);
        return out;
    };
    for (const auto& name : order) {
        const auto& r = results[name];
        const std::vector<double> per_round = ratios(r.ours, r.peer);
        std::string rounds;
        for (double ratio : per_round) rounds += " " + std::to_string(ratio).substr(0, 4);
        std::printf("%-36s %14.0f %14.0f %8.2f  %s\n", name.c_str(), Median(r.ours), Median(r.peer),
                    Median(per_round), rounds.c_str());
    }
    std::printf(
        "ordered read against SQLite taking the date alone, as this bench did before: %.2f\n",
        Median(ratios(results["ordered read by date and time"].ours, date_only_walk)));
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
    // Medians over the rounds; the commit's three flushes: two in the journal phase, one
    // in the apply phase.
    const double flush = Median(round_flushes);
    std::printf(
        "flush: %.3f ms; a commit's three flushes: %.3f ms; a single-record commit: %.2f times "
        "the flushes (medians of %d rounds)\n",
        flush * 1e3, 3 * flush * 1e3, Median(commit_over_flushes), kRounds);
    std::filesystem::remove_all(Scratch("").parent_path());
    return 0;
}
