// Shared pieces of the report tests: an event log in a real table file, and a report over
// it whose per-record work a test can watch and slow down on the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "framework/browse/table_view.hpp"
#include "framework/file_manager.hpp"
#include "framework/process/report_controller.hpp"
#include "framework/relation_tracker.hpp"
#include "framework/window/tracked_record.hpp"
#include "runtime/file/fixed_string.hpp"
#include "storage/driver/pelmar_driver.hpp"
#include "tests/framework/controller_support.hpp"
#include "tests/runtime/file_test_dir.hpp"

namespace zelt::framework::testing {

#pragma pack(push, 1)
struct EventRecord {
    runtime::FixedString<40> Apps;
    std::int32_t Date;
    std::int32_t Clock;
    runtime::FixedString<80> Event;
};
#pragma pack(pop)

// A log of `count` events in a Pelmar file: "APP<n>.APP", day 82000 + n / 10, "Event <n>".
class EventLog {
  public:
    explicit EventLog(ErrorReporter& errors, int count = 0)
        : table_(runtime::TableDeclaration("EVENTS", "EVT", "PELMAR")
                     .FileName(dir_.File("EVENTS.PLM"))
                     .Record(runtime::AsBytes(record))
                     .String("EVT:Apps", 0, 40)
                     .Long("EVT:Date", 40)
                     .Long("EVT:Clock", 44)
                     .String("EVT:Event", 48, 80)
                     .Key("EVT:ClockKey", runtime::key_attr::Dup, {"EVT:Date", "EVT:Clock"})) {
        storage::RegisterPelmarDriver();
        manager.Init(table_, errors);
        manager.AddKey(0, "Date and time");
        tracker.Init(manager);
        EXPECT_EQ(tracker.OpenAll(), LevelOk);
        for (int n = 1; n <= count; ++n) {
            record.Apps = "APP" + std::to_string(n) + ".APP";
            record.Date = 82000 + n / 10;
            record.Clock = 100 * n + 1;
            record.Event = "Event " + std::to_string(n);
            EXPECT_EQ(manager.Insert(), LevelOk);
        }
    }
    ~EventLog() {
        tracker.CloseAll();
        tracker.Kill();
        manager.Kill();
    }
    runtime::Table& Table() { return table_; }

    EventRecord record{};
    FileManager manager;
    RelationTracker tracker;

  private:
    testing_support::TestDir dir_;
    runtime::Table table_;
};

// The log's report: a progress window and one detail line per event.
class EventReport : public ReportController {
  public:
    enum Ctl : runtime::ControlNumber { Bar = 1, UserText, PctText, Cancel };

    EventReport(ErrorReporter& errors, EventLog& log, bool with_preview = true)
        : ReportController(errors, Declaration(percent), "EventReport"),
          report(Layout(log)),
          tracked_(log.tracker),
          view_(log.Table()),
          process_(*this),
          with_preview_(with_preview) {}

    static runtime::WindowDeclaration Declaration(std::uint8_t& percent) {
        runtime::WindowDeclaration w("Report Progress...");
        w.Progress("?Progress:Thermometer", 100).Use(runtime::Use(percent));
        w.String("?Progress:UserString");
        w.String("?Progress:PctText");
        w.Button("?Progress:Cancel", "Cancel");
        return w;
    }
    static runtime::ReportDeclaration Layout(EventLog& log) {
        runtime::Table& t = log.Table();
        runtime::ReportDeclaration d("ZELT5.5 Activity Log");
        d.Column("App Name", 40, FieldBinding(t, 0))
            .Column("Date", 10, FieldBinding(t, 1), "@D8")
            .Column("Time", 11, FieldBinding(t, 2), "@T4")
            .Column("Action", 80, FieldBinding(t, 3))
            .Footer("Page", "@n3")
            .Landscape();
        return d;
    }

    Level Init() override {
        if (Level l = ReportController::Init(process_, &report, with_preview_ ? &preview : nullptr);
            l != LevelOk)
            return l;
        process_.Init(view_, tracked_, Errors, &Window(), PctText, records_to_process, &percent);
        AddButton(Cancel, ResponseCancelled);
        if (before_open) before_open();
        OpenWindow();
        return LevelOk;
    }
    void OnNoRecords() override { ++no_records; }

    ProcessController& Process() { return process_; }

    // Runs for every record the report takes, after its detail was printed.
    std::function<Level()> on_record;
    std::function<void()> before_open;
    std::int32_t records_to_process = 0;
    std::uint8_t percent = 0;
    int no_records = 0;
    int details = 0;
    runtime::Report report;
    runtime::ReportPreview preview;

  private:
    class Printer : public ProcessController {
      public:
        explicit Printer(EventReport& owner) : owner_(owner) {}
        Level TakeRecord() override {
            owner_.report.PrintDetail();
            ++owner_.details;
            return owner_.on_record ? owner_.on_record() : LevelOk;
        }

      private:
        EventReport& owner_;
    };

    TrackedRecord tracked_;
    TableView view_;
    Printer process_;
    bool with_preview_;
};

}  // namespace zelt::framework::testing
