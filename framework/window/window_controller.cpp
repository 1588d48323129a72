#include "framework/window/window_controller.hpp"

#include <utility>

#include "framework/error_ids.hpp"
#include "runtime/window/key_codes.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::framework {

namespace ev = runtime::event;

WindowController::WindowController(ErrorReporter& errors, runtime::WindowDeclaration declaration,
                                   std::string procedure_name)
    : Errors(errors), window_(std::move(declaration)), procedure_name_(std::move(procedure_name)) {}

WindowController::~WindowController() = default;

// ---- Life -------------------------------------------------------------------------------

ResponseCode WindowController::Run() {
    if (Request == RequestNone) Request = GlobalRequest();
    GlobalRequest() = RequestNone;
    if (!procedure_name_.empty()) {
        Errors.SetProcedureName(procedure_name_);
        name_pushed_ = true;
    }
    if (Init() == LevelOk) EventLoop();
    Kill();
    if (name_pushed_) {
        Errors.SetProcedureName();
        name_pushed_ = false;
    }
    const ResponseCode response = Response == ResponseNone ? ResponseCancelled : Response;
    GlobalResponse() = response;
    return response;
}

Level WindowController::Init() {
    OriginalRequest = Request;
    const bool reset_on_gain_focus = Settings.ResetOnGainFocus;
    Settings = WindowSettings{};
    Settings.ResetOnGainFocus = reset_on_gain_focus;
    // A double click or the key that opened this window must not act again in it.
    if (runtime::WindowSystem* system = runtime::CurrentWindowSystem()) {
        const int opener = system->LastKeycode();
        if (opener == runtime::key::MouseRight || opener == runtime::key::MouseLeft2)
            system->SetLastKeycode(0);
    }
    components_.clear();
    buttons_.clear();
    initialised_ = true;
    return LevelOk;
}

bool WindowController::OpenWindow() {
    if (!window_.Open()) return false;
    opened_ = true;
    if (HistoryKey != 0) {
        for (const HistoryEntry& h : history_) window_.Alert(h.control, HistoryKey);
    }
    return true;
}

Level WindowController::Kill() {
    if (dead_ || !initialised_) return LevelNotify;
    auto components = std::move(components_);
    components_.clear();
    for (WindowComponent* c : components) c->Kill();
    buttons_.clear();
    history_.clear();
    for (FileEntry& f : files_) f.file->RestoreSnapshot(f.snapshot, false);
    files_.clear();
    if (Primary && Saved != 0) Primary->RestoreSnapshot(Saved, false);
    if (toolbar_) toolbar_->Kill();
    if (resizer_) resizer_->Kill();
    if (window_.IsOpen()) window_.Close();
    opened_ = false;
    dead_ = true;
    return LevelOk;
}

void WindowController::EventLoop() {
    if (dead_) return;
    LastInsertedPosition.clear();
    while (window_.Accept()) {
        const Level level = DispatchEvent();
        if (level == LevelFatal) break;
        if (level == LevelNotify) window_.Cycle();
    }
}

// ---- Registration -------------------------------------------------------------------------

void WindowController::AddComponent(WindowComponent& component) {
    components_.push_back(&component);
}

void WindowController::AddButton(runtime::ControlNumber control, ResponseCode response) {
    buttons_.push_back({control, response});
}

void WindowController::AddUpdateFile(RecordSnapshots& file) {
    files_.push_back({&file, 0});
}

void WindowController::AddHistoryField(runtime::ControlNumber control) {
    history_.push_back({control, std::nullopt});
}

// ---- Events -------------------------------------------------------------------------------

Level WindowController::DispatchEvent() {
    const runtime::EventCode code = window_.Event();
    const runtime::ControlNumber field = window_.Field();
    Level level = LevelOk;
    if (field == 0) {
        level = OnWindowEvent();
        if (level != LevelOk) return level;
    }
    switch (code) {
        case ev::Accepted:
            level = OnAccepted();
            break;
        case ev::Rejected:
            level = OnRejected();
            break;
        case ev::Selected:
            level = OnSelected();
            break;
        case ev::NewSelection:
            level = OnNewSelection();
            break;
        case ev::AlertKey:
            if (HistoryKey != 0 && window_.Keycode() == HistoryKey) RecallField(window_.Focus());
            break;
        default:
            break;
    }
    if (level != LevelOk) return level;
    if (field != 0) {
        level = OnFieldEvent();
        if (level != LevelOk) return level;
    }
    for (WindowComponent* c : components_) {
        level = c->HandleEvent();
        if (level != LevelOk) return level;
    }
    if (Settings.AutoRefresh) {
        for (WindowComponent* c : components_) {
            if (c->NeedsReset()) {
                Refresh(false);
                break;
            }
        }
    }
    return LevelOk;
}

Level WindowController::OnWindowEvent() {
    switch (window_.Event()) {
        case ev::OpenWindow:
            if (!(inited_ & kInitedFirstOpen)) OnFirstOpen();
            if (FirstField != 0) window_.Select(FirstField);
            break;
        case ev::LoseFocus:
            if (Settings.ResetOnGainFocus) forced_reset_ = true;
            break;
        case ev::GainFocus:
            if (inited_ & kInitedFirstOpen)
                Refresh(false);
            else
                OnFirstOpen();
            break;
        case ev::Sized:
            if (resizer_) resizer_->Resize(window_);
            if (!(inited_ & kInitedFirstSized))
                inited_ |= kInitedFirstSized;
            else
                Refresh(false);
            break;
        case ev::Completed:
            return OnCompleted();
        case ev::CloseWindow:
        case ev::CloseDown:
            return OnCloseEvent();
        default:
            break;
    }
    return LevelOk;
}

void WindowController::OnFirstOpen() {
    if (translator_) translator_->TranslateWindow(window_);
    Refresh(false);
    inited_ |= kInitedFirstOpen;
}

void WindowController::Refresh(bool force) {
    force = force || forced_reset_;
    forced_reset_ = false;
    for (WindowComponent* c : components_) c->Reset(force);
    for (WindowComponent* c : components_) c->UpdateWindow();
    if (window_.IsOpen()) window_.Display();
}

void WindowController::UpdateComponents() {
    for (WindowComponent* c : components_) c->Update();
}

void WindowController::SetAlerts() {
    for (WindowComponent* c : components_) c->SetAlerts();
}

Level WindowController::OnAccepted() {
    const runtime::ControlNumber field = window_.Field();
    if (toolbar_) {
        if (field == kToolbarHistoryButton) {
            RecallField(window_.Focus());
            return LevelNotify;
        }
        if (Level level = toolbar_->TakeAccepted(field); level != LevelOk) return level;
    }
    for (const ButtonEntry& b : buttons_) {
        if (b.control == field) {
            SetResponse(b.response);
            return LevelNotify;
        }
    }
    if (OKControl != 0 && field == OKControl) {
        if (OriginalRequest == RequestInsert || OriginalRequest == RequestChange)
            window_.AcceptAll();
        else
            window_.Post(ev::Completed);
    }
    return LevelOk;
}

Level WindowController::OnSelected() {
    if (Settings.AutoToolbar && toolbar_) toolbar_->Update();
    return LevelOk;
}

void WindowController::SetResponse(ResponseCode response) {
    Response = response;
    window_.Post(ev::CloseWindow);
    if (response == ResponseCancelled && toolbar_) toolbar_->ClearNavigation();
}

ResponseCode WindowController::RunForm(std::uint16_t procedure, RequestCode request) {
    (void)procedure;
    (void)request;
    return ResponseCancelled;
}

void WindowController::RecallField(runtime::ControlNumber control) {
    for (const HistoryEntry& h : history_) {
        if (h.control != control || !h.value) continue;
        const auto* declared = window_.Declared(control);
        if (!declared || !declared->use.Writable()) return;
        declared->use.Write(*h.value);
        window_.Display(control);
        return;
    }
}

void WindowController::StoreHistory() {
    for (HistoryEntry& h : history_) {
        const auto* declared = window_.Declared(h.control);
        if (declared && declared->use) h.value = declared->use.Read();
    }
}

void WindowController::StayOnFirstField() {
    if (FirstField != 0) window_.Select(FirstField);
}

// ---- The update form ----------------------------------------------------------------------

Level WindowController::PrimeForm() {
    if (!Primary) return LevelOk;
    Primary->EnsureOpen();
    Primary->SaveLinks();
    for (FileEntry& f : files_) f.snapshot = f.file->SaveSnapshot();
    const DeleteBehaviour delete_action = Settings.DeleteAction;
    if (Request == RequestInsert && Settings.InsertAction != InsertBehaviour::None) {
        Response = ResponseCompleted;
        PrepareFields();
        if (Response == ResponseCancelled) return LevelFatal;
        Response = ResponseCancelled;
    } else if (Request == RequestDelete && (delete_action == DeleteBehaviour::AskAtOnce ||
                                            delete_action == DeleteBehaviour::AtOnce)) {
        const bool ask = delete_action == DeleteBehaviour::AskAtOnce;
        Response = Primary->Delete(ask) == LevelOk ? ResponseCompleted : ResponseCancelled;
        return LevelFatal;
    }
    Saved = Primary->SaveSnapshot();
    return LevelOk;
}

Level WindowController::OnCompleted() {
    StoreHistory();
    if (!Primary) return LevelOk;
    switch (Request) {
        case RequestInsert:
            return CompleteInsert();
        case RequestChange:
            return CompleteChange();
        case RequestDelete:
            return CompleteDelete();
        default:
            // A form opened to look at a record: OK closes it without touching the record.
            window_.Post(ev::CloseWindow);
            return LevelOk;
    }
}

Level WindowController::CompleteInsert() {
    if (Primary->Insert() != LevelOk) {
        StayOnFirstField();
        return LevelNotify;
    }
    InsertBehaviour action = Settings.InsertAction;
    if (action == InsertBehaviour::AskAnother) {
        if (Errors.Raise(msg::AddAnother) == LevelOk) {
            action = InsertBehaviour::AddAnother;
        } else {
            SetResponse(ResponseCompleted);
            return LevelOk;
        }
    }
    if (action == InsertBehaviour::Close) {
        SetResponse(ResponseCompleted);
    } else if (action == InsertBehaviour::AddAnother) {
        LastInsertedPosition = Primary->Position();
        for (FileEntry& f : files_) {
            f.file->RestoreSnapshot(f.snapshot, true);
            f.snapshot = f.file->SaveSnapshot();
        }
        Primary->RestoreSnapshot(Saved, true);
        if (Primary->EnsureOpen() != LevelOk || Primary->ReserveAutoNumber() != LevelOk) {
            window_.Post(ev::CloseWindow);
            return LevelOk;
        }
        PrepareFields();
        Response = ResponseCancelled;
        Saved = Primary->SaveSnapshot();
        window_.Display();
        StayOnFirstField();
    }
    return LevelOk;
}

Level WindowController::CompleteChange() {
    Response = ResponseCancelled;
    for (;;) {
        bool written = false;
        Level level = LevelOk;
        {
            runtime::BusyCursor busy;
            if (!Primary->SameAsSnapshot(Saved)) {
                written = true;
                level = Primary->Update(HistoryKey != 0);
            }
        }
        if (level == LevelOk) {
            if (written || (toolbar_ && toolbar_->PendingNavigation() == NavigationRequest::None))
                Response = ResponseCompleted;
            window_.Post(ev::CloseWindow);
            return LevelOk;
        }
        if (level == LevelAsk) {
            const auto answer = Errors.AskMessage(
                msg::RetryPut, button::Yes | button::No | button::Cancel, button::Cancel);
            if (answer == button::Yes) continue;
            if (answer == button::No) {
                window_.Post(ev::CloseWindow);
                return LevelOk;
            }
        }
        window_.Display();
        StayOnFirstField();
        return LevelNotify;
    }
}

Level WindowController::CompleteDelete() {
    Response = ResponseCancelled;
    // The confirmation is asked here rather than by the tracker, so that declining it
    // leaves the form as it was instead of reading as a failed deletion.
    if (Settings.DeleteAction == DeleteBehaviour::AskAtOnce &&
        Errors.Raise(msg::ConfirmDelete) != LevelOk) {
        StayOnFirstField();
        return LevelNotify;
    }
    for (;;) {
        Level level;
        {
            runtime::BusyCursor busy;
            level = Primary->Delete(false);
        }
        if (level == LevelOk) {
            SetResponse(ResponseCompleted);
            return LevelOk;
        }
        const auto answer = Errors.AskMessage(
            msg::RetryDelete, button::Yes | button::No | button::Cancel, button::Cancel);
        if (answer == button::Yes) continue;
        if (answer == button::No) {
            window_.Post(ev::CloseWindow);
            return LevelOk;
        }
        window_.Display();
        StayOnFirstField();
        return LevelNotify;
    }
}

Level WindowController::OnCloseEvent() {
    if (Response == ResponseCompleted || !Primary) return LevelOk;
    const bool editing = Request == RequestInsert || Request == RequestChange;
    if (Settings.CancelAction != CancelBehaviour::CloseQuietly && editing && Saved != 0 &&
        !Primary->SameAsSnapshot(Saved)) {
        switch (Settings.CancelAction) {
            case CancelBehaviour::AskSave: {
                const auto answer = Errors.AskMessage(
                    msg::SaveRecord, button::Yes | button::No | button::Cancel, button::Cancel);
                if (answer == button::No) break;
                if (answer == button::Yes && OKControl != 0)
                    window_.Post(ev::Accepted, OKControl);
                else
                    StayOnFirstField();
                return LevelNotify;
            }
            case CancelBehaviour::Save:
                if (OKControl != 0) {
                    window_.Post(ev::Accepted, OKControl);
                    return LevelNotify;
                }
                break;
            case CancelBehaviour::AskLoseChanges:
                if (Errors.Raise(msg::ConfirmCancel) != LevelOk) {
                    StayOnFirstField();
                    return LevelNotify;
                }
                break;
            default:
                break;
        }
    }
    if (OriginalRequest == RequestInsert && Response != ResponseCompleted) {
        if (Primary->ReleaseAutoNumber() != LevelOk) {
            StayOnFirstField();
            return LevelNotify;
        }
    }
    if (!LastInsertedPosition.empty()) {
        Response = ResponseCompleted;
        Primary->Reread(LastInsertedPosition);
    }
    return LevelOk;
}

}  // namespace zelt::framework
