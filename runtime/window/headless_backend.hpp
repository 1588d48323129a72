// The scripted window backend for tests: nothing is shown, a script plays the user.
//
// A test queues, in order, what the user does (press a button, type into an entry, select
// a row, press a key, close a window, let time pass) and how each coming message box,
// popup, chooser and report preview is answered. Whenever a window waits for input the
// next step is played; when a message box or chooser comes up, the next step must answer
// it. Anything else is a failure that names what happened (an unexpected message box fails
// with its text) and halts the window system, so that no test hangs.
//
// Time is virtual: when the script has no step left (or only the answer to something still
// to come) and a window waits for its timer, the virtual clock jumps to the timer (up to a
// limit), so a five-minute wait takes no time.
// Everything shown is recorded: messages, popups, choosers, previews, beeps, sounds.
//
//   HeadlessSession s;                      // virtual clock + backend + window system
//   s.script.Press(Ctl::Tag);
//   s.script.AnswerMessage(button::Yes).Expecting("entirely sure");
//   s.script.CloseBox();
//   RunMainWindow();
//   EXPECT_TRUE(s.script.Failures().empty());
#pragma once

#include <concepts>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "runtime/report/report_document.hpp"
#include "runtime/report/report_pdf.hpp"
#include "runtime/values/clock_source.hpp"
#include "runtime/window/window.hpp"
#include "runtime/window/window_backend.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::runtime {

// A control named by its number (or a window's control enum) or by its name ("?Insert").
struct ControlRef {
    int number = 0;
    std::string name;
    ControlRef(int n) : number(n) {}  // NOLINT: implicit on purpose
    ControlRef(const char* n) : name(n) {}
    ControlRef(std::string n) : name(std::move(n)) {}
    template <class E>
    requires std::is_enum_v<E> ControlRef(E e) : number(static_cast<int>(e)) {}
    ControlNumber Resolve(const Window& window) const;
    std::string Describe() const;
};

enum class StepKind {
    Press,
    Type,
    Change,
    SelectRow,
    Key,
    Char,
    DoubleClick,
    Expand,
    Contract,
    Thumb,
    Focus,
    CloseBox,
    Resize,
    AdvanceMs,
    Run,
    AnswerMessage,
    ChoosePopup,
    ChooseFile,
    ChooseDirectory,
    AnswerPreview,
};

struct ScriptStep {
    StepKind kind = StepKind::Press;
    std::optional<ControlRef> control;
    std::string window;       // title of the window acted on; empty = the waiting window
    std::string text;         // typed text, chosen file, popup entry text
    std::int64_t number = 0;  // row, key, button, popup number, milliseconds, percent, width
    std::int64_t second = 0;  // height
    bool cancel = false;      // a chooser cancelled
    std::string expect;       // a message box's text must contain this
    std::function<void()> run;

    // The window this step acts on, by its title.
    ScriptStep& In(std::string title) {
        window = std::move(title);
        return *this;
    }
    // For message answers: the text shown must contain `part`.
    ScriptStep& Expecting(std::string part) {
        expect = std::move(part);
        return *this;
    }
};

struct ShownMessage {
    MessageRequest request;
    int answer = 0;
};

struct ShownChooser {
    std::string title;
    bool directory = false;
    std::optional<std::string> answer;
    std::vector<FileFilter> filters;  // a file chooser's, in order
};

class HeadlessBackend final : public WindowBackend {
  public:
    explicit HeadlessBackend(std::shared_ptr<VirtualClockSource> clock);

    // ---- The script ------------------------------------------------------------------
    ScriptStep& Press(ControlRef control);
    ScriptStep& Type(ControlRef control, std::string text);
    ScriptStep& Change(ControlRef control, std::string text);  // spin arrows
    ScriptStep& SelectRow(ControlRef control, int row);
    ScriptStep& Key(ControlRef control, int keycode);
    ScriptStep& Char(ControlRef control, char c);
    ScriptStep& DoubleClick(ControlRef control, int row);
    ScriptStep& Expand(ControlRef control, int row);
    ScriptStep& Contract(ControlRef control, int row);
    ScriptStep& Thumb(ControlRef control, int percent);
    ScriptStep& Focus(ControlRef control);
    ScriptStep& CloseBox();
    // The user gives the window a new size (Sized follows).
    ScriptStep& Resize(int width, int height);
    ScriptStep& AdvanceMs(std::int64_t ms);
    // Runs a function while the window waits (look at the state, change the world).
    ScriptStep& Run(std::function<void()> fn);
    ScriptStep& AnswerMessage(int button);
    ScriptStep& ChoosePopup(int number);
    ScriptStep& ChoosePopup(std::string entry_text);
    ScriptStep& ChooseFile(std::string path);
    ScriptStep& ChooseDirectory(std::string path);
    ScriptStep& CancelChooser();
    ScriptStep& AnswerPreview(bool print);
    // The user saves the previewed pages as a PDF file and closes the preview unprinted.
    ScriptStep& AnswerPreviewSavingPdf(std::string path);

    std::size_t StepsLeft() const { return steps_.size(); }

    // ---- What happened ---------------------------------------------------------------
    const std::vector<ShownMessage>& Messages() const { return messages_; }
    const std::vector<std::vector<std::string>>& Popups() const { return popups_; }
    const std::vector<ShownChooser>& Choosers() const { return choosers_; }
    // Every report previewed, printed or saved, as the text of its pages. A saved report is
    // written through the installed PDF writer (runtime/report/report_pdf.hpp).
    const std::vector<std::vector<std::vector<std::string>>>& Previews() const { return previews_; }
    const std::vector<std::vector<std::vector<std::string>>>& Printed() const { return printed_; }
    const std::vector<std::string>& SavedPdfs() const { return saved_pdfs_; }
    int Beeps() const { return beeps_; }
    const std::vector<std::string>& Activations() const { return activations_; }
    const std::vector<std::string>& Sounds() const { return sounds_; }
    bool Busy() const { return busy_; }
    const std::vector<std::string>& Failures() const { return failures_; }

    // Called with each failure (tests pass one that fails the test); by default failures
    // are only collected.
    void SetFailureHandler(std::function<void(const std::string&)> handler) {
        on_failure_ = std::move(handler);
    }
    // Lets the virtual clock jump to a waiting timer when the script has no step left.
    void SetIdleAdvance(bool on) { idle_advance_ = on; }
    // Total virtual time the idle jumps may take before the test fails (default 24 hours).
    void SetIdleLimitMs(std::int64_t ms) { idle_limit_ms_ = ms; }

    VirtualClockSource& Clock() { return *clock_; }

    // ---- WindowBackend ----------------------------------------------------------------
    void WindowOpened(Window& window) override;
    void WindowClosed(Window& window) override;
    void ControlChanged(Window& window, ControlNumber control) override;
    void FocusChanged(Window& window, ControlNumber control) override;
    void WaitForInput(Window& window, std::optional<std::int64_t> deadline_ms) override;
    // Plays the next step only when it names this window by its title: a script drives a
    // polled window explicitly, and every other step waits for the window it was meant for.
    void PollInput(Window& window) override;
    void EventQueued(Window& window) override;
    void Halted() override {}
    int ShowMessage(const MessageRequest& request) override;
    int ShowPopup(const PopupMenu& menu) override;
    std::optional<std::string> ChooseFile(const FileChooserRequest& request) override;
    std::optional<std::string> ChooseDirectory(const DirectoryChooserRequest& request) override;
    void Beep() override { ++beeps_; }
    void Activate(Window& window) override;
    void SetBusyCursor(bool busy) override { busy_ = busy; }
    void PlaySound(const std::string& file) override { sounds_.push_back(file); }
    bool PreviewReport(const ReportDocument& report) override;
    bool PrintReport(const ReportDocument& report) override;
    bool SaveReportPdf(const ReportDocument& report, const std::string& path) override;

  private:
    ScriptStep& Add(StepKind kind);
    // A step addressed to a control, with its row, key code or percentage.
    ScriptStep& AddForControl(StepKind kind, ControlRef c, std::int64_t number = 0);
    void Fail(const std::string& what);
    void PlayUserStep(Window& waiting, const ScriptStep& step);
    std::optional<ScriptStep> TakeAnswer(StepKind kind, const std::string& what);
    std::optional<std::string> Choose(const std::string& title, bool directory,
                                      std::vector<FileFilter> filters = {});

    std::shared_ptr<VirtualClockSource> clock_;
    std::deque<ScriptStep> steps_;
    std::vector<ShownMessage> messages_;
    std::vector<std::vector<std::string>> popups_;
    std::vector<ShownChooser> choosers_;
    std::vector<std::vector<std::vector<std::string>>> previews_;
    std::vector<std::vector<std::vector<std::string>>> printed_;
    std::vector<std::string> saved_pdfs_;
    std::vector<std::string> activations_;
    std::vector<std::string> sounds_;
    std::vector<std::string> failures_;
    std::function<void(const std::string&)> on_failure_;
    int beeps_ = 0;
    bool busy_ = false;
    bool idle_advance_ = true;
    std::int64_t idle_limit_ms_ = 24LL * 3600 * 1000;
    std::int64_t idle_spent_ms_ = 0;
};

// A virtual clock, a headless backend and a window system, installed for a scope.
class HeadlessSession {
  public:
    explicit HeadlessSession(LocalDateTime start = {2026, 12, 7, 9, 0, 0, 0});
    ~HeadlessSession();
    HeadlessSession(const HeadlessSession&) = delete;
    HeadlessSession& operator=(const HeadlessSession&) = delete;

    std::shared_ptr<VirtualClockSource> clock;
    HeadlessBackend script;
    WindowSystem system;

  private:
    std::shared_ptr<const ClockSource> previous_clock_;
    WindowSystem* previous_system_;
};

// A window's whole state as text, one control a line ("3 list ?List choice=2 rows=5"),
// with the first rows of each list as shown.
std::string DescribeWindow(const Window& window);

}  // namespace zelt::runtime
