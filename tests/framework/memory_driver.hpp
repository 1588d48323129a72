// A table driver that keeps its files in memory, for testing the managers without a disk
// format. Files are addressed by name; tests reach into them to play another station, a
// locked or read-only file, damaged keys or adds that keep failing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "runtime/file/file_driver.hpp"

namespace zelt::framework::testing {

struct MemoryFile {
    bool exists = true;
    std::map<std::uint32_t, std::string> records;  // by record number
    std::uint32_t next_record = 1;
    // Faults to play.
    bool locked = false;        // opens give 5 until "Recover=" was sent
    bool read_only = false;     // opens for writing give 5
    bool keys_damaged = false;  // opens give 46 until the keys are built
    bool create_fails = false;
    bool build_fails = false;
    std::function<void()> during_build;  // called for every record a key build reads
    bool delete_fails = false;
    int adds_to_fail = 0;          // the next adds give 40
    int puts_before_failure = -1;  // puts that still work before every further one gives 5
    // What happened.
    std::vector<std::string> sends;
    std::vector<int> open_modes;
    int physical_opens = 0;
    int open_count = 0;  // currently open tables on it
};

class MemoryDriver final : public runtime::FileDriver {
  public:
    std::string_view Name() const override { return "MEMORY"; }
    std::string_view Description() const override { return "Memory (tests)"; }
    bool Supports(runtime::FileOp op) const override;
    bool SupportsFieldType(std::uint8_t) const override { return true; }
    runtime::ErrorCode Call(runtime::FileOp op, runtime::Table& table,
                            runtime::DriverArgs& args) override;

    // Registers the driver once and forgets every file.
    static void Reset();
    static MemoryFile& FileNamed(const std::string& name);
    static bool Exists(const std::string& name);
    static void SetTransactions(bool supported);
    // Commits are refused with 5 (Access Denied) and change nothing.
    static void SetCommitFails(bool fails);
};

}  // namespace zelt::framework::testing
