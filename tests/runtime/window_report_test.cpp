// Report pages: pagination, the footer and the plain-text form of a page.
#include <gtest/gtest.h>

#include "runtime/report/report_document.hpp"

namespace zelt::runtime {
namespace {

ReportLayout LogLayout(int lines_per_page) {
    ReportLayout l;
    l.title = "ZELT5.5 Activity Log";
    l.columns = {{"App Name", 12, Align::Left}, {"Date", 10, Align::Centre}, {"Action", 20, Align::Left}};
    l.lines_per_page = lines_per_page;
    return l;
}

TEST(ReportDocumentTest, DetailLinesFillPagesInOrder) {
    ReportDocument r(LogLayout(40));
    EXPECT_EQ(r.PageCount(), 0);
    for (int i = 1; i <= 60; ++i) r.AddDetail({"APP" + std::to_string(i), "7/12/2026", "Begin Make"});
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
    ReportLayout l;
    l.page_number_digits = 0;  // held at one place at least
    l.lines_per_page = 0;
    ReportDocument r(l);
    r.AddDetail({});
    r.AddDetail({});
    EXPECT_EQ(r.PageCount(), 2);
    EXPECT_EQ(r.FooterText(12), "Page 12");
}

}  // namespace
}  // namespace zelt::runtime
