// libFuzzer target: arbitrary bytes read as a table file the way plm check, tables and
// dump read it.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "storage/io/io_fault_seam.hpp"
#include "tests/storage/fuzz/table_walk.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::filesystem::path dir = [] {
        zelt::storage::io::IoFaultSeam::SetDeviceSync(false);
        std::string pattern = "/dev/shm/zelt-table-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return std::filesystem::path(pattern);
    }();
    if (!zelt::storage::fuzzing::WalkTable(dir, data, size)) std::abort();
    return 0;
}
