// ZELT.INI as the program reads it: each key at and past its limits, the forms of the file
// that are read like any other, and the files that are there but cannot be read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/settings/settings_file.hpp"
#include "app/settings/table_names.hpp"
#include "platform/profile/ini_file_service.hpp"

namespace zelt::app {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        ResetCatalogueGlobals();
    }
    void TearDown() override {
        ResetCatalogueGlobals();
        fs::remove_all(dir_);
    }
    std::string Write(const std::string& text) {
        std::ofstream(file_, std::ios::binary) << text;
        return file_;
    }
    // The settings file with one key in section "Preserved".
    std::string WithKey(const std::string& key, const std::string& value) {
        return Write("[Preserved]\n" + key + "=" + value + "\n");
    }

    fs::path dir_ = fs::temp_directory_path() / ("zs" + std::to_string(::getpid()));
    std::string file_ = (dir_ / "ZELT.INI").string();
    runtime::ScopedProfileService profile_{
        std::make_shared<platform::IniFileService>(dir_ / "user" / "profile.ini")};
};

TEST_F(SettingsFileTest, EveryKeyAtAndPastItsLimits) {
    const std::string longest_path = "/" + std::string(LongestFilePath() - 2, 'd') + "/";
    struct Row {
        std::string key, value;
        bool accepted;
    };
    const std::vector<Row> rows = {
        {"NewLog", "Y", true},
        {"NewLog", "N", true},
        {"NewLog", "", true},
        {"NewLog", "Yes", true},  // read as its first character
        {"NewLog", "y", false},
        {"NewLog", "X", false},
        {"RetainTags", "0", true},
        {"RetainTags", "1", true},
        {"RetainTags", "", true},
        {"RetainTags", "2", false},
        {"RetainTags", "-1", false},
        {"RetainTags", "01", false},
        {"retaintags", "yes", false},  // keys ignore letter case
        {"WaitMinutes", "1", true},
        {"WaitMinutes", "255", true},
        {"WaitMinutes", "0", false},
        {"WaitMinutes", "256", false},
        {"WaitMinutes", "-5", false},
        {"WaitMinutes", "5m", false},
        {"WaitMinutes", "", false},
        {"ParallelIDEs", "1", true},
        {"ParallelIDEs", "16", true},
        {"ParallelIDEs", "0", false},
        {"ParallelIDEs", "17", false},
        {"parallelides", "4 IDEs", false},
        {"CL_Command", std::string(254, 'c'), true},
        {"CL_Command", std::string(255, 'c'), false},
        {"FilePath", longest_path, true},
        {"FilePath", longest_path.substr(0, longest_path.size() - 1), true},  // "/" added
        {"FilePath", longest_path + "x", false},
        {"FilePath", "", true},
        {"Unknown", std::string(1000, 'u'), true},  // other keys are left alone
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key + "=" + row.value.substr(0, 20) + " (" +
                     std::to_string(row.value.size()) + " characters)");
        const std::optional<std::string> problem = CheckSettingsFile(WithKey(row.key, row.value));
        EXPECT_EQ(!problem.has_value(), row.accepted) << problem.value_or("");
        if (problem) {
            EXPECT_EQ(problem->rfind("ZELT.INI line 2: ", 0), 0u) << *problem;
        }
    }
}

TEST_F(SettingsFileTest, ValuesAreReadUpToTheirWidths) {
    struct Row {
        std::string text;
        std::string new_log, run_string, file_path;
        int retain_tags, wait_minutes;
    };
    const std::string run(300, 'r');
    const std::vector<Row> rows = {
        {"", "", "", "", 0, kNoWaitLimit},  // missing: blank settings
        {"[Preserved]\nNewLog=Yes\nRetainTags=1\nWaitMinutes=255\n", "Y", "", "", 1, 255},
        {"[Preserved]\nCL_Command=" + run + "\nWaitMinutes=256\n", "", run.substr(0, 254), "", 0,
         kNoWaitLimit},
        {"[Preserved]\nFilePath=\"/data/z/\"\nWaitMinutes= 7 \n", "", "", "/data/z/", 0, 7},
        {"[Other]\nNewLog=Y\n[Preserved]\nNewLog=N\nNewLog=Y\n", "N", "", "", 0, kNoWaitLimit},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.substr(0, 60));
        if (row.text.empty()) {
            fs::remove(file_);
        } else {
            Write(row.text);
        }
        ResetCatalogueGlobals();
        ReadSettingsFile(file_);
        EXPECT_EQ(GLO.UseNewLog.Clip(), row.new_log);
        EXPECT_EQ(std::string(GLO.RunString.View()), row.run_string);
        EXPECT_EQ(GLO.FilePath.Clip(), row.file_path);
        EXPECT_EQ(GLO.RetainTags, row.retain_tags);
        EXPECT_EQ(ReadWaitMinutes(file_), row.wait_minutes);
    }
}

TEST_F(SettingsFileTest, ParallelIDEsIsReadWithinItsRangeAndWrittenOnlyWhenItChanges) {
    for (const auto& [value, read] : std::vector<std::pair<std::string, int>>{
             {"", 1}, {"1", 1}, {" 16 ", 16}, {"17", 1}, {"0", 1}, {"four", 1}}) {
        SCOPED_TRACE(value);
        WithKey("ParallelIDEs", value);
        ReadSettingsFile(file_);
        EXPECT_EQ(GLO.ParallelIDEs, read);
    }
    // A user who never set it finds no new key; one who did finds it changed.
    Write("[Preserved]\nNewLog=N\n");
    ReadSettingsFile(file_);
    ASSERT_TRUE(WriteSettingsFile(file_));
    std::ifstream first(file_);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(first), {}).find("ParallelIDEs"),
              std::string::npos);
    GLO.ParallelIDEs = 4;
    ASSERT_TRUE(WriteSettingsFile(file_));
    EXPECT_EQ(ReadParallelIDEs(file_), 4);
}

TEST_F(SettingsFileTest, AByteOrderMarkAndACommentAfterTheHeaderAreReadLikeAnyOtherFile) {
    for (const std::string& text : {
             std::string("\xEF\xBB\xBF[Preserved]\nNewLog=Y\nRetainTags=1\nWaitMinutes=9\n"),
             std::string("[Preserved] ; note\nNewLog=Y\nRetainTags=1\nWaitMinutes=9\n"),
             std::string("\xEF\xBB\xBF[Preserved]\t# note\r\nNewLog=Y\r\nRetainTags=1\r\n"
                         "WaitMinutes=9\r\n"),
         }) {
        SCOPED_TRACE(text.substr(0, 24));
        Write(text);
        EXPECT_EQ(CheckSettingsFile(file_), std::nullopt);
        ResetCatalogueGlobals();
        ReadSettingsFile(file_);
        EXPECT_EQ(GLO.UseNewLog.Clip(), "Y");
        EXPECT_EQ(GLO.RetainTags, 1);
        EXPECT_EQ(ReadWaitMinutes(file_), 9);
    }
    // What is after the header must be a comment.
    Write("[Preserved] NewLog=Y\n");
    EXPECT_EQ(CheckSettingsFile(file_).value_or(""),
              "ZELT.INI line 1: a section header must read [name]");
    Write("\xEF\xBB\xBF\xEF\xBB\xBF[Preserved]\n");  // only one mark is read past
    EXPECT_NE(CheckSettingsFile(file_).value_or("").find("line 1"), std::string::npos);
}

TEST_F(SettingsFileTest, AFileThatIsThereButCannotBeReadIsNamedWithItsReason) {
    struct Row {
        std::string what;
        std::function<void(const std::string&)> make;
        std::string reason;
    };
    const std::vector<Row> rows = {
        {"directory", [](const std::string& f) { fs::create_directory(f); }, "it is a directory"},
        {"FIFO", [](const std::string& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0644), 0); },
         "it is a named pipe (FIFO)"},
        {"symbolic link loop",
         [this](const std::string& f) {
             fs::create_symlink(dir_ / "LOOP", f);
             fs::create_symlink(f, dir_ / "LOOP");
         },
         "its symbolic links form a loop"},
        {"unreadable",
         [](const std::string& f) {
             std::ofstream(f) << "[Preserved]\nNewLog=Y\n";
             fs::permissions(f, fs::perms::none);
         },
         "permission denied"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.what == "unreadable" && ::geteuid() == 0) continue;  // root reads anything
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        row.make(file_);
        const std::string expected = fs::path(file_).string() + " cannot be read: " + row.reason;
        EXPECT_EQ(SettingsFileUnreadable(file_).value_or("").rfind(expected, 0), 0u)
            << SettingsFileUnreadable(file_).value_or("(readable)");
        EXPECT_EQ(CheckSettingsFile(file_).value_or("").rfind(expected, 0), 0u);
        // The lenient reading never waits either: blank settings, the default limit.
        ReadSettingsFile(file_);
        EXPECT_EQ(GLO.FilePath.Clip(), "");
        EXPECT_EQ(ReadWaitMinutes(file_), kNoWaitLimit);
    }
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    EXPECT_EQ(SettingsFileUnreadable(file_), std::nullopt);  // missing is no problem
    fs::create_symlink(dir_ / "nowhere", file_);
    EXPECT_EQ(SettingsFileUnreadable(file_), std::nullopt);  // nor a link to nothing
}

}  // namespace
}  // namespace zelt::app
