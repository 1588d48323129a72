#include "framework/browse/step_distribution.hpp"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace zelt::framework {

namespace {

constexpr int kEntries = 100;

// The punctuation that a from-the-data table may meet (Latin-1; "\xA3" is the pound sign).
constexpr std::string_view kPunctuation = "`!\"\xA3$%%^&*()'-=_+][#;~@:/.,?\\| ";

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

int Mirror(int percentile, std::uint8_t controls) {
    percentile = std::clamp(percentile, 1, kEntries);
    if (controls & step::Descending) percentile = kEntries - percentile;
    return percentile == 0 ? 1 : percentile;
}

std::string BuildSortChars(std::uint8_t controls) {
    std::string chars;
    for (int code = 1; code <= 255; ++code) {
        const char c = static_cast<char>(code);
        const bool upper = c >= 'A' && c <= 'Z';
        const bool lower = c >= 'a' && c <= 'z';
        const bool digit = c >= '0' && c <= '9';
        bool take = false;
        if (upper && (controls & (step::Letters | step::BothCases))) take = true;
        if (lower && (controls & step::BothCases)) take = true;
        if (digit && (controls & step::Digits)) take = true;
        if ((controls & step::Punctuation) && kPunctuation.find(c) != std::string_view::npos)
            take = true;
        if (take) chars.push_back(c);
    }
    return chars;
}

}  // namespace

const std::vector<std::string>& StepDistribution::NameTable() {
    static const std::vector<std::string> table = [] {
        std::vector<std::string> t{"   "};
        for (const char* e :
             {"ALB", "AME", "ARN", "BAK", "BAT", "BEN", "BIA", "BOB", "BRA", "BRO", "BUA",
              "CAC", "CAR", "CEN", "CHR", "COE", "CON", "COR", "CRU", "DAS", "DEL", "DIA",
              "DON", "DUR", "ELD", "EVE", "FEL", "FIS", "FLO", "FRE", "FUT", "GAR", "GIB",
              "GOL", "GOS", "GRE", "GUT", "HAM", "HEM", "HOB", "HOT", "ING", "JAS", "JON",
              "KAG", "KEA", "KIR", "KOR", "KYO", "LAT", "LEO", "LIG", "LOU", "MAC", "MAQ",
              "MAR", "MAU", "MCK", "MER", "MIL", "MON", "MOR", "NAT", "NOL", "OKE", "PAG",
              "PAU", "PET", "PIN", "POR", "PUL", "RAU", "REY", "ROB", "ROS", "RUB", "SAL",
              "SCA", "SCH", "SCR", "SHA", "SIG", "SKI", "SNA", "SOU", "STE", "STI", "SUN",
              "TAY", "TIR", "TUC", "VAN", "WAC", "WAS", "WEI", "WIE", "WIM", "WOL", "YOR"})
            t.emplace_back(e);
        return t;
    }();
    return table;
}

// Blanks, the A entries, four entries for every letter from B on, then Z. That makes more
// than 100 entries; the table keeps the first 100, and values from "YT" on share the last
// percentile.
const std::vector<std::string>& StepDistribution::AlphabeticTable() {
    static const std::vector<std::string> table = [] {
        std::vector<std::string> t{"  ", "AF", "AN", "AT"};
        for (char letter = 'B'; letter <= 'Y'; ++letter)
            for (char second : {' ', 'F', 'N', 'T'}) t.push_back(std::string{letter, second});
        t.emplace_back("Z ");
        t.emplace_back("ZN");
        t.resize(kEntries);
        return t;
    }();
    return table;
}

StepDistribution::StepDistribution(LookupMode mode, std::uint8_t controls, std::string root)
    : Controls(controls), Mode(mode), Root(std::move(root)), SortChars(BuildSortChars(controls)) {
    switch (mode) {
        case LookupMode::Names:
            Ref = NameTable();
            TestLen = 3;
            break;
        case LookupMode::Alphabetic:
            Ref = AlphabeticTable();
            TestLen = 2;
            break;
        case LookupMode::FromData:
            TestLen = 4;
            Ref.assign(kEntries, std::string(TestLen, ' '));
            break;
    }
}

std::string StepDistribution::ValueOf(int percentile) const {
    const int p = Mirror(percentile, Controls);
    return Root + Ref[static_cast<std::size_t>(p - 1)];
}

std::string StepDistribution::Normalised(std::string_view value) const {
    if (value.substr(0, Root.size()) == Root) value.remove_prefix(Root.size());
    std::string part(value.substr(0, TestLen));
    part.resize(TestLen, ' ');
    if (!(Controls & step::BothCases))
        std::transform(part.begin(), part.end(), part.begin(), Upper);
    return part;
}

int StepDistribution::PercentileOf(std::string_view value) const {
    const std::string part = Normalised(value);
    int found = 1;
    for (int i = 0; i < static_cast<int>(Ref.size()); ++i) {
        if (Ref[static_cast<std::size_t>(i)] <= part) found = i + 1;
    }
    // A descending key runs the other way, so that ValueOf and PercentileOf agree.
    return Mirror(found, Controls);
}

void StepDistribution::Fill(const std::vector<std::string>& sorted_values) {
    Ref.assign(kEntries, std::string(TestLen, ' '));
    const std::size_t n = sorted_values.size();
    if (n == 0) return;
    for (int p = 2; p <= kEntries; ++p) {
        const std::size_t at = static_cast<std::size_t>(p - 1) * n / kEntries;
        std::string entry = Normalised(sorted_values[std::min(at, n - 1)]);
        const std::string& previous = Ref[static_cast<std::size_t>(p - 2)];
        Ref[static_cast<std::size_t>(p - 1)] = std::max(entry, previous);
    }
}

std::uint64_t StepDistribution::KeyNumber(std::string_view value) const {
    const std::uint64_t base = SortChars.empty() ? 1 : SortChars.size();
    std::uint64_t number = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        std::uint64_t digit = 0;
        if (i < value.size()) {
            const auto at = SortChars.find(value[i]);
            digit = at == std::string::npos ? 0 : at;
        }
        number = number * base + digit;
    }
    return number;
}

void StepDistribution::SetLimits(std::string_view low, std::string_view high) {
    if (Mode != LookupMode::FromData || SortChars.empty()) return;
    const std::uint64_t base = SortChars.size();
    const std::uint64_t from = KeyNumber(Normalised(low));
    const std::uint64_t to = std::max(from, KeyNumber(Normalised(high)));
    Ref.assign(kEntries, std::string());
    for (int p = 1; p <= kEntries; ++p) {
        std::uint64_t n = from + (to - from) * static_cast<std::uint64_t>(p - 1) / (kEntries - 1);
        std::string entry(4, ' ');
        for (int i = 3; i >= 0; --i) {
            entry[static_cast<std::size_t>(i)] = SortChars[n % base];
            n /= base;
        }
        entry.resize(TestLen, ' ');
        Ref[static_cast<std::size_t>(p - 1)] = std::move(entry);
    }
}

void NumericDistribution::SetLimits(std::string_view low, std::string_view high) {
    auto number = [](std::string_view text) {
        std::int32_t v = 0;
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        std::from_chars(text.data(), text.data() + text.size(), v);
        return v;
    };
    Low = number(low);
    High = std::max(Low, number(high));
}

std::string NumericDistribution::ValueOf(int percentile) const {
    const int p = Mirror(percentile, Controls);
    const std::int64_t span = static_cast<std::int64_t>(High) - Low;
    return std::to_string(Low + span * (p - 1) / (kEntries - 1));
}

int NumericDistribution::PercentileOf(std::string_view value) const {
    std::int64_t v = 0;
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    std::from_chars(value.data(), value.data() + value.size(), v);
    const std::int64_t span = static_cast<std::int64_t>(High) - Low;
    int p = 1;
    if (span > 0)
        p = static_cast<int>(
            std::clamp<std::int64_t>(1 + (v - Low) * (kEntries - 1) / span, 1, kEntries));
    return Mirror(p, Controls);
}

}  // namespace zelt::framework
