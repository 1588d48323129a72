// Replays the inputs the fuzzers found: each must open and walk to a clean status
// (success, 36 or a fault number) without a crash or a sanitizer report, and the table
// files must be checked, listed and dumped as plm does without a hang.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "storage_test_util.hpp"
#include "tests/storage/fuzz/fuzz_walk.hpp"
#include "tests/storage/fuzz/table_walk.hpp"

namespace zelt::storage {
namespace {

// Replays every file of a regressions folder through `walk`.
template <typename Walk>
void ReplayFolder(const char* folder, Walk walk) {
    std::filesystem::path dir = std::filesystem::path(__FILE__).parent_path() / "fuzz" / folder;
    ASSERT_TRUE(std::filesystem::exists(dir));
    testing::ScratchDir scratch;
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        EXPECT_TRUE(
            walk(scratch.path(), reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
            << entry.path();
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

TEST(FuzzRegressionTest, EveryFoundInputEndsCleanly) {
    ReplayFolder("regressions", fuzzing::WalkBytes);
}

TEST(FuzzRegressionTest, EveryFoundTableFileIsReadAsPlmReadsIt) {
    ReplayFolder("table-regressions", fuzzing::WalkTable);
}

}  // namespace
}  // namespace zelt::storage
