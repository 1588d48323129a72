// Report pages: pagination, the footer and the plain-text form of a page.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "runtime/report/report_document.hpp"

namespace zelt::runtime {
namespace {

ReportLayout LogLayout(int lines_per_page) {
    ReportLayout l;
    l.title = "ZELT5.5 Activity Log";
    l.columns = {
        {"App Name", 12, Align::Left}, {"Date", 10, Align::Centre}, {"Action", 20, Align::Left}};
    l.lines_per_page = lines_per_page;
    return l;
}

TEST(ReportDocumentTest, DetailLinesFillPagesInOrder) {
    ReportDocument r(LogLayout(40));
    EXPECT_EQ(r.PageCount(), 0);
    for (int i = 1; i <= 60; ++i)
        r.AddDetail({"APP" + std::to_string(i), "7/12/2026", "Begin Make"});
    ASSERT_EQ(r.PageCount(), 2);
    EXPECT_EQ(r.Pages()[0].lines.size(), 40u);
    EXPECT_EQ(r.Pages()[1].lines.size(), 20u);
    EXPECT_EQ(r.Pages()[1].number, 2);
    EXPECT_EQ(r.Pages()[1].lines.front()[0], "APP41");
    // A page ended by hand starts the next line on a new page, and only then.
    r.EndPage();
    EXPECT_EQ(r.PageCount(), 2);
    r.AddDetail({"APP61"});
    EXPECT_EQ(r.PageCount(), 3);
    EXPECT_EQ(r.Pages()[2].lines.front().size(), 3u);  // short lines get every column
    r.Clear();
    EXPECT_EQ(r.PageCount(), 0);
}

TEST(ReportDocumentTest, PageTextHasTitleHeadingsDetailsAndFooter) {
    ReportDocument r(LogLayout(2));
    r.AddDetail({"MAIN.APP", "7/12/2026", "Begin Make"});
    r.AddDetail({"", "7/12/2026", "Make Finished"});
    r.AddDetail({"TOOLS.APP", "8/12/2026", "Begin Make"});
    const auto page1 = r.PageText(1);
    ASSERT_EQ(page1.size(), 5u);
    EXPECT_EQ(page1[0], "ZELT5.5 Activity Log");
    EXPECT_EQ(page1[1], "App Name      Date        Action");
    EXPECT_EQ(page1[2], "MAIN.APP      7/12/2026   Begin Make");
    EXPECT_EQ(page1[3], "              7/12/2026   Make Finished");
    EXPECT_EQ(page1[4], "Page   1");
    EXPECT_EQ(r.PageText(2).back(), "Page   2");
    EXPECT_TRUE(r.PageText(3).empty());
    EXPECT_TRUE(r.PageText(0).empty());
}

TEST(ReportDocumentTest, CellsAreFittedToTheirColumns) {
    EXPECT_EQ(FitCell("ab", 5, Align::Left), "ab   ");
    EXPECT_EQ(FitCell("ab", 5, Align::Right), "   ab");
    EXPECT_EQ(FitCell("ab", 5, Align::Centre), " ab  ");
    EXPECT_EQ(FitCell("abcdef", 3, Align::Right), "abc");
    EXPECT_EQ(FitCell("x", 0, Align::Left), "");
    // A page number wider than its picture widens, never "###": a long report's pages can
    // be put back in order.
    ReportLayout l;
    for (const auto& [picture, page, footer] :
         std::vector<std::tuple<std::string, int, std::string>>{{"@n1", 12, "Page 12"},
                                                                {"@n3", 999, "Page 999"},
                                                                {"@n3", 1000, "Page 1000"},
                                                                {"@n3", 44001, "Page 44001"},
                                                                {"@n03", 7, "Page 007"}}) {
        l.page_number_picture = picture;
        EXPECT_EQ(ReportDocument(l).FooterText(page), footer) << picture << " " << page;
    }
}

TEST(ReportDocumentTest, PagesAreLaidOutOnTheirPaperAndADetailIsNeverSplit) {
    ReportLayout l = LogLayout(0);
    l.paper = Paper::A4;
    const PageMetrics a4 = MeasurePage(l);
    EXPECT_NEAR(a4.page_width, 595.3, 0.1);
    EXPECT_NEAR(a4.page_height, 841.9, 0.1);
    l.paper = Paper::Letter;
    const PageMetrics letter = MeasurePage(l);
    EXPECT_EQ(letter.page_width, 612);
    EXPECT_LT(letter.lines_per_page, a4.lines_per_page) << "Letter is shorter";
    EXPECT_GT(letter.lines_per_page, 50);
    // Columns wider than the paper make the font smaller until they fit across.
    l.columns = {{"Wide", 200}};
    const PageMetrics wide = MeasurePage(l);
    EXPECT_LT(wide.font_points, l.font_points);
    EXPECT_LE(wide.column_x[0] + 200 * wide.char_width, wide.right + 0.01);

    // Four lines a page; a detail wrapping over three lines goes whole to the next page.
    l = LogLayout(4);
    l.columns[2].wrap = true;
    ReportDocument r(l);
    r.AddDetail({"A", "", "one"});
    r.AddDetail({"B", "", "two"});
    r.AddDetail({"C", "", "three words that wrap onto more lines than two"});
    ASSERT_EQ(r.PageCount(), 2);
    EXPECT_EQ(r.Pages()[0].lines.size(), 2u);
    const auto page2 = r.PageText(2);
    ASSERT_EQ(page2.size(), 6u);
    EXPECT_EQ(page2[2], "C                         three words that");
    EXPECT_EQ(page2[3], "                          wrap onto more lines");
    EXPECT_EQ(page2[4], "                          than two");
}

}  // namespace
}  // namespace zelt::runtime
