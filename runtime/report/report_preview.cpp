#include "runtime/report/report_preview.hpp"

#include "runtime/window/window_system.hpp"

namespace zelt::runtime {

bool ReportPreview::Display() {
    WindowSystem* system = CurrentWindowSystem();
    if (!queue_ || queue_->PageCount() == 0 || !system) return false;
    return system->PreviewReport(*queue_);
}

}  // namespace zelt::runtime
