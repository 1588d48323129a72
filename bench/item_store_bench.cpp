// Item store against SQLite: insert, point lookup, ordered scan and a single small commit.
// Both sides store the same keys and data, flush to the device on every commit, and run in
// the same process; the end of the run prints our time over the peer's for each case.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "storage/item_file.hpp"

namespace {

using zelt::storage::Access;
using zelt::storage::Creation;
using zelt::storage::ItemCursor;
using zelt::storage::ItemFile;
using zelt::storage::Share;

constexpr int kItems = 20000;

std::filesystem::path ScratchPath(const char* name) {
    static std::filesystem::path dir = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zelt-bench-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(pattern.data()));
    }();
    return dir / name;
}

std::string KeyOf(int n) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "key%09d", (n * 7919) % 1000003);
    return buf;
}
std::string DataOf(int n) {
    return std::string(40 + n % 60, static_cast<char>('a' + n % 26));
}

std::unique_ptr<ItemFile> OpenItems(const char* name, Creation creation) {
    std::unique_ptr<ItemFile> file;
    ItemFile::Open(ScratchPath(name), {Access::ReadWrite, Share::DenyAll, creation, {}}, file);
    return file;
}

void FillItems(ItemFile& file) {
    file.BeginWrite();
    for (int i = 0; i < kItems; ++i) file.Insert(KeyOf(i), DataOf(i));
    file.Finish();
}

sqlite3* OpenSql(const char* name, bool fresh) {
    if (fresh) std::filesystem::remove(ScratchPath(name));
    sqlite3* db = nullptr;
    sqlite3_open(ScratchPath(name).c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA synchronous=FULL; CREATE TABLE IF NOT EXISTS t(k BLOB PRIMARY KEY, v "
                 "BLOB) WITHOUT ROWID;",
                 nullptr, nullptr, nullptr);
    return db;
}

void FillSql(sqlite3* db) {
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?)", -1, &st, nullptr);
    for (int i = 0; i < kItems; ++i) {
        std::string k = KeyOf(i), v = DataOf(i);
        sqlite3_bind_blob(st, 1, k.data(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(st, 2, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

void BM_Items_Insert(benchmark::State& state) {
    for (auto _ : state) {
        auto file = OpenItems("insert.plm", Creation::AlwaysNew);
        FillItems(*file);
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_Sqlite_Insert(benchmark::State& state) {
    for (auto _ : state) {
        sqlite3* db = OpenSql("insert.db", true);
        FillSql(db);
        sqlite3_close(db);
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_Items_Lookup(benchmark::State& state) {
    auto file = OpenItems("lookup.plm", Creation::AlwaysNew);
    FillItems(*file);
    int n = 0;
    std::string data;
    bool found = false;
    file->BeginRead();
    for (auto _ : state) {
        file->Find(KeyOf(n++ % kItems), &data, &found);
        benchmark::DoNotOptimize(data);
    }
    file->Finish();
}

void BM_Sqlite_Lookup(benchmark::State& state) {
    sqlite3* db = OpenSql("lookup.db", true);
    FillSql(db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT v FROM t WHERE k=?", -1, &st, nullptr);
    int n = 0;
    for (auto _ : state) {
        std::string k = KeyOf(n++ % kItems);
        sqlite3_bind_blob(st, 1, k.data(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW) {
            std::string v(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                          static_cast<std::size_t>(sqlite3_column_bytes(st, 0)));
            benchmark::DoNotOptimize(v);
        }
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
}

void BM_Items_Scan(benchmark::State& state) {
    auto file = OpenItems("scan.plm", Creation::AlwaysNew);
    FillItems(*file);
    file->BeginRead();
    for (auto _ : state) {
        ItemCursor cursor(*file);
        std::size_t bytes = 0;
        for (cursor.First(); cursor.Valid(); cursor.Next()) bytes += cursor.data().size();
        benchmark::DoNotOptimize(bytes);
    }
    file->Finish();
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_Sqlite_Scan(benchmark::State& state) {
    sqlite3* db = OpenSql("scan.db", true);
    FillSql(db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT k, v FROM t ORDER BY k", -1, &st, nullptr);
    for (auto _ : state) {
        std::size_t bytes = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::string k(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                          static_cast<std::size_t>(sqlite3_column_bytes(st, 0)));
            std::string v(static_cast<const char*>(sqlite3_column_blob(st, 1)),
                          static_cast<std::size_t>(sqlite3_column_bytes(st, 1)));
            bytes += v.size();
        }
        sqlite3_reset(st);
        benchmark::DoNotOptimize(bytes);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_Items_Commit(benchmark::State& state) {
    auto file = OpenItems("commit.plm", Creation::AlwaysNew);
    FillItems(*file);
    int n = kItems;
    for (auto _ : state) {
        file->Replace(KeyOf(n % kItems), DataOf(n));
        ++n;
    }
}

void BM_Sqlite_Commit(benchmark::State& state) {
    sqlite3* db = OpenSql("commit.db", true);
    FillSql(db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO t VALUES(?,?)", -1, &st, nullptr);
    int n = kItems;
    for (auto _ : state) {
        std::string k = KeyOf(n % kItems), v = DataOf(n++);
        sqlite3_bind_blob(st, 1, k.data(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(st, 2, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
}

BENCHMARK(BM_Items_Insert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sqlite_Insert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Items_Lookup);
BENCHMARK(BM_Sqlite_Lookup);
BENCHMARK(BM_Items_Scan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sqlite_Scan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Items_Commit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sqlite_Commit)->Unit(benchmark::kMicrosecond);

// Console output plus, at the end, the ratio of each of our cases to the peer's.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nitem store time / SQLite time (below 1 is faster):\n");
        for (const char* name : {"Insert", "Lookup", "Scan", "Commit"}) {
            double ours = times_[std::string("BM_Items_") + name];
            double peer = times_[std::string("BM_Sqlite_") + name];
            if (peer > 0) std::printf("  %-7s %.2f\n", name, ours / peer);
        }
    }

  private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(ScratchPath("x").parent_path(), ec);
}
