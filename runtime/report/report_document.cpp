#include "runtime/report/report_document.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "runtime/report/report_picture.hpp"

namespace zelt::runtime {

namespace {
constexpr double kSmallestFont = 4.0;
constexpr double kLineSpacing = 1.2;  // line height over font size
constexpr double kTitleScale = 1.5;   // title font over detail font
}  // namespace

PageMetrics MeasurePage(const ReportLayout& layout) {
    PageMetrics m;
    m.paper = ResolvePaper(layout.paper);
    const PaperSize size = SizeOf(m.paper);
    m.page_width = layout.landscape ? size.height_pt : size.width_pt;
    m.page_height = layout.landscape ? size.width_pt : size.height_pt;
    const double margin = std::clamp(layout.margin_mm, 0.0, 50.0) * kPointsPerMm;
    m.left = margin;
    m.top = margin;
    m.right = m.page_width - margin;
    m.bottom = m.page_height - margin;

    // The columns with two characters between them must fit across the page.
    int chars = 0;
    for (const auto& c : layout.columns) chars += std::max(1, c.width);
    chars += 2 * std::max(0, static_cast<int>(layout.columns.size()) - 1);
    double font = layout.font_points > 0 ? layout.font_points : 9.0;
    if (chars > 0) font = std::min(font, (m.right - m.left) / (chars * kCharAdvance));
    m.font_points = std::max(kSmallestFont, font);
    m.title_points = m.font_points * kTitleScale;
    m.char_width = m.font_points * kCharAdvance;
    m.line_height = m.font_points * kLineSpacing;

    m.title_y = m.top;
    m.headings_y = m.title_y + m.title_points * 1.6;
    m.details_y = m.headings_y + m.line_height * 1.4;  // headings, a rule and a gap
    m.footer_y = m.bottom - m.line_height * 1.6;
    double x = m.left;
    for (const auto& c : layout.columns) {
        m.column_x.push_back(x);
        x += (std::max(1, c.width) + 2) * m.char_width;
    }
    const int fit =
        std::max(1, static_cast<int>(std::floor((m.footer_y - m.details_y) / m.line_height)));
    m.lines_per_page = layout.lines_per_page > 0 ? std::min(layout.lines_per_page, fit) : fit;
    return m;
}

ReportDocument::ReportDocument(ReportLayout layout) {
    Reset(std::move(layout));
}

void ReportDocument::Reset(ReportLayout layout) {
    layout_ = std::move(layout);
    metrics_ = MeasurePage(layout_);
    Clear();
}

void ReportDocument::AddDetail(std::vector<std::string> cells) {
    cells.resize(std::max(cells.size(), layout_.columns.size()));
    // A wrapping column with a longer text makes the detail several lines tall.
    std::vector<std::vector<std::string>> rows;
    for (std::size_t c = 0; c < layout_.columns.size(); ++c) {
        const auto& column = layout_.columns[c];
        if (!column.wrap || static_cast<int>(cells[c].size()) <= column.width) continue;
        auto parts = WrapText(cells[c], column.width);
        if (rows.size() < parts.size())
            rows.resize(parts.size(), std::vector<std::string>(cells.size()));
        for (std::size_t r = 0; r < parts.size(); ++r) rows[r][c] = std::move(parts[r]);
        cells[c].clear();
    }
    if (!rows.empty()) {
        for (std::size_t c = 0; c < cells.size(); ++c)
            if (!cells[c].empty()) rows[0][c] = std::move(cells[c]);
    }
    // A detail taller than a page is cut to the page.
    const int height =
        std::min(std::max(1, static_cast<int>(rows.size())), metrics_.lines_per_page);
    if (pages_.empty() || page_ended_ ||
        static_cast<int>(pages_.back().lines.size()) + height > metrics_.lines_per_page) {
        ReportPage page;
        page.number = PageCount() + 1;
        pages_.push_back(std::move(page));
        page_ended_ = false;
    }
    auto& lines = pages_.back().lines;
    if (rows.empty()) {
        lines.push_back(std::move(cells));
        return;
    }
    for (int r = 0; r < height; ++r) lines.push_back(std::move(rows[static_cast<std::size_t>(r)]));
}

void ReportDocument::EndPage() {
    page_ended_ = true;
}

void ReportDocument::Clear() {
    pages_.clear();
    page_ended_ = false;
}

std::string ReportDocument::FooterText(int page_number) const {
    const std::string digits = std::to_string(page_number);
    std::string number = FormatReportValue(digits, layout_.page_number_picture);
    // A number too wide for its picture shows as "###": the page number widens instead, so
    // that the pages of a long report can always be put back in order.
    if (number.find('#') != std::string::npos && digits.find('#') == std::string::npos)
        number = digits;
    return layout_.footer_label + " " + number;
}

namespace {

// The bytes of the first `width` characters of UTF-8 text (a cut never splits a character),
// and how many characters they hold.
std::pair<std::size_t, std::size_t> LeadingCharacters(std::string_view text, std::size_t width) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (characters == width) return {i, characters};
        ++characters;
    }
    return {text.size(), characters};
}

}  // namespace

std::string FitCell(const std::string& text, int width, Align align) {
    const auto w = static_cast<std::size_t>(std::max(0, width));
    const auto [bytes, characters] = LeadingCharacters(text, w);
    if (characters >= w) return text.substr(0, bytes);
    const std::size_t pad = w - characters;
    switch (align) {
        case Align::Right:
            return std::string(pad, ' ') + text;
        case Align::Centre:
            return std::string(pad / 2, ' ') + text + std::string(pad - pad / 2, ' ');
        case Align::Left:
            break;
    }
    return text + std::string(pad, ' ');
}

std::vector<std::string> WrapText(const std::string& text, int width) {
    std::vector<std::string> lines;
    const auto w = static_cast<std::size_t>(std::max(1, width));
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && text[at] == ' ' && !lines.empty()) ++at;
        if (at >= text.size()) break;
        std::size_t end = at + LeadingCharacters(std::string_view(text).substr(at), w).first;
        if (end < text.size() && text[end] != ' ') {
            const std::size_t blank = text.rfind(' ', end);
            if (blank != std::string::npos && blank > at) end = blank;
        }
        std::string line = text.substr(at, end - at);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        lines.push_back(std::move(line));
        at = end;
    }
    if (lines.empty()) lines.emplace_back();
    return lines;
}

std::string ReportDocument::LineText(const std::vector<std::string>& cells, bool headings) const {
    std::string line;
    line.reserve(160);
    std::size_t blanks = 0;  // blanks owed before the next text, dropped at the end of the line
    for (std::size_t i = 0; i < layout_.columns.size(); ++i) {
        const auto& col = layout_.columns[i];
        const auto width = static_cast<std::size_t>(std::max(0, col.width));
        const std::string_view cell = i < cells.size() ? std::string_view(cells[i]) : "";
        const auto [bytes, characters] = LeadingCharacters(cell, width);
        const std::string_view text = cell.substr(0, bytes);
        const std::size_t pad = width - characters;
        const Align align = headings ? Align::Left : col.align;
        const std::size_t before = align == Align::Right    ? pad
                                   : align == Align::Centre ? pad / 2
                                                            : 0;
        if (i) blanks += 2;
        blanks += before;
        if (!text.empty()) {
            line.append(blanks, ' ');
            line.append(text);
            blanks = 0;
        }
        blanks += pad - before;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

std::string ReportDocument::HeadingsText() const {
    std::vector<std::string> headings;
    for (const auto& c : layout_.columns) headings.push_back(c.heading);
    return LineText(headings, true);
}

std::vector<std::string> ReportDocument::PageText(int page_number) const {
    std::vector<std::string> out;
    if (page_number < 1 || page_number > PageCount()) return out;
    out.push_back(layout_.title);
    out.push_back(HeadingsText());
    for (const auto& cells : pages_[static_cast<std::size_t>(page_number - 1)].lines)
        out.push_back(LineText(cells));
    out.push_back(FooterText(page_number));
    return out;
}

}  // namespace zelt::runtime
