// Report pages drawn on a paged device: a printer, the print preview or a PDF writer.
#pragma once

#include <QPagedPaintDevice>

#include "runtime/report/report_document.hpp"

namespace zelt::platform {

// Draws every page; false when the device could not be painted on.
bool RenderReport(const runtime::ReportDocument& report, QPagedPaintDevice& device);

}  // namespace zelt::platform
