// libFuzzer target: arbitrary bytes opened and walked as an item file.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "storage/io/io_fault_seam.hpp"
#include "tests/storage/fuzz/fuzz_walk.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::filesystem::path dir = [] {
        zelt::storage::io::IoFaultSeam::SetDeviceSync(false);
        std::string pattern = "/dev/shm/zelt-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return std::filesystem::path(pattern);
    }();
    if (!zelt::storage::fuzzing::WalkBytes(dir, data, size)) std::abort();
    return 0;
}
