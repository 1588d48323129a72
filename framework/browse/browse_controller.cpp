#include "framework/browse/browse_controller.hpp"

#include <algorithm>
#include <climits>

#include "framework/error_ids.hpp"
#include "framework/query/query_history.hpp"
#include "runtime/window/key_codes.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::framework {

namespace ev = runtime::event;

void BrowseController::Init(WindowController& window, runtime::ControlNumber list, RecordView& view,
                            PrimaryRecord& primary, ErrorReporter& errors) {
    ViewManager::Init(view, primary, errors);
    window_ = &window;
    ListControl = list;
    window.AddComponent(*this);
    if (window.Request == RequestSelect) {
        selecting_ = true;
        Buffer = primary.SaveSnapshot();
    }
    window.Window().SetListSource(list, &source_);
}

void BrowseController::AddField(runtime::Binding field) {
    fields_.push_back(std::move(field));
}

int BrowseController::Items() const {
    if (VisibleRows > 0) return VisibleRows;
    if (window_) return std::max(1, window_->Window().VisibleRows(ListControl));
    return 10;
}

runtime::ListCell BrowseController::Cell(int row, int column) const {
    if (row < 1 || row > RowCount()) return {};
    const BrowseRow& r = rows_[static_cast<std::size_t>(row - 1)];
    if (cell_format_) return cell_format_(r, column);
    if (column < 1 || column > static_cast<int>(r.values.size())) return {};
    return runtime::ListCell(r.values[static_cast<std::size_t>(column - 1)]);
}

BrowseRow BrowseController::MakeRow() const {
    BrowseRow row;
    row.values.reserve(fields_.size());
    for (const auto& f : fields_) row.values.push_back(f.Read());
    row.position = View->Position();
    return row;
}

// ---- Filling and scrolling -----------------------------------------------------------------

int BrowseController::FillRows(FillDirection direction) {
    const bool forward = direction == FillDirection::Forward;
    const bool quick = Settings.QuickScan && ItemsToFill > 1 && Primary;
    if (quick) Primary->SetQuickScan(true);
    std::string edge;
    if (!rows_.empty()) {
        edge = forward ? rows_.back().position : rows_.front().position;
        if (View->ResetTo(edge) != runtime::err::NoError) {
            if (quick) Primary->SetQuickScan(false);
            return 0;
        }
    }
    const int capacity = Settings.FileLoaded ? INT_MAX : (LastItems > 0 ? LastItems : Items());
    bool skip = !edge.empty();
    int read = 0;
    while (ItemsToFill > 0) {
        const Level level = forward ? Next() : Previous();
        if (level == LevelNotify) break;
        if (level == LevelFatal) {
            window_->Window().Post(ev::CloseWindow);
            break;
        }
        if (skip) {
            skip = false;
            if (View->Position() == edge) continue;
        }
        BrowseRow row = MakeRow();
        if (forward) {
            if (static_cast<int>(rows_.size()) >= capacity) {
                rows_.erase(rows_.begin());
                --CurrentChoice;
            }
            rows_.push_back(std::move(row));
        } else {
            if (static_cast<int>(rows_.size()) >= capacity) rows_.pop_back();
            rows_.insert(rows_.begin(), std::move(row));
            ++CurrentChoice;
        }
        --ItemsToFill;
        ++read;
    }
    ItemsToFill = 0;
    if (quick) Primary->SetQuickScan(false);
    return read;
}

void BrowseController::ScrollOne(runtime::EventCode event) {
    CurrentEvent = event;
    const int loaded = RowCount();
    if (event == ev::ScrollUp) {
        if (CurrentChoice > 1) {
            --CurrentChoice;
        } else if (!Settings.FileLoaded) {
            ItemsToFill = 1;
            if (FillRows(FillDirection::Backward) > 0) --CurrentChoice;
        }
    } else {
        if (CurrentChoice < loaded) {
            ++CurrentChoice;
        } else if (!Settings.FileLoaded) {
            ItemsToFill = 1;
            if (FillRows(FillDirection::Forward) > 0) ++CurrentChoice;
        }
    }
    CurrentChoice = std::clamp(CurrentChoice, RowCount() > 0 ? 1 : 0, RowCount());
}

void BrowseController::ScrollPage(runtime::EventCode event) {
    CurrentEvent = event;
    const bool up = event == ev::PageUp;
    int n = Items();
    if (!Settings.FileLoaded) {
        ItemsToFill = n;
        n = FillRows(up ? FillDirection::Backward : FillDirection::Forward);
    }
    CurrentChoice = up ? std::max(1, CurrentChoice - n) : std::min(RowCount(), CurrentChoice + n);
    CurrentChoice = std::clamp(CurrentChoice, RowCount() > 0 ? 1 : 0, RowCount());
}

void BrowseController::ScrollEnd(runtime::EventCode event) {
    CurrentEvent = event;
    const bool top = event == ev::ScrollTop;
    if (!Settings.FileLoaded) {
        rows_.clear();
        CurrentChoice = 0;
        ResetView(false);
        ItemsToFill = Items();
        FillRows(top ? FillDirection::Forward : FillDirection::Backward);
    }
    CurrentChoice = rows_.empty() ? 0 : (top ? 1 : RowCount());
}

bool BrowseController::TakeToolbarButton(int control) {
    static constexpr runtime::EventCode kScrolls[] = {
        ev::ScrollBottom, ev::ScrollTop, ev::PageDown, ev::PageUp, ev::ScrollDown, ev::ScrollUp};
    if (control < 3005 || control > 3010) return false;
    const runtime::EventCode event = kScrolls[control - 3005];
    if (!rows_.empty()) {
        if (event == ev::ScrollUp || event == ev::ScrollDown)
            ScrollOne(event);
        else if (event == ev::PageUp || event == ev::PageDown)
            ScrollPage(event);
        else
            ScrollEnd(event);
        Show();
    }
    if (ToolbarTarget* toolbar = window_ ? window_->Toolbar() : nullptr) toolbar->Update();
    return true;
}

void BrowseController::Locate(char typed) {
    SortOrder& order = ActiveOrder();
    if (!order.Locator || !order.FreeElement.value.Writable()) return;
    auto same = [&](char c) {
        if (!order.LocatorNoCase) return c == typed;
        auto up = [](char x) {
            return (x >= 'a' && x <= 'z') ? static_cast<char>(x - 'a' + 'A') : x;
        };
        return up(c) == up(typed);
    };
    if (!rows_.empty()) {
        ScrollOne(ev::ScrollDown);
        UpdateBuffer();
        const std::string value = order.FreeElement.value.Read();
        if (!value.empty() && same(value.front())) {
            Show();
            return;
        }
    }
    order.FreeElement.value.Write(std::string(1, typed));
    Reload(kAtBuffer, {}, 1);
}

void BrowseController::UpdateBuffer() {
    if (CurrentChoice >= 1 && CurrentChoice <= RowCount()) {
        const BrowseRow& row = rows_[static_cast<std::size_t>(CurrentChoice - 1)];
        for (std::size_t i = 0; i < fields_.size() && i < row.values.size(); ++i)
            fields_[i].Write(row.values[i]);
    } else {
        for (const auto& f : fields_) f.Write({});
    }
}

void BrowseController::Show() {
    if (!window_) return;
    auto& w = window_->Window();
    w.RowsChanged(ListControl);
    w.SetChoice(ListControl, CurrentChoice);
    LastChoice = CurrentChoice;
    FillDistribution();  // before the buffer is set: it reads through the view
    UpdateBuffer();
    ShowThumb();
}

void BrowseController::ResetQueueFromStart() {
    Reload(kFromStart, {}, 1);
}
void BrowseController::ResetQueueAtBuffer() {
    Reload(kAtBuffer, {}, 1);
}
void BrowseController::ResetQueueAt(const std::string& position) {
    Reload(kAtPosition, position, CurrentChoice);
}

void BrowseController::Reload(int mode, const std::string& position, int row) {
    const int want = Settings.RetainRow && row > 1 ? row : 1;
    PrevChoice = CurrentChoice;
    rows_.clear();
    CurrentChoice = 0;
    if (Settings.FileLoaded) {
        std::string target = position;
        if (mode == kAtBuffer && ResetView(true) == LevelOk && Next() == LevelOk)
            target = View->Position();
        ResetView(false);
        ItemsToFill = INT_MAX;
        FillRows(FillDirection::Forward);
        CurrentChoice = rows_.empty() ? 0 : 1;
        for (std::size_t i = 0; i < rows_.size(); ++i)
            if (!target.empty() && rows_[i].position == target)
                CurrentChoice = static_cast<int>(i) + 1;
    } else {
        if (mode == kAtPosition) {
            ResetView(false);
            if (position.empty() || View->ResetTo(position) != runtime::err::NoError)
                View->SetAtBuffer();
        } else {
            ResetView(mode == kAtBuffer);
        }
        ItemsToFill = Items();
        FillRows(FillDirection::Forward);
        CurrentChoice = rows_.empty() ? 0 : 1;
        if (mode != kFromStart) {
            if (rows_.empty()) {
                // Nothing at or after the place: show the end of the list.
                ResetView(false);
                ItemsToFill = Items();
                FillRows(FillDirection::Backward);
                CurrentChoice = RowCount();
            } else {
                int back = want - 1;
                if (!Settings.AllowUnfilled) back = std::max(back, Items() - RowCount());
                if (back > 0) {
                    ItemsToFill = back;
                    FillRows(FillDirection::Backward);
                }
            }
        }
    }
    loaded_ = true;
    load_pending_ = false;
    need_refresh_ = false;
    Show();
    reset_values_ = CurrentResetValues();
    loaded_sort_ = ActiveNumber();
}

// ---- The window's component ------------------------------------------------------------------

std::vector<std::string> BrowseController::CurrentResetValues() const {
    std::vector<std::string> values;
    if (SortCount() == 0) return values;
    const SortOrder& order = const_cast<BrowseController*>(this)->ActiveOrder();
    for (const auto& r : order.Resets) values.push_back(r.Read());
    for (const auto& pair : order.RangeList) {
        values.push_back(pair.low ? pair.low.Read() : pair.field.value.Read());
        if (pair.high) values.push_back(pair.high.Read());
    }
    return values;
}

bool BrowseController::NeedsReset() {
    // A row in edit keeps the record it edits current: nothing is read meanwhile.
    if (killed_ || !window_ || edit_.active) return false;
    return load_pending_ || need_refresh_ ||
           (loaded_ && (ActiveNumber() != loaded_sort_ || CurrentResetValues() != reset_values_));
}

void BrowseController::Reset(bool force) {
    if (killed_ || !View || edit_.active) return;
    if (!Opened()) Open();
    if (!alerts_set_ && window_->Window().IsOpen()) SetAlerts();
    if (!loaded_) {
        if (Settings.StartAtCurrent)
            ResetQueueAtBuffer();
        else
            ResetQueueFromStart();
        return;
    }
    if (ActiveNumber() != loaded_sort_) {
        // Another sort order: the highlighted record stays highlighted in the new order.
        if (CurrentChoice >= 1 && CurrentChoice <= RowCount())
            View->Reget(rows_[static_cast<std::size_t>(CurrentChoice - 1)].position);
        ResetQueueAtBuffer();
    } else if (CurrentResetValues() != reset_values_) {
        // The range moved (a new parent record): start from the top of the new range.
        ResetQueueFromStart();
    } else if (force || load_pending_ || need_refresh_) {
        if (force) DataChanged();
        const std::string position =
            CurrentChoice >= 1 && CurrentChoice <= RowCount()
                ? rows_[static_cast<std::size_t>(CurrentChoice - 1)].position
                : std::string();
        ResetQueueAt(position);
    }
}

void BrowseController::UpdateWindow() {
    if (!window_) return;
    window_->Window().RowsChanged(ListControl);
    window_->Window().SetChoice(ListControl, CurrentChoice);
}

void BrowseController::SetAlerts() {
    auto& w = window_->Window();
    if (InsertControl) w.Alert(ListControl, runtime::key::Insert);
    if (ChangeControl) w.Alert(ListControl, runtime::key::CtrlEnter);
    if (DeleteControl) w.Alert(ListControl, runtime::key::Delete);
    if (ViewControl) w.Alert(ListControl, runtime::key::ShiftEnter);
    w.Alert(ListControl, runtime::key::MouseLeft2);
    w.Alert(ListControl, runtime::key::MouseRight);
    alerts_set_ = true;
}

void BrowseController::Kill() {
    if (killed_) return;
    closing_ = true;
    if (edit_.active) CancelEdit();
    FinishSelection();
    ViewManager::Kill();
    if (window_) window_->Window().SetListSource(ListControl, nullptr);
    rows_.clear();
    killed_ = true;
}

void BrowseController::FinishSelection() {
    if (!selecting_ || !Primary) return;
    if (window_->Response == ResponseCompleted) {
        Primary->RestoreSnapshot(Buffer, false);
        if (CurrentChoice >= 1 && CurrentChoice <= RowCount()) {
            if (Settings.SelectWholeRecord)
                View->Reget(rows_[static_cast<std::size_t>(CurrentChoice - 1)].position);
            else
                UpdateBuffer();
        }
    } else {
        Primary->RestoreSnapshot(Buffer, true);
    }
}

bool BrowseController::ButtonUsable(runtime::ControlNumber control) const {
    if (control == 0 || !window_) return false;
    const auto& w = window_->Window();
    return !w.IsDisabled(control) && !w.IsHidden(control);
}

void BrowseController::Act(runtime::ControlNumber control) {
    if (ButtonUsable(control)) window_->Window().Post(ev::Accepted, control);
}

Level BrowseController::HandleEvent() {
    if (killed_ || !window_) return LevelOk;
    auto& w = window_->Window();
    const runtime::EventCode event = w.Event();
    const runtime::ControlNumber field = w.Field();
    if (field == 0) return LevelOk;
    if (edit_.active) {
        if (field == ListControl && event == ev::AlertKey) {
            TakeEditKey(w.Keycode());
            return LevelNotify;
        }
        if ((field == ListControl && event == ev::NewSelection) ||
            (field != ListControl && event == ev::Selected)) {
            // The user went elsewhere while the row was in edit.
            const int clicked = field == ListControl ? w.Choice(ListControl) : 0;
            TakeEditText();
            if (Settings.FocusLossAction == EditAction::Save && SaveEdit() != LevelOk)
                return LevelNotify;
            if (Settings.FocusLossAction == EditAction::Cancel) CancelEdit();
            if (!edit_.active && clicked >= 1 && clicked <= RowCount()) {
                CurrentChoice = clicked;
                Show();
            }
            if (edit_.active) w.SetChoice(ListControl, edit_.row);
            return LevelNotify;
        }
    }
    if (field != ListControl) return event == ev::Accepted ? TakeAccepted(field) : LevelOk;
    switch (event) {
        case ev::ScrollUp:
        case ev::ScrollDown:
            if (!rows_.empty()) ScrollOne(event), Show();
            break;
        case ev::PageUp:
        case ev::PageDown:
            if (!rows_.empty()) ScrollPage(event), Show();
            break;
        case ev::ScrollTop:
        case ev::ScrollBottom:
            if (!rows_.empty()) ScrollEnd(event), Show();
            break;
        case ev::ScrollDrag:
            TakeThumb(w.Control(ListControl).thumb);
            break;
        case ev::Locate:
            Locate(static_cast<char>(w.KeyChar()));
            break;
        case ev::NewSelection:
            CurrentChoice = std::clamp(w.Choice(ListControl), 0, RowCount());
            Show();
            break;
        case ev::AlertKey:
            switch (w.Keycode()) {
                case runtime::key::Insert:
                    Act(InsertControl);
                    break;
                case runtime::key::CtrlEnter:
                    Act(ChangeControl);
                    break;
                case runtime::key::Delete:
                    Act(DeleteControl);
                    break;
                case runtime::key::ShiftEnter:
                    Act(ViewControl);
                    break;
                case runtime::key::MouseLeft2:
                    if (selecting_ && ButtonUsable(SelectControl))
                        Act(SelectControl);
                    else if (ButtonUsable(ChangeControl))
                        Act(ChangeControl);
                    else
                        Act(ViewControl);
                    break;
                case runtime::key::MouseRight:
                    ShowPopup();
                    break;
                default:
                    break;
            }
            break;
        default:
            break;
    }
    return LevelOk;
}

Level BrowseController::TakeAccepted(runtime::ControlNumber control) {
    if (control == 0) return LevelOk;
    if (control == InsertControl) {
        AskRecord(RequestInsert);
    } else if (control == ChangeControl) {
        AskRecord(RequestChange);
    } else if (control == DeleteControl) {
        AskRecord(RequestDelete);
    } else if (control == ViewControl) {
        AskRecord(RequestView);
    } else if (control == SelectControl) {
        if (rows_.empty()) return LevelNotify;
        window_->SetResponse(ResponseCompleted);
    } else if (control == PrintControl) {
        Print();
    } else if (control == QueryControl) {
        QueryRecords();
    } else if (control == ToolControl) {
        Toolbox();
    } else {
        return LevelOk;
    }
    return LevelNotify;
}

// ---- Record actions ---------------------------------------------------------------------------

Level BrowseController::PrepareRecord() {
    // A new record of a limited list belongs to the list's range (the parent it shows the
    // children of): the range's values are taken before the buffer is cleared and put into
    // the new record before its automatic numbers are reserved, which may depend on them.
    SortOrder& order = ActiveOrder();
    std::size_t primed = 0;
    if (order.Limit == LimitType::Between)
        primed = order.RangeList.empty() ? 0 : order.RangeList.size() - 1;
    else if (order.Limit != LimitType::None)
        primed = order.RangeList.size();
    if (primed == 0) return Primary->PrepareRecord(false) == LevelOk ? LevelOk : LevelNotify;
    std::vector<std::string> limits;
    for (std::size_t i = 0; i < primed; ++i) {
        const RangePair& pair = order.RangeList[i];
        limits.push_back(pair.low ? pair.low.Read() : pair.field.value.Read());
    }
    Primary->ClearRecord();
    for (std::size_t i = 0; i < primed; ++i) order.RangeList[i].field.value.Write(limits[i]);
    return Primary->PrepareRecord(true) == LevelOk ? LevelOk : LevelNotify;
}

void BrowseController::AskRecord(RequestCode request) {
    if (runtime::WindowSystem* system = runtime::CurrentWindowSystem();
        system && system->LastKeycode() == runtime::key::MouseLeft2)
        system->SetLastKeycode(0);
    for (;;) {
        if (ToolbarTarget* toolbar = window_->Toolbar()) toolbar->ClearNavigation();
        if (!AskProcedure) {
            // No update form: the list edits the record itself.
            if (request == RequestDelete)
                DeleteInList();
            else if (request == RequestInsert || request == RequestChange)
                EditRecord(request);
            return;
        }
        if (request != RequestInsert) {
            if (CurrentChoice < 1 || CurrentChoice > RowCount()) return;
            // The form works on the whole record, not only the columns the list carries.
            const std::string& position =
                rows_[static_cast<std::size_t>(CurrentChoice - 1)].position;
            if (View->Reget(position) != runtime::err::NoError) {
                Errors().SetFile(View->Name());
                Errors().Raise(msg::RetrievalError);
                load_pending_ = true;
                return;
            }
        } else if (PrepareRecord() != LevelOk) {
            ResetFromAsk(request, ResponseCancelled);
            return;
        }
        const ResponseCode response = window_->RunForm(AskProcedure, request);
        ResetFromAsk(request, response);
        ToolbarTarget* toolbar = window_->Toolbar();
        if (!toolbar || toolbar->PendingNavigation() == NavigationRequest::None) return;
        if (toolbar->PendingNavigation() == NavigationRequest::InsertAgain)
            request = RequestInsert;
        else
            Navigate(toolbar->PendingNavigation());
    }
}

void BrowseController::Navigate(NavigationRequest request) {
    if (rows_.empty()) return;
    switch (request) {
        case NavigationRequest::Next:
            ScrollOne(ev::ScrollDown);
            break;
        case NavigationRequest::Previous:
            ScrollOne(ev::ScrollUp);
            break;
        case NavigationRequest::First:
            ScrollEnd(ev::ScrollTop);
            break;
        case NavigationRequest::Last:
            ScrollEnd(ev::ScrollBottom);
            break;
        case NavigationRequest::PageDown:
            ScrollPage(ev::PageDown);
            break;
        case NavigationRequest::PageUp:
            ScrollPage(ev::PageUp);
            break;
        case NavigationRequest::None:
        case NavigationRequest::InsertAgain:
            return;
    }
    Show();
}

void BrowseController::ResetFromAsk(RequestCode request, ResponseCode response) {
    const int at = CurrentChoice;
    auto position_of = [this](int row) {
        return row >= 1 && row <= RowCount() ? rows_[static_cast<std::size_t>(row - 1)].position
                                             : std::string();
    };
    if (response == ResponseCompleted && request == RequestDelete) {
        // The deleted row's neighbour takes its place.
        std::string next = position_of(at + 1);
        if (next.empty()) next = position_of(at - 1);
        if (next.empty())
            ResetQueueFromStart();
        else
            ResetQueueAt(next);
    } else if (response == ResponseCompleted && request != RequestView) {
        // Around the record the form left in the buffer, on the same row of the list.
        Reload(kAtBuffer, {}, at);
    } else {
        ResetQueueAt(position_of(at));
    }
}

std::vector<BrowseController::PopupChoice> BrowseController::PopupChoices() {
    std::vector<PopupChoice> choices;
    auto button = [&](runtime::ControlNumber control, const char* text) {
        if (control != 0)
            choices.push_back({text, ButtonUsable(control), [this, control] { Act(control); }});
    };
    button(InsertControl, "&Insert");
    button(ChangeControl, "&Change");
    button(DeleteControl, "&Delete");
    button(ViewControl, "&View");
    button(PrintControl, "&Print");
    if (Query) {
        // The recently used queries, then a way back to the whole list.
        const std::vector<std::string> recent =
            Query->History() ? Query->History()->Queries() : std::vector<std::string>();
        for (std::size_t i = 0; i < recent.size(); ++i) {
            const std::string number = i + 1 < 10 ? "&" + std::to_string(i + 1) : "1&0";
            choices.push_back({number + " " + QueryBuilder::Describe(recent[i]), true,
                               [this, saved = recent[i]] { TakeSavedQuery(saved); }});
        }
        choices.push_back({"C&lear Query", QueryApplied(), [this] { ClearQueryFilter(); }});
    }
    const std::size_t first_group = choices.size();
    if (QueryControl != 0)
        button(QueryControl, "&Query");
    else if (Query)
        choices.push_back({"&Query", true, [this] { QueryRecords(); }});
    if (selecting_) button(SelectControl, "&Select");
    button(ToolControl, "&Toolbox");
    if (first_group > 0 && choices.size() > first_group)
        choices.insert(choices.begin() + static_cast<std::ptrdiff_t>(first_group),
                       PopupChoice{"-", true, {}});
    return choices;
}

std::string BrowseController::PopupText() {
    std::string text;
    for (const PopupChoice& c : PopupChoices()) {
        if (!text.empty()) text += "|";
        if (!c.enabled) text += "~";
        text += c.text;
    }
    return text;
}

void BrowseController::ShowPopup() {
    std::vector<PopupChoice> choices = PopupChoices();
    if (choices.empty()) return;
    const std::string text = PopupText();
    const int chosen = runtime::Popup(text);
    // Choices are numbered over the entries that are no separators.
    int number = 0;
    for (const PopupChoice& c : choices) {
        if (c.text == "-") continue;
        if (++number == chosen) {
            if (c.enabled && c.act) c.act();
            return;
        }
    }
}

void BrowseController::Print() {
    if (!print_hook_) return;
    // The report starts from the highlighted record, read whole.
    if (CurrentChoice >= 1 && CurrentChoice <= RowCount())
        View->Reget(rows_[static_cast<std::size_t>(CurrentChoice - 1)].position);
    print_hook_(*this, PrintProcedure);
}

void BrowseController::Toolbox() {
    if (toolbox_hook_) toolbox_hook_(*this);
}

}  // namespace zelt::framework
