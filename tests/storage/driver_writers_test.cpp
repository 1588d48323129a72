// Programs that write one shared table file at once: copies taken while another program
// commits, and several writers taking turns at the writer byte.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <sstream>

#include "../runtime/file_test_dir.hpp"
#include "runtime/file/fixed_string.hpp"
#include "runtime/file/table.hpp"
#include "storage/driver/pelmar_driver.hpp"
#include "tools/plm/check.hpp"

namespace zelt::storage {
namespace {

using runtime::FixedString;
using runtime::Table;
using runtime::TableDeclaration;
namespace err = runtime::err;

#pragma pack(push, 1)
struct Row {
    FixedString<40> name;
    std::int32_t number;
    FixedString<300> notes;
};
#pragma pack(pop)

class SharedWriters : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { RegisterPelmarDriver(); }

    TableDeclaration Rows() {
        return TableDeclaration("ROWS", "ROW", "PELMAR")
            .NameVariable(name_.Span())
            .Record({reinterpret_cast<char*>(&row_), sizeof row_})
            .String("ROW:Name", 0, 40)
            .Long("ROW:Number", 40)
            .String("ROW:Notes", 44, 300)
            .Key("ROW:NumberKey", 0, {"ROW:Number"})
            .Key("ROW:NameKey", runtime::key_attr::Dup, {"ROW:Name"});
    }

    // Adds one record, trying again while the driver answers 5; returns how many 5s.
    int AddRetrying(Table& t, std::int32_t number) {
        row_.number = number;
        row_.name = "writer row " + std::to_string(number % 97);
        row_.notes = std::string(static_cast<std::size_t>(number % 300), 'n');
        int refused = 0;
        for (;;) {
            const auto code = t.Add();
            if (code == 0) return refused;
            if (code != err::AccessDenied) return -1000;
            ++refused;
        }
    }

    void SetUp() override {
        name_ = dir_.File("ROWS");
        Table t(Rows());
        ASSERT_EQ(t.Create(), 0);
    }

    testing_support::TestDir dir_;
    FixedString<200> name_;
    Row row_{};
};

// A copy taken while another program commits is a committed state of the file, whether
// the table is open here or not.
TEST_F(SharedWriters, CopiesTakenWhileAnotherProgramCommitsAreWhole) {
    int stop[2];
    ASSERT_EQ(::pipe(stop), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::close(stop[1]);
        Table t(Rows());
        if (t.Open(0x42) != 0) _exit(2);
        char byte = 0;
        // About 300 records at any time: each new one goes in as an old one goes out, so
        // that pages are rewritten, split and emptied while the copies are taken.
        for (int n = 1;; ++n) {
            if (AddRetrying(t, n) < 0) _exit(3);
            row_.number = n - 300;
            if (n > 300 && t.Get(0) == 0) {
                while (t.Delete() == err::AccessDenied) {
                }
            }
            struct timeval none {};
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(stop[0], &ready);
            if (::select(stop[0] + 1, &ready, nullptr, nullptr, &none) > 0) break;
        }
        (void)!::read(stop[0], &byte, 1);
        t.Close();
        _exit(0);
    }
    ::close(stop[0]);
    Table mine(Rows());
    int torn = 0;
    for (int i = 0; i < 100; ++i) {
        const bool open = i % 2 == 0;
        if (open) {
            runtime::ErrorCode opened = err::AccessDenied;
            for (int tries = 0; tries < 5000 && opened == err::AccessDenied; ++tries) {
                opened = mine.Open(0x40);
                if (opened == err::AccessDenied) ::usleep(1000);
            }
            ASSERT_EQ(opened, 0);
        }
        const std::string copy = dir_.File("COPY" + std::to_string(i) + ".PLM");
        runtime::ErrorCode code = 0;
        for (int tries = 0; tries < 5000 && (code = mine.Copy(copy)) == err::AccessDenied; ++tries)
            ::usleep(1000);
        if (open) mine.Close();
        ASSERT_EQ(code, 0) << "copy " << i;
        std::unique_ptr<ItemFile> file;
        OpenOptions options;
        options.access = Access::ReadOnly;
        ASSERT_TRUE(ItemFile::Open(copy, options, file).ok()) << "copy " << i;
        std::ostringstream problems;
        if (plm::CheckOpenFile(*file, problems).problems != 0) {
            ++torn;
            ADD_FAILURE() << "copy " << i << ":\n" << problems.str();
        }
        file.reset();
        std::filesystem::remove(copy);
    }
    ASSERT_EQ(::write(stop[1], "q", 1), 1);
    int status = 0;
    ::waitpid(writer, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(torn, 0);
}

// Four programs add to one shared file at once. The lock tries pause between them, so
// nearly every operation gets its turn at the first attempt and none waits long.
TEST_F(SharedWriters, FourWritersShareTheWriterByteWithFewRefusals) {
    constexpr int kWriters = 4;
    constexpr int kAdds = 150;
    int results[2];
    ASSERT_EQ(::pipe(results), 0);
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(results[0]);
            struct {
                int refused = 0;
                int failed = 0;
                double longest_ms = 0;
            } outcome;
            Table t(Rows());
            int code = 0;
            while ((code = t.Open(0x42)) == err::AccessDenied) ++outcome.refused;
            if (code != 0) _exit(2);
            for (int n = 0; n < kAdds; ++n) {
                row_.number = w * 100000 + n;
                for (;;) {
                    const auto begun = std::chrono::steady_clock::now();
                    code = t.Add();
                    outcome.longest_ms =
                        std::max(outcome.longest_ms, std::chrono::duration<double, std::milli>(
                                                         std::chrono::steady_clock::now() - begun)
                                                         .count());
                    if (code != err::AccessDenied) break;
                    ++outcome.refused;
                }
                if (code != 0) ++outcome.failed;
            }
            t.Close();
            (void)!::write(results[1], &outcome, sizeof outcome);
            _exit(0);
        }
        writers.push_back(pid);
    }
    ::close(results[1]);
    int refused = 0;
    int failed = 0;
    double longest_ms = 0;
    for (int w = 0; w < kWriters; ++w) {
        struct {
            int refused;
            int failed;
            double longest_ms;
        } outcome{};
        ASSERT_EQ(::read(results[0], &outcome, sizeof outcome),
                  static_cast<ssize_t>(sizeof outcome));
        refused += outcome.refused;
        failed += outcome.failed;
        longest_ms = std::max(longest_ms, outcome.longest_ms);
    }
    for (pid_t pid : writers) ::waitpid(pid, nullptr, 0);
    ::close(results[0]);
    std::printf("%d writers x %d adds: %d refused with 5, longest call %.1f ms\n", kWriters, kAdds,
                refused, longest_ms);
    EXPECT_EQ(failed, 0);
    EXPECT_LE(refused, kWriters * kAdds / 100);
    EXPECT_LT(longest_ms, 1000.0);
    Table t(Rows());
    ASSERT_EQ(t.Open(0x40), 0);
    EXPECT_EQ(t.Records(), kWriters * kAdds);
}

}  // namespace
}  // namespace zelt::storage
