// The headless mode end to end: the built zelt run as a child process in a folder of its
// own, on real table files, against vxide on a private session bus.
#include <gtest/gtest.h>
#include <fcntl.h>

#include <fstream>
#include <sstream>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "framework/error_reporter.hpp"
#include "storage/driver/pelmar_driver.hpp"
#include "tests/dbus/process_support.hpp"

namespace zelt::app {
namespace {

namespace fs = std::filesystem;
using zelt::testing::PrivateBus;
using zelt::testing::TempFolder;
using zelt::testing::Vxide;
using zelt::testing::WaitForExit;
using zelt::testing::WaitUntil;

const std::string kZeltPath = ZELT_PROGRAM_PATH;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Outcome {
    int status = -1;  // the exit status, -1 when it did not end by itself
    std::string out, err;
};

class HeadlessTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { storage::RegisterPelmarDriver(); }

    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty());
        dir_ = folder_.path() + "/";
        Settings("N", "", dir_);
    }

    void Settings(const std::string& new_log, const std::string& run, const std::string& path,
                  const std::string& extra = {}) {
        std::ofstream(dir_ + "ZELT.INI") << "[Preserved]\nNewLog=" << new_log << "\nCL_Command=" << run
                                         << "\nFilePath=" << path << "\nRetainTags=0\n" << extra;
    }

    // An application file of the stand-in IDE and its catalogue record.
    struct App {
        std::string name;
        int priority = 1;
        std::string target;      // absolute, as the catalogue keeps it; empty for none
        std::string build;       // the stand-in's Build= line
        bool tagged = true;
        bool file = true;        // the .APP file exists
    };
    void Catalogue(const std::vector<App>& apps, int events = 0) {
        ResetCatalogueGlobals();
        AppsFileName = dir_ + "APPS.PLM";
        ProjectsFileName = dir_ + "PROJECTS.PLM";
        TempFileFileName = dir_ + "TEMPFILE.PLM";
        TfFileName = dir_ + "TF.PLM";
        framework::ErrorReporter errors;
        errors.Init();
        InitDictionary(errors);
        AppsManager.Open();
        for (const App& a : apps) {
            if (a.file) {
                std::ofstream app(dir_ + a.name);
                if (!a.target.empty()) app << "Target=" << fs::path(a.target).filename().string() << "\n";
                if (!a.build.empty()) app << "Build=" << a.build << "\n";
            }
            AppsManager.PrepareRecord();
            APP.DrivenPath = dir_;
            APP.Application = a.name;
            APP.Priority = static_cast<std::uint8_t>(a.priority);
            APP.Target = a.target;
            APP.Tag = a.tagged ? 1 : 0;
            EXPECT_EQ(AppsManager.Insert(), framework::LevelOk) << a.name;
        }
        AppsManager.Close();
        TempFileManager.Open();
        TempFileManager.EnsureOpen();
        for (int i = 0; i < events; ++i) {
            TMP.Apps = "OLD.APP";
            TMP.Date = 82000 + i;
            TMP.Event = "Make Finished";
            EXPECT_EQ(TempFile.Add(), runtime::err::NoError);
        }
        TempFileManager.Close();
        KillDictionary();
        for (runtime::Table* t : {static_cast<runtime::Table*>(&Apps), static_cast<runtime::Table*>(&Apps1),
                                  static_cast<runtime::Table*>(&Projects), static_cast<runtime::Table*>(&Tf),
                                  static_cast<runtime::Table*>(&TempFile)}) {
            t->Destroy();
        }
        errors.Kill();
        ResetCatalogueGlobals();
    }

    // Starts zelt with the arguments in the folder, its output in files.
    pid_t Start(std::vector<std::string> args) {
        args.insert(args.begin(), kZeltPath);
        const int out = ::open((dir_ + "out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int err = ::open((dir_ + "err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        platform::SpawnOptions options;
        options.working_directory = folder_.path();
        options.stdout_fd = out;
        options.stderr_fd = err;
        const platform::SpawnOutcome started = platform::SpawnProcess(args, options);
        ::close(out);
        ::close(err);
        EXPECT_TRUE(started.started()) << started.reason;
        return started.pid;
    }
    Outcome Finish(pid_t pid, std::int64_t timeout_ms = 60000) {
        Outcome run;
        if (std::optional<int> status = WaitForExit(pid, timeout_ms)) {
            if (WIFEXITED(*status)) run.status = WEXITSTATUS(*status);
        } else {
            zelt::testing::EndProcess(pid);
        }
        run.out = Slurp(dir_ + "out.txt");
        run.err = Slurp(dir_ + "err.txt");
        return run;
    }
    Outcome Zelt(std::vector<std::string> args) { return Finish(Start(std::move(args))); }

    TempFolder folder_;
    std::string dir_;
};

TEST_F(HeadlessTest, WrongUsageDamagedSettingsAndUnusableTablesCannotRun) {
    Outcome run = Zelt({"--make", "sometimes"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--make needs tagged, project NAME or subset"), std::string::npos) << run.err;
    EXPECT_EQ(Zelt({"--log", "--empty-log"}).status, 2);

    std::ofstream(dir_ + "ZELT.INI") << "[Preserved]\nNewLog=N\nRetainTags=2\n";
    run = Zelt({"--log"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("ZELT.INI line 3: RetainTags must be 0 or 1"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir_ + "TEMPFILE.PLM"));  // nothing touched

    // The tables' directory is a file: the runtime's error text says why.
    std::ofstream(dir_ + "notadir") << "x";
    Settings("N", "", dir_ + "notadir/");
    run = Zelt({"--log"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("notadir/TEMPFILE.PLM"), std::string::npos) << run.err;

    EXPECT_EQ(Zelt({"--help"}).status, 0);
}

TEST_F(HeadlessTest, EmptyLogChangesNothingWithoutYesAndTheLogListsAsCsv) {
    Catalogue({}, 2);
    Outcome run = Zelt({"--empty-log"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Best be sure, chaver: Are you entirely sure? [answered No]"), std::string::npos)
        << run.err;
    run = Zelt({"--log", "--csv"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Application,Date,Time,Event\n\"OLD.APP\",2025/07/01,,\"Make Finished\"\n"
                       "\"OLD.APP\",2025/07/02,,\"Make Finished\"\n");
    EXPECT_EQ(Zelt({"--empty-log", "--yes"}).status, 0);
    run = Zelt({"--log"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Go Away: If there was something to show you, I'd show it."), std::string::npos);
}

}  // namespace
}  // namespace zelt::app
