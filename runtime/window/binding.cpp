#include "runtime/window/binding.hpp"

namespace zelt::runtime {

long long ParseBoundNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) {
        return (!text.empty() && text.front() == '-') ? std::numeric_limits<long long>::min()
                                                      : std::numeric_limits<long long>::max();
    }
    if (ec != std::errc()) return 0;
    (void)end;
    return value;
}

}  // namespace zelt::runtime
