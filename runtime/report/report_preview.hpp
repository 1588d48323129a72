// The print preview of a report: it shows the pages queued for it and answers whether the
// user had them printed.
//
// The preview holds no pages of its own: the report process gives it a queue
// (ReportDocument) that the report fills. Display shows the queue through the installed
// window system: the Qt backend opens a maximised preview window (zoom, page navigation,
// Print, Save as PDF); the headless backend answers from its script.
#pragma once

#include "runtime/report/report_document.hpp"

namespace zelt::runtime {

class ReportPreview {
  public:
    void SetQueue(ReportDocument* queue) { queue_ = queue; }
    ReportDocument* Queue() const { return queue_; }
    // Shows the queued pages; true when the user had them printed. False without pages or
    // without a window system.
    bool Display();
    // Lets go of the queue.
    void Kill() { queue_ = nullptr; }

  private:
    ReportDocument* queue_ = nullptr;
};

}  // namespace zelt::runtime
