#include <poll.h>

#include <algorithm>

#include "app/batches/batch_window.hpp"

namespace zelt::app {

bool SleepOnResult(const ResultWait& wait, int extra_descriptor) {
    pollfd fds[2];
    nfds_t count = 0;
    if (wait.watch_descriptor >= 0) fds[count++] = {wait.watch_descriptor, POLLIN, 0};
    if (extra_descriptor >= 0) fds[count++] = {extra_descriptor, POLLIN, 0};
    const int timeout = static_cast<int>(std::clamp<std::int64_t>(wait.tick_ms, 0, 60000));
    return ::poll(fds, count, timeout) > 0;
}

}  // namespace zelt::app
