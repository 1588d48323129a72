// What the headless tests share: the built zelt run as a child process in a folder of its
// own, on a catalogue of real table files, against vxide on a private session bus.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "framework/error_reporter.hpp"
#include "storage/driver/pelmar_driver.hpp"
#include "tests/dbus/process_support.hpp"

namespace zelt::app {

namespace fs = std::filesystem;
using zelt::testing::PrivateBus;
using zelt::testing::TempFolder;
using zelt::testing::Vxide;
using zelt::testing::WaitForExit;
using zelt::testing::WaitUntil;

inline const std::string kZeltPath = ZELT_PROGRAM_PATH;

inline std::string Slurp(const fs::path& path) {
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
        ::setenv("XDG_CONFIG_HOME", folder_.path().c_str(), 1);  // the per-user profile
        Settings("N", "", dir_);
    }

    void Settings(const std::string& new_log, const std::string& run, const std::string& path,
                  int retain_tags = 0) {
        std::ofstream(dir_ + "ZELT.INI")
            << "[Preserved]\nNewLog=" << new_log << "\nCL_Command=" << run << "\nFilePath=" << path
            << "\nRetainTags=" << retain_tags << "\n";
    }

    // An application file of the stand-in IDE and its catalogue record.
    struct App {
        App(std::string n, int p, std::string t, bool has_file = true, int tag = 1, int project = 0)
            : name(std::move(n)),
              priority(p),
              target(std::move(t)),
              file(has_file),
              tagged(tag),
              p_ref(project) {}
        std::string name;
        int priority = 1;
        std::string target;  // absolute, as the catalogue keeps it; empty for none
        bool file = true;    // the .APP file exists
        int tagged = 1;
        int p_ref = 0;  // project "Tools" is 1, "Other" 2
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
                if (!a.target.empty())
                    app << "Target=" << fs::path(a.target).filename().string() << "\n";
            }
            AppsManager.PrepareRecord();
            APP.DrivenPath = dir_;
            APP.Application = a.name;
            APP.Priority = static_cast<std::uint8_t>(a.priority);
            APP.Target = a.target;
            APP.Tag = static_cast<std::int16_t>(a.tagged);
            APP.P_Ref = a.p_ref;
            EXPECT_EQ(AppsManager.Insert(), framework::LevelOk) << a.name;
        }
        AppsManager.Close();
        ProjectsManager.Open();
        for (const char* project : {"Tools", "Other"}) {
            ProjectsManager.PrepareRecord();
            PRO.ProjectName = project;
            EXPECT_EQ(ProjectsManager.Insert(), framework::LevelOk);
        }
        ProjectsManager.Close();
        TfManager.Open();
        TfManager.EnsureOpen();
        for (const App& a : apps) {
            if (a.tagged != 2) continue;  // tagged on the Project Subsets tab, saved in TF
            TAG.AppName = a.name;
            TAG.DrivePath = dir_;
            TAG.Priority = static_cast<std::uint8_t>(a.priority);
            TAG.Target = a.target;
            EXPECT_EQ(Tf.Add(), runtime::err::NoError);
        }
        TfManager.Close();
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
        for (runtime::Table* t :
             {static_cast<runtime::Table*>(&Apps), static_cast<runtime::Table*>(&Apps1),
              static_cast<runtime::Table*>(&Projects), static_cast<runtime::Table*>(&Tf),
              static_cast<runtime::Table*>(&TempFile)}) {
            t->Destroy();
        }
        errors.Kill();
        ResetCatalogueGlobals();
    }

    // Starts zelt (or, with `zelt` false, the program args[0]) with the arguments in the
    // folder, its output in files ("out<run>.txt" and "err<run>.txt", so that runs at once
    // keep theirs apart).
    pid_t Start(std::vector<std::string> args, bool zelt = true, const std::string& run = "") {
        if (zelt) args.insert(args.begin(), kZeltPath);
        const int out = ::open((dir_ + "out" + run + ".txt").c_str(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const int err = ::open((dir_ + "err" + run + ".txt").c_str(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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
    Outcome Finish(pid_t pid, std::int64_t timeout_ms = 60000, const std::string& name = "") {
        Outcome run;
        if (std::optional<int> status = WaitForExit(pid, timeout_ms)) {
            if (WIFEXITED(*status)) run.status = WEXITSTATUS(*status);
        } else {
            zelt::testing::EndProcess(pid);
        }
        run.out = Slurp(dir_ + "out" + name + ".txt");
        run.err = Slurp(dir_ + "err" + name + ".txt");
        return run;
    }
    Outcome Zelt(std::vector<std::string> args, const std::string& run = "") {
        return Finish(Start(std::move(args), true, run), 60000, run);
    }

    TempFolder folder_;
    std::string dir_;
};

// The conversations vxide holds, as vxcmd reports them ("DATA 1" is vxcmd's own).
inline std::string OpenConversations() {
    zelt::testing::ChildProcess vxcmd({zelt::testing::kVxcmdPath, "--request", "Conversations"},
                                      true);
    return vxcmd.Finish(10000).first;
}

}  // namespace zelt::app
