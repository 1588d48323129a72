// ReportController: the progress window of a report, which walks the report's process in
// time slices driven by the window's timer, so that the window stays responsive, and hands
// the printed pages to the print preview at the end.
//
// A report procedure derives from it, declares its progress window (a progress bar using
// the progress variable, a text for the percentage, a Cancel button), and in its own Init
// calls the Init below first, then sets up its process and opens the window:
//
//   class PrintLog : public ReportController {
//       Level Init() override {
//           if (Level l = ReportController::Init(process_, &report_, &preview_); l != LevelOk)
//           return l; process_.Init(view_, tracked_, Errors, &Window(), Ctl::PctText, 0,
//           &percent_); AddButton(Ctl::Cancel, ResponseCancelled);   // Cancel ends the report
//           early OpenWindow(); return LevelOk;
//       }
//       void OnNoRecords() override { runtime::Message("Nothing to print", "Go Away"); }
//   };
//   // process_ derives from ProcessController; its TakeRecord prints the detail:
//   //     Level TakeRecord() override { report_.PrintDetail(); return LevelOk; }
//
// The walk: when the window first opens (or at the first timer event with DeferOpenReport)
// the process is reset and the first record read; a view without records calls
// OnNoRecords, opens no report and closes the window. Each timer event then takes records
// (the process's TakeRecord, every Processors entry's, then the next record) in cycles of
// RecordsPerCycle records, measured on the installed clock:
//   - a cycle shorter than four fifths of TimeSlice doubles RecordsPerCycle;
//   - while the event has used less than half of TimeSlice, it runs another cycle;
//   - an event longer than one and a half TimeSlice halves RecordsPerCycle, rounding
//     towards zero and never below 1.
// The end of the view answers completed (some records were taken) or cancelled (none) and
// closes the window; a read error answers cancelled. On closing, the window is hidden
// (unless KeepVisible), and with a completed response the last page is ended and the pages
// go to the preview (unless SkipPreview), whose answer decides whether they are printed.
// A report without a preview prints directly, or writes its OutputFile as PDF.
//
// With DeferWindow the progress window stays hidden for that many seconds, so that a short
// report never shows it. Clock values wrap at midnight; the elapsed times count across it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "framework/process/process_controller.hpp"
#include "framework/window/window_controller.hpp"
#include "runtime/report/report.hpp"
#include "runtime/report/report_preview.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::framework {

class ReportController : public WindowController {
  public:
    ReportController(ErrorReporter& errors, runtime::WindowDeclaration declaration,
                     std::string procedure_name = {});
    ~ReportController() override;

    std::uint8_t DeferOpenReport = 0;
    std::uint16_t DeferWindow = 0;  // seconds
    std::uint8_t KeepVisible = 0;
    std::uint8_t OpenFailed = 0;                // set until the report was opened
    std::vector<RecordProcessor*> Processors;   // not owned
    runtime::ReportPreview* Preview = nullptr;  // not owned
    std::unique_ptr<runtime::ReportDocument> PreviewQueue;
    ProcessController* Process = nullptr;  // not owned
    std::int32_t RecordsPerCycle = 0;
    runtime::ControlNumber QueryControl = 0;
    runtime::Report* Report = nullptr;  // not owned
    std::uint8_t SkipPreview = 0;
    std::int32_t StartTime = 0;   // clock value
    std::uint16_t TimeSlice = 0;  // hundredths of a second
    std::uint8_t WaitCursor = 0;

    using WindowController::Init;
    // The base initialisation, then: stores the process, the report and the preview (both
    // may be nullptr); with a preview, creates PreviewQueue and hands it to the preview;
    // RecordsPerCycle 1, TimeSlice 100; the window gets a timer if it has none.
    Level Init(ProcessController& process, runtime::Report* report,
               runtime::ReportPreview* preview);
    // LevelNotify for a window already dead or one without a process.
    Level Kill() override;
    void EventLoop() override;
    void OnFirstOpen() override;
    // The query control offers the process's query; an accepted query starts the walk over.
    Level OnAccepted() override;
    Level OnCloseEvent() override;
    Level OnWindowEvent() override;

    // Ends and shows (or prints) the pages of a completed report; empties PreviewQueue.
    virtual void AskPreview();
    // The process's next record; at the end (or on a read error) the response is set and
    // the window closes.
    virtual Level Next();
    virtual void OpenReport();
    // Called when the view has no record; the application says so its own way.
    virtual void OnNoRecords() {}
    virtual Level TakeRecord();

    void AddItem(RecordProcessor& processor) { Processors.push_back(&processor); }

  private:
    // One timer event's work; LevelOk lets the base handling follow.
    Level TakeRecordsForTimer();

    std::optional<runtime::BusyCursor> busy_;
};

}  // namespace zelt::framework
