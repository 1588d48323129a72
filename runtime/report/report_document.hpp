// The pages of a report: a title, column headings, detail lines and a page footer with the
// page number, laid out into pages of a fixed number of detail lines.
//
// The report process adds one detail line per record; the document starts a new page when
// the current one is full. A preview shows the pages, a backend prints them or writes them
// to a PDF file (WindowSystem::PreviewReport, PrintReport, SaveReportPdf).
#pragma once

#include <string>
#include <vector>

#include "runtime/window/window_declaration.hpp"

namespace zelt::runtime {

struct ReportColumn {
    std::string heading;
    int width = 10;  // characters
    Align align = Align::Left;
};

struct ReportLayout {
    std::string title;                 // printed at the top of every page
    std::vector<ReportColumn> columns;
    std::string footer_label = "Page"; // the footer: label, a blank, the page number
    int page_number_digits = 3;        // the number right-aligned in this many places
    int lines_per_page = 50;           // detail lines on a page (at least 1)
    bool landscape = false;
};

struct ReportPage {
    int number = 1;
    std::vector<std::vector<std::string>> lines;  // one cell per column
};

class ReportDocument {
public:
    explicit ReportDocument(ReportLayout layout = {});

    const ReportLayout& Layout() const { return layout_; }
    // Adds a detail line, opening a new page first when the last page is full.
    void AddDetail(std::vector<std::string> cells);
    // Ends the current page: the next detail line starts a new one.
    void EndPage();
    void Clear();

    const std::vector<ReportPage>& Pages() const { return pages_; }
    int PageCount() const { return static_cast<int>(pages_.size()); }
    // "Page   2" for page 2 with three digits.
    std::string FooterText(int page_number) const;
    // A page as plain lines: title, headings, details, footer; cells padded to their widths.
    std::vector<std::string> PageText(int page_number) const;

private:
    ReportLayout layout_;
    std::vector<ReportPage> pages_;
    bool page_ended_ = false;
};

// A cell's text padded or cut to `width` characters by its alignment.
std::string FitCell(const std::string& text, int width, Align align);

}  // namespace zelt::runtime
