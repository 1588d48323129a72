#include "platform/qt/qt_report.hpp"

#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPainter>
#include <algorithm>

namespace zelt::platform {

using runtime::Align;

bool RenderReport(const runtime::ReportDocument& report, QPagedPaintDevice& device) {
    const auto& layout = report.Layout();
    QPageLayout page = device.pageLayout();
    page.setOrientation(layout.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    page.setMargins(QMarginsF(15, 15, 15, 15));
    page.setUnits(QPageLayout::Millimeter);
    device.setPageLayout(page);

    QPainter painter;
    if (!painter.begin(&device)) return false;
    const QRect area = device.pageLayout().paintRectPixels(device.logicalDpiX());
    const QRect box(0, 0, area.width(), area.height());

    // Title, headings, the detail lines and the footer share the height of a page; the
    // detail font fits the widest line across the page.
    const int rows = layout.lines_per_page + 6;
    const int line = box.height() / rows;
    QFont body(QStringLiteral("DejaVu Sans"));
    body.setPixelSize(std::max(6, line * 7 / 10));
    int total_chars = 0;
    for (const auto& c : layout.columns) total_chars += std::max(1, c.width) + 2;
    {
        QFontMetrics m(body);
        const int wanted = m.horizontalAdvance(QLatin1Char('n')) * std::max(1, total_chars);
        if (wanted > box.width()) body.setPixelSize(std::max(4, body.pixelSize() * box.width() / wanted));
    }
    QFont bold = body;
    bold.setBold(true);
    QFont title = bold;
    title.setPixelSize(body.pixelSize() * 3 / 2);
    const int char_width = QFontMetrics(body).horizontalAdvance(QLatin1Char('n'));

    std::vector<int> x;  // left edge of each column
    int at = 0;
    for (const auto& c : layout.columns) {
        x.push_back(at);
        at += (std::max(1, c.width) + 2) * char_width;
    }
    auto cell_rect = [&](std::size_t c, int y) {
        const int width = std::max(1, layout.columns[c].width) * char_width + char_width;
        return QRect(x[c], y, width, line);
    };
    auto flags = [](Align a) {
        return (a == Align::Right ? Qt::AlignRight : a == Align::Centre ? Qt::AlignHCenter : Qt::AlignLeft) |
               Qt::AlignVCenter;
    };

    for (int p = 1; p <= report.PageCount(); ++p) {
        if (p > 1 && !device.newPage()) return false;
        int y = 0;
        painter.setFont(title);
        painter.drawText(QRect(0, y, box.width(), line * 2), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromStdString(layout.title));
        y += line * 2;
        painter.setFont(bold);
        for (std::size_t c = 0; c < layout.columns.size(); ++c)
            painter.drawText(cell_rect(c, y), flags(layout.columns[c].align),
                             QString::fromStdString(layout.columns[c].heading));
        y += line;
        painter.drawLine(0, y, box.width(), y);
        painter.setFont(body);
        for (const auto& cells : report.Pages()[static_cast<std::size_t>(p - 1)].lines) {
            for (std::size_t c = 0; c < layout.columns.size() && c < cells.size(); ++c)
                painter.drawText(cell_rect(c, y), flags(layout.columns[c].align), QString::fromStdString(cells[c]));
            y += line;
        }
        painter.drawLine(0, box.height() - line * 2, box.width(), box.height() - line * 2);
        painter.drawText(QRect(0, box.height() - line * 2, box.width(), line * 2), Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromStdString(report.FooterText(p)));
    }
    return painter.end();
}

}  // namespace zelt::platform
