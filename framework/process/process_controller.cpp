#include "framework/process/process_controller.hpp"

#include <algorithm>
#include <limits>

#include "framework/query/query_form.hpp"
#include "framework/query/query_refusal.hpp"

namespace zelt::framework {

namespace {

constexpr std::size_t kStepValueLength = 64;

std::int32_t Held32(std::int64_t n) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(n, 0, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void ProcessController::Init(RecordView& view, PrimaryRecord& primary, ErrorReporter& errors,
                             runtime::Window* window, runtime::ControlNumber progress_text,
                             std::int32_t records_to_process, std::uint8_t* percentile) {
    ProgressWindow = window;
    PText = progress_text;
    RecordsToProcess = std::max(0, records_to_process);
    Percentile = percentile;
    if (Percentile) *Percentile = 0;
    ViewManager::Init(view, primary, errors);
}

void ProcessController::Kill() {
    ViewManager::Kill();
    Children.clear();
    ChildRead = 0;
    children_due_ = false;
}

std::string ProcessController::StepValue() const {
    std::string value = ValueField.Read();
    if (value.size() > kStepValueLength) value.resize(kStepValueLength);
    if (!CaseSensitiveValue) {
        for (char& c : value)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return value;
}

Level ProcessController::Reset() {
    RecordsProcessed = 0;
    BytesRead = 0;
    FileSize = 0;
    if (!Opened()) Open();
    if (StepMgr) {
        // The first and the last record bound the values the distribution spreads over.
        std::string low;
        std::string high;
        if (ResetView(false) == LevelOk && ViewManager::Next() == LevelOk) low = StepValue();
        if (ResetView(false) == LevelOk && Previous() == LevelOk) high = StepValue();
        StepMgr->SetLimits(low, high);
    } else if (RecordsToProcess == 0 && Primary) {
        RecordsToProcess = Held32(Primary->RecordCount());
        if (RecordsToProcess == 0) FileSize = Held32(Primary->FileBytes());
    }
    ChildRead = 0;
    children_due_ = false;
    const Level level = ResetView(false);
    Started();
    return level;
}

Level ProcessController::Next(bool count) {
    // The record read last was this view's: its children are read first.
    if (children_due_) {
        children_due_ = false;
        ChildRead = 1;
        Children.front()->Reset();
    }
    while (ChildRead != 0) {
        if (ChildRead > Children.size()) {
            ChildRead = 0;
            break;
        }
        const Level level = Children[ChildRead - 1]->Next(count);
        if (level == LevelOk || level == LevelFatal) return level;
        // This child is at its end: the next one, or this view again.
        if (ChildRead < Children.size()) {
            ++ChildRead;
            Children[ChildRead - 1]->Reset();
        } else {
            ChildRead = 0;
        }
    }
    const Level level = ViewManager::Next();
    if (level != LevelOk) return level;
    if (count) {
        if (FileSize != 0 && Primary)
            BytesRead = Held32(std::int64_t{BytesRead} + Primary->RecordBytes());
        if (RecordsProcessed < std::numeric_limits<std::int32_t>::max()) ++RecordsProcessed;
    }
    ShowProgress();
    children_due_ = !Children.empty();
    return LevelOk;
}

int ProcessController::Percentage() const {
    std::int64_t percent = 0;
    if (StepMgr) {
        percent = StepMgr->PercentileOf(StepValue());
    } else if (FileSize != 0) {
        percent = std::int64_t{BytesRead} * 100 / FileSize;
    } else if (RecordsToProcess > 0) {
        percent = std::int64_t{RecordsProcessed} * 100 / RecordsToProcess;
    }
    return static_cast<int>(std::clamp<std::int64_t>(percent, 0, 100));
}

void ProcessController::ShowProgress() {
    if (!Percentile || ChildRead != 0) return;
    const int percent = Percentage();
    if (percent == *Percentile) return;
    *Percentile = static_cast<std::uint8_t>(percent);
    if (!ProgressWindow || !ProgressWindow->IsOpen()) return;
    if (PText != 0) ProgressWindow->SetText(PText, std::to_string(percent) + "% Complete");
    ProgressWindow->Display();
}

Level ProcessController::TakeQuery() {
    if (!Query) return LevelOk;
    QueryForm form(Errors(), *Query);
    if (form.Run() != ResponseCompleted) return LevelCancel;
    std::string filter;
    if (RefuseQuery(*Query, *this, &filter)) return LevelCancel;
    SetFilter(filter, kQueryFilterId);
    return LevelOk;
}

}  // namespace zelt::framework
