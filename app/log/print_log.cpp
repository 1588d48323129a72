// PrintLog: the log report, walked by the report process behind its progress window, every
// event in stored order with its application named once a run, shown in the print preview.
#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/log/event_log.hpp"
#include "app/log/event_log_windows.hpp"
#include "framework/browse/table_view.hpp"
#include "framework/field_access.hpp"
#include "framework/process/report_controller.hpp"
#include "framework/window/tracked_record.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/text/stored_text.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

namespace {

using framework::Level;
using framework::LevelFatal;
using framework::LevelOk;

class PrintLogWindow final : public framework::ReportController {
  public:
    explicit PrintLogWindow(framework::ErrorReporter& errors)
        : ReportController(errors, ReportProgressDeclaration(percent_), "PrintLog"),
          report_(LogReportDeclaration(app_name_)),
          tracked_(TempFileRelations),
          view_(TempFile),
          process_(*this) {}

    Level Init() override {
        if (Level l = ReportController::Init(process_, &report_, &preview_); l != LevelOk) return l;
        if (TempFileRelations.OpenAll() != LevelOk) return LevelFatal;
        FilesOpened = true;
        process_.Init(view_, tracked_, Errors, &Window(), ReportProgressCtl::PctText, 0, &percent_);
        TempFileRelations.SetQuickScan(true);
        AddButton(ReportProgressCtl::Cancel, framework::ResponseCancelled);
        if (!OpenWindow()) return LevelFatal;
        Window().SetText(ReportProgressCtl::PctText, "");
        return LevelOk;
    }
    Level Kill() override {
        if (FilesOpened) {
            TempFileRelations.SetQuickScan(false);
            TempFileRelations.CloseAll();
            FilesOpened = false;
        }
        return ReportController::Kill();
    }
    void OnNoRecords() override {
        runtime::Message("If there was something to print, I'd print it.||There isn't.", "Go Away",
                         runtime::StockIcon::Question);
    }

  private:
    class Printer final : public framework::ProcessController {
      public:
        explicit Printer(PrintLogWindow& owner) : owner_(owner) {}
        Level TakeRecord() override {
            owner_.app_name_ = owner_.names_.Shown(TMP.Apps.View());
            owner_.report_.PrintDetail();
            return LevelOk;
        }

      private:
        PrintLogWindow& owner_;
    };

    std::uint8_t percent_ = 0;
    std::string app_name_;  // Loc:AppName
    RepeatedNameBlanker names_;
    runtime::Report report_;
    runtime::ReportPreview preview_;
    framework::TrackedRecord tracked_;
    framework::TableView view_;
    Printer process_;
};

}  // namespace

runtime::WindowDeclaration ReportProgressDeclaration(std::uint8_t& percent) {
    runtime::WindowDeclaration w("Report Progress...");
    w.Modal();
    w.Progress("?Progress:Thermometer", 100).Use(runtime::Use(percent));
    w.String("?Progress:UserString");
    w.String("?Progress:PctText");
    w.Button("?Progress:Cancel", "Cancel");
    return w;
}

runtime::ReportDeclaration LogReportDeclaration(std::string& app_name) {
    runtime::ReportDeclaration d("ZELT5.5 Activity Log");
    // Loc:AppName holds stored text, as TMP:Apps does; the report's lines are UTF-8.
    d.Column("App Name", 40, runtime::Show([&app_name] { return runtime::StoredToUtf8(app_name); }))
        .Column("Date", 11, framework::FieldBinding(TempFile, 1), "@D8")
        .Column("Time", 8, framework::FieldBinding(TempFile, 2), "@T4")
        .Column("Action", 80, framework::FieldBinding(TempFile, 3))
        .Footer("Page", "@n3")
        .Landscape();
    return d;
}

runtime::ErrorCode BuildLogReport(runtime::ReportDocument& pages) {
    std::string app_name;
    runtime::Report report(LogReportDeclaration(app_name));
    report.Open();
    report.SetPreviewQueue(&pages);
    pages.Reset(report.Declaration().layout);
    if (TempFileRelations.OpenAll() != framework::LevelOk) {
        const runtime::ErrorCode code = runtime::CurrentErrorCode();
        TempFileRelations.CloseAll();
        return code == runtime::err::NoError ? runtime::err::FileSystemError : code;
    }
    const TempFileRecord kept = TMP;
    RepeatedNameBlanker names;
    TempFileRelations.SetQuickScan(true);  // as the report window reads
    TempFile.SetFile();
    runtime::ErrorCode code = runtime::err::NoError;
    while ((code = TempFile.Next()) == runtime::err::NoError) {
        app_name = names.Shown(TMP.Apps.View());
        report.PrintDetail();
    }
    TempFileRelations.SetQuickScan(false);
    TMP = kept;
    TempFileRelations.CloseAll();
    report.Close();
    return code == runtime::err::RecordNotAvailable ? runtime::err::NoError : code;
}

void PrintLog(framework::ErrorReporter& errors) {
    PrintLogWindow window(errors);
    window.Run();
}

}  // namespace zelt::app
