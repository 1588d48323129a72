// Filter expressions of views, parsed once and evaluated per record.
//
//   APPS1:P_Ref = 5 AND (UPPER(APPS1:Application) >= 'M' OR NOT APP:Tag = 0)
//
// Operands are field labels, quoted texts ('' stands for one quote), numbers and functions:
//   UPPER(x)                     x in capitals
//   SUB(text,start,length)       a part of a text (start from 1)
//   INSTRING(part,text,step,start)  where part occurs in text, 0 when it does not
//   FORMAT(x,@picture)           x as the picture shows it ("@D6", "@T4"...)
// Comparisons are = <> < > <= >= (also written =< => ><); a "~" in the operator negates it
// ("~=" is "not equal", "~<" is "not less"). AND binds closer than OR; NOT and parentheses
// as usual. A comparison with a text on either side compares texts without their trailing
// blanks, otherwise numbers.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::framework {

struct FilterValue {
    bool text = false;
    std::string s;
    double n = 0;
};

class FilterExpression {
  public:
    // Gives the reader of a field's current value, or nothing for an unknown label.
    using Resolver =
        std::function<std::optional<std::function<FilterValue()>>(std::string_view label)>;

    FilterExpression() = default;
    // Nothing, with a description in `error`, when the text is no valid expression.
    static std::optional<FilterExpression> Parse(std::string_view text, const Resolver& resolve,
                                                 std::string* error = nullptr);
    // An empty expression passes every record.
    bool Evaluate() const;
    bool Empty() const { return !root_; }

    struct Node;

  private:
    std::shared_ptr<const Node> root_;
};

}  // namespace zelt::framework
