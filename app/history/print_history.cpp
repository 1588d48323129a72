// PrintHistory: the build history as a report. The report process reads the log in date and
// time order behind its progress window, handing each event to the history; at the end a
// line per application goes to the pages, which the print preview shows.
#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/history/history_columns.hpp"
#include "app/history/history_window.hpp"
#include "app/log/event_log_windows.hpp"
#include "framework/browse/table_view.hpp"
#include "framework/process/report_controller.hpp"
#include "framework/window/tracked_record.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

namespace {

using framework::Level;
using framework::LevelFatal;
using framework::LevelOk;

class PrintHistoryWindow final : public framework::ReportController {
  public:
    explicit PrintHistoryWindow(framework::ErrorReporter& errors)
        : ReportController(errors, ReportProgressDeclaration(percent_), "PrintHistory"),
          line_(HistoryColumns().size()),
          report_(HistoryReportDeclaration(line_)),
          tracked_(TempFileRelations),
          view_(TempFile),
          process_(*this) {}

    Level Init() override {
        if (Level l = ReportController::Init(process_, &report_, &preview_); l != LevelOk) return l;
        if (TempFileRelations.OpenAll() != LevelOk) return LevelFatal;
        FilesOpened = true;
        process_.Init(view_, tracked_, Errors, &Window(), ReportProgressCtl::PctText, 0, &percent_);
        process_.ActiveOrder().Order = "tmp:clockkey";
        AddButton(ReportProgressCtl::Cancel, framework::ResponseCancelled);
        if (!OpenWindow()) return LevelFatal;
        Window().SetText(ReportProgressCtl::PctText, "");
        return LevelOk;
    }
    Level Kill() override {
        if (FilesOpened) {
            TempFileRelations.CloseAll();
            FilesOpened = false;
        }
        return ReportController::Kill();
    }
    void OnNoRecords() override { NothingToPrint(); }
    // The log has been read: a line per application, before the last page ends.
    void AskPreview() override {
        if (Response == framework::ResponseCompleted) {
            std::vector<ApplicationSummary> summaries;
            for (const ApplicationRuns& app : builder_.Finish())
                summaries.push_back(Summarise(app));
            if (summaries.empty()) {
                Response = framework::ResponseCancelled;
                NothingToPrint();
            }
            for (const ApplicationSummary& s : summaries) {
                for (std::size_t c = 0; c < line_.size(); ++c)
                    line_[c] = HistoryColumns()[c].cell(s);
                report_.PrintDetail();
            }
        }
        ReportController::AskPreview();
    }

  private:
    static void NothingToPrint() {
        runtime::Message("There is no make in the activity log to print.", "Go Away",
                         runtime::StockIcon::Question);
    }

    class Reader final : public framework::ProcessController {
      public:
        explicit Reader(PrintHistoryWindow& owner) : owner_(owner) {}
        Level TakeRecord() override {
            owner_.builder_.Take(TMP);
            return LevelOk;
        }

      private:
        PrintHistoryWindow& owner_;
    };

    std::uint8_t percent_ = 0;
    std::vector<std::string> line_;
    HistoryBuilder builder_;
    runtime::Report report_;
    runtime::ReportPreview preview_;
    framework::TrackedRecord tracked_;
    framework::TableView view_;
    Reader process_;
};

}  // namespace

runtime::ReportDeclaration HistoryReportDeclaration(const std::vector<std::string>& line) {
    runtime::ReportDeclaration d("ZELT5.5 Build History");
    const auto& columns = HistoryColumns();
    for (std::size_t c = 0; c < columns.size(); ++c) {
        d.Column(std::string(columns[c].heading), columns[c].width,
                 runtime::Show([&line, c] { return line[c]; }), {},
                 columns[c].right ? runtime::Align::Right : runtime::Align::Left);
    }
    d.Footer("Page", "@n3").Landscape();
    return d;
}

void PrintHistory(framework::ErrorReporter& errors) {
    PrintHistoryWindow window(errors);
    window.Run();
}

}  // namespace zelt::app
