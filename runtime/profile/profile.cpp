#include "runtime/profile/profile.hpp"

#include <cctype>
#include <limits>
#include <mutex>

namespace zelt::runtime {
namespace {

class NoProfileService final : public ProfileService {
  public:
    std::optional<std::string> Read(std::string_view, std::string_view, std::string_view) override {
        return std::nullopt;
    }
    bool Write(std::string_view, std::string_view, std::string_view,
               std::optional<std::string_view>) override {
        return false;
    }
    std::vector<std::string> Keys(std::string_view, std::string_view) override { return {}; }
};

std::mutex service_mutex;
std::shared_ptr<ProfileService> installed;

std::shared_ptr<ProfileService> Current() {
    std::lock_guard lock(service_mutex);
    if (!installed) installed = std::make_shared<NoProfileService>();
    return installed;
}

}  // namespace

ProfileService& CurrentProfileService() {
    // The installed service lives until it is replaced; callers use it within one call.
    return *Current();
}

std::shared_ptr<ProfileService> InstallProfileService(std::shared_ptr<ProfileService> service) {
    std::lock_guard lock(service_mutex);
    auto previous = std::move(installed);
    installed = std::move(service);
    return previous;
}

std::string ProfileText(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view fallback) {
    auto value = Current()->Read(file, section, key);
    return value ? std::move(*value) : std::string(fallback);
}

std::int32_t ProfileNumber(std::string_view file, std::string_view section, std::string_view key,
                           std::int32_t fallback) {
    auto value = Current()->Read(file, section, key);
    if (!value) return fallback;
    std::size_t i = 0;
    while (i < value->size() && std::isspace(static_cast<unsigned char>((*value)[i]))) ++i;
    bool negative = false;
    if (i < value->size() && ((*value)[i] == '-' || (*value)[i] == '+')) {
        negative = (*value)[i] == '-';
        ++i;
    }
    std::int64_t n = 0;
    for (; i < value->size() && std::isdigit(static_cast<unsigned char>((*value)[i])); ++i) {
        n = n * 10 + ((*value)[i] - '0');
        if (n > std::numeric_limits<std::int32_t>::max()) {
            n = std::numeric_limits<std::int32_t>::max();
        }
    }
    return static_cast<std::int32_t>(negative ? -n : n);
}

bool WriteProfileText(std::string_view file, std::string_view section, std::string_view key,
                      std::string_view value) {
    return Current()->Write(file, section, key, value);
}

bool RemoveProfileKey(std::string_view file, std::string_view section, std::string_view key) {
    return Current()->Write(file, section, key, std::nullopt);
}

}  // namespace zelt::runtime
