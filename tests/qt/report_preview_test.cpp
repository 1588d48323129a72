// The print preview on the off-screen platform: a page shown maximised, turned, zoomed,
// saved as PDF, and photographed.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>

#include "platform/qt/qt_report_preview.hpp"
#include "tests/qt/qt_test_support.hpp"

namespace zelt::platform {
namespace {

runtime::ReportDocument TwoPages() {
    runtime::ReportLayout l;
    l.title = "ZELT5.5 Activity Log";
    l.columns = {{"App Name", 40}, {"Date", 11}, {"Time", 8}, {"Action", 80}};
    l.landscape = true;
    runtime::ReportDocument doc(l);
    for (int n = 1; n <= doc.Metrics().lines_per_page + 3; ++n)
        doc.AddDetail(
            {"APP" + std::to_string(n) + ".APP", " 7 Dec 2026", "09:00:00", "Make Finished"});
    return doc;
}

void Trigger(ReportPreviewWindow& preview, const char* action) {
    auto* a = preview.findChild<QAction*>(QString::fromLatin1(action));
    ASSERT_NE(a, nullptr) << action;
    a->trigger();
    QApplication::processEvents();
}

// Dark pixels of `image` inside `area`.
int Ink(const QImage& image, const QRect& area) {
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.valid(x, y) && qGray(image.pixel(x, y)) < 128) ++dark;
    return dark;
}

TEST(ReportPreviewTest, APageIsShownTurnedZoomedSavedAndPhotographed) {
    App();
    const runtime::ReportDocument doc = TwoPages();
    ASSERT_EQ(doc.PageCount(), 2);
    ReportPreviewWindow preview(doc);
    preview.show();
    QApplication::processEvents();
    EXPECT_TRUE(preview.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(preview.windowTitle(), QStringLiteral("ZELT5.5 Activity Log"));

    // The page fits the window; zooming in makes it larger, fitting the width wider still.
    QWidget* page = preview.PageView();
    const int fitted = page->width();
    EXPECT_LE(page->height(), preview.height());
    Trigger(preview, "previewZoomIn");
    EXPECT_GT(page->width(), fitted);
    Trigger(preview, "previewZoomOut");
    Trigger(preview, "previewZoomOut");
    EXPECT_LT(page->width(), fitted);
    Trigger(preview, "previewFitWidth");
    EXPECT_GT(page->width(), preview.width() - 80);
    EXPECT_LT(page->width(), preview.width());

    // Turning the pages, never past either end.
    Trigger(preview, "previewNext");
    EXPECT_EQ(preview.Page(), 2);
    EXPECT_EQ(preview.findChild<QSpinBox*>("previewPageNumber")->value(), 2);
    EXPECT_TRUE(page->accessibleDescription().contains("Page   2"));
    Trigger(preview, "previewNext");
    EXPECT_EQ(preview.Page(), 2);
    Trigger(preview, "previewFirst");
    EXPECT_EQ(preview.Page(), 1);

    QTemporaryDir dir;
    const QString pdf = dir.filePath("preview.pdf");
    EXPECT_TRUE(preview.SaveAsPdf(pdf));
    EXPECT_TRUE(QString::fromStdString(RunTool("pdfinfo", {pdf}))
                    .contains(QRegularExpression("Pages:\\s+2\\b")));

    // The photograph: the first page, whole, with its title printed across the top.
    Trigger(preview, "previewFitPage");
    const QImage shot = preview.grab().toImage();
    const QString shots = QStringLiteral(ZELT_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(shots));
    EXPECT_TRUE(shot.save(shots + "/report_preview.png"));
    EXPECT_TRUE(page->accessibleDescription().startsWith("ZELT5.5 Activity Log\nApp Name"));
    const auto& m = doc.Metrics();
    const double scale = static_cast<double>(page->width()) / m.page_width;
    const QPoint at = page->mapTo(&preview, QPoint(0, 0));
    const QRect title(at.x() + static_cast<int>(m.left * scale),
                      at.y() + static_cast<int>(m.title_y * scale),
                      static_cast<int>(20 * m.char_width * 1.5 * scale),
                      static_cast<int>(m.title_points * 1.3 * scale));
    EXPECT_GT(Ink(shot, title), 20) << "the title is printed";
    EXPECT_GT(Ink(shot, title.translated(0, static_cast<int>((m.details_y - m.title_y) * scale))),
              20)
        << "the first detail line";
    preview.close();
}

}  // namespace
}  // namespace zelt::platform
