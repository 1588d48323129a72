// A sort of a browse: the order, how its key is limited, its named filters, and the browse
// extras (locator, reset fields, thumb).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/browse/step_distribution.hpp"
#include "runtime/window/binding.hpp"

namespace zelt::framework {

// How the order's key is limited.
enum class LimitType : std::uint8_t {
    None = 0,
    Fixed = 1,    // range fields equal fixed values
    Current = 2,  // range fields equal their values when the browse resets
    Between = 3,  // the last range field lies between two values
    Related = 4,  // range fields equal the linked fields of a related (parent) table
};

// A field of the view with its label, as the expressions name it.
struct ViewField {
    std::string label;  // "APP:Priority"
    runtime::Binding value;
    bool text = true;      // compared as a quoted text (else as a number)
    bool no_case = false;  // a field of a case-insensitive key: compared upper-cased
};

// One pair of a range: the field limited, and its limit (the low and high limits for the
// last field of a Between range).
struct RangePair {
    ViewField field;
    runtime::Binding low;
    runtime::Binding high;
};

struct NamedFilter {
    std::string Id;  // up to 30 characters
    std::string Filter;
};

struct SortOrder {
    std::string Order;  // the order expression
    LimitType Limit = LimitType::None;
    std::vector<RangePair> RangeList;
    std::vector<NamedFilter> Filter;
    // The first key component the range leaves free: what locators and the thumb move.
    ViewField FreeElement;
    // Browse extras.
    bool Locator = false;  // a step locator works on FreeElement
    bool LocatorNoCase = true;
    std::vector<runtime::Binding> Resets;  // fields whose change forces a reset
    std::unique_ptr<Distribution> Thumb;   // maps the thumb onto FreeElement values
};

}  // namespace zelt::framework
