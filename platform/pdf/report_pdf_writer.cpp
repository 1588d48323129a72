#include "platform/pdf/report_pdf_writer.hpp"

#include <hpdf.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "runtime/text/stored_text.hpp"

namespace zelt::platform {

namespace {

constexpr const char* kFontDir = "/usr/share/fonts/truetype/dejavu/";
constexpr const char* kEncoding = "WinAnsiEncoding";
constexpr double kBaseline = 0.8;  // a line's baseline, as a share of its height from the top

struct DocDeleter {
    void operator()(HPDF_Doc doc) const { HPDF_Free(doc); }
};
using Doc = std::unique_ptr<std::remove_pointer_t<HPDF_Doc>, DocDeleter>;

// The library reports errors through this; the writer notes the first and gives up.
void NoteError(HPDF_STATUS error, HPDF_STATUS, void* failed) {
    if (error != HPDF_OK) *static_cast<bool*>(failed) = true;
}

HPDF_Font LoadFont(HPDF_Doc doc, const char* file, const char* fallback) {
    const std::string path = std::string(kFontDir) + file;
    if (std::filesystem::exists(path)) {
        if (const char* name = HPDF_LoadTTFontFromFile(doc, path.c_str(), HPDF_TRUE))
            return HPDF_GetFont(doc, name, kEncoding);
    }
    return HPDF_GetFont(doc, fallback, kEncoding);
}

class PageWriter {
  public:
    PageWriter(HPDF_Doc doc, const runtime::ReportDocument& report)
        : doc_(doc),
          report_(report),
          m_(report.Metrics()),
          body_(LoadFont(doc, "DejaVuSansMono.ttf", "Courier")),
          bold_(LoadFont(doc, "DejaVuSansMono-Bold.ttf", "Courier-Bold")) {}

    void Write(int number) {
        HPDF_Page page = HPDF_AddPage(doc_);
        if (!page) return;
        HPDF_Page_SetWidth(page, static_cast<HPDF_REAL>(m_.page_width));
        HPDF_Page_SetHeight(page, static_cast<HPDF_REAL>(m_.page_height));
        HPDF_Page_SetLineWidth(page, 0.5f);
        const double rule = m_.headings_y + m_.line_height * 1.15;
        Rule(page, rule);
        Rule(page, m_.footer_y);

        HPDF_Page_BeginText(page);
        Font(page, bold_, m_.title_points);
        Text(page, m_.left, m_.title_y, m_.title_points * 1.2, report_.Layout().title);
        Font(page, bold_, m_.font_points);
        Text(page, m_.left, m_.headings_y, m_.line_height, report_.HeadingsText());
        Font(page, body_, m_.font_points);
        double top = m_.details_y;
        for (const auto& cells : report_.Pages()[static_cast<std::size_t>(number - 1)].lines) {
            Text(page, m_.left, top, m_.line_height, report_.LineText(cells));
            top += m_.line_height;
        }
        const std::string footer = report_.FooterText(number);
        Text(page, m_.right - static_cast<double>(footer.size()) * m_.char_width,
             m_.footer_y + m_.line_height * 0.4, m_.line_height, footer);
        HPDF_Page_EndText(page);
    }

  private:
    void Rule(HPDF_Page page, double y) {
        const auto pdf_y = static_cast<HPDF_REAL>(m_.page_height - y);
        HPDF_Page_MoveTo(page, static_cast<HPDF_REAL>(m_.left), pdf_y);
        HPDF_Page_LineTo(page, static_cast<HPDF_REAL>(m_.right), pdf_y);
        HPDF_Page_Stroke(page);
    }
    // The font at a size, spaced so that a character takes the layout's character width.
    void Font(HPDF_Page page, HPDF_Font font, double points) {
        HPDF_Page_SetFontAndSize(page, font, static_cast<HPDF_REAL>(points));
        const HPDF_TextWidth zero =
            HPDF_Font_TextWidth(font, reinterpret_cast<const HPDF_BYTE*>("0"), 1);
        const double natural = zero.width * points / 1000.0;
        const double wanted = m_.char_width * points / m_.font_points;
        HPDF_Page_SetCharSpace(page, static_cast<HPDF_REAL>(wanted - natural));
    }
    void Text(HPDF_Page page, double x, double top, double height, const std::string& text) {
        if (text.empty()) return;
        // Plain ASCII (the usual case) is the same in both encodings.
        const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return c > 0; });
        if (!ascii) latin1_ = ToWinLatin1(text);
        HPDF_Page_TextOut(page, static_cast<HPDF_REAL>(x),
                          static_cast<HPDF_REAL>(m_.page_height - top - height * kBaseline),
                          ascii ? text.c_str() : latin1_.c_str());
    }

    HPDF_Doc doc_;
    const runtime::ReportDocument& report_;
    const runtime::PageMetrics& m_;
    HPDF_Font body_;
    HPDF_Font bold_;
    std::string latin1_;
};

}  // namespace

std::string ToWinLatin1(const std::string& text) {
    std::string out = runtime::Utf8ToStoredMarked(text);
    std::replace(out.begin(), out.end(), '\0', ' ');  // the library takes C strings
    return out;
}

bool WriteReportPdfFile(const runtime::ReportDocument& report, const std::string& path) {
    bool failed = false;
    Doc doc(HPDF_New(NoteError, &failed));
    if (!doc) return false;
    HPDF_SetCompressionMode(doc.get(), HPDF_COMP_METADATA);
    HPDF_SetInfoAttr(doc.get(), HPDF_INFO_TITLE, ToWinLatin1(report.Layout().title).c_str());
    HPDF_SetInfoAttr(doc.get(), HPDF_INFO_CREATOR, "ZELT");
    HPDF_SetInfoAttr(doc.get(), HPDF_INFO_PRODUCER, kReportPdfProducer);
    PageWriter writer(doc.get(), report);
    for (int p = 1; p <= report.PageCount() && !failed; ++p) writer.Write(p);
    if (failed) return false;
    return HPDF_SaveToFile(doc.get(), path.c_str()) == HPDF_OK && !failed;
}

runtime::ReportPdfWriter ReportPdfFileWriter() {
    return [](const runtime::ReportDocument& report, const std::string& path) {
        return WriteReportPdfFile(report, path);
    };
}

}  // namespace zelt::platform
