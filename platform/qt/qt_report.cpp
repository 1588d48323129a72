#include "platform/qt/qt_report.hpp"

#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <algorithm>

namespace zelt::platform {

using runtime::PageMetrics;
using runtime::ReportDocument;

namespace {

// A monospaced font of `points` at `scale`, spaced so that a character is `advance` wide.
QFont SpacedFont(QPaintDevice* device, double points, double advance, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setBold(bold);
    font.setKerning(false);
    font.setPixelSize(std::max(1, static_cast<int>(points + 0.5)));
    const double natural = QFontMetricsF(font, device).horizontalAdvance(QLatin1Char('0'));
    font.setLetterSpacing(QFont::AbsoluteSpacing, advance - natural);
    return font;
}

QString Text(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

void RenderPage(const ReportDocument& report, int page, QPainter& painter, double scale) {
    if (page < 1 || page > report.PageCount()) return;
    const PageMetrics& m = report.Metrics();
    QPaintDevice* device = painter.device();
    const double advance = m.char_width * scale;
    const QFont body = SpacedFont(device, m.font_points * scale, advance, false);
    const QFont bold = SpacedFont(device, m.font_points * scale, advance, true);
    QFont title =
        SpacedFont(device, m.title_points * scale, advance * m.title_points / m.font_points, true);
    const double left = m.left * scale;
    const double right = m.right * scale;
    const double line = m.line_height * scale;
    // Text sits on a baseline four fifths down its line.
    auto baseline = [&](double top_pt, double height) { return top_pt * scale + height * 0.8; };

    painter.save();
    painter.setPen(QPen(Qt::black, std::max(1.0, 0.5 * scale)));
    painter.setFont(title);
    painter.drawText(QPointF(left, baseline(m.title_y, m.title_points * 1.2 * scale)),
                     Text(report.Layout().title));
    painter.setFont(bold);
    painter.drawText(QPointF(left, baseline(m.headings_y, line)), Text(report.HeadingsText()));
    const double rule = m.headings_y * scale + line * 1.15;
    painter.drawLine(QPointF(left, rule), QPointF(right, rule));

    painter.setFont(body);
    double top = m.details_y;
    for (const auto& cells : report.Pages()[static_cast<std::size_t>(page - 1)].lines) {
        painter.drawText(QPointF(left, baseline(top, line)), Text(report.LineText(cells)));
        top += m.line_height;
    }

    const double footer = m.footer_y * scale;
    painter.drawLine(QPointF(left, footer), QPointF(right, footer));
    const QString footer_text = Text(report.FooterText(page));
    const double width = static_cast<double>(footer_text.size()) * advance;
    painter.drawText(QPointF(right - width, baseline(m.footer_y + m.line_height * 0.4, line)),
                     footer_text);
    painter.restore();
}

bool RenderReport(const ReportDocument& report, QPagedPaintDevice& device, int first, int last) {
    const PageMetrics& m = report.Metrics();
    const QPageSize size(m.paper == runtime::Paper::Letter ? QPageSize::Letter : QPageSize::A4);
    QPageLayout layout(size,
                       report.Layout().landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Point);
    layout.setMode(QPageLayout::FullPageMode);
    if (!device.setPageLayout(layout)) return false;

    QPainter painter;
    if (!painter.begin(&device)) return false;
    const double scale = device.logicalDpiX() / 72.0;
    first = std::max(1, first);
    last = last <= 0 ? report.PageCount() : std::min(last, report.PageCount());
    for (int p = first; p <= last; ++p) {
        if (p > first && !device.newPage()) return false;
        RenderPage(report, p, painter, scale);
    }
    return painter.end();
}

bool RenderReportPdf(const ReportDocument& report, const std::string& path) {
    QPdfWriter writer(Text(path));
    writer.setTitle(Text(report.Layout().title));
    writer.setCreator(QStringLiteral("ZELT"));
    return RenderReport(report, writer);
}

bool SaveReportPdfFile(const ReportDocument& report, const std::string& path) {
    return runtime::ReportPdfWriterInstalled() ? runtime::WriteReportPdf(report, path)
                                               : RenderReportPdf(report, path);
}

}  // namespace zelt::platform
