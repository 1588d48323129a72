// The catalogue on real table files in a fresh folder, with the scripted window system
// showing the forms and the reporter's messages.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/window/window_message_presenter.hpp"
#include "runtime/window/headless_backend.hpp"
#include "tests/app/dictionary_fixture.hpp"

namespace zelt::app::testing {

using Texts = std::vector<std::string>;

class FormsTest : public DictionaryTest {
  protected:
    void SetUp() override {
        DictionaryTest::SetUp();
        errors.SetPresenter(&window_presenter);
        script.SetFailureHandler([](const std::string& what) { ADD_FAILURE() << what; });
    }
    void TearDown() override {
        EXPECT_EQ(script.StepsLeft(), 0u) << "script steps left over";
        EXPECT_TRUE(halts.empty());
        DictionaryTest::TearDown();
    }

    // A file that exists, under the test folder; its full name.
    std::string MakeFile(const std::string& relative) {
        const std::filesystem::path path = dir_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << "x";
        return path.string();
    }
    // The folder of the test, with its trailing separator.
    std::string Dir() const { return dir_.string() + "/"; }

    // An application stored directly (its file need not exist); the tables stay as they were.
    void StoreApp(const std::string& dir, const std::string& name, std::int32_t project,
                  std::uint8_t priority = 1) {
        AppsRelations.OpenAll();
        AppsManager.PrepareRecord();
        APP.DrivenPath = dir;
        APP.Application = name;
        APP.Priority = priority;
        APP.P_Ref = project;
        EXPECT_EQ(AppsManager.Insert(), framework::LevelOk) << name;
        AppsRelations.CloseAll();
    }
    std::int32_t StoreProject(const std::string& name) {
        ProjectsRelations.OpenAll();
        const std::int32_t ref = AddProject(name);
        ProjectsRelations.CloseAll();
        return ref;
    }

    Texts Captions() const {
        Texts out;
        for (const auto& m : script.Messages()) out.push_back(m.request.caption);
        return out;
    }
    // The texts a list shows in one column, row by row.
    static Texts Column(const runtime::Window& w, runtime::ControlNumber list, int column) {
        Texts out;
        for (int row = 1; row <= w.RowCount(list); ++row)
            out.push_back(w.CellText(list, row, column));
        return out;
    }

    runtime::HeadlessSession session;
    runtime::HeadlessBackend& script = session.script;
    framework::WindowMessagePresenter window_presenter;
};

}  // namespace zelt::app::testing
