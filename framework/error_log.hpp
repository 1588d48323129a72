// Where the error reporter writes a line for every message it shows.
#pragma once

#include <string_view>

#include "framework/levels.hpp"

namespace zelt::framework {

class ErrorLogSink {
  public:
    virtual ~ErrorLogSink() = default;
    // Each returns LevelOk on success and LevelNotify on failure.
    virtual Level Close(bool force) = 0;
    virtual Level Open(bool force) = 0;
    virtual Level Take(std::string_view line) = 0;
};

}  // namespace zelt::framework
