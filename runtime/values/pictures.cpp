#include "runtime/values/pictures.hpp"

#include <array>
#include <cctype>
#include <charconv>
#include <vector>

#include "runtime/values/regional_settings.hpp"

namespace zelt::runtime {
namespace {

// Layout templates by picture number; an empty template follows the regional settings.
constexpr std::array<std::string_view, kDatePictureCount + 1> kDateTemplates = {
    "",
    "Mm/dd/yy",
    "Mm/dd/yyyy",
    "NNN Dd, yyyy",
    "NNNNNNNNN Dd, yyyy",
    "Dd/mm/yy",
    "Dd/mm/yyyy",
    "Dd NNN yy",
    "Dd NNN yyyy",
    "yy/mm/dd",
    "yyyy/mm/dd",
    "yymmdd",
    "yyyymmdd",
    "Mm/yy",
    "Mm/yyyy",
    "yy/mm",
    "yyyy/mm",
    "",
    "",
    "Dd NNNNNNNNN yyyy",
    "NNNNNNNNN Dd yyyy"};

constexpr std::array<std::string_view, kTimePictureCount + 1> kTimeTemplates = {
    "", "hh:mm", "hhmm", "Hh:mmPP", "hh:mm:ss", "hhmmss", "Hh:mm:ssPP", "", ""};

constexpr std::array<std::string_view, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<std::string_view, 7> kWeekdayNames = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

constexpr int kShortRegionalDate = 17;
constexpr int kLongRegionalDate = 18;
constexpr int kShortRegionalTime = 7;
constexpr int kLongRegionalTime = 8;

std::string TwoDigits(unsigned value) {
    std::string s = std::to_string(value % 100);
    return s.size() < 2 ? "0" + s : s;
}

std::string Digits(unsigned value, std::size_t width) {
    std::string s = std::to_string(value);
    while (s.size() < width) s.insert(s.begin(), '0');
    return s;
}

bool StartsWith(std::string_view text, std::size_t at, std::string_view token) {
    return text.substr(at, token.size()) == token;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// ---- formatting -------------------------------------------------------------------------

std::string RenderDateTemplate(std::string_view tmpl, const CalendarDate& d) {
    std::string out;
    for (std::size_t i = 0; i < tmpl.size();) {
        const auto month = MonthName(d.month);
        if (StartsWith(tmpl, i, "NNNNNNNNN")) {
            out += month;
            i += 9;
        } else if (StartsWith(tmpl, i, "NNN")) {
            out += month.substr(0, 3);
            i += 3;
        } else if (StartsWith(tmpl, i, "yyyy")) {
            out += Digits(d.year, 4);
            i += 4;
        } else if (StartsWith(tmpl, i, "yy")) {
            out += TwoDigits(d.year);
            i += 2;
        } else if (StartsWith(tmpl, i, "mm")) {
            out += TwoDigits(d.month);
            i += 2;
        } else if (StartsWith(tmpl, i, "dd")) {
            out += TwoDigits(d.day);
            i += 2;
        } else if (StartsWith(tmpl, i, "Mm")) {  // the blank leading position is dropped
            out += std::to_string(d.month);
            i += 2;
        } else if (StartsWith(tmpl, i, "Dd")) {
            out += std::to_string(d.day);
            i += 2;
        } else {
            out += tmpl[i++];
        }
    }
    return out;
}

std::string RenderShortRegionalDate(const CalendarDate& d) {
    const auto shape = AnalyseShortDate(CurrentRegionalSettings().short_date);
    std::string out;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) out += shape.separator;
        switch (shape.order[i]) {
            case 'd':
                out += shape.day_leading_zero ? TwoDigits(d.day) : std::to_string(d.day);
                break;
            case 'M':
                out += shape.month_leading_zero ? TwoDigits(d.month) : std::to_string(d.month);
                break;
            default:
                out += shape.four_digit_year ? Digits(d.year, 4) : TwoDigits(d.year);
                break;
        }
    }
    return out;
}

// Runs of one pattern letter in a regional long date format, or a literal.
struct FormatToken {
    char letter = 0;  // 'd', 'M', 'y' or 0 for a literal
    std::size_t count = 0;
    std::string literal;
};

std::vector<FormatToken> TokeniseLongDate(std::string_view format) {
    std::vector<FormatToken> tokens;
    for (std::size_t i = 0; i < format.size();) {
        const char c = format[i];
        if (c == '\'') {
            const auto end = format.find('\'', i + 1);
            const auto stop = end == std::string_view::npos ? format.size() : end;
            tokens.push_back({0, 0, std::string(format.substr(i + 1, stop - i - 1))});
            i = stop + 1;
        } else if (c == 'd' || c == 'M' || c == 'y') {
            std::size_t n = 0;
            while (i + n < format.size() && format[i + n] == c) ++n;
            tokens.push_back({c, n, {}});
            i += n;
        } else {
            tokens.push_back({0, 0, std::string(1, c)});
            ++i;
        }
    }
    return tokens;
}

std::string RenderLongRegionalDate(const CalendarDate& d, DayNumber day) {
    std::string out;
    for (const auto& t : TokeniseLongDate(CurrentRegionalSettings().long_date)) {
        switch (t.letter) {
            case 'd':
                if (t.count == 1)
                    out += std::to_string(d.day);
                else if (t.count == 2)
                    out += TwoDigits(d.day);
                else if (t.count == 3)
                    out += WeekdayName(DayOfWeek(day)).substr(0, 3);
                else
                    out += WeekdayName(DayOfWeek(day));
                break;
            case 'M':
                if (t.count == 1)
                    out += std::to_string(d.month);
                else if (t.count == 2)
                    out += TwoDigits(d.month);
                else if (t.count == 3)
                    out += MonthName(d.month).substr(0, 3);
                else
                    out += MonthName(d.month);
                break;
            case 'y':
                out += t.count <= 2 ? TwoDigits(d.year) : Digits(d.year, 4);
                break;
            default:
                out += t.literal;
                break;
        }
    }
    return out;
}

std::string RenderTimeTemplate(std::string_view tmpl, const TimeOfDay& t) {
    std::string out;
    const unsigned hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    for (std::size_t i = 0; i < tmpl.size();) {
        if (StartsWith(tmpl, i, "hh")) {
            out += TwoDigits(t.hour);
            i += 2;
        } else if (StartsWith(tmpl, i, "Hh")) {
            out += std::to_string(hour12);
            i += 2;
        } else if (StartsWith(tmpl, i, "mm")) {
            out += TwoDigits(t.minute);
            i += 2;
        } else if (StartsWith(tmpl, i, "ss")) {
            out += TwoDigits(t.second);
            i += 2;
        } else if (StartsWith(tmpl, i, "PP")) {
            out += t.hour < 12 ? "AM" : "PM";
            i += 2;
        } else {
            out += tmpl[i++];
        }
    }
    return out;
}

std::string RenderRegionalTime(const TimeOfDay& t, bool with_seconds) {
    const auto& s = CurrentRegionalSettings();
    const bool twelve_hour = s.time_format == 0;
    const unsigned hour = twelve_hour ? (t.hour % 12 == 0 ? 12u : t.hour % 12u) : t.hour;
    std::string out = s.time_leading_zero != 0 ? TwoDigits(hour) : std::to_string(hour);
    out += s.time_separator + TwoDigits(t.minute);
    if (with_seconds) out += s.time_separator + TwoDigits(t.second);
    if (twelve_hour) out += " " + (t.hour < 12 ? s.am_marker : s.pm_marker);
    return out;
}

// ---- parsing ----------------------------------------------------------------------------

struct TextToken {
    bool number = false;
    std::string text;
};

std::vector<TextToken> TokeniseInput(std::string_view text) {
    std::vector<TextToken> tokens;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (std::isdigit(c) || std::isalpha(c)) {
            const bool number = std::isdigit(c) != 0;
            std::size_t n = 0;
            while (i + n < text.size()) {
                const auto k = static_cast<unsigned char>(text[i + n]);
                if (number ? !std::isdigit(k) : !std::isalpha(k)) break;
                ++n;
            }
            tokens.push_back({number, std::string(text.substr(i, n))});
            i += n;
        } else {
            ++i;
        }
    }
    return tokens;
}

bool IsBlank(std::string_view text) {
    for (const char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::optional<long> ToNumber(std::string_view digits) {
    long value = 0;
    if (digits.empty() || digits.size() > 9) return std::nullopt;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (r.ec != std::errc{}) return std::nullopt;
    return value;
}

// What a date picture expects, in order: 'Y' year, 'M' month number, 'N' month name,
// 'D' day, 'W' a weekday name that is read past; with the width of each numeric part.
struct DateComponent {
    char part;
    std::size_t width;
};

std::vector<DateComponent> DateComponents(int picture) {
    std::vector<DateComponent> parts;
    if (picture == kShortRegionalDate) {
        const auto shape = AnalyseShortDate(CurrentRegionalSettings().short_date);
        for (const char p : shape.order) {
            parts.push_back(p == 'y' ? DateComponent{'Y', shape.four_digit_year ? 4u : 2u}
                                     : DateComponent{p == 'd' ? 'D' : 'M', 2});
        }
        return parts;
    }
    if (picture == kLongRegionalDate) {
        for (const auto& t : TokeniseLongDate(CurrentRegionalSettings().long_date)) {
            if (t.letter == 'd') parts.push_back({t.count >= 3 ? 'W' : 'D', 2});
            if (t.letter == 'M') parts.push_back({t.count >= 3 ? 'N' : 'M', 2});
            if (t.letter == 'y') parts.push_back({'Y', t.count <= 2 ? 2u : 4u});
        }
        return parts;
    }
    const auto tmpl = kDateTemplates[static_cast<std::size_t>(picture)];
    for (std::size_t i = 0; i < tmpl.size();) {
        if (StartsWith(tmpl, i, "NNNNNNNNN")) {
            parts.push_back({'N', 0});
            i += 9;
        } else if (StartsWith(tmpl, i, "NNN")) {
            parts.push_back({'N', 0});
            i += 3;
        } else if (StartsWith(tmpl, i, "yyyy")) {
            parts.push_back({'Y', 4});
            i += 4;
        } else if (StartsWith(tmpl, i, "yy")) {
            parts.push_back({'Y', 2});
            i += 2;
        } else if (StartsWith(tmpl, i, "mm") || StartsWith(tmpl, i, "Mm")) {
            parts.push_back({'M', 2});
            i += 2;
        } else if (StartsWith(tmpl, i, "dd") || StartsWith(tmpl, i, "Dd")) {
            parts.push_back({'D', 2});
            i += 2;
        } else {
            ++i;
        }
    }
    return parts;
}

std::optional<int> MonthFromWord(std::string_view word) {
    if (word.size() < 3) return std::nullopt;
    for (std::size_t m = 0; m < kMonthNames.size(); ++m) {
        const auto name = kMonthNames[m];
        if (word.size() <= name.size() && EqualsIgnoringCase(name.substr(0, word.size()), word))
            return static_cast<int>(m + 1);
    }
    return std::nullopt;
}

bool IsWeekdayWord(std::string_view word) {
    if (word.size() < 3) return false;
    for (const auto name : kWeekdayNames) {
        if (word.size() <= name.size() && EqualsIgnoringCase(name.substr(0, word.size()), word))
            return true;
    }
    return false;
}

// Splits one run of digits typed without separators by the picture's widths
// ("061503" under "Mm/dd/yy", "20030615" under "yyyymmdd").
std::optional<std::vector<std::string>> SplitDigitRun(const std::string& digits,
                                                      const std::vector<DateComponent>& parts) {
    std::vector<std::size_t> widths;
    std::size_t total = 0;
    for (const auto& p : parts) {
        if (p.part == 'Y' || p.part == 'M' || p.part == 'D') {
            widths.push_back(p.width);
            total += p.width;
        }
    }
    if (widths.size() < 2) return std::nullopt;
    if (digits.size() != total) {
        // A four-digit year may be typed with two digits.
        bool shortened = false;
        std::size_t k = 0;
        for (const auto& p : parts) {
            if (p.part != 'Y' && p.part != 'M' && p.part != 'D') continue;
            if (p.part == 'Y' && p.width == 4 && digits.size() == total - 2) {
                widths[k] = 2;
                shortened = true;
            }
            ++k;
        }
        if (!shortened) return std::nullopt;
    }
    std::vector<std::string> pieces;
    std::size_t at = 0;
    for (const auto w : widths) {
        pieces.push_back(digits.substr(at, w));
        at += w;
    }
    return pieces;
}

}  // namespace

std::string_view MonthName(int month) {
    if (month < 1 || month > 12) return {};
    return kMonthNames[static_cast<std::size_t>(month - 1)];
}

std::string_view WeekdayName(int weekday) {
    if (weekday < 0 || weekday > 6) return {};
    return kWeekdayNames[static_cast<std::size_t>(weekday)];
}

std::optional<DateTimePicture> ParseDateTimePicture(std::string_view picture) {
    if (picture.size() < 3 || picture[0] != '@') return std::nullopt;
    const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(picture[1])));
    if (kind != 'D' && kind != 'T') return std::nullopt;
    int number = 0;
    const auto r = std::from_chars(picture.data() + 2, picture.data() + picture.size(), number);
    if (r.ec != std::errc{}) return std::nullopt;
    const int limit = kind == 'D' ? kDatePictureCount : kTimePictureCount;
    if (number < 1 || number > limit) return std::nullopt;
    return DateTimePicture{kind == 'D' ? DateTimePicture::Kind::Date : DateTimePicture::Kind::Time,
                           number};
}

std::string FormatDate(DayNumber day, int picture) {
    if (picture < 1 || picture > kDatePictureCount) return {};
    const auto date = DayNumberToDate(day);
    if (!date) return {};
    if (picture == kShortRegionalDate) return RenderShortRegionalDate(*date);
    if (picture == kLongRegionalDate) return RenderLongRegionalDate(*date, day);
    return RenderDateTemplate(kDateTemplates[static_cast<std::size_t>(picture)], *date);
}

std::string FormatTime(ClockValue clock, int picture) {
    if (picture < 1 || picture > kTimePictureCount) return {};
    const auto time = ClockToTime(clock);
    if (!time) return {};
    if (picture == kShortRegionalTime) return RenderRegionalTime(*time, false);
    if (picture == kLongRegionalTime) return RenderRegionalTime(*time, true);
    return RenderTimeTemplate(kTimeTemplates[static_cast<std::size_t>(picture)], *time);
}

std::string FormatDateTime(std::int32_t value, const DateTimePicture& picture) {
    return picture.kind == DateTimePicture::Kind::Date ? FormatDate(value, picture.number)
                                                       : FormatTime(value, picture.number);
}

std::optional<DayNumber> ParseDate(std::string_view text, int picture) {
    if (picture < 1 || picture > kDatePictureCount) return std::nullopt;
    if (IsBlank(text)) return 0;
    const auto parts = DateComponents(picture);
    auto tokens = TokeniseInput(text);

    std::vector<std::string> numbers;
    std::vector<std::string> words;
    for (const auto& t : tokens) (t.number ? numbers : words).push_back(t.text);
    if (numbers.size() == 1) {
        if (auto pieces = SplitDigitRun(numbers.front(), parts)) numbers = std::move(*pieces);
    }

    long year = -1;
    long month = -1;
    long day = 1;  // pictures without a day mean the first of the month
    std::size_t next_number = 0;
    std::size_t next_word = 0;
    for (const auto& p : parts) {
        if (p.part == 'W') {
            if (next_word < words.size() && IsWeekdayWord(words[next_word])) ++next_word;
            continue;
        }
        if (p.part == 'N') {
            while (next_word < words.size() && IsWeekdayWord(words[next_word])) ++next_word;
            if (next_word >= words.size()) return std::nullopt;
            const auto m = MonthFromWord(words[next_word++]);
            if (!m) return std::nullopt;
            month = *m;
            continue;
        }
        if (next_number >= numbers.size()) return std::nullopt;
        const auto value = ToNumber(numbers[next_number++]);
        if (!value) return std::nullopt;
        if (p.part == 'Y') year = *value;
        if (p.part == 'M') month = *value;
        if (p.part == 'D') day = *value;
    }
    while (next_word < words.size() && IsWeekdayWord(words[next_word])) ++next_word;
    if (next_number != numbers.size() || next_word != words.size()) return std::nullopt;
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;

    const auto result = DateToDayNumber(CalendarDate{static_cast<std::uint32_t>(year),
                                                     static_cast<std::uint8_t>(month),
                                                     static_cast<std::uint8_t>(day)});
    if (result < 0) return std::nullopt;
    return result;
}

std::optional<ClockValue> ParseTime(std::string_view text, int picture) {
    if (picture < 1 || picture > kTimePictureCount) return std::nullopt;
    if (IsBlank(text)) return 0;
    const auto& regional = CurrentRegionalSettings();

    std::vector<long> numbers;
    int marker = 0;  // 1 = morning, 2 = afternoon
    for (const auto& t : TokeniseInput(text)) {
        if (!t.number) {
            if (marker != 0) return std::nullopt;
            const auto is = [&](std::string_view a, std::string_view b) {
                return EqualsIgnoringCase(t.text, a) || EqualsIgnoringCase(t.text, b) ||
                       EqualsIgnoringCase(t.text, a.substr(0, 1));
            };
            if (is("AM", regional.am_marker))
                marker = 1;
            else if (is("PM", regional.pm_marker))
                marker = 2;
            else
                return std::nullopt;
            continue;
        }
        if (t.text.size() > 2 && numbers.empty()) {
            // Digits typed without separators: hhmm, hmm, hhmmss ...
            std::size_t at = t.text.size() % 2;
            if (at == 1) numbers.push_back(t.text[0] - '0');
            for (; at < t.text.size(); at += 2) {
                const auto v = ToNumber(std::string_view(t.text).substr(at, 2));
                if (!v) return std::nullopt;
                numbers.push_back(*v);
            }
            continue;
        }
        const auto v = ToNumber(t.text);
        if (!v) return std::nullopt;
        numbers.push_back(*v);
    }
    if (numbers.empty() || numbers.size() > 4) return std::nullopt;
    long hour = numbers[0];
    const long minute = numbers.size() > 1 ? numbers[1] : 0;
    const long second = numbers.size() > 2 ? numbers[2] : 0;
    const long hundredths = numbers.size() > 3 ? numbers[3] : 0;
    if (marker != 0 && (hour < 1 || hour > 12)) return std::nullopt;
    if (marker == 2 && hour < 12) hour += 12;
    if (marker == 1 && hour == 12) hour = 0;
    if (hour > 23 || minute > 59 || second > 59 || hundredths > 99) return std::nullopt;
    return TimeToClock(TimeOfDay{static_cast<std::uint8_t>(hour), static_cast<std::uint8_t>(minute),
                                 static_cast<std::uint8_t>(second),
                                 static_cast<std::uint8_t>(hundredths)});
}

}  // namespace zelt::runtime
