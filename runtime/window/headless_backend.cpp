#include "runtime/window/headless_backend.hpp"

#include <algorithm>
#include <cstdio>

#include "runtime/window/control_kinds.hpp"

namespace zelt::runtime {

namespace {
std::string_view StepName(StepKind kind) {
    switch (kind) {
        case StepKind::Press:
            return "press";
        case StepKind::Type:
            return "type";
        case StepKind::Change:
            return "change";
        case StepKind::SelectRow:
            return "select row";
        case StepKind::Key:
            return "key";
        case StepKind::Char:
            return "character";
        case StepKind::DoubleClick:
            return "double click";
        case StepKind::Expand:
            return "expand";
        case StepKind::Contract:
            return "contract";
        case StepKind::Thumb:
            return "thumb";
        case StepKind::Focus:
            return "focus";
        case StepKind::CloseBox:
            return "close box";
        case StepKind::Resize:
            return "resize";
        case StepKind::AdvanceMs:
            return "advance time";
        case StepKind::Run:
            return "run";
        case StepKind::AnswerMessage:
            return "message answer";
        case StepKind::ChoosePopup:
            return "popup choice";
        case StepKind::ChooseFile:
            return "file choice";
        case StepKind::ChooseDirectory:
            return "directory choice";
        case StepKind::AnswerPreview:
            return "preview answer";
    }
    return "step";
}

bool IsAnswer(StepKind kind) {
    return kind == StepKind::AnswerMessage || kind == StepKind::ChoosePopup ||
           kind == StepKind::ChooseFile || kind == StepKind::ChooseDirectory ||
           kind == StepKind::AnswerPreview;
}

std::vector<std::vector<std::string>> PagesText(const ReportDocument& report) {
    std::vector<std::vector<std::string>> pages;
    for (int p = 1; p <= report.PageCount(); ++p) pages.push_back(report.PageText(p));
    return pages;
}
}  // namespace

ControlNumber ControlRef::Resolve(const Window& window) const {
    if (!name.empty()) return window.Find(name);
    return number >= 1 && number <= window.ControlCount() ? number : 0;
}

std::string ControlRef::Describe() const {
    return name.empty() ? "#" + std::to_string(number) : name;
}

HeadlessBackend::HeadlessBackend(std::shared_ptr<VirtualClockSource> clock)
    : clock_(std::move(clock)) {}

ScriptStep& HeadlessBackend::Add(StepKind kind) {
    ScriptStep step;
    step.kind = kind;
    steps_.push_back(std::move(step));
    return steps_.back();
}

ScriptStep& HeadlessBackend::AddForControl(StepKind kind, ControlRef c, std::int64_t number) {
    auto& s = Add(kind);
    s.control = std::move(c);
    s.number = number;
    return s;
}

ScriptStep& HeadlessBackend::Press(ControlRef c) {
    return AddForControl(StepKind::Press, std::move(c));
}
ScriptStep& HeadlessBackend::Type(ControlRef c, std::string text) {
    auto& s = Add(StepKind::Type);
    s.control = std::move(c);
    s.text = std::move(text);
    return s;
}
ScriptStep& HeadlessBackend::Change(ControlRef c, std::string text) {
    auto& s = Add(StepKind::Change);
    s.control = std::move(c);
    s.text = std::move(text);
    return s;
}
ScriptStep& HeadlessBackend::SelectRow(ControlRef c, int row) {
    return AddForControl(StepKind::SelectRow, std::move(c), row);
}
ScriptStep& HeadlessBackend::Key(ControlRef c, int keycode) {
    return AddForControl(StepKind::Key, std::move(c), keycode);
}
ScriptStep& HeadlessBackend::Char(ControlRef c, char ch) {
    return AddForControl(StepKind::Char, std::move(c), static_cast<unsigned char>(ch));
}
ScriptStep& HeadlessBackend::DoubleClick(ControlRef c, int row) {
    return AddForControl(StepKind::DoubleClick, std::move(c), row);
}
ScriptStep& HeadlessBackend::Expand(ControlRef c, int row) {
    return AddForControl(StepKind::Expand, std::move(c), row);
}
ScriptStep& HeadlessBackend::Contract(ControlRef c, int row) {
    return AddForControl(StepKind::Contract, std::move(c), row);
}
ScriptStep& HeadlessBackend::Thumb(ControlRef c, int percent) {
    return AddForControl(StepKind::Thumb, std::move(c), percent);
}
ScriptStep& HeadlessBackend::Focus(ControlRef c) {
    return AddForControl(StepKind::Focus, std::move(c));
}
ScriptStep& HeadlessBackend::CloseBox() {
    return Add(StepKind::CloseBox);
}
ScriptStep& HeadlessBackend::Resize(int width, int height) {
    auto& s = Add(StepKind::Resize);
    s.number = width;
    s.second = height;
    return s;
}
ScriptStep& HeadlessBackend::AdvanceMs(std::int64_t ms) {
    auto& s = Add(StepKind::AdvanceMs);
    s.number = ms;
    return s;
}
ScriptStep& HeadlessBackend::Run(std::function<void()> fn) {
    auto& s = Add(StepKind::Run);
    s.run = std::move(fn);
    return s;
}
ScriptStep& HeadlessBackend::AnswerMessage(int b) {
    auto& s = Add(StepKind::AnswerMessage);
    s.number = b;
    return s;
}
ScriptStep& HeadlessBackend::ChoosePopup(int number) {
    auto& s = Add(StepKind::ChoosePopup);
    s.number = number;
    return s;
}
ScriptStep& HeadlessBackend::ChoosePopup(std::string entry) {
    auto& s = Add(StepKind::ChoosePopup);
    s.text = std::move(entry);
    return s;
}
ScriptStep& HeadlessBackend::ChooseFile(std::string path) {
    auto& s = Add(StepKind::ChooseFile);
    s.text = std::move(path);
    return s;
}
ScriptStep& HeadlessBackend::ChooseDirectory(std::string path) {
    auto& s = Add(StepKind::ChooseDirectory);
    s.text = std::move(path);
    return s;
}
ScriptStep& HeadlessBackend::CancelChooser() {
    auto& s = Add(StepKind::ChooseFile);
    s.cancel = true;
    return s;
}
ScriptStep& HeadlessBackend::AnswerPreview(bool print) {
    auto& s = Add(StepKind::AnswerPreview);
    s.number = print ? 1 : 0;
    return s;
}
ScriptStep& HeadlessBackend::AnswerPreviewSavingPdf(std::string path) {
    auto& s = Add(StepKind::AnswerPreview);
    s.text = std::move(path);
    return s;
}

void HeadlessBackend::Fail(const std::string& what) {
    failures_.push_back(what);
    if (on_failure_) on_failure_(what);
    if (WindowSystem* system = CurrentWindowSystem()) system->Halt(what);
}

void HeadlessBackend::WindowOpened(Window&) {}
void HeadlessBackend::WindowClosed(Window&) {}
void HeadlessBackend::ControlChanged(Window&, ControlNumber) {}
void HeadlessBackend::FocusChanged(Window&, ControlNumber) {}
void HeadlessBackend::EventQueued(Window&) {}

void HeadlessBackend::Activate(Window& window) {
    activations_.push_back(window.Title());
}

void HeadlessBackend::WaitForInput(Window& window, std::optional<std::int64_t> deadline_ms) {
    // A window working on its timer (a report) waits between its timer events; an answer
    // next in the script is for what that work brings up later, so the time moves on.
    if (steps_.empty() || (deadline_ms && IsAnswer(steps_.front().kind))) {
        if (deadline_ms && idle_advance_) {
            const std::int64_t wait =
                std::max<std::int64_t>(0, *deadline_ms - clock_->MonotonicMs());
            if (idle_spent_ms_ + wait > idle_limit_ms_) {
                Fail("The window \"" + window.Title() + "\" still waits after " +
                     std::to_string(idle_limit_ms_ / 1000) + " seconds of virtual time");
                return;
            }
            idle_spent_ms_ += wait;
            clock_->AdvanceMs(wait);
            return;
        }
        Fail("The script ran out while the window \"" + window.Title() + "\" waits for input");
        return;
    }
    ScriptStep step = std::move(steps_.front());
    if (IsAnswer(step.kind)) {
        Fail("The window \"" + window.Title() + "\" waits for input, but the script expects a " +
             std::string(StepName(step.kind)) + " next");
        return;
    }
    steps_.pop_front();
    PlayUserStep(window, step);
}

void HeadlessBackend::PollInput(Window& window) {
    if (steps_.empty() || IsAnswer(steps_.front().kind) || steps_.front().window != window.Title())
        return;
    ScriptStep step = std::move(steps_.front());
    steps_.pop_front();
    PlayUserStep(window, step);
}

void HeadlessBackend::PlayUserStep(Window& waiting, const ScriptStep& step) {
    if (step.kind == StepKind::AdvanceMs) {
        clock_->AdvanceMs(step.number);
        return;
    }
    if (step.kind == StepKind::Run) {
        if (step.run) step.run();
        return;
    }
    Window* target = &waiting;
    if (!step.window.empty()) {
        WindowSystem* system = CurrentWindowSystem();
        target = system ? system->FindWindow(step.window) : nullptr;
        if (!target) {
            Fail("The script acts on the window \"" + step.window + "\", which is not open");
            return;
        }
    }
    if (step.kind == StepKind::CloseBox) {
        target->UserCloseBox();
        return;
    }
    if (step.kind == StepKind::Resize) {
        WindowGeometry g = target->Geometry();
        g.width = static_cast<int>(step.number);
        g.height = static_cast<int>(step.second);
        target->UserGeometry(g);
        return;
    }
    const ControlNumber n = step.control ? step.control->Resolve(*target) : 0;
    const std::string what = std::string(StepName(step.kind)) + " " +
                             (step.control ? step.control->Describe() : std::string()) +
                             " in the window \"" + target->Title() + "\"";
    if (n == 0) {
        Fail("The script tries to " + what + ": no such control");
        return;
    }
    const int row = static_cast<int>(step.number);
    bool done = false;
    switch (step.kind) {
        case StepKind::Press:
            done = target->UserPress(n);
            break;
        case StepKind::Type:
            done = target->UserType(n, step.text);
            break;
        case StepKind::Change:
            done = target->UserChange(n, step.text);
            break;
        case StepKind::SelectRow:
            done = target->UserSelectRow(n, row);
            break;
        case StepKind::Key:
            done = target->UserKey(n, row);
            break;
        case StepKind::Char:
            done = target->UserChar(n, static_cast<char32_t>(step.number));
            break;
        case StepKind::DoubleClick:
            done = target->UserDoubleClick(n, row);
            break;
        case StepKind::Expand:
            done = target->UserExpand(n, row);
            break;
        case StepKind::Contract:
            done = target->UserContract(n, row);
            break;
        case StepKind::Thumb:
            done = target->UserThumb(n, row);
            break;
        case StepKind::Focus:
            done = target->UserFocus(n);
            break;
        default:
            break;
    }
    if (!done) {
        const auto& state = target->Control(n);
        std::string why = state.disabled ? "it is disabled"
                          : state.hidden
                              ? "it is hidden"
                              : "it cannot take that (hidden or disabled container, "
                                "a tab not shown, a read-only control or a row out of range)";
        Fail("The script tries to " + what + ", but " + why);
    }
}

std::optional<ScriptStep> HeadlessBackend::TakeAnswer(StepKind kind, const std::string& what) {
    if (steps_.empty() || steps_.front().kind != kind) {
        std::string next =
            steps_.empty() ? "nothing" : "a " + std::string(StepName(steps_.front().kind));
        Fail("Unexpected " + what + " (the script has " + next + " next)");
        return std::nullopt;
    }
    ScriptStep step = std::move(steps_.front());
    steps_.pop_front();
    return step;
}

int HeadlessBackend::ShowMessage(const MessageRequest& request) {
    ShownMessage shown{request, EffectiveDefaultButton(request)};
    const std::string what = "message box \"" + request.caption + "\": " + request.text;
    if (auto step = TakeAnswer(StepKind::AnswerMessage, what)) {
        if (!step->expect.empty() && request.text.find(step->expect) == std::string::npos) {
            Fail("The " + what + " does not contain \"" + step->expect + "\"");
        } else if ((request.buttons & step->number) == 0 &&
                   !(request.buttons == 0 && step->number == button::Ok)) {
            Fail("The script presses button " + std::to_string(step->number) + ", which the " +
                 what + " does not show");
        } else {
            shown.answer = static_cast<int>(step->number);
        }
    }
    messages_.push_back(shown);
    return shown.answer;
}

int HeadlessBackend::ShowPopup(const PopupMenu& menu) {
    std::vector<std::string> texts;
    std::string joined;
    for (const auto& e : menu.entries) {
        texts.push_back(e.separator ? "-" : (e.enabled ? "" : "~") + e.text);
        joined += (joined.empty() ? "" : "|") + texts.back();
    }
    popups_.push_back(texts);
    auto step = TakeAnswer(StepKind::ChoosePopup, "popup menu \"" + joined + "\"");
    if (!step) return 0;
    int number = step->text.empty() ? static_cast<int>(step->number) : menu.NumberOf(step->text);
    const PopupEntry* entry = menu.Entry(number);
    if (number != 0 && (!entry || !entry->enabled)) {
        Fail("The script chooses entry " +
             (step->text.empty() ? std::to_string(number) : step->text) + " of the popup menu \"" +
             joined + "\", which is not there or disabled");
        return 0;
    }
    return number;
}

std::optional<std::string> HeadlessBackend::Choose(const std::string& title, bool directory,
                                                   std::vector<FileFilter> filters) {
    ShownChooser shown{title, directory, std::nullopt, std::move(filters)};
    const std::string what =
        std::string(directory ? "directory" : "file") + " chooser \"" + title + "\"";
    // A cancel step answers either chooser.
    if (!steps_.empty() && steps_.front().cancel) {
        steps_.pop_front();
    } else if (auto step =
                   TakeAnswer(directory ? StepKind::ChooseDirectory : StepKind::ChooseFile, what)) {
        shown.answer = step->text;
    }
    choosers_.push_back(shown);
    return shown.answer;
}

std::optional<std::string> HeadlessBackend::ChooseFile(const FileChooserRequest& request) {
    return Choose(request.title, false, request.filters);
}

std::optional<std::string> HeadlessBackend::ChooseDirectory(
    const DirectoryChooserRequest& request) {
    return Choose(request.title, true);
}

bool HeadlessBackend::PreviewReport(const ReportDocument& report) {
    previews_.push_back(PagesText(report));
    auto step =
        TakeAnswer(StepKind::AnswerPreview, "report preview \"" + report.Layout().title + "\"");
    if (!step) return false;
    if (!step->text.empty()) {
        SaveReportPdf(report, step->text);
        return false;
    }
    return step->number != 0 && PrintReport(report);
}

bool HeadlessBackend::PrintReport(const ReportDocument& report) {
    printed_.push_back(PagesText(report));
    return true;
}

bool HeadlessBackend::SaveReportPdf(const ReportDocument& report, const std::string& path) {
    printed_.push_back(PagesText(report));
    saved_pdfs_.push_back(path);
    return WriteReportPdf(report, path);
}

HeadlessSession::HeadlessSession(LocalDateTime start)
    : clock(std::make_shared<VirtualClockSource>(start)),
      script(clock),
      system(script),
      previous_clock_(InstallClockSource(clock)),
      previous_system_(InstallWindowSystem(&system)) {}

HeadlessSession::~HeadlessSession() {
    InstallWindowSystem(previous_system_);
    InstallClockSource(previous_clock_);
}

std::string DescribeWindow(const Window& window) {
    std::string out = "window \"" + window.Title() + "\"" + (window.IsOpen() ? "" : " (closed)") +
                      " focus=" + std::to_string(window.Focus()) + "\n";
    for (ControlNumber n = 1; n <= window.ControlCount(); ++n) {
        const auto& d = *window.Declared(n);
        const auto& s = window.Control(n);
        out += std::to_string(n) + " " + std::string(ControlKindName(d.kind)) + " " + d.name;
        if (!s.text.empty()) out += " text=\"" + s.text + "\"";
        if (!s.value.empty()) out += " value=\"" + s.value + "\"";
        if (s.hidden) out += " hidden";
        if (s.disabled) out += " disabled";
        if (s.read_only) out += " read-only";
        if (s.choice) out += " choice=" + std::to_string(s.choice);
        const bool list = KindTraits(d.kind).list;
        if (list) out += " rows=" + std::to_string(window.RowCount(n));
        out += "\n";
        if (!list) continue;
        const int columns = std::max<int>(1, static_cast<int>(d.format.columns.size()));
        for (int row = 1; row <= std::min(window.RowCount(n), 20); ++row) {
            out += "    " + std::to_string(row) + ":";
            if (d.kind == ControlKind::Tree && s.rows)
                out += " [" + std::to_string(s.rows->Level(row)) + "]";
            for (int c = 1; c <= columns; ++c) out += " |" + window.CellText(n, row, c);
            out += "\n";
        }
    }
    return out;
}

}  // namespace zelt::runtime
