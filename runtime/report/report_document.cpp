#include "runtime/report/report_document.hpp"

#include <algorithm>

namespace zelt::runtime {

ReportDocument::ReportDocument(ReportLayout layout) : layout_(std::move(layout)) {
    layout_.lines_per_page = std::max(1, layout_.lines_per_page);
    layout_.page_number_digits = std::max(1, layout_.page_number_digits);
}

void ReportDocument::AddDetail(std::vector<std::string> cells) {
    if (pages_.empty() || page_ended_ ||
        static_cast<int>(pages_.back().lines.size()) >= layout_.lines_per_page) {
        ReportPage page;
        page.number = PageCount() + 1;
        pages_.push_back(std::move(page));
        page_ended_ = false;
    }
    cells.resize(std::max(cells.size(), layout_.columns.size()));
    pages_.back().lines.push_back(std::move(cells));
}

void ReportDocument::EndPage() { page_ended_ = true; }

void ReportDocument::Clear() {
    pages_.clear();
    page_ended_ = false;
}

std::string ReportDocument::FooterText(int page_number) const {
    std::string number = std::to_string(page_number);
    const auto digits = static_cast<std::size_t>(layout_.page_number_digits);
    if (number.size() < digits) number.insert(0, digits - number.size(), ' ');
    return layout_.footer_label + " " + number;
}

std::string FitCell(const std::string& text, int width, Align align) {
    const auto w = static_cast<std::size_t>(std::max(0, width));
    if (text.size() >= w) return text.substr(0, w);
    const std::size_t pad = w - text.size();
    switch (align) {
        case Align::Right: return std::string(pad, ' ') + text;
        case Align::Centre: return std::string(pad / 2, ' ') + text + std::string(pad - pad / 2, ' ');
        case Align::Left: break;
    }
    return text + std::string(pad, ' ');
}

std::vector<std::string> ReportDocument::PageText(int page_number) const {
    std::vector<std::string> out;
    if (page_number < 1 || page_number > PageCount()) return out;
    auto join = [this](const std::vector<std::string>& cells, bool headings) {
        std::string line;
        for (std::size_t i = 0; i < layout_.columns.size(); ++i) {
            if (i) line += "  ";
            const auto& col = layout_.columns[i];
            line += FitCell(i < cells.size() ? cells[i] : std::string(), col.width,
                            headings ? Align::Left : col.align);
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        return line;
    };
    out.push_back(layout_.title);
    std::vector<std::string> headings;
    for (const auto& c : layout_.columns) headings.push_back(c.heading);
    out.push_back(join(headings, true));
    for (const auto& cells : pages_[static_cast<std::size_t>(page_number - 1)].lines)
        out.push_back(join(cells, false));
    out.push_back(FooterText(page_number));
    return out;
}

}  // namespace zelt::runtime
