// The print preview: a maximised window that shows a report's pages as they will print.
//
// A tool bar pages through the report (first, previous, the page number, next, last),
// zooms (out, in, fit the width, fit the whole page; Ctrl+minus, Ctrl+plus, Ctrl+0), prints
// through the printer dialog (the page range it offers is honoured), saves the pages as a
// PDF file, and closes. Page Up and Page Down turn the pages. The page shown is drawn by
// RenderPage at the zoom, on white paper over a grey desk; its text is the page's accessible
// description, for screen readers.
//
//   ReportPreviewWindow preview(report, parent);
//   preview.exec();
//   bool printed = preview.Printed();
#pragma once

#include <QDialog>

#include "runtime/report/report_document.hpp"

class QLabel;
class QScrollArea;
class QSpinBox;

namespace zelt::platform {

class ReportPageView;

// The printer dialog, then the pages it asks for on the printer chosen; false when the user
// cancelled or printing failed (the user is told).
bool PrintReportWithDialog(const runtime::ReportDocument& report, QWidget* parent);

class ReportPreviewWindow final : public QDialog {
  public:
    ReportPreviewWindow(const runtime::ReportDocument& report, QWidget* parent = nullptr);
    ~ReportPreviewWindow() override;

    // True once the pages went to a printer.
    bool Printed() const { return printed_; }
    int Page() const { return page_; }
    void ShowPage(int page);
    // The zoom as a factor of the page's size at the screen's resolution.
    double Zoom() const { return zoom_; }
    void ZoomIn();
    void ZoomOut();
    void FitWidth();
    void FitPage();
    // The widget the page is drawn on.
    QWidget* PageView() const;
    // Runs the printer dialog and prints; true when printed.
    bool Print();
    // Saves the pages to `path` as PDF; false (after telling the user) when that failed.
    bool SaveAsPdf(const QString& path);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    enum class Fit { None, Width, Page };
    void BuildToolBar();
    void SetZoom(double zoom, Fit fit);
    void ApplyFit();
    void AskAndSavePdf();

    const runtime::ReportDocument& report_;
    QScrollArea* scroll_ = nullptr;
    ReportPageView* view_ = nullptr;
    QSpinBox* page_box_ = nullptr;
    QLabel* zoom_label_ = nullptr;
    int page_ = 1;
    double zoom_ = 1.0;
    Fit fit_ = Fit::Page;
    bool printed_ = false;
};

}  // namespace zelt::platform
