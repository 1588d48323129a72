// The profile service over INI files on disk.
//
// A private profile file is named by its path (relative names are taken from the current
// directory); the per-user profile is "zelt/profile.ini" under the XDG configuration
// directory ($XDG_CONFIG_HOME, else ~/.config). A write replaces the file in one step (a new
// file renamed over the old one), so a failed write leaves the old text whole and a reader
// never sees half a file; the folder of a missing file is created. A write holds an
// exclusive lock (flock) on the file from reading it to replacing it, so writers in several
// processes (or several services in one) never lose each other's keys.
//
// Permissions hold: a file that its user may not write is never replaced (the write fails
// and the file keeps its text), and a writable file in a folder that takes no new file is
// written in place, under the same lock. A write waits for another writer's lock at most
// LockWait() (5 seconds unless set), then fails. A failed write leaves the runtime's error
// (Access Denied and the like) with a text that names the file and says why.
#pragma once

#include <chrono>
#include <filesystem>
#include <mutex>

#include "runtime/profile/profile.hpp"

namespace zelt::platform {

class IniFileService final : public runtime::ProfileService {
  public:
    // The per-user profile at its XDG place.
    IniFileService();
    // The per-user profile at a given path (tests, portable set-ups).
    explicit IniFileService(std::filesystem::path user_profile);

    std::optional<std::string> Read(std::string_view file, std::string_view section,
                                    std::string_view key) override;
    bool Write(std::string_view file, std::string_view section, std::string_view key,
               std::optional<std::string_view> value) override;
    std::vector<std::string> Keys(std::string_view file, std::string_view section) override;

    const std::filesystem::path& UserProfilePath() const { return user_profile_; }
    void SetLockWait(std::chrono::milliseconds wait) { lock_wait_ = wait; }
    std::chrono::milliseconds LockWait() const { return lock_wait_; }

  private:
    std::filesystem::path PathOf(std::string_view file) const;

    std::filesystem::path user_profile_;
    std::chrono::milliseconds lock_wait_{5000};
    std::mutex mutex_;
};

// $XDG_CONFIG_HOME/zelt/profile.ini, or ~/.config/zelt/profile.ini.
std::filesystem::path DefaultUserProfilePath();

// Installs an IniFileService on the per-user profile's XDG place as the runtime's service,
// and has the runtime read its regional settings from the profile's section "intl".
void InstallIniFileService();
// The regional settings part of the above, for a service installed by other means.
void InstallRegionalSettingsFromProfile();

}  // namespace zelt::platform
