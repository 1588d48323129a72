// A report declared as data, and the report while it prints.
//
// The declaration names the title, and per column its heading, width, alignment and the
// detail field printed under it (a binding to the variable, read at each detail) with its
// picture; the page footer prints a label and the page number under a picture. Paper,
// orientation and font complete the layout (ReportDocument lays the pages out).
//
//   ReportDeclaration d("ZELT5.5 Activity Log");
//   d.Column("App Name", 40, Use(app_name))
//    .Column("Date", 10, Show([] { return std::to_string(TMP.Date); }), "@D8", Align::Right)
//    .Footer("Page", "@n3")
//    .Landscape();
//   Report report(d);
//   report.Open();
//   report.SetPreviewQueue(&queue);   // optional: the pages go to a preview
//   for (each record) report.PrintDetail();
//   report.EndPage();
//   report.Output();                  // without a preview: printer, or OutputFile as PDF
//   report.Close();
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/report/report_document.hpp"
#include "runtime/window/binding.hpp"

namespace zelt::runtime {

struct ReportDeclaration {
    explicit ReportDeclaration(std::string title = {}) { layout.title = std::move(title); }

    ReportLayout layout;          // title, columns, footer, paper
    std::vector<Binding> fields;  // the detail band: one field per column
    std::vector<std::string> pictures;

    ReportDeclaration& Column(std::string heading, int width, Binding field,
                              std::string picture = {}, Align align = Align::Left,
                              bool wrap = false);
    ReportDeclaration& Footer(std::string label, std::string page_number_picture);
    ReportDeclaration& Landscape(bool on = true) {
        layout.landscape = on;
        return *this;
    }
    ReportDeclaration& OnPaper(Paper paper) {
        layout.paper = paper;
        return *this;
    }
    ReportDeclaration& Font(double points) {
        layout.font_points = points;
        return *this;
    }
    ReportDeclaration& LinesPerPage(int lines) {
        layout.lines_per_page = lines;
        return *this;
    }
};

class Report {
  public:
    explicit Report(ReportDeclaration declaration);
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    const ReportDeclaration& Declaration() const { return declaration_; }

    // Starts a fresh set of pages; false when the report is open already.
    bool Open();
    bool IsOpen() const { return open_; }
    // From now on the pages go to `queue` (a preview's), laid out for this report; nullptr
    // puts them back into the report's own pages.
    void SetPreviewQueue(ReportDocument* queue);
    // Prints the detail band from the fields' values as they are now.
    void PrintDetail();
    // Prints a detail of given texts (one per column).
    void PrintDetail(std::vector<std::string> cells);
    void EndPage();
    // The pages printed so far: the preview queue's, or the report's own.
    ReportDocument& Pages() { return queue_ ? *queue_ : own_; }

    // Where Output sends the pages: the printer, or a PDF file when OutputFile is set.
    std::string OutputFile;
    // Sends the pages on (through the installed window system, else the PDF writer); false
    // when that failed or the printer was not chosen.
    bool Output();
    void Close();

  private:
    ReportDeclaration declaration_;
    ReportDocument own_;
    ReportDocument* queue_ = nullptr;
    bool open_ = false;
};

}  // namespace zelt::runtime
