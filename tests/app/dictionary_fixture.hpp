// The catalogue's dictionary on real table files in a fresh folder, with a reporter that
// records its messages instead of showing them.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "framework/error_reporter.hpp"
#include "runtime/errors/error_state.hpp"
#include "storage/driver/pelmar_driver.hpp"

namespace zelt::app::testing {

struct RecordingPresenter final : framework::MessagePresenter {
    struct Shown {
        std::string caption, text;
    };
    std::vector<Shown> shown;
    std::vector<std::uint32_t> answers;  // for questions; Yes when empty
    std::uint32_t PlainMessage(std::string_view text, std::string_view caption, std::uint32_t,
                               std::uint32_t buttons, std::uint32_t d, std::uint32_t) override {
        shown.push_back({std::string(caption), std::string(text)});
        if (!(buttons & framework::button::Yes)) return d;
        if (answers.empty()) return framework::button::Yes;
        std::uint32_t a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    std::uint32_t ShowHistory(std::string_view, std::uint32_t, std::uint32_t, std::uint32_t d,
                              const std::vector<framework::HistoryEntry>&) override {
        return d;
    }
    std::vector<std::string> Captions() const {
        std::vector<std::string> out;
        for (const auto& s : shown) out.push_back(s.caption);
        return out;
    }
};

class DictionaryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        storage::RegisterPelmarDriver();
        dir_ = std::filesystem::temp_directory_path() /
               ("zd" + std::to_string(::getpid()) + "_" + std::to_string(++serial_));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        ResetCatalogueGlobals();
        AppsFileName = Path("APPS.PLM");
        TempFileFileName = Path("TEMPFILE.PLM");
        ProjectsFileName = Path("PROJECTS.PLM");
        TfFileName = Path("TF.PLM");
        errors.Init(&no_log);
        errors.SetPresenter(&presenter);
        errors.SetHalt([this](int status, std::string_view title) {
            halts.push_back(std::to_string(status) + ":" + std::string(title));
        });
        runtime::ClearError();
        InitDictionary(errors);
    }
    void TearDown() override {
        KillDictionary();
        // The tables are the program's globals: each test starts them without driver state.
        for (runtime::Table* table :
             {static_cast<runtime::Table*>(&Apps), static_cast<runtime::Table*>(&Apps1),
              static_cast<runtime::Table*>(&Projects), static_cast<runtime::Table*>(&Tf),
              static_cast<runtime::Table*>(&TempFile),
              static_cast<runtime::Table*>(&DeletionFile)}) {
            table->Destroy();
        }
        errors.Kill();
        ResetCatalogueGlobals();
        std::filesystem::remove_all(dir_);
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // Adds a project through its manager (numbered on insert); returns its number.
    std::int32_t AddProject(const std::string& name) {
        EXPECT_EQ(ProjectsManager.PrepareRecord(), framework::LevelOk);
        PRO.ProjectName = name;
        EXPECT_EQ(ProjectsManager.Insert(), framework::LevelOk)
            << (presenter.shown.empty() ? "" : presenter.shown.back().text);
        return PRO.P_Ref;
    }
    void AddApp(const std::string& dir, const std::string& name, std::int32_t project,
                framework::Level expected = framework::LevelOk) {
        AppsManager.PrepareRecord();
        APP.DrivenPath = dir;
        APP.Application = name;
        APP.Priority = 1;
        APP.P_Ref = project;
        EXPECT_EQ(AppsManager.Insert(), expected) << name;
    }
    // "name:project" of every application in file order.
    std::string Applications() {
        std::string out;
        AppsRecord saved = APP;
        AppsManager.Open();
        if (AppsManager.EnsureOpen() != framework::LevelOk) return "<cannot open>";
        Apps.SetFile();
        while (Apps.Next() == runtime::err::NoError) {
            out += APP.Application.Clip() + ":" + std::to_string(APP.P_Ref) + " ";
        }
        APP = saved;
        AppsManager.Close();
        return out;
    }

    struct NoLog final : framework::ErrorLogSink {
        framework::Level Open(bool) override { return framework::LevelOk; }
        framework::Level Close(bool) override { return framework::LevelOk; }
        framework::Level Take(std::string_view) override { return framework::LevelOk; }
    } no_log;
    RecordingPresenter presenter;
    framework::ErrorReporter errors;
    std::vector<std::string> halts;
    std::filesystem::path dir_;
    static inline int serial_ = 0;
};

}  // namespace zelt::app::testing
