// The pages of a report, laid out on real paper: a title, column headings, detail lines and
// a page footer with the page number.
//
// The layout fixes the paper (A4, or Letter where the locale prints on Letter), the margins
// and the font; the document works out where every band and column goes on the page, in
// points (1/72 inch), and how many detail lines a page holds. The report process adds one
// detail at a time; a detail whose column wraps takes several lines, and a detail is never
// split across two pages: when it does not fit, the next page starts.
//
// Renderers draw exactly what Metrics() says with a monospaced font whose advance is
// CharWidth; the text form of a page (PageText) is what tests and the headless preview read.
// A preview shows the pages, a backend prints them or writes them to a PDF file
// (WindowSystem::PreviewReport, PrintReport, SaveReportPdf).
//
//   ReportLayout l;
//   l.title = "Activity Log";
//   l.columns = {{"App Name", 40}, {"Date", 10, Align::Right}, {"Action", 80}};
//   ReportDocument pages(l);
//   pages.AddDetail({"MAIN.APP", "12/07/26", "Begin Make"});
#pragma once

#include <string>
#include <vector>

#include "runtime/report/paper.hpp"
#include "runtime/window/window_declaration.hpp"

namespace zelt::runtime {

struct ReportColumn {
    std::string heading;
    int width = 10;  // characters
    Align align = Align::Left;
    bool wrap = false;  // a longer text goes on over further lines of the same detail
};

struct ReportLayout {
    std::string title;  // printed at the top of every page
    std::vector<ReportColumn> columns;
    std::string footer_label = "Page";  // the footer: label, a blank, the page number
    std::string page_number_picture = "@n3";
    Paper paper = Paper::Locale;
    bool landscape = false;
    double font_points = 9.0;  // detail font (made smaller when the columns are too wide)
    double margin_mm = 15.0;
    int lines_per_page = 0;  // detail lines on a page; 0 = as many as fit
};

// Where things go on a page, in points from its top left corner.
struct PageMetrics {
    Paper paper = Paper::A4;
    double page_width = 0;
    double page_height = 0;
    double left = 0;  // the printed area
    double right = 0;
    double top = 0;
    double bottom = 0;
    double font_points = 0;  // detail and heading font
    double title_points = 0;
    double char_width = 0;  // advance of one character of the detail font
    double line_height = 0;
    double title_y = 0;  // top of each band
    double headings_y = 0;
    double details_y = 0;
    double footer_y = 0;           // the rule above the footer; its text follows
    std::vector<double> column_x;  // left edge of each column
    int lines_per_page = 1;
};

// The monospaced advance as a share of the font size.
inline constexpr double kCharAdvance = 0.602;

struct ReportPage {
    int number = 1;
    std::vector<std::vector<std::string>> lines;  // one cell per column
};

class ReportDocument {
  public:
    explicit ReportDocument(ReportLayout layout = {});

    const ReportLayout& Layout() const { return layout_; }
    const PageMetrics& Metrics() const { return metrics_; }
    // A new layout; the pages go.
    void Reset(ReportLayout layout);

    // Adds a detail, opening a new page first when it does not fit on the last page.
    void AddDetail(std::vector<std::string> cells);
    // Ends the current page: the next detail starts a new one.
    void EndPage();
    void Clear();

    const std::vector<ReportPage>& Pages() const { return pages_; }
    int PageCount() const { return static_cast<int>(pages_.size()); }
    // "Page   2" for page 2 with the picture "@n3"; "Page 1000" for page 1000, where the
    // picture is too narrow for the number.
    std::string FooterText(int page_number) const;
    // A page as plain lines: title, headings, details, footer; cells padded to their widths.
    std::vector<std::string> PageText(int page_number) const;
    // One line of cells as printed: each cell fitted to its column, two blanks between
    // columns, trailing blanks cut. Headings are always left-aligned.
    std::string LineText(const std::vector<std::string>& cells, bool headings = false) const;
    std::string HeadingsText() const;

  private:
    ReportLayout layout_;
    PageMetrics metrics_;
    std::vector<ReportPage> pages_;
    bool page_ended_ = false;
};

// Works out the places on the page for a layout.
PageMetrics MeasurePage(const ReportLayout& layout);
// A cell's text padded or cut to `width` characters by its alignment.
std::string FitCell(const std::string& text, int width, Align align);
// A text broken into lines of at most `width` characters, at blanks where it can be.
std::vector<std::string> WrapText(const std::string& text, int width);

}  // namespace zelt::runtime
