// Report pages drawn with Qt: on a printer, a PDF writer, or a page of the print preview.
//
// Every page is drawn where the document's PageMetrics put things (points from the page's
// top left corner), in DejaVu Sans Mono spaced so that one character takes exactly the
// document's character width: the columns line up as the text form of the page does.
#pragma once

#include <QPagedPaintDevice>
#include <QPainter>
#include <string>

#include "runtime/report/report_document.hpp"
#include "runtime/report/report_pdf.hpp"

namespace zelt::platform {

// Sets the device's page to the report's paper (no margins of its own) and draws pages
// `first` to `last` (0: to the end); false when the device could not be painted on.
bool RenderReport(const runtime::ReportDocument& report, QPagedPaintDevice& device, int first = 1,
                  int last = 0);
// Draws page `page` (from 1) with `scale` device pixels per point, the page's top left
// corner at the painter's origin. The sheet itself (white paper) is the caller's.
void RenderPage(const runtime::ReportDocument& report, int page, QPainter& painter, double scale);
// Writes the pages to a PDF file drawn with Qt; false when the file could not be written.
bool RenderReportPdf(const runtime::ReportDocument& report, const std::string& path);
// Writes a PDF file through the runtime's installed writer, or with Qt when none is.
bool SaveReportPdfFile(const runtime::ReportDocument& report, const std::string& path);

}  // namespace zelt::platform
