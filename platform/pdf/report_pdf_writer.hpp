// Report pages written straight to a PDF file with libharu, without a window system.
//
// The pages are placed exactly as PageMetrics says, in DejaVu Sans Mono embedded in the
// file (Courier when that font is not installed), so they look as the preview shows them.
// Texts are taken as UTF-8 and written in the Windows Latin-1 encoding (the runtime's
// conversion, runtime/text/stored_text.hpp); a character outside it prints as its code
// point, "<U+0142>", and a byte that is no UTF-8 as "<E9>". This is the fast path for big
// reports: install it as the runtime's PDF writer. Its files name it as their producer
// (kReportPdfProducer), so a file shows which writer made it.
//
//   runtime::InstallReportPdfWriter(platform::ReportPdfFileWriter());
#pragma once

#include <string>

#include "runtime/report/report_document.hpp"
#include "runtime/report/report_pdf.hpp"

namespace zelt::platform {

// The producer named in the information of every file this writer makes.
inline constexpr const char* kReportPdfProducer = "ZELT report writer";

// Writes every page to `path`; false when the file could not be written.
bool WriteReportPdfFile(const runtime::ReportDocument& report, const std::string& path);
// WriteReportPdfFile as the runtime's PDF writer.
runtime::ReportPdfWriter ReportPdfFileWriter();
// A UTF-8 text in the Windows Latin-1 encoding, marking what it cannot hold.
std::string ToWinLatin1(const std::string& text);

}  // namespace zelt::platform
