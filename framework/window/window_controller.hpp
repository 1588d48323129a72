// WindowController: the base of every window procedure.
//
// It runs the window's life (Init, the event loop, Kill), routes each event to overridable
// handlers and to the registered components (browses, toolbar, resizer), and carries the
// standard behaviour of an update form: preparing the record for the request the form was
// opened with, saving on OK, the questions asked on cancel, "add another" after an insert,
// and the history ("ditto") key. A window procedure is opened with a request code and ends
// with a response code that its caller reads.
//
//   class UpdateAppsWindow : public WindowController {
//       Level Init() override {
//           if (Level l = WindowController::Init(); l != LevelOk) return l;
//           ... open tables, register browses, PrimeForm(), OpenWindow() ...
//       }
//   };
//   UpdateAppsWindow w(errors, Declaration());
//   ResponseCode r = w.Run();
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/error_reporter.hpp"
#include "framework/levels.hpp"
#include "framework/window/primary_record.hpp"
#include "framework/window/request_codes.hpp"
#include "framework/window/window_parts.hpp"
#include "runtime/window/window.hpp"

namespace zelt::framework {

// What a changed form does when it is cancelled.
enum class CancelBehaviour : std::uint8_t {
    CloseQuietly = 0,
    Save = 1,            // save as if OK was pressed
    AskLoseChanges = 2,  // "Changes will be lost!"
    AskSave = 3,         // "Save Record" with Yes, No, Cancel
};

// What follows a successful insert.
enum class InsertBehaviour : std::uint8_t {
    None = 0,  // the form is not prepared for an insert
    Close = 2,
    AddAnother = 3,
    AskAnother = 4,  // "Record Added": Yes adds another
};

// How a delete request is carried out.
enum class DeleteBehaviour : std::uint8_t {
    InForm = 0,     // the form shows the record; OK deletes it
    AskAtOnce = 2,  // delete before the form shows, confirming
    AtOnce = 4,     // delete before the form shows
};

// What a change request does beyond the base behaviour, which does not consult it.
enum class ChangeBehaviour : std::uint8_t {
    None = 0,
    Standard = 1,
};

// How a window procedure behaves. The base Init puts every field but ResetOnGainFocus back
// to its default, so a window sets these in its own Init, after the base Init.
struct WindowSettings {
    // After each event, reset the window when a component asks for it. Default: on.
    bool AutoRefresh = true;
    // The toolbar follows the focus. Default: on.
    bool AutoToolbar = true;
    // Cancelling a changed insert or change form. Default: AskSave.
    CancelBehaviour CancelAction = CancelBehaviour::AskSave;
    // Kept for windows that read it. Default: Standard.
    ChangeBehaviour ChangeAction = ChangeBehaviour::Standard;
    // A delete request. Default: AskAtOnce.
    DeleteBehaviour DeleteAction = DeleteBehaviour::AskAtOnce;
    // After a successful insert. Default: Close.
    InsertBehaviour InsertAction = InsertBehaviour::Close;
    // Force a reset when the window gets the focus back after losing it. Default: off.
    bool ResetOnGainFocus = false;
};

class WindowController {
  public:
    WindowController(ErrorReporter& errors, runtime::WindowDeclaration declaration,
                     std::string procedure_name = {});
    virtual ~WindowController();
    WindowController(const WindowController&) = delete;
    WindowController& operator=(const WindowController&) = delete;

    // ---- Settings and state -----------------------------------------------------------
    WindowSettings Settings;
    ErrorReporter& Errors;
    runtime::ControlNumber FirstField = 0;  // gets the focus on open and after a refused save
    int HistoryKey = 0;                     // key code of the history key; 0: none
    std::string LastInsertedPosition;
    runtime::ControlNumber OKControl = 0;
    RequestCode OriginalRequest = RequestNone;
    PrimaryRecord* Primary = nullptr;
    // The request; when still 0 as Run starts, the global request is taken over.
    RequestCode Request = RequestNone;
    ResponseCode Response = ResponseNone;
    SnapshotId Saved = 0;

    // Kill has run: the event loop and a second Kill do nothing.
    bool Dead() const { return dead_; }
    // The window is open (OpenWindow succeeded and Kill has not run).
    bool Opened() const { return opened_; }
    // OnFirstOpen has run.
    bool FirstOpenDone() const { return (inited_ & kInitedFirstOpen) != 0; }

    // ---- The life of the window ----------------------------------------------------------
    // Init, the event loop when Init gave LevelOk, Kill; the response (0 read as
    // cancelled), which is also left in the global response.
    virtual ResponseCode Run();
    virtual Level Init();
    virtual Level Kill();
    virtual void EventLoop();

    // ---- Registration -----------------------------------------------------------------
    // Components are not owned; they must live until Kill.
    virtual void AddComponent(WindowComponent& component);
    void AddButton(runtime::ControlNumber control, ResponseCode response);
    // A secondary table whose buffer the form keeps: snapshotted by PrimeForm.
    void AddUpdateFile(RecordSnapshots& file);
    // A field remembered for the history key: the control's bound variable.
    void AddHistoryField(runtime::ControlNumber control);
    void SetToolbar(ToolbarTarget* toolbar) { toolbar_ = toolbar; }
    void SetResizer(WindowResizer* resizer) { resizer_ = resizer; }
    void SetTranslator(WindowTranslator* translator) { translator_ = translator; }
    ToolbarTarget* Toolbar() const { return toolbar_; }

    // ---- Operations windows override -------------------------------------------------------
    virtual void OnFirstOpen();
    // Prepares the fields of a new record (the caller prepared the record itself, with its
    // automatic numbers); setting Response to ResponseCancelled refuses the insert.
    virtual void PrepareFields() {}
    // Prepares the record for the request; LevelFatal when the form must not show (the
    // insert could not be prepared, or the delete was carried out at once).
    virtual Level PrimeForm();
    virtual void Refresh(bool force = false);
    virtual void RecallField(runtime::ControlNumber control);
    // Runs update form `procedure` for a browse of this window; the base has none.
    virtual ResponseCode RunForm(std::uint16_t procedure, RequestCode request);
    virtual void UpdateComponents();
    virtual void SetResponse(ResponseCode response);
    virtual Level OnAccepted();
    virtual Level OnCompleted();
    virtual Level OnCloseEvent();
    virtual Level DispatchEvent();
    virtual Level OnFieldEvent() { return LevelOk; }
    virtual Level OnNewSelection() { return LevelOk; }
    virtual Level OnRejected() { return LevelOk; }
    // The focus moved: the toolbar follows it when Settings.AutoToolbar.
    virtual Level OnSelected();
    virtual Level OnWindowEvent();
    virtual void SetAlerts();

    // ---- The window -------------------------------------------------------------------
    runtime::Window& Window() { return window_; }
    const runtime::Window& Window() const { return window_; }
    // Opens the window (the window's own Init calls it, after PrimeForm); the history key
    // becomes an alert key of the history fields. False when it could not open.
    bool OpenWindow();
    const std::string& ProcedureName() const { return procedure_name_; }
    const std::vector<WindowComponent*>& Components() const { return components_; }

  protected:
    // Set by a window when it opened its tables, so that its Kill closes them.
    bool FilesOpened = false;

  private:
    struct ButtonEntry {
        runtime::ControlNumber control;
        ResponseCode response;
    };
    struct FileEntry {
        RecordSnapshots* file;
        SnapshotId snapshot;
    };
    struct HistoryEntry {
        runtime::ControlNumber control;
        std::optional<std::string> value;
    };

    Level CompleteInsert();
    Level CompleteChange();
    Level CompleteDelete();
    void StayOnFirstField();
    void StoreHistory();

    runtime::Window window_;
    std::string procedure_name_;
    std::vector<WindowComponent*> components_;
    std::vector<ButtonEntry> buttons_;
    std::vector<FileEntry> files_;
    std::vector<HistoryEntry> history_;
    ToolbarTarget* toolbar_ = nullptr;
    WindowResizer* resizer_ = nullptr;
    WindowTranslator* translator_ = nullptr;
    bool initialised_ = false;
    bool name_pushed_ = false;
    bool dead_ = false;
    bool opened_ = false;
    bool forced_reset_ = false;  // the next reset is forced
    std::uint8_t inited_ = 0;    // the bits below
    static constexpr std::uint8_t kInitedFirstOpen = 1;
    static constexpr std::uint8_t kInitedFirstSized = 2;
};

}  // namespace zelt::framework
