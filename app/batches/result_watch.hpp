// A watch over the folder of a result file: a descriptor that becomes readable when an entry
// of that folder is created, written, closed after writing, moved in or removed, so that a
// waiting item sleeps until something happens there instead of looking again and again.
#pragma once

#include <string>

namespace zelt::app {

class ResultWatch {
  public:
    // Watches the folder of `path`; Descriptor() is -1 when it cannot be watched (the folder
    // does not exist yet, or the system refused).
    explicit ResultWatch(const std::string& path);
    ~ResultWatch();
    ResultWatch(const ResultWatch&) = delete;
    ResultWatch& operator=(const ResultWatch&) = delete;

    int Descriptor() const { return watching_ ? fd_ : -1; }
    // Reads away what woke the descriptor, so that the next sleep waits for news.
    void Drain();

  private:
    int fd_ = -1;
    bool watching_ = false;
};

}  // namespace zelt::app
