// BrowseController: records changed in the list itself (edit in place), for a browse
// without an update form.
#include <algorithm>
#include <optional>

#include "framework/browse/browse_controller.hpp"
#include "framework/error_ids.hpp"
#include "runtime/window/key_codes.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::framework {

namespace key = runtime::key;

bool BrowseController::EditRecord(RequestCode request) {
    if (EditList.empty() || !window_ || !Primary || edit_.active || killed_) return false;
    if (request != RequestInsert && request != RequestChange) return false;
    EditState edit;
    edit.request = request;
    const bool on_row = CurrentChoice >= 1 && CurrentChoice <= RowCount();
    if (on_row) edit.position = rows_[static_cast<std::size_t>(CurrentChoice - 1)].position;
    if (request == RequestChange) {
        if (!on_row) return false;
        // The row is edited over the whole record, as it is stored now.
        if (View->Reget(edit.position) != runtime::err::NoError) {
            Errors().SetFile(View->Name());
            Errors().Raise(msg::RetrievalError);
            load_pending_ = true;
            return false;
        }
        edit.row = CurrentChoice;
    } else {
        if (PrepareRecord() != LevelOk) {
            ResetFromAsk(RequestInsert, ResponseCancelled);
            return false;
        }
        // The new row takes the place of the highlighted one, which moves down.
        BrowseRow row = MakeRow();
        row.position.clear();
        int at = on_row ? CurrentChoice : RowCount() + 1;
        if (RowCount() >= Items() && RowCount() > 0) {
            rows_.pop_back();
            at = std::min(at, RowCount() + 1);
        }
        rows_.insert(rows_.begin() + (at - 1), std::move(row));
        CurrentChoice = at;
        edit.row = at;
    }
    edit.snapshot = Primary->SaveSnapshot();
    edit.active = true;
    edit_ = std::move(edit);
    auto& w = window_->Window();
    w.RowsChanged(ListControl);
    w.SetChoice(ListControl, CurrentChoice);
    EditColumn(0);
    return true;
}

void BrowseController::EditColumn(std::size_t index) {
    if (index >= EditList.size()) return;
    edit_.column = index;
    const int column = EditList[index];
    const std::string text = column >= 1 && column <= static_cast<int>(fields_.size())
                                 ? fields_[static_cast<std::size_t>(column - 1)].Read()
                                 : std::string();
    window_->Window().EditCell(ListControl, edit_.row, column, text);
}

void BrowseController::TakeEditText() {
    const int column = EditList.at(edit_.column);
    if (column < 1 || column > static_cast<int>(fields_.size())) return;
    const runtime::Binding& field = fields_[static_cast<std::size_t>(column - 1)];
    // Text the field cannot hold is refused as it is typed; the field keeps its value.
    const std::string& typed = window_->Window().EditText(ListControl);
    if (const std::optional<std::string> refusal = field.Refusal(typed)) {
        runtime::Message(*refusal, "Invalid Input", runtime::StockIcon::Exclamation);
    } else {
        field.Write(typed);
    }
    // The row shows what the field now holds.
    if (edit_.row >= 1 && edit_.row <= RowCount()) {
        auto& values = rows_[static_cast<std::size_t>(edit_.row - 1)].values;
        if (static_cast<std::size_t>(column) <= values.size())
            values[static_cast<std::size_t>(column - 1)] = field.Read();
        window_->Window().RowsChanged(ListControl);
    }
}

void BrowseController::TakeEditKey(int keycode) {
    TakeEditText();
    const std::size_t column = edit_.column;
    switch (keycode) {
        case key::Escape:
            CancelEdit();
            break;
        case key::Enter:
            if (Settings.EnterAction == EditAction::Save) {
                SaveEdit();
            } else if (Settings.EnterAction == EditAction::Next) {
                if (column + 1 < EditList.size())
                    EditColumn(column + 1);
                else
                    SaveEdit();
            }
            break;
        case key::Tab:
            if (Settings.TabAction == EditAction::Next && column + 1 < EditList.size())
                EditColumn(column + 1);
            else if (Settings.TabAction != EditAction::Ignore)
                SaveEdit();
            break;
        case key::Shift + key::Tab:
            if (Settings.TabAction == EditAction::Next && column > 0) EditColumn(column - 1);
            break;
        case key::Up:
        case key::Down: {
            if (Settings.ArrowAction == EditAction::Ignore || SaveEdit() != LevelOk ||
                Settings.ArrowAction != EditAction::Next)
                break;
            // Go on editing the neighbouring row, in the same column.
            const int before = CurrentChoice;
            ScrollOne(keycode == key::Up ? runtime::event::ScrollUp : runtime::event::ScrollDown);
            Show();
            if (CurrentChoice != before && EditRecord(RequestChange)) EditColumn(column);
            break;
        }
        default:
            break;
    }
}

Level BrowseController::SaveEdit() {
    if (!edit_.active) return LevelOk;
    Level level = LevelOk;
    if (edit_.request == RequestInsert)
        level = Primary->Insert();
    else if (!Primary->SameAsSnapshot(edit_.snapshot))
        level = Primary->Update(false);
    if (level != LevelOk) {
        // Refused (the file manager said why): the row stays in edit.
        EditColumn(edit_.column);
        return level;
    }
    const int row = edit_.row;
    Primary->RestoreSnapshot(edit_.snapshot, false);
    EndEditEntry();
    // Around the record just written, on the row it was edited in.
    Reload(kAtBuffer, {}, row);
    return LevelOk;
}

void BrowseController::CancelEdit() {
    if (!edit_.active) return;
    const EditState edit = edit_;
    EndEditEntry();
    if (edit.request == RequestInsert) Primary->ReleaseAutoNumber();
    SnapshotId snapshot = edit.snapshot;
    Primary->RestoreSnapshot(snapshot, true);
    if (!closing_) ResetQueueAt(edit.position);
}

void BrowseController::EndEditEntry() {
    edit_.active = false;
    edit_.snapshot = 0;
    if (window_) window_->Window().EndEdit(ListControl);
}

Level BrowseController::DeleteInList() {
    if (CurrentChoice < 1 || CurrentChoice > RowCount() || !Primary) return LevelNotify;
    const std::string& position = rows_[static_cast<std::size_t>(CurrentChoice - 1)].position;
    if (View->Reget(position) != runtime::err::NoError) {
        Errors().SetFile(View->Name());
        Errors().Raise(msg::RetrievalError);
        load_pending_ = true;
        return LevelNotify;
    }
    const Level level = Primary->Delete(true);
    ResetFromAsk(RequestDelete, level == LevelOk ? ResponseCompleted : ResponseCancelled);
    return level;
}

}  // namespace zelt::framework
