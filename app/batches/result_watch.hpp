// A watch over the folder of a result file: a descriptor that becomes readable when an entry
// of that folder is created, written, closed after writing, moved in or removed, so that a
// waiting item sleeps until something happens there instead of looking again and again.
//
// One watch serves a whole batch: it follows the folder of each item's result (the folder
// is watched afresh only when it changes), because closing a watch costs the system a grace
// period of several milliseconds, which a batch of many items would pay each time.
//
//     watch.Follow(target);            // before the second look, after a first one failed
//     watch.Drain();
//     if (!seen()) sleep on watch.Descriptor() ...
#pragma once

#include <string>

namespace zelt::app {

class ResultWatch {
  public:
    ResultWatch() = default;
    ~ResultWatch();
    ResultWatch(const ResultWatch&) = delete;
    ResultWatch& operator=(const ResultWatch&) = delete;

    // Watches the folder of `path` (and no other). Descriptor() is -1 when it cannot be
    // watched (the folder does not exist yet, or the system refused).
    void Follow(const std::string& path);
    int Descriptor() const { return watch_ >= 0 ? fd_ : -1; }
    // Reads away what woke the descriptor, so that the next sleep waits for news.
    void Drain();

  private:
    int fd_ = -1;
    int watch_ = -1;      // the watch on `folder_`, or -1
    std::string folder_;  // the folder watched
};

}  // namespace zelt::app
