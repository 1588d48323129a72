// An item of a make between its checks and its end: what the one-by-one make and the make on
// several IDEs (parallel_make.cpp) both know of it once BatchEngine::PrepareItem has let it go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/batches/batch_engine.hpp"
#include "app/batches/file_services.hpp"

namespace zelt::app {

struct BatchEngine::Flight {
    std::size_t lane = 0;
    std::string name;   // stored text, as logged
    std::string shown;  // UTF-8, as shown
    std::uint8_t priority = 0;
    std::string target;  // UTF-8, whole
    FileStamp before;
    std::string command;
    std::int64_t sent_ms = 0;
};

}  // namespace zelt::app
