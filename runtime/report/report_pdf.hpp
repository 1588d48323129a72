// Writing report pages to a PDF file.
//
// The runtime has no PDF writer of its own: the program (or a test) installs one from the
// platform layer, and the headless window backend and reports without a window system
// write through it.
//
//   runtime::InstallReportPdfWriter(platform::ReportPdfFileWriter());  // platform/pdf
//
// The Qt backend writes PDF files through the installed writer too, and draws them with Qt
// when none is installed.
#pragma once

#include <functional>
#include <string>

namespace zelt::runtime {

class ReportDocument;

// Writes the pages to `path`; false when the file could not be written.
using ReportPdfWriter = std::function<bool(const ReportDocument& pages, const std::string& path)>;

// Installs a writer (an empty one removes it); returns the one installed before.
ReportPdfWriter InstallReportPdfWriter(ReportPdfWriter writer);
// Writes through the installed writer; false when it failed or no writer is installed.
bool WriteReportPdf(const ReportDocument& pages, const std::string& path);
bool ReportPdfWriterInstalled();

}  // namespace zelt::runtime
