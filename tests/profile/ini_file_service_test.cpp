#include "platform/profile/ini_file_service.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>

#include "platform/profile/ini_document.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/profile/profile.hpp"

namespace zelt::platform {
namespace {
namespace fs = std::filesystem;

class IniFileServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("zelt_profile_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        service_ = std::make_shared<IniFileService>(dir_ / "user" / "profile.ini");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string File(const std::string& name) const { return (dir_ / name).string(); }
    static void Put(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Get(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
    std::shared_ptr<IniFileService> service_;
};

TEST_F(IniFileServiceTest, ReadsIgnoringCaseFirstOccurrenceWinsAndUnquotes) {
    std::string f = File("a.ini");
    Put(f,
        "junk before any section=1\n"
        "[Preserved]\n"
        "  NewLog = Y  \n"
        "newlog=N\n"
        "; FilePath=/commented\n"
        "FilePath=\"/data/zelt/\"\n"
        "Empty=\n"
        "[preserved]\n"
        "Other=second section ignored\n");
    EXPECT_EQ(service_->Read(f, "PRESERVED", "newlog"), "Y");
    EXPECT_EQ(service_->Read(f, "Preserved", "FilePath"), "/data/zelt/");
    EXPECT_EQ(service_->Read(f, "Preserved", "Empty"), "");
    EXPECT_EQ(service_->Read(f, "Preserved", "Other"), std::nullopt);
    EXPECT_EQ(service_->Read(f, "Preserved", "Missing"), std::nullopt);
    EXPECT_EQ(service_->Read(f, "None", "NewLog"), std::nullopt);
    EXPECT_EQ(service_->Read(File("missing.ini"), "Preserved", "NewLog"), std::nullopt);
    EXPECT_EQ(service_->Keys(f, "preserved"),
              (std::vector<std::string>{"NewLog", "FilePath", "Empty"}));
}

TEST_F(IniFileServiceTest, WritePreservesCommentsOrderAndUnrelatedKeys) {
    std::string f = File("b.ini");
    Put(f,
        "; settings of the catalogue\r\n"
        "[Preserved]\r\n"
        "NewLog=N ; old\r\n"
        "# keep me\r\n"
        "CL_Command=vx.exe\r\n"
        "\r\n"
        "[Other]\r\n"
        "x = 1\r\n");
    ASSERT_TRUE(service_->Write(f, "preserved", "newlog", "Y"));
    ASSERT_TRUE(service_->Write(f, "Preserved", "RetainTags", "1"));
    ASSERT_TRUE(service_->Write(f, "Fresh", "Key", "v"));
    EXPECT_EQ(Get(f),
              "; settings of the catalogue\r\n"
              "[Preserved]\r\n"
              "newlog=Y\r\n"
              "# keep me\r\n"
              "CL_Command=vx.exe\r\n"
              "RetainTags=1\r\n"
              "\r\n"
              "[Other]\r\n"
              "x = 1\r\n"
              "\r\n"
              "[Fresh]\r\n"
              "Key=v\r\n");
    ASSERT_TRUE(service_->Write(f, "Preserved", "CL_Command", std::nullopt));
    EXPECT_EQ(service_->Read(f, "Preserved", "CL_Command"), std::nullopt);
    EXPECT_EQ(service_->Read(f, "Other", "X"), "1");
}

TEST_F(IniFileServiceTest, WriteCreatesFileAndFoldersAndRefusesUnsafeNames) {
    std::string f = File("new/deeper/c.ini");
    ASSERT_TRUE(service_->Write(f, "Preserved", "FilePath", "line1\nline2"));
    EXPECT_EQ(Get(f), "[Preserved]\nFilePath=line1 line2\n");
    EXPECT_FALSE(service_->Write(f, "Preserved", "a=b", "x"));
    EXPECT_FALSE(service_->Write(f, "Pre]served", "a", "x"));
    EXPECT_FALSE(service_->Write(f, "Preserved", "  ", "x"));
    EXPECT_EQ(Get(f), "[Preserved]\nFilePath=line1 line2\n");
}

TEST_F(IniFileServiceTest, KeysThatCouldNeverBeReadBackAreRefused) {
    std::string f = File("k.ini");
    Put(f, "[S]\nK=1\n");
    // A header, two comments, and a header with a value: none would read back as the key.
    for (const char* key : {"[x]", ";note", "#h", "[x]=v", "  ;indented"}) {
        EXPECT_FALSE(service_->Write(f, "S", key, "v")) << key;
        EXPECT_FALSE(service_->Write(f, "S", key, std::nullopt)) << key;
    }
    EXPECT_EQ(Get(f), "[S]\nK=1\n");
    EXPECT_TRUE(service_->Write(f, "S", "a[x]", "v"));  // brackets inside a name are fine
    EXPECT_EQ(service_->Read(f, "S", "a[x]"), "v");
}

TEST_F(IniFileServiceTest, AByteOrderMarkIsReadPastAndKept) {
    std::string f = File("bom.ini");
    Put(f, "\xEF\xBB\xBF[Preserved]\nNewLog=Y\n");
    EXPECT_EQ(service_->Read(f, "Preserved", "NewLog"), "Y");
    ASSERT_TRUE(service_->Write(f, "Preserved", "RetainTags", "1"));
    EXPECT_EQ(Get(f), "\xEF\xBB\xBF[Preserved]\nNewLog=Y\nRetainTags=1\n");
}

TEST_F(IniFileServiceTest, EachLineKeepsItsEndingAndNewLinesTakeTheMostCommon) {
    std::string f = File("mixed.ini");
    Put(f, "[A]\r\nx=1\nY=2\r\n[B]\r\nz=3\n");
    ASSERT_TRUE(service_->Write(f, "A", "x", "9"));
    ASSERT_TRUE(service_->Write(f, "A", "new", "n"));
    ASSERT_TRUE(service_->Write(f, "C", "k", "v"));
    EXPECT_EQ(Get(f), "[A]\r\nx=9\nY=2\r\nnew=n\r\n[B]\r\nz=3\n\r\n[C]\r\nk=v\r\n");
}

// Each process has its own service, as two programs would; their keys all stay.
TEST_F(IniFileServiceTest, WritersInSeveralProcessesNeverLoseEachOthersKeys) {
    const std::string f = File("shared.ini");
    auto write_keys = [&](const std::string& prefix) {
        IniFileService own(dir_ / "user" / "profile.ini");
        bool all = true;
        for (int i = 0; i < 200; ++i)
            all = own.Write(f, "Keys", prefix + std::to_string(i), "v") && all;
        return all;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(write_keys("child") ? 0 : 1);
    const bool parent_wrote = write_keys("parent");
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(parent_wrote);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(service_->Keys(f, "Keys").size(), 400u);
}

TEST_F(IniFileServiceTest, DamagedFileIsReadAsWellAsPossibleAndNeverDestroyed) {
    std::string f = File("d.ini");
    std::string damaged(
        "\x01\x02garbage\0with nul\n[Preserved\nNo equals here\n[Preserved]\n"
        "NewLog=Y\nno end of line",
        80);
    Put(f, damaged);
    EXPECT_EQ(service_->Read(f, "Preserved", "NewLog"), "Y");
    ASSERT_TRUE(service_->Write(f, "Preserved", "RetainTags", "0"));
    std::string after = Get(f);
    // Everything that was there is still there, byte for byte, around the new entry.
    EXPECT_EQ(after.substr(0, damaged.size() - 14), damaged.substr(0, damaged.size() - 14));
    EXPECT_NE(after.find("no end of line\nRetainTags=0\n"), std::string::npos);
}

TEST_F(IniFileServiceTest, UnreadableFileIsNotReplaced) {
    std::string f = File("dir.ini");
    fs::create_directories(f);  // a folder where the file should be
    EXPECT_FALSE(service_->Write(f, "S", "K", "V"));
    EXPECT_TRUE(fs::is_directory(f));
}

// Runs `step` as a user who is not root (nobody), so that permissions count; its result.
bool AsUnprivileged(const std::function<bool()>& step) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        ::_exit(step() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(IniFileServiceTest, PermissionsHold) {
    // A read-only file in a folder its user may write: not replaced, the text unchanged.
    const fs::path own = dir_ / "own";
    fs::create_directories(own);
    const std::string read_only = (own / "ro.ini").string();
    Put(read_only, "[S]\nK=old\n");
    ::chmod(read_only.c_str(), 0444);
    // A writable file in a folder that takes no new file: written in place.
    const std::string writable = File("rw.ini");
    Put(writable, "[S]\nK=old\n");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(read_only.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(writable.c_str(), 65534, 65534), 0);
        ::chmod(dir_.c_str(), 0755);  // the folder stays root's
    } else {
        ::chmod(dir_.c_str(), 0555);
    }
    EXPECT_FALSE(AsUnprivileged([&] {
        IniFileService own_service(dir_ / "user" / "profile.ini");
        const bool wrote = own_service.Write(read_only, "S", "K", "new");
        // The runtime's error says why, naming the file.
        return wrote ||
               runtime::CurrentErrorText() != read_only + " is read-only: Permission denied";
    }));
    EXPECT_EQ(Get(read_only), "[S]\nK=old\n");
    EXPECT_EQ(fs::status(read_only).permissions() & fs::perms::all, fs::perms(0444));
    EXPECT_TRUE(AsUnprivileged([&] {
        IniFileService own_service(dir_ / "user" / "profile.ini");
        return own_service.Write(writable, "S", "K", "a much longer new value") &&
               own_service.Write(writable, "S", "K", "short");
    }));
    EXPECT_EQ(Get(writable), "[S]\nK=short\n");
    ::chmod(dir_.c_str(), 0755);
}

TEST_F(IniFileServiceTest, AWriteWaitsForAnotherProgramsLockOnlyAFewSeconds) {
    const std::string f = File("locked.ini");
    Put(f, "[S]\nK=old\n");
    const int other = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);  // another program's lock
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    service_->SetLockWait(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    auto write =
        std::async(std::launch::async, [&] { return service_->Write(f, "S", "K", "new"); });
    const bool ended = write.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    ::close(other);  // lets a write that still waits go on
    ASSERT_TRUE(ended) << "the write waited for the lock without end";
    EXPECT_FALSE(write.get());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(Get(f), "[S]\nK=old\n");
    EXPECT_EQ(service_->LockWait(), std::chrono::milliseconds(300));
    EXPECT_EQ(IniFileService(dir_ / "p.ini").LockWait(), std::chrono::seconds(5));
    EXPECT_TRUE(service_->Write(f, "S", "K", "new"));  // the lock is free again
}

TEST_F(IniFileServiceTest, UserProfileAndRuntimeFunctions) {
    runtime::ScopedProfileService scoped(service_);
    EXPECT_EQ(runtime::ProfileText(runtime::kUserProfile, "intl", "sTime", ":"), ":");
    EXPECT_EQ(runtime::ProfileNumber(runtime::kUserProfile, "intl", "iTime", 7), 7);
    ASSERT_TRUE(runtime::WriteProfileText(runtime::kUserProfile, "intl", "iTime", " 12abc"));
    ASSERT_TRUE(runtime::WriteProfileText(runtime::kUserProfile, "intl", "iTLzero", "x"));
    ASSERT_TRUE(runtime::WriteProfileText(runtime::kUserProfile, "intl", "neg", "-3"));
    EXPECT_EQ(runtime::ProfileNumber(runtime::kUserProfile, "INTL", "ITIME", 7), 12);
    EXPECT_EQ(runtime::ProfileNumber(runtime::kUserProfile, "intl", "iTLzero", 7), 0);
    EXPECT_EQ(runtime::ProfileNumber(runtime::kUserProfile, "intl", "neg", 7), -3);
    EXPECT_TRUE(fs::exists(dir_ / "user" / "profile.ini"));
    ASSERT_TRUE(runtime::RemoveProfileKey(runtime::kUserProfile, "intl", "neg"));
    EXPECT_EQ(runtime::ProfileNumber(runtime::kUserProfile, "intl", "neg", 7), 7);
}

TEST(IniUserProfilePath, FollowsXdgConfigHome) {
    const char* old_xdg = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old_xdg ? old_xdg : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/xdg-here", 1);
    EXPECT_EQ(DefaultUserProfilePath(), fs::path("/tmp/xdg-here/zelt/profile.ini"));
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ::setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/home/x", 1);
    EXPECT_EQ(DefaultUserProfilePath(),
              fs::path(std::getenv("HOME")) / ".config" / "zelt" / "profile.ini");
    if (old_xdg) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

TEST(NoProfileService, ReadsDefaultsAndFailsWrites) {
    runtime::ScopedProfileService none(nullptr);
    EXPECT_EQ(runtime::ProfileText(runtime::kUserProfile, "VXPELMAR", "TraceFile", "PELMAR.LOG"),
              "PELMAR.LOG");
    EXPECT_FALSE(runtime::WriteProfileText("x.ini", "a", "b", "c"));
}

}  // namespace
}  // namespace zelt::platform

#include "runtime/values/regional_settings.hpp"

namespace zelt::platform {
namespace {

TEST_F(IniFileServiceTest, RegionalSettingsComeFromTheUserProfileIntlSection) {
    runtime::ScopedProfileService scoped(service_);
    ASSERT_TRUE(
        runtime::WriteProfileText(runtime::kUserProfile, "intl", "sShortDate", "dd.MM.yyyy"));
    ASSERT_TRUE(runtime::WriteProfileText(runtime::kUserProfile, "intl", "s1159", "vorm"));
    InstallRegionalSettingsFromProfile();
    // The settings are read once per process; a test may have read them before, so read
    // them here the way the loader does.
    runtime::RegionalSettings from_profile = runtime::RegionalSettingsFrom([](std::string_view k) {
        return runtime::CurrentProfileService().Read(runtime::kUserProfile, "intl", k);
    });
    EXPECT_EQ(from_profile.short_date, "dd.MM.yyyy");
    EXPECT_EQ(from_profile.am_marker, "vo");
    EXPECT_EQ(from_profile.time_separator, ":");
    EXPECT_EQ(runtime::CurrentRegionalSettings().short_date, "dd.MM.yyyy");
}

}  // namespace
}  // namespace zelt::platform
