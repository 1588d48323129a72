#include "platform/qt/qt_report_preview.hpp"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "platform/qt/qt_report.hpp"

namespace zelt::platform {

namespace {

constexpr std::array<double, 10> kZoomSteps = {0.1, 0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0};
constexpr int kDeskMargin = 24;  // pixels of desk around the page when fitting

QString Text(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

// One page on white paper, drawn at a scale in pixels per point.
class ReportPageView final : public QWidget {
  public:
    explicit ReportPageView(const runtime::ReportDocument& report) : report_(report) {}

    void Show(int page, double pixels_per_point) {
        page_ = page;
        scale_ = pixels_per_point;
        const auto& m = report_.Metrics();
        setFixedSize(std::max(1, static_cast<int>(m.page_width * scale_)),
                     std::max(1, static_cast<int>(m.page_height * scale_)));
        QString text;
        for (const auto& line : report_.PageText(page)) text += Text(line) + QLatin1Char('\n');
        setAccessibleDescription(text);
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.fillRect(rect(), Qt::white);
        RenderPage(report_, page_, painter, scale_);
        painter.setPen(QColor(120, 120, 120));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }

  private:
    const runtime::ReportDocument& report_;
    int page_ = 1;
    double scale_ = 1.0;
};

ReportPreviewWindow::ReportPreviewWindow(const runtime::ReportDocument& report, QWidget* parent)
    : QDialog(parent), report_(report) {
    setObjectName(QStringLiteral("ReportPreview"));
    setWindowTitle(Text(report.Layout().title));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildToolBar();
    scroll_ = new QScrollArea(this);
    scroll_->setBackgroundRole(QPalette::Dark);
    scroll_->setAlignment(Qt::AlignCenter);
    view_ = new ReportPageView(report_);
    view_->setObjectName(QStringLiteral("previewPage"));
    scroll_->setWidget(view_);
    layout->addWidget(scroll_, 1);
    resize(900, 700);
    setWindowState(windowState() | Qt::WindowMaximized);
    ShowPage(1);
    SetZoom(1.0, Fit::Page);  // fitted as the window takes its size
}

ReportPreviewWindow::~ReportPreviewWindow() = default;

void ReportPreviewWindow::BuildToolBar() {
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("previewTools"));
    layout()->addWidget(bar);
    auto add = [this, bar](const char* name, const QString& text, QKeySequence key, auto slot) {
        QAction* action = bar->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty()) action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add("previewFirst", tr("First"), QKeySequence(Qt::CTRL | Qt::Key_Home),
        [this] { ShowPage(1); });
    add("previewPrevious", tr("Previous"), QKeySequence(Qt::Key_PageUp),
        [this] { ShowPage(page_ - 1); });
    page_box_ = new QSpinBox(bar);
    page_box_->setObjectName(QStringLiteral("previewPageNumber"));
    page_box_->setRange(1, std::max(1, report_.PageCount()));
    page_box_->setKeyboardTracking(false);
    bar->addWidget(page_box_);
    bar->addWidget(new QLabel(tr(" of %1 ").arg(std::max(1, report_.PageCount())), bar));
    connect(page_box_, &QSpinBox::valueChanged, this, [this](int page) { ShowPage(page); });
    add("previewNext", tr("Next"), QKeySequence(Qt::Key_PageDown), [this] { ShowPage(page_ + 1); });
    add("previewLast", tr("Last"), QKeySequence(Qt::CTRL | Qt::Key_End),
        [this] { ShowPage(report_.PageCount()); });
    bar->addSeparator();
    add("previewZoomOut", tr("Zoom Out"), QKeySequence::ZoomOut, [this] { ZoomOut(); });
    zoom_label_ = new QLabel(bar);
    zoom_label_->setObjectName(QStringLiteral("previewZoom"));
    zoom_label_->setMinimumWidth(48);
    zoom_label_->setAlignment(Qt::AlignCenter);
    bar->addWidget(zoom_label_);
    add("previewZoomIn", tr("Zoom In"), QKeySequence::ZoomIn, [this] { ZoomIn(); });
    add("previewFitWidth", tr("Fit Width"), QKeySequence(), [this] { FitWidth(); });
    add("previewFitPage", tr("Fit Page"), QKeySequence(Qt::CTRL | Qt::Key_0),
        [this] { FitPage(); });
    bar->addSeparator();
    add("previewPrint", tr("Print..."), QKeySequence::Print, [this] { Print(); });
    add("previewSavePdf", tr("Save as PDF..."), QKeySequence::Save, [this] { AskAndSavePdf(); });
    add("previewClose", tr("Close"), QKeySequence(), [this] { reject(); });
}

QWidget* ReportPreviewWindow::PageView() const {
    return view_;
}

void ReportPreviewWindow::ShowPage(int page) {
    page_ = std::clamp(page, 1, std::max(1, report_.PageCount()));
    if (page_box_->value() != page_) {
        const QSignalBlocker quiet(page_box_);
        page_box_->setValue(page_);
    }
    view_->Show(page_, zoom_ * logicalDpiX() / 72.0);
    scroll_->verticalScrollBar()->setValue(0);
}

void ReportPreviewWindow::SetZoom(double zoom, Fit fit) {
    zoom_ = std::clamp(zoom, kZoomSteps.front(), kZoomSteps.back());
    fit_ = fit;
    zoom_label_->setText(QStringLiteral("%1%").arg(static_cast<int>(zoom_ * 100 + 0.5)));
    view_->Show(page_, zoom_ * logicalDpiX() / 72.0);
}

void ReportPreviewWindow::ZoomIn() {
    auto next = std::find_if(kZoomSteps.begin(), kZoomSteps.end(),
                             [this](double z) { return z > zoom_ + 1e-6; });
    SetZoom(next == kZoomSteps.end() ? kZoomSteps.back() : *next, Fit::None);
}

void ReportPreviewWindow::ZoomOut() {
    auto next = std::find_if(kZoomSteps.rbegin(), kZoomSteps.rend(),
                             [this](double z) { return z < zoom_ - 1e-6; });
    SetZoom(next == kZoomSteps.rend() ? kZoomSteps.front() : *next, Fit::None);
}

void ReportPreviewWindow::FitWidth() {
    fit_ = Fit::Width;
    ApplyFit();
}

void ReportPreviewWindow::FitPage() {
    fit_ = Fit::Page;
    ApplyFit();
}

void ReportPreviewWindow::ApplyFit() {
    if (fit_ == Fit::None) return;
    const auto& m = report_.Metrics();
    const double per_point = logicalDpiX() / 72.0;
    const QSize room = scroll_->viewport()->size() - QSize(kDeskMargin, kDeskMargin);
    // Fitting the width leaves room for the vertical scroll bar.
    const double width =
        room.width() - (fit_ == Fit::Width ? scroll_->verticalScrollBar()->sizeHint().width() : 0);
    double zoom = width / (m.page_width * per_point);
    if (fit_ == Fit::Page) zoom = std::min(zoom, room.height() / (m.page_height * per_point));
    SetZoom(zoom, fit_);
}

void ReportPreviewWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ApplyFit();
}

bool PrintReportWithDialog(const runtime::ReportDocument& report, QWidget* parent) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(Text(report.Layout().title));
    QPrintDialog dialog(&printer, parent);
    dialog.setMinMax(1, std::max(1, report.PageCount()));
    if (dialog.exec() != QDialog::Accepted) return false;
    int first = 1;
    int last = report.PageCount();
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = printer.fromPage();
        last = std::max(first, printer.toPage());
    }
    if (RenderReport(report, printer, first, last)) return true;
    QMessageBox::warning(parent, QObject::tr("Print"),
                         QObject::tr("The pages could not be printed."));
    return false;
}

bool ReportPreviewWindow::Print() {
    if (!PrintReportWithDialog(report_, this)) return false;
    printed_ = true;
    accept();
    return true;
}

bool ReportPreviewWindow::SaveAsPdf(const QString& path) {
    if (SaveReportPdfFile(report_, path.toStdString())) return true;
    QMessageBox::warning(this, tr("Save as PDF"),
                         tr("The pages could not be written to %1.").arg(path));
    return false;
}

void ReportPreviewWindow::AskAndSavePdf() {
    QString name = windowTitle();
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._ -]")), QStringLiteral("_"));
    QString path = QFileDialog::getSaveFileName(
        this, tr("Save as PDF"), QDir::home().filePath(name + ".pdf"), tr("PDF files (*.pdf)"));
    if (path.isEmpty()) return;
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
    SaveAsPdf(path);
}

}  // namespace zelt::platform
