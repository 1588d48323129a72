// Settings files: the per-user profile and private profile files of the INI form.
//
// The runtime and the framework read and write settings only through this interface; the
// platform installs the service that keeps the files (main() wires it). Sections and keys
// are compared ignoring letter case and the first occurrence wins. Without an installed
// service every read answers its default and every write fails.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::runtime {

// The file name that stands for the per-user profile.
inline constexpr std::string_view kUserProfile{};

class ProfileService {
  public:
    virtual ~ProfileService() = default;
    // The value stored under section/key of `file` (kUserProfile: the per-user profile),
    // trimmed and unquoted; nothing when the file, section or key is missing.
    virtual std::optional<std::string> Read(std::string_view file, std::string_view section,
                                            std::string_view key) = 0;
    // Stores a value (creating the file and the section when missing); with no value the
    // key is removed. False when the file cannot be written.
    virtual bool Write(std::string_view file, std::string_view section, std::string_view key,
                       std::optional<std::string_view> value) = 0;
    // The keys of a section in file order (first occurrences only).
    virtual std::vector<std::string> Keys(std::string_view file, std::string_view section) = 0;
};

// The service in use (a service without files unless another was installed).
ProfileService& CurrentProfileService();
// Installs a service (nullptr: none). Returns the previous one.
std::shared_ptr<ProfileService> InstallProfileService(std::shared_ptr<ProfileService> service);

// Installs a service for a scope and puts the previous one back at its end.
class ScopedProfileService {
  public:
    explicit ScopedProfileService(std::shared_ptr<ProfileService> service)
        : previous_(InstallProfileService(std::move(service))) {}
    ~ScopedProfileService() { InstallProfileService(std::move(previous_)); }
    ScopedProfileService(const ScopedProfileService&) = delete;
    ScopedProfileService& operator=(const ScopedProfileService&) = delete;

  private:
    std::shared_ptr<ProfileService> previous_;
};

// The stored text, or `fallback` when the key is missing.
std::string ProfileText(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view fallback);
// The stored number: leading blanks, an optional sign and decimal digits (parsing stops at
// the first other character; no digits give 0); `fallback` when the key is missing.
std::int32_t ProfileNumber(std::string_view file, std::string_view section, std::string_view key,
                           std::int32_t fallback);
bool WriteProfileText(std::string_view file, std::string_view section, std::string_view key,
                      std::string_view value);
bool RemoveProfileKey(std::string_view file, std::string_view section, std::string_view key);

}  // namespace zelt::runtime
