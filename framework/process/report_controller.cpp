#include "framework/process/report_controller.hpp"

#include <limits>

#include "runtime/values/day_number.hpp"

namespace zelt::framework {

namespace ev = runtime::event;

namespace {

// Hundredths of a second from clock value `from` to now, counted across midnight.
std::int64_t HundredthsSince(std::int32_t from) {
    constexpr std::int64_t kDay = runtime::kLastClockValue;
    const std::int64_t elapsed = (std::int64_t{runtime::Clock()} - from) % kDay;
    return elapsed < 0 ? elapsed + kDay : elapsed;
}

}  // namespace

ReportController::ReportController(ErrorReporter& errors, runtime::WindowDeclaration declaration,
                                   std::string procedure_name)
    : WindowController(errors, std::move(declaration), std::move(procedure_name)) {}

ReportController::~ReportController() = default;

Level ReportController::Init(ProcessController& process, runtime::Report* report,
                             runtime::ReportPreview* preview) {
    if (const Level level = WindowController::Init(); level != LevelOk) return level;
    Process = &process;
    Report = report;
    Preview = preview;
    if (Preview) {
        PreviewQueue = std::make_unique<runtime::ReportDocument>(
            report ? report->Declaration().layout : runtime::ReportLayout{});
        Preview->SetQueue(PreviewQueue.get());
    }
    RecordsPerCycle = 1;
    TimeSlice = 100;
    Processors.clear();
    OpenFailed = 1;  // nothing is open yet: a timer event before OpenReport does nothing
    if (!process.ProgressWindow) process.ProgressWindow = &Window();
    if (Window().TimerInterval() == 0) Window().SetTimer(1);
    return LevelOk;
}

Level ReportController::Kill() {
    if (Dead()) return LevelNotify;
    busy_.reset();
    if (!Process) {
        WindowController::Kill();
        return LevelNotify;
    }
    if (Preview) Preview->Kill();
    PreviewQueue.reset();
    Process->Kill();
    Processors.clear();
    return WindowController::Kill();
}

void ReportController::EventLoop() {
    if (DeferWindow != 0) {
        if (WaitCursor && !busy_) busy_.emplace();
        StartTime = runtime::Clock();
        Window().SetVisible(false);
    }
    WindowController::EventLoop();
}

void ReportController::OnFirstOpen() {
    WindowController::OnFirstOpen();
    if (!DeferOpenReport) OpenReport();
}

void ReportController::OpenReport() {
    if (!Process) return;
    DeferOpenReport = 0;
    // A query without its own control is offered once, before the walk.
    if (Process->Query && QueryControl == 0 && Process->TakeQuery() != LevelOk) {
        SetResponse(ResponseCancelled);
        return;
    }
    Process->Reset();
    const Level first = Next();
    if (first == LevelNotify) OnNoRecords();
    if (first != LevelOk) return;
    OpenFailed = 0;
    if (!Report) return;
    if (Report->IsOpen()) Report->Close();
    if (!Report->Open()) {
        OpenFailed = 1;
        return;
    }
    if (Preview) Report->SetPreviewQueue(PreviewQueue.get());
}

Level ReportController::Next() {
    const Level level = Process->Next(true);
    if (level == LevelNotify) {
        SetResponse(Process->RecordsProcessed > 0 ? ResponseCompleted : ResponseCancelled);
    } else if (level == LevelFatal) {
        SetResponse(ResponseCancelled);
    }
    return level;
}

Level ReportController::TakeRecord() {
    const Level result = Process->TakeRecord();
    for (RecordProcessor* processor : Processors) processor->TakeRecord();
    // After a read error the buffer holds no new record: the walk ends as at the end.
    const Level next = Next();
    if (next == LevelNotify || next == LevelFatal) return LevelNotify;
    return result;
}

Level ReportController::OnWindowEvent() {
    if (Window().Event() == ev::Timer && Process) {
        if (const Level level = TakeRecordsForTimer(); level != LevelOk) return level;
    }
    return WindowController::OnWindowEvent();
}

Level ReportController::TakeRecordsForTimer() {
    if (DeferOpenReport) OpenReport();
    if (OpenFailed) return LevelFatal;
    const std::int32_t taken_before = Process->RecordsProcessed;
    const std::int32_t cycle_start = runtime::Clock();
    if (DeferWindow != 0 && HundredthsSince(StartTime) > std::int64_t{DeferWindow} * 100) {
        Window().SetVisible(true);
        DeferWindow = 0;
    }
    const std::int64_t slice = TimeSlice;
    for (;;) {
        while (Process->RecordsProcessed - taken_before < RecordsPerCycle) {
            if (const Level level = TakeRecord(); level != LevelOk) return level;
        }
        const std::int64_t elapsed = HundredthsSince(cycle_start);
        if (5 * elapsed < 4 * slice &&
            RecordsPerCycle <= std::numeric_limits<std::int32_t>::max() / 2)
            RecordsPerCycle *= 2;
        if (2 * elapsed < slice) continue;  // less than half a slice used: more of the same
        if (2 * elapsed > 3 * slice && RecordsPerCycle > 1)
            RecordsPerCycle = std::max(1, RecordsPerCycle / 2);
        return LevelOk;
    }
}

Level ReportController::OnAccepted() {
    if (QueryControl != 0 && Window().Field() == QueryControl && Process && Process->Query) {
        if (Process->TakeQuery() == LevelOk && !DeferOpenReport) OpenReport();
        return LevelNotify;
    }
    return WindowController::OnAccepted();
}

Level ReportController::OnCloseEvent() {
    busy_.reset();
    if (!KeepVisible) Window().SetVisible(false);
    if (const Level level = WindowController::OnCloseEvent(); level != LevelOk) return level;
    AskPreview();
    return LevelOk;
}

void ReportController::AskPreview() {
    if (Report && Response == ResponseCompleted) {
        Report->EndPage();
        if (Preview && !SkipPreview) {
            Preview->Display();
        } else if (!Report->Output() && !Report->OutputFile.empty()) {
            runtime::Message("The report could not be written to " + Report->OutputFile + ".",
                             Window().Title(), runtime::StockIcon::Exclamation);
        }
    }
    if (Report && Report->IsOpen()) Report->Close();
    if (PreviewQueue) PreviewQueue->Clear();
}

}  // namespace zelt::framework
