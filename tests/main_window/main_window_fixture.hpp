// The main window on real table files in a fresh current directory, with the scripted
// window system playing the user and the IDE served in process.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window/main_window.hpp"
#include "app/settings/subset_tags.hpp"
#include "framework/window/window_message_presenter.hpp"
#include "platform/profile/ini_file_service.hpp"
#include "runtime/conversation/in_process_transport.hpp"
#include "runtime/window/headless_backend.hpp"
#include "tests/app/dictionary_fixture.hpp"
#include "tests/app/ide_test_support.hpp"

namespace zelt::app::testing {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

struct RecordingNotifier final : runtime::DesktopNotifier {
    std::vector<std::string> shown;
    bool Notify(std::string_view summary, std::string_view body) override {
        shown.push_back(std::string(summary) + ": " + std::string(body));
        return true;
    }
};

class MainWindowTest : public DictionaryTest {
  protected:
    void SetUp() override {
        DictionaryTest::SetUp();
        ResetCatalogueGlobals();  // bare table names: the settings put them in the folder
        previous_dir_ = fs::current_path();
        fs::current_path(dir_);
        WriteIni(0);
        profile.emplace(std::make_shared<platform::IniFileService>(dir_ / "user" / "profile.ini"));
        errors.SetPresenter(&window_presenter);
        script.SetFailureHandler([](const std::string& what) { ADD_FAILURE() << what; });
        transport->AddServer("zelt.test.ide", server);
        transport->SetWaitHook([this](std::int64_t ms) { session.clock->AdvanceMs(ms); });
        services.ide.connect = [this](std::string*) { return transport; };
        services.ide.starter = &starter;
        services.notifier = &notifier;
    }
    void TearDown() override {
        EXPECT_EQ(script.StepsLeft(), 0u) << "script steps left over";
        fs::current_path(previous_dir_);
        DictionaryTest::TearDown();
    }

    void WriteIni(int retain_tags) {
        std::ofstream(dir_ / "ZELT.INI")
            << "[Preserved]\nNewLog=N\nCL_Command=vxide\nFilePath=" << dir_.string()
            << "/\nRetainTags=" << retain_tags << "\n";
    }
    // An application stored directly, before the window opens.
    void StoreApp(const std::string& dir, const std::string& name, std::uint8_t priority,
                  std::int32_t project = 0, std::int16_t tag = 0, const std::string& target = {}) {
        SetTableNames();
        AppsRelations.OpenAll();
        AppsManager.PrepareRecord();
        APP.DrivenPath = dir;
        APP.Application = name;
        APP.Priority = priority;
        APP.P_Ref = project;
        APP.Tag = tag;
        APP.Target = target;
        EXPECT_EQ(AppsManager.Insert(), framework::LevelOk) << name;
        AppsRelations.CloseAll();
    }
    std::int32_t StoreProject(const std::string& name) {
        SetTableNames();
        ProjectsRelations.OpenAll();
        const std::int32_t ref = AddProject(name);
        ProjectsRelations.CloseAll();
        return ref;
    }
    // The table names the window will give them, so that stored records are where it looks.
    void SetTableNames() {
        AppsFileName = Path("APPS.PLM");
        ProjectsFileName = Path("PROJECTS.PLM");
        TempFileFileName = Path("TEMPFILE.PLM");
        TfFileName = Path("TF.PLM");
    }
    // "name:tag" of every application by priority.
    std::string Tags() {
        SetTableNames();
        std::string out;
        AppsRelations.OpenAll();
        APP.Priority = 0;
        APP.Application.Clear();
        Apps.SetKeyKey(AppsTable::PriorityKey);
        while (AppsManager.Next() == framework::LevelOk)
            out += APP.Application.Clip() + ":" + std::to_string(APP.Tag) + " ";
        AppsRelations.CloseAll();
        return out;
    }
    std::string MakeFile(const std::string& relative) {
        const fs::path path = dir_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
        return path.string();
    }

    // Runs the window; `during` may look at it from script steps.
    void RunWindow() {
        ResetCatalogueGlobals();  // as at start-up: the window's settings name the tables
        MainWindow window(errors, services);
        main = &window;
        window.Run();
        main = nullptr;
    }
    // The window's state while it runs.
    runtime::Window& W() { return main->Window(); }
    bool Icon(MainCtl list, int row) { return W().Control(+list).rows->Cell(row, 1).icon == 1; }

    runtime::HeadlessSession session;
    runtime::HeadlessBackend& script = session.script;
    framework::WindowMessagePresenter window_presenter;
    std::optional<runtime::ScopedProfileService> profile;
    zelt::testing::ScriptedServer server;
    std::shared_ptr<runtime::InProcessTransport> transport =
        std::make_shared<runtime::InProcessTransport>();
    zelt::testing::FakeStarter starter;
    RecordingNotifier notifier;
    MainWindowServices services;
    MainWindow* main = nullptr;
    fs::path previous_dir_;
};

}  // namespace zelt::app::testing
