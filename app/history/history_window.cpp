#include "app/history/history_window.hpp"

#include <memory>
#include <vector>

#include "app/history/history_columns.hpp"
#include "app/history/read_history.hpp"
#include "framework/window/window_controller.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/window/list_source.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

namespace {

using framework::Level;
using framework::LevelFatal;
using framework::LevelNotify;
using framework::LevelOk;

class HistoryWindow final : public framework::WindowController {
  public:
    HistoryWindow(framework::ErrorReporter& errors, History history)
        : WindowController(errors, HistoryDeclaration(sort_by_), "ShowHistory"),
          history_(std::move(history)) {
        std::vector<runtime::QueueList<ApplicationSummary>::Column> cells;
        for (const HistoryColumn& column : HistoryColumns()) {
            cells.emplace_back([cell = column.cell](const ApplicationSummary& s) {
                return runtime::ListCell(cell(s));
            });
        }
        for (const ApplicationRuns& app : history_) summaries_.push_back(Summarise(app));
        rows_ =
            std::make_unique<runtime::QueueList<ApplicationSummary>>(summaries_, std::move(cells));
    }

    Level Init() override {
        if (Level l = WindowController::Init(); l != LevelOk) return l;
        AddButton(HistoryCtl::Close, framework::ResponseCancelled);
        if (!OpenWindow()) return LevelFatal;
        Window().SetListSource(HistoryCtl::List, rows_.get());
        Window().SetChart(HistoryCtl::Slowest, SlowestChart(summaries_));
        Sort();
        Window().Select(HistoryCtl::List);
        return LevelOk;
    }
    Level OnAccepted() override {
        if (Window().Field() == HistoryCtl::Print) {
            PrintHistory(Errors);
            return LevelNotify;
        }
        if (SortControl(Window().Field())) Sort();
        return WindowController::OnAccepted();
    }
    Level OnNewSelection() override {
        if (Window().Field() == HistoryCtl::List) ShowChosen();
        if (SortControl(Window().Field())) Sort();
        return LevelOk;
    }

  private:
    static bool SortControl(runtime::ControlNumber n) {
        return n >= HistoryCtl::SortBy && n <= HistoryCtl::ByLastRun;
    }
    // The list in the order chosen, the same application chosen as before.
    void Sort() {
        Window().Update();  // the order chosen into sort_by_
        const std::string value = sort_by_;
        if (value == sorted_by_) return;
        sorted_by_ = value;
        std::string chosen = Chosen();
        static const std::pair<const char*, HistorySort> kOrders[] = {
            {"name", HistorySort::Name},       {"runs", HistorySort::Runs},
            {"success", HistorySort::Success}, {"median", HistorySort::Median},
            {"slowest", HistorySort::Slowest}, {"last", HistorySort::LastRun}};
        for (const auto& [name, sort] : kOrders) {
            if (value == name) SortSummaries(summaries_, sort);
        }
        Window().RowsChanged(HistoryCtl::List);
        int row = 1;
        for (std::size_t i = 0; i < summaries_.size(); ++i) {
            if (summaries_[i].name == chosen) row = static_cast<int>(i) + 1;
        }
        Window().SetChoice(HistoryCtl::List, row);
        ShowChosen();
    }
    std::string Chosen() {
        const int row = Window().Choice(HistoryCtl::List);
        if (row < 1 || row > static_cast<int>(summaries_.size())) return {};
        return summaries_[static_cast<std::size_t>(row - 1)].name;
    }
    void ShowChosen() {
        const std::string name = Chosen();
        for (const ApplicationRuns& app : history_) {
            if (app.name == name) Window().SetChart(HistoryCtl::Durations, DurationChart(app));
        }
    }

    std::string sort_by_ = "name";  // bound to ?SortBy
    History history_;
    std::vector<ApplicationSummary> summaries_;
    std::unique_ptr<runtime::QueueList<ApplicationSummary>> rows_;
    std::string sorted_by_;
};

}  // namespace

runtime::WindowDeclaration HistoryDeclaration(std::string& sort_by) {
    runtime::WindowDeclaration w("Build History");
    w.Resizable();
    w.Option("?SortBy", "Sort by").Use(runtime::Use(sort_by)).At(0, 0, 1, 2);
    w.Radio("?SortBy:Name", "&Name").Value("name").At(0, 0);
    w.Radio("?SortBy:Runs", "&Runs").Value("runs").At(0, 1);
    w.Radio("?SortBy:Success", "S&uccess").Value("success").At(0, 2);
    w.Radio("?SortBy:Median", "&Median").Value("median").At(0, 3);
    w.Radio("?SortBy:Slowest", "Slo&west").Value("slowest").At(0, 4);
    w.Radio("?SortBy:LastRun", "&Last run").Value("last").At(0, 5);
    w.End();
    runtime::ListFormat columns;
    for (const HistoryColumn& c : HistoryColumns()) {
        columns.columns.emplace_back(std::string(c.heading), c.width,
                                     c.right ? runtime::Align::Right : runtime::Align::Left);
    }
    w.List("?List", columns).Hint(110, 8).At(1, 0, 1, 2);
    w.Chart("?Durations").Hint(55, 16).At(2, 0);
    w.Chart("?Slowest").Hint(55, 16).At(2, 1);
    w.Button("?Print", "&Print").At(3, 0);
    w.Button("?Close", "&Close").At(3, 1);
    w.Stretch(0, {{1, 2}, {0, 1}});
    return w;
}

void ShowHistory(framework::ErrorReporter& errors) {
    History history;
    if (ReadHistory(history) != runtime::err::NoError) {
        runtime::Message("The activity log could not be read: " + runtime::CurrentErrorText(),
                         "Build History", runtime::StockIcon::Hand);
        return;
    }
    if (history.empty()) {
        runtime::Message("There is no make in the activity log yet.", "Build History",
                         runtime::StockIcon::Question);
        return;
    }
    HistoryWindow window(errors, std::move(history));
    window.Run();
}

}  // namespace zelt::app
