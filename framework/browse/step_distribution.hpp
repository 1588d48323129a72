// Thumb positioning: a distribution maps a scroll-thumb position (percentile 1-100) to a key
// value and a key value back to a percentile.
//
// Text keys use a table of 100 entries: a built-in one that spreads common surnames evenly
// (names), a built-in alphabetic one, or one filled from the data. Numeric keys map the
// percentile linearly between a low and a high value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::framework {

// Flags of a distribution's Controls.
namespace step {
inline constexpr std::uint8_t Letters = 1;  // upper-case letters
inline constexpr std::uint8_t Punctuation = 2;
inline constexpr std::uint8_t Digits = 4;
inline constexpr std::uint8_t BothCases = 8;    // letters of both cases; values not upper-cased
inline constexpr std::uint8_t Descending = 16;  // the key sorts descending
}  // namespace step

enum class LookupMode : std::uint8_t { Names = 1, Alphabetic = 2, FromData = 3 };

class Distribution {
  public:
    virtual ~Distribution() = default;
    virtual std::string ValueOf(int percentile) const = 0;
    virtual int PercentileOf(std::string_view value) const = 0;
    // The lowest and highest values to expect (a report sets them from its first and last
    // record); a distribution with a fixed table keeps it.
    virtual void SetLimits(std::string_view low, std::string_view high) { (void)low, (void)high; }
};

class StepDistribution final : public Distribution {
  public:
    StepDistribution(LookupMode mode, std::uint8_t controls, std::string root = {});

    std::uint8_t Controls = 0;
    LookupMode Mode = LookupMode::Names;
    std::vector<std::string> Ref;  // 100 entries, each TestLen characters
    std::string Root;              // the key prefix fixed by the range
    std::string SortChars;         // the characters that can occur, in sorting order
    std::uint8_t TestLen = 3;

    // Root followed by the entry for the percentile (mirrored for a descending key).
    std::string ValueOf(int percentile) const override;
    // The last entry that does not exceed the value's part after Root.
    int PercentileOf(std::string_view value) const override;

    // FromData: fills the table from key values in ascending order (any number of them;
    // each entry is the value found at its share of the list).
    void Fill(const std::vector<std::string>& sorted_values);
    // FromData: spreads the entries evenly between the two values, read as KeyNumbers.
    void SetLimits(std::string_view low, std::string_view high) override;
    // The value's first four characters read as digits in base SortChars.size().
    std::uint64_t KeyNumber(std::string_view value) const;

    static const std::vector<std::string>& NameTable();
    static const std::vector<std::string>& AlphabeticTable();

  private:
    std::string Normalised(std::string_view value) const;
};

class NumericDistribution final : public Distribution {
  public:
    NumericDistribution(std::int32_t low, std::int32_t high, std::uint8_t controls = 0)
        : Controls(controls), Low(low), High(high) {}

    std::uint8_t Controls = 0;
    std::int32_t Low = 0;
    std::int32_t High = 0;
    // A browse sets Low and High from the first and last record of its order.
    bool FromData = false;

    std::string ValueOf(int percentile) const override;
    int PercentileOf(std::string_view value) const override;
    void SetLimits(std::string_view low, std::string_view high) override;
};

}  // namespace zelt::framework
