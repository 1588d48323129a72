#include "framework/ini_store.hpp"

#include <charconv>

#include "runtime/profile/profile.hpp"

namespace zelt::framework {
namespace {

constexpr std::string_view kSectorsSection = "Sectors";
constexpr std::string_view kSectorsKey = "__Dont_Touch_Me__";
constexpr std::size_t kFileNameLimit = 260;
constexpr std::size_t kSectorFieldLimit = 100;

std::string Cut(std::string_view text, std::size_t limit) {
    return std::string(text.substr(0, limit));
}

// The n-th (from 1) comma-separated part.
std::string Part(std::string_view text, int n) {
    for (int i = 1; i < n; ++i) {
        std::size_t comma = text.find(',');
        if (comma == std::string_view::npos) return {};
        text.remove_prefix(comma + 1);
    }
    return std::string(text.substr(0, text.find(',')));
}

std::optional<int> Number(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end == text.data()) return std::nullopt;
    return value;
}

}  // namespace

void IniStore::Init(std::string_view file_name) {
    file_name_ = Cut(file_name, kFileNameLimit);
    sectors_.clear();
    live_ = true;
    InitSettings();
    LoadSectors();
}

void IniStore::Kill() {
    if (!live_) return;
    StoreSectors();
    sectors_.clear();
    live_ = false;
}

std::string IniStore::ReadValue(std::string_view section, std::string_view entry,
                                std::string_view fallback, std::string_view file) {
    return runtime::ProfileText(file, section, entry, fallback);
}

bool IniStore::WriteValue(std::string_view section, std::string_view entry, std::string_view value,
                          std::string_view file) {
    return runtime::WriteProfileText(file, section, entry, value);
}

std::string IniStore::Fetch(std::string_view section, std::string_view entry) {
    return ReadValue(section, entry, "", file_name_);
}

std::string IniStore::FetchRequired(std::string_view section, std::string_view entry) {
    std::string value = ReadValue(section, entry, kUnknownSetting, file_name_);
    if (value == kUnknownSetting) {
        last_assertion_ = "INI Assert: Could not find " + std::string(entry) + " in sector " +
                          std::string(section) + " of " + file_name_;
    }
    return value;
}

std::string IniStore::FetchPart(std::string_view section, std::string_view entry, int n) {
    if (n < 1) return {};
    return Part(Fetch(section, entry), n);
}

bool IniStore::Update(std::string_view section, std::string_view entry, std::string_view value) {
    return WriteValue(section, entry, value, file_name_);
}

void IniStore::SaveWindow(std::string_view procedure_name, const WindowProperties& window) {
    if (window.Iconised()) return;
    bool maximised = window.Maximised();
    Update(procedure_name, "Maximize", maximised ? "Yes" : "No");
    if (maximised) return;
    Update(procedure_name, "XPos", std::to_string(window.X()));
    Update(procedure_name, "YPos", std::to_string(window.Y()));
    if (window.Resizable()) {
        Update(procedure_name, "Height", std::to_string(window.Height()));
        Update(procedure_name, "Width", std::to_string(window.Width()));
    }
}

void IniStore::RestoreWindow(std::string_view procedure_name, WindowProperties& window) {
    bool maximised = Fetch(procedure_name, "Maximize") == "Yes";
    auto x = Number(Fetch(procedure_name, "XPos"));
    if (x) {
        // A damaged coordinate keeps the designed value rather than moving the window to 0.
        auto y = Number(Fetch(procedure_name, "YPos"));
        window.SetPosition(*x, y.value_or(window.Y()));
        if (window.Resizable()) {
            auto width = Number(Fetch(procedure_name, "Width"));
            auto height = Number(Fetch(procedure_name, "Height"));
            if (width && height && *width > 0 && *height > 0) window.SetSize(*width, *height);
        }
    }
    window.SetMaximised(maximised);
}

void IniStore::LoadSectors() {
    int count = Number(Fetch(kSectorsSection, kSectorsKey)).value_or(0);
    std::string prefix = std::string(kSectorsKey) + "_";
    for (int i = 1; i <= count; ++i) {
        // A count larger than the entries stored (a damaged file) stops at the first gap.
        std::string value =
            ReadValue(kSectorsSection, prefix + std::to_string(i), kUnknownSetting, file_name_);
        if (value == kUnknownSetting) break;
        sectors_.push_back({Cut(Part(value, 1), kSectorFieldLimit),
                            Cut(Part(value, 2), kSectorFieldLimit),
                            Cut(Part(value, 3), kSectorFieldLimit)});
    }
}

void IniStore::StoreSectors() {
    Update(kSectorsSection, kSectorsKey, std::to_string(sectors_.size()));
    std::string prefix = std::string(kSectorsKey) + "_";
    for (std::size_t i = 0; i < sectors_.size(); ++i) {
        const SectorEntry& s = sectors_[i];
        Update(kSectorsSection, prefix + std::to_string(i + 1),
               Cut(s.Family, kSectorFieldLimit) + "," + Cut(s.Item, kSectorFieldLimit) + "," +
                   Cut(s.Type, kSectorFieldLimit));
    }
}

}  // namespace zelt::framework
