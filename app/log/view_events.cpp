// The browse "Activity Log" and the form "DDE Activity Record".
#include <optional>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/history/history_window.hpp"
#include "app/log/event_log.hpp"
#include "app/log/event_log_windows.hpp"
#include "framework/browse/browse_controller.hpp"
#include "framework/browse/table_view.hpp"
#include "framework/field_access.hpp"
#include "framework/query/query_builder.hpp"
#include "framework/query/query_history.hpp"
#include "framework/window/tracked_record.hpp"
#include "runtime/window/key_codes.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

namespace {

using framework::Level;
using framework::LevelFatal;
using framework::LevelNotify;
using framework::LevelOk;

namespace tmp_field {
inline constexpr int Apps = 0;
inline constexpr int Date = 1;
inline constexpr int Clock = 2;
inline constexpr int Event = 3;
}  // namespace tmp_field

// The list of events; an empty list closes its window with a word to the user.
class EventList final : public framework::BrowseController {
  public:
    int FillRows(framework::FillDirection direction) override {
        const int read = BrowseController::FillRows(direction);
        if (RowCount() == 0 && !told_ && Window() != nullptr) {
            told_ = true;
            runtime::Message("If there was something to show you, I'd show it.", "Go Away",
                             runtime::StockIcon::Question);
            Window()->Window().Post(runtime::event::CloseWindow);
        }
        return read;
    }

  private:
    bool told_ = false;
};

class ViewEventsWindow final : public framework::WindowController {
  public:
    ViewEventsWindow(framework::ErrorReporter& errors, framework::IniStore* queries)
        : WindowController(errors, ViewEventsDeclaration(), "ViewEvents"),
          record_(TempFileRelations),
          view_(TempFile) {
        if (queries) history_.emplace(*queries);
    }

    Level Init() override {
        if (Level l = WindowController::Init(); l != LevelOk) return l;
        if (TempFileRelations.OpenAll() != LevelOk) return LevelFatal;
        FilesOpened = true;
        list_.Init(*this, ViewEventsCtl::List, view_, record_, Errors);
        list_.ActiveOrder().Order = "tmp:clockkey";
        for (int field : {tmp_field::Apps, tmp_field::Date, tmp_field::Clock, tmp_field::Event})
            list_.AddField(framework::FieldBinding(TempFile, field));
        list_.SetCellFormat(
            [this](const framework::BrowseRow& row, int column) { return Cell(row, column); });
        if (Request != framework::RequestSelect) {
            list_.InsertControl = ViewEventsCtl::Insert;
            list_.ChangeControl = ViewEventsCtl::Change;
            list_.DeleteControl = ViewEventsCtl::Delete;
        }
        list_.AskProcedure = 1;
        SetUpQuery();
        AddButton(ViewEventsCtl::Close, framework::ResponseCancelled);
        if (!OpenWindow()) return LevelFatal;
        Window().Alert(ViewEventsCtl::List, kFindKey);
        return LevelOk;
    }
    Level OnFieldEvent() override {
        // Ctrl+F on the list: the query form.
        if (Window().Field() == ViewEventsCtl::List &&
            Window().Event() == runtime::event::AlertKey && Window().Keycode() == kFindKey) {
            list_.QueryRecords();
            Window().Select(ViewEventsCtl::List);
            return LevelNotify;
        }
        return WindowController::OnFieldEvent();
    }
    Level Kill() override {
        if (FilesOpened) {
            TempFileRelations.CloseAll();
            FilesOpened = false;
        }
        return WindowController::Kill();
    }
    Level OnAccepted() override {
        if (Window().Field() == ViewEventsCtl::PrintLog) {
            Window().Update();
            PrintLog(Errors);
            list_.ResetQueueAtBuffer();
            return LevelNotify;
        }
        if (Window().Field() == ViewEventsCtl::History) {
            ShowHistory(Errors);
            list_.ResetQueueAtBuffer();
            Window().Select(ViewEventsCtl::List);
            return LevelNotify;
        }
        return WindowController::OnAccepted();
    }
    framework::ResponseCode RunForm(std::uint16_t, framework::RequestCode request) override {
        const auto response = framework::CallWithRequest(request, [this] { UpdateEvents(Errors); });
        Window().Select(ViewEventsCtl::List);  // the list has the keyboard again
        return response;
    }

  private:
    static constexpr int kFindKey = runtime::key::Ctrl + 'F';

    // The query by example over the four columns, with the recent queries when kept.
    void SetUpQuery() {
        query_.Init(Errors);
        query_.AddItem("TMP:Apps", "Application", {}, true);
        query_.AddItem("TMP:Date", "Date", "@D1");
        query_.AddItem("TMP:Clock", "Time", "@T3");
        query_.AddItem("TMP:Event", "Event", {}, true);
        if (history_) query_.SetHistory(&*history_);
        list_.Query = &query_;
    }

    // The name only on the first of a run of the same application's rows.
    runtime::ListCell Cell(const framework::BrowseRow& row, int column) const {
        if (column < 1 || column > static_cast<int>(row.values.size())) return {};
        const std::string& value = row.values[static_cast<std::size_t>(column - 1)];
        if (column != 1) return runtime::ListCell(value);
        const auto& rows = list_.ListQueue();
        const std::size_t index = static_cast<std::size_t>(&row - rows.data());
        RepeatedNameBlanker blanker;
        if (index > 0 && index < rows.size()) blanker.Shown(rows[index - 1].values[0]);
        return runtime::ListCell(blanker.Shown(value));
    }

    framework::TrackedRecord record_;
    framework::TableView view_;
    EventList list_;
    framework::QueryBuilder query_;
    std::optional<framework::QueryHistory> history_;
};

class UpdateEventsWindow final : public framework::WindowController {
  public:
    explicit UpdateEventsWindow(framework::ErrorReporter& errors)
        : WindowController(errors, UpdateEventsDeclaration(), "UpdateEvents"),
          record_(TempFileRelations) {}

    Level Init() override {
        if (Level l = WindowController::Init(); l != LevelOk) return l;
        FirstField = UpdateEventsCtl::Apps;
        OKControl = UpdateEventsCtl::Ok;
        AddButton(UpdateEventsCtl::Cancel, framework::ResponseCancelled);
        Primary = &record_;
        Settings.DeleteAction = framework::DeleteBehaviour::AskAtOnce;
        if (TempFileRelations.OpenAll() != LevelOk) return LevelFatal;
        FilesOpened = true;
        if (Request != framework::RequestView && PrimeForm() != LevelOk) return LevelFatal;
        if (Request == framework::RequestView) {
            for (int n : {UpdateEventsCtl::Apps, UpdateEventsCtl::Date, UpdateEventsCtl::Clock,
                          UpdateEventsCtl::Event})
                Window().SetReadOnly(n);
            Window().Disable(UpdateEventsCtl::Ok);
        }
        if (!OpenWindow()) return LevelFatal;
        return LevelOk;
    }
    Level Kill() override {
        if (FilesOpened) {
            TempFileRelations.CloseAll();
            FilesOpened = false;
        }
        return WindowController::Kill();
    }

  private:
    framework::TrackedRecord record_;
};

}  // namespace

runtime::WindowDeclaration ViewEventsDeclaration() {
    runtime::WindowDeclaration w("Activity Log");
    w.Resizable();
    runtime::ListFormat columns;
    columns.columns = {runtime::ListColumn("Application", 40),
                       runtime::ListColumn("Date", 10, runtime::Align::Centre, "@D1"),
                       runtime::ListColumn("Time", 8, runtime::Align::Left, "@T3"),
                       runtime::ListColumn("Event", 80)};
    w.List("?Browse:1", columns).Immediate().Hint(100, 15);
    w.Button("?Insert", "&Insert");
    w.Button("?Change", "&View");
    w.Button("?Delete", "&Delete");
    w.Button("?PrintLog", "&Print Log");
    w.Button("?History", "&History").Tip("Durations and outcomes of the makes, with charts.");
    w.Button("?Close", "&Close");
    return w;
}

runtime::WindowDeclaration UpdateEventsDeclaration() {
    runtime::WindowDeclaration w("DDE Activity Record");
    w.Modal();
    w.Prompt("?TMP:Apps:Prompt", "App.:");
    w.Entry("?TMP:Apps", 40).Use(framework::FieldBinding(TempFile, tmp_field::Apps));
    w.Prompt("?TMP:Date:Prompt", "Date:");
    w.Entry("?TMP:Date", 10, "@D1").Use(framework::FieldBinding(TempFile, tmp_field::Date));
    w.Prompt("?TMP:Clock:Prompt", "Time:");
    w.Entry("?TMP:Clock", 8, "@T3").Use(framework::FieldBinding(TempFile, tmp_field::Clock));
    w.Prompt("?TMP:Event:Prompt", "Event:");
    w.Entry("?TMP:Event", 80).Use(framework::FieldBinding(TempFile, tmp_field::Event));
    w.Button("?OK", "&Ok").Default();
    w.Button("?Cancel", "Cancel");
    return w;
}

void ViewEvents(framework::ErrorReporter& errors, framework::IniStore* queries) {
    ViewEventsWindow window(errors, queries);
    window.Run();
}

framework::ResponseCode UpdateEvents(framework::ErrorReporter& errors) {
    UpdateEventsWindow window(errors);
    return window.Run();
}

}  // namespace zelt::app
