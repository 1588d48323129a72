// What the batch tests share: a window that records what a batch asks of it, a catalogue on
// real table files with applications on disk, and a reader of the activity log.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/batches/batch_engine.hpp"
#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "runtime/values/clock_source.hpp"
#include "tests/app/dictionary_fixture.hpp"

namespace zelt::app::testing {

class RecordingBatchWindow : public BatchWindow {
  public:
    IdeChannel* ide = nullptr;                   // whose StatusMsg each redisplay records
    std::vector<std::string> trace;              // beeps, activations, focus moves, boxes in order
    std::vector<runtime::MessageRequest> boxes;  // every message box, captionless ones too
    std::deque<int> answers;                     // answers to questions; Yes when none is left
    std::vector<std::string> statuses;           // StatusMsg at each redisplay (repeats dropped)
    std::vector<std::string> logged;             // "name: event" as told
    std::vector<std::string> not_logged;
    std::vector<std::pair<int, int>> progress;
    // With a virtual clock each wait moves it on by the tick instead of sleeping.
    std::shared_ptr<runtime::VirtualClockSource> clock;
    std::function<void(int wait_number)> on_wait;
    std::function<void(const TempFileRecord&)> on_logged;
    int waits = 0;

    void ShowMessage(std::string_view text) override {
        runtime::MessageRequest box;
        box.text = text;
        Box(box);
    }
    void Redisplay() override {
        if (ide && (statuses.empty() || statuses.back() != ide->StatusMsg))
            statuses.push_back(ide->StatusMsg);
    }
    void SelectApplicationsList() override { trace.push_back("focus:list"); }
    void PostEvent(runtime::EventCode) override {}
    int ShowMessageBox(const runtime::MessageRequest& request) override { return Box(request); }
    void Beep() override { trace.push_back("beep"); }
    void Activate() override { trace.push_back("activate"); }
    void Focus(BatchFocus target) override {
        trace.push_back(target == BatchFocus::ApplicationsList ? "focus:list" : "focus:tab4");
    }
    void EventLogged(const TempFileRecord& event) override {
        logged.push_back(event.Apps.Clip() + ": " + event.Event.Clip());
        if (on_logged) on_logged(event);
    }
    void EventNotLogged(const TempFileRecord& event, runtime::ErrorCode code,
                        std::string_view) override {
        not_logged.push_back(event.Event.Clip() + " (" + std::to_string(code) + ")");
    }
    void Progress(int done, int to_do) override { progress.emplace_back(done, to_do); }
    void WaitForResult(const ResultWait& wait) override {
        ++waits;
        if (on_wait) on_wait(waits);
        if (clock) {
            clock->AdvanceMs(wait.tick_ms);
        } else {
            SleepOnResult(wait);
        }
    }

    // "caption: text" of every box with a caption.
    std::vector<std::string> Captioned() const {
        std::vector<std::string> out;
        for (const auto& box : boxes) {
            if (!box.caption.empty()) out.push_back(box.caption + ": " + box.text);
        }
        return out;
    }

  private:
    int Box(const runtime::MessageRequest& request) {
        boxes.push_back(request);
        trace.push_back("box:" + request.caption);
        if (!(request.buttons & runtime::button::Yes)) return runtime::button::Ok;
        if (answers.empty()) return runtime::button::Yes;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// The catalogue on real table files, with helpers to put applications on disk.
class BatchCatalogue : public DictionaryTest {
  protected:
    void SetUp() override {
        DictionaryTest::SetUp();
        apps_dir = Path("apps") + "/";
        std::filesystem::create_directories(apps_dir);
        // As the main window holds them while it is open.
        ASSERT_EQ(ProjectsRelations.OpenAll(), framework::LevelOk);
        ASSERT_EQ(AppsRelations.OpenAll(), framework::LevelOk);
    }
    void TearDown() override {
        AppsRelations.CloseAll();
        ProjectsRelations.CloseAll();
        DictionaryTest::TearDown();
    }

    // Inserts an application in apps_dir and, when on disk, writes its file for the stand-in
    // IDE with the same target. A target of "*" is apps_dir + base name + ".EXE".
    void Add(const std::string& name, int priority, std::string target = "*",
             std::int32_t project = 0, bool tagged = true, bool on_disk = true) {
        const std::string base = name.substr(0, name.find('.'));
        if (target == "*") target = apps_dir + base + ".EXE";
        AppsManager.PrepareRecord();
        APP.DrivenPath = apps_dir;
        APP.Application = name;
        APP.Priority = static_cast<std::uint8_t>(priority);
        APP.Tag = tagged ? 1 : 0;
        APP.Target = target;
        APP.P_Ref = project;
        EXPECT_EQ(AppsManager.Insert(), framework::LevelOk) << name;
        if (on_disk) {
            std::ofstream out(apps_dir + name);
            out << "; " << name << "\n";
            if (!target.empty()) out << "Target=" << target << "\n";
        }
    }
    QueueEntry Entry(const std::string& name, int priority, const std::string& target = "*") {
        QueueEntry entry;
        entry.AppName = name;
        entry.DrivePath = apps_dir;
        entry.Priority = static_cast<std::uint8_t>(priority);
        entry.Target = target == "*" ? apps_dir + name.substr(0, name.find('.')) + ".EXE" : target;
        return entry;
    }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path) << text;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // "name: event" of every logged event, in the order written.
    std::vector<std::string> LogLines() {
        std::vector<std::string> lines;
        const TempFileRecord saved = TMP;
        TempFileManager.Open();
        if (TempFileManager.EnsureOpen() == framework::LevelOk) {
            TempFile.SetFile();
            while (TempFile.Next() == runtime::err::NoError)
                lines.push_back(TMP.Apps.Clip() + ": " + TMP.Event.Clip());
        }
        TempFileManager.Close();
        TMP = saved;
        return lines;
    }

    std::string apps_dir;
};

}  // namespace zelt::app::testing
