#include "runtime/report/report_pdf.hpp"

#include <mutex>

namespace zelt::runtime {

namespace {
std::mutex writer_mutex;
ReportPdfWriter installed_writer;  // guarded by writer_mutex
}  // namespace

ReportPdfWriter InstallReportPdfWriter(ReportPdfWriter writer) {
    std::lock_guard lock(writer_mutex);
    std::swap(installed_writer, writer);
    return writer;
}

bool WriteReportPdf(const ReportDocument& pages, const std::string& path) {
    ReportPdfWriter writer;
    {
        std::lock_guard lock(writer_mutex);
        writer = installed_writer;
    }
    return writer ? writer(pages, path) : false;
}

bool ReportPdfWriterInstalled() {
    std::lock_guard lock(writer_mutex);
    return static_cast<bool>(installed_writer);
}

}  // namespace zelt::runtime
