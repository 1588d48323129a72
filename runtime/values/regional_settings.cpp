#include "runtime/values/regional_settings.hpp"

#include <cctype>
#include <charconv>
#include <mutex>

namespace zelt::runtime {
namespace {

std::mutex settings_mutex;
bool settings_read = false;  // the settings are read once per process
RegionalSettings settings;
IntlLookup loader;

int ToInt(const std::optional<std::string>& text, int fallback) {
    if (!text) return fallback;
    int value = fallback;
    const auto* first = text->data();
    while (first != text->data() + text->size() && std::isspace(static_cast<unsigned char>(*first)))
        ++first;
    const auto result = std::from_chars(first, text->data() + text->size(), value);
    return result.ec == std::errc{} ? value : fallback;
}

std::string Limited(const std::optional<std::string>& text, const std::string& fallback,
                    std::size_t limit) {
    if (!text) return fallback;
    return text->substr(0, limit);
}

}  // namespace

RegionalSettings RegionalSettingsFrom(const IntlLookup& intl) {
    RegionalSettings s;
    if (!intl) return s;
    s.time_format = ToInt(intl("iTime"), s.time_format);
    s.time_leading_zero = ToInt(intl("iTLzero"), s.time_leading_zero);
    s.time_separator = Limited(intl("sTime"), s.time_separator, 255);
    s.am_marker = Limited(intl("s1159"), s.am_marker, 2);
    s.pm_marker = Limited(intl("s2359"), s.pm_marker, 2);
    s.short_date = Limited(intl("sShortDate"), s.short_date, 255);
    s.long_date = Limited(intl("sLongDate"), s.long_date, 255);
    return s;
}

const RegionalSettings& CurrentRegionalSettings() {
    std::lock_guard lock(settings_mutex);
    if (!settings_read) {
        settings = RegionalSettingsFrom(loader);
        settings_read = true;
    }
    return settings;
}

void InstallRegionalSettingsLoader(IntlLookup intl) {
    std::lock_guard lock(settings_mutex);
    loader = std::move(intl);
}

void SetRegionalSettings(RegionalSettings replacement) {
    std::lock_guard lock(settings_mutex);
    settings = std::move(replacement);
    settings_read = true;
}

ShortDateShape AnalyseShortDate(std::string_view format) {
    ShortDateShape shape;
    shape.day_leading_zero = format.find("dd") != std::string_view::npos;
    shape.month_leading_zero = format.find("MM") != std::string_view::npos;
    shape.four_digit_year = format.find("yyyy") != std::string_view::npos;
    int filled = 0;
    bool separator_found = false;
    bool quoted = false;
    for (const char c : format) {
        if (c == '\'') {
            quoted = !quoted;
            continue;
        }
        if (quoted) continue;
        const char part = c == 'd' ? 'd' : c == 'M' ? 'M' : (c == 'y' || c == 'Y') ? 'y' : 0;
        if (part != 0) {
            bool seen = false;
            for (int i = 0; i < filled; ++i) seen = seen || shape.order[i] == part;
            if (!seen && filled < 3) shape.order[filled++] = part;
        } else if (!separator_found && !std::isalpha(static_cast<unsigned char>(c))) {
            shape.separator = std::string(1, c);
            separator_found = true;
        }
    }
    // A format that names fewer than three parts keeps the remaining ones in M, d, y order.
    for (const char part : {'M', 'd', 'y'}) {
        bool seen = false;
        for (int i = 0; i < filled; ++i) seen = seen || shape.order[i] == part;
        if (!seen && filled < 3) shape.order[filled++] = part;
    }
    return shape;
}

}  // namespace zelt::runtime
