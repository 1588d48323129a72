#include "runtime/report/report.hpp"

#include "runtime/report/report_pdf.hpp"
#include "runtime/report/report_picture.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::runtime {

ReportDeclaration& ReportDeclaration::Column(std::string heading, int width, Binding field,
                                             std::string picture, Align align, bool wrap) {
    layout.columns.push_back({std::move(heading), width, align, wrap});
    fields.push_back(std::move(field));
    pictures.push_back(std::move(picture));
    return *this;
}

ReportDeclaration& ReportDeclaration::Footer(std::string label, std::string page_number_picture) {
    layout.footer_label = std::move(label);
    layout.page_number_picture = std::move(page_number_picture);
    return *this;
}

Report::Report(ReportDeclaration declaration)
    : declaration_(std::move(declaration)), own_(declaration_.layout) {}

bool Report::Open() {
    if (open_) return false;
    own_.Reset(declaration_.layout);
    if (queue_) queue_->Reset(declaration_.layout);
    open_ = true;
    return true;
}

void Report::SetPreviewQueue(ReportDocument* queue) {
    queue_ = queue;
    if (queue_) queue_->Reset(declaration_.layout);
}

void Report::PrintDetail() {
    std::vector<std::string> cells;
    cells.reserve(declaration_.fields.size());
    for (std::size_t i = 0; i < declaration_.fields.size(); ++i) {
        const std::string& picture = declaration_.pictures[i];
        std::string value = declaration_.fields[i].Read();
        cells.push_back(picture.empty() ? std::move(value) : FormatReportValue(value, picture));
    }
    PrintDetail(std::move(cells));
}

void Report::PrintDetail(std::vector<std::string> cells) {
    if (open_) Pages().AddDetail(std::move(cells));
}

void Report::EndPage() {
    Pages().EndPage();
}

bool Report::Output() {
    WindowSystem* system = CurrentWindowSystem();
    if (!OutputFile.empty())
        return system ? system->SaveReportPdf(Pages(), OutputFile)
                      : WriteReportPdf(Pages(), OutputFile);
    return system && system->PrintReport(Pages());
}

void Report::Close() {
    open_ = false;
}

}  // namespace zelt::runtime
