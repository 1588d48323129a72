#include "framework/ini_store.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/profile/ini_file_service.hpp"
#include "runtime/profile/profile.hpp"

namespace zelt::framework {
namespace {
namespace fs = std::filesystem;

// A window as the settings store sees it.
struct FakeWindow final : WindowProperties {
    bool iconised = false, maximised = false, resizable = true;
    int x = 10, y = 20, width = 300, height = 200;
    std::vector<std::string> calls;
    bool Iconised() const override { return iconised; }
    bool Maximised() const override { return maximised; }
    bool Resizable() const override { return resizable; }
    int X() const override { return x; }
    int Y() const override { return y; }
    int Width() const override { return width; }
    int Height() const override { return height; }
    void SetPosition(int nx, int ny) override {
        x = nx;
        y = ny;
        calls.push_back("position");
    }
    void SetSize(int w, int h) override {
        width = w;
        height = h;
        calls.push_back("size");
    }
    void SetMaximised(bool m) override {
        maximised = m;
        calls.push_back(m ? "maximise" : "normal");
    }
};

class IniStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("zelt_inistore_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = (dir_ / "ZELT.INI").string();
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Text() const {
        std::ifstream in(file_);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
    std::string file_;
    runtime::ScopedProfileService service_{
        std::make_shared<platform::IniFileService>(fs::temp_directory_path() / "unused.ini")};
};

TEST_F(IniStoreTest, FetchVariantsOnMissingAndPresentKeys) {
    std::ofstream(file_) << "[Preserved]\nFilePath=/data/\nList=a,b,,d\n";
    IniStore ini;
    ini.Init(file_);
    EXPECT_EQ(ini.Fetch("preserved", "filepath"), "/data/");
    EXPECT_EQ(ini.Fetch("Preserved", "Missing"), "");
    EXPECT_EQ(ini.FetchRequired("Preserved", "FilePath"), "/data/");
    EXPECT_EQ(ini.FetchRequired("Preserved", "Missing"), "---Unknown---");
    EXPECT_EQ(ini.LastAssertion(),
              "INI Assert: Could not find Missing in sector Preserved of " + file_);
    EXPECT_EQ(ini.FetchPart("Preserved", "List", 1), "a");
    EXPECT_EQ(ini.FetchPart("Preserved", "List", 2), "b");
    EXPECT_EQ(ini.FetchPart("Preserved", "List", 3), "");
    EXPECT_EQ(ini.FetchPart("Preserved", "List", 4), "d");
    EXPECT_EQ(ini.FetchPart("Preserved", "List", 5), "");
    EXPECT_TRUE(ini.Update("Preserved", "NewLog", "Y"));
    EXPECT_EQ(ini.Fetch("Preserved", "NewLog"), "Y");
    ini.Kill();
}

TEST_F(IniStoreTest, SectorsRoundTripAsCountAndNumberedKeys) {
    {
        IniStore ini;
        ini.Init(file_);
        EXPECT_TRUE(ini.Sectors().empty());
        ini.Sectors() = {
            {"Main", "Tabs", "Sheet"}, {"Apps", "Browse", "List"}, {"Tree", "Rel", "Tree"}};
        ini.Kill();
    }
    EXPECT_EQ(Text(),
              "[Sectors]\n__Dont_Touch_Me__=3\n__Dont_Touch_Me___1=Main,Tabs,Sheet\n"
              "__Dont_Touch_Me___2=Apps,Browse,List\n__Dont_Touch_Me___3=Tree,Rel,Tree\n");
    IniStore again;
    again.Init(file_);
    ASSERT_EQ(again.Sectors().size(), 3u);
    EXPECT_EQ(again.Sectors()[1].Family, "Apps");
    EXPECT_EQ(again.Sectors()[2].Type, "Tree");
    again.Kill();
}

TEST_F(IniStoreTest, DamagedSectorCountStopsAtFirstMissingEntry) {
    std::ofstream(file_) << "[Sectors]\n__Dont_Touch_Me__=2000000000\n__Dont_Touch_Me___1=a,b,c\n";
    IniStore ini;
    ini.Init(file_);
    EXPECT_EQ(ini.Sectors().size(), 1u);
    ini.Kill();
}

TEST_F(IniStoreTest, SaveWindowByState) {
    IniStore ini;
    ini.Init(file_);
    FakeWindow w;
    ini.SaveWindow("Main", w);
    EXPECT_EQ(ini.Fetch("Main", "Maximize"), "No");
    EXPECT_EQ(ini.Fetch("Main", "XPos"), "10");
    EXPECT_EQ(ini.Fetch("Main", "Height"), "200");

    // Maximised: only the flag changes; the normal place stays for the next restore.
    w.maximised = true;
    w.x = 0;
    ini.SaveWindow("Main", w);
    EXPECT_EQ(ini.Fetch("Main", "Maximize"), "Yes");
    EXPECT_EQ(ini.Fetch("Main", "XPos"), "10");

    // Iconised: nothing at all.
    w.iconised = true;
    w.maximised = false;
    ini.SaveWindow("Main", w);
    EXPECT_EQ(ini.Fetch("Main", "Maximize"), "Yes");

    // Fixed size: position only.
    FakeWindow fixed;
    fixed.resizable = false;
    ini.SaveWindow("Settings", fixed);
    EXPECT_EQ(ini.Fetch("Settings", "YPos"), "20");
    EXPECT_EQ(ini.Fetch("Settings", "Width"), "");
    ini.Kill();
}

TEST_F(IniStoreTest, RestoreWindowSetsMaximisedLastAndKeepsDesignWhenMissing) {
    std::ofstream(file_) << "[Main]\nMaximize=Yes\nXPos=5\nYPos=6\nWidth=640\nHeight=480\n"
                            "[Fixed]\nXPos=7\nYPos=8\nWidth=1\nHeight=1\n";
    IniStore ini;
    ini.Init(file_);
    FakeWindow w;
    ini.RestoreWindow("Main", w);
    EXPECT_EQ(w.calls, (std::vector<std::string>{"position", "size", "maximise"}));
    EXPECT_EQ(w.x, 5);
    EXPECT_EQ(w.width, 640);

    FakeWindow fixed;
    fixed.resizable = false;
    ini.RestoreWindow("Fixed", fixed);
    EXPECT_EQ(fixed.x, 7);
    EXPECT_EQ(fixed.width, 300);

    FakeWindow fresh;
    ini.RestoreWindow("NeverSaved", fresh);
    EXPECT_EQ(fresh.calls, (std::vector<std::string>{"normal"}));
    EXPECT_EQ(fresh.x, 10);
    ini.Kill();
}

}  // namespace
}  // namespace zelt::framework
