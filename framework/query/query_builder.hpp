// QueryBuilder: query by example. The user fills one entry per queryable column, typing a
// value that may carry comparison characters, wildcards or a range, and may pick an
// operator word; the builder turns the entries into one filter expression of the view
// engine, which a browse applies as an additional filter.
//
//   QueryBuilder query;
//   query.Init(errors);
//   query.AddItem("PEO:Name", "Name", "@S20");
//   query.AddItem("PEO:Amount", "Amount");
//   query.SetQuery("PEO:Name", "smith*");
//   query.GetFilter();   // "SUB(PEO:Name,1,5) = 'smith'"
//
// What a typed value means:
//   smith*  begins with      *ton   contains         ^smith  any case
//   >=100   compared         <>x    not equal        ~=x     not equal ("~" negates)
//   10..20  from 10 to 20    10..   at least 10      ..20    at most 20
//   <>smith*  does not begin with      ~=*ton  does not contain ("NOT =" negates too)
// Leading "=<>~" characters form the operator (NormaliseOperator). The operator words of the
// form add to what was typed: "Contains" and "Begins" put the wildcard in place, "NOT ="
// adds "<>", any other word ("=", "<", ">=", ...) is added as it stands.
//
// A column with a picture other than a string picture ("@S...") is compared through its
// display form, FORMAT(column,@picture), ignoring case; but an ordering comparison or a
// range on a date or time column ("@D...", "@T...") compares the stored day number or
// clock value with the typed date or time read through the picture. Values are quoted
// (apostrophes doubled) for string columns and display forms; a number column takes only a
// plain number, and anything else typed for it is refused (Problem), so that nothing typed
// can change the expression's shape or become a text comparison.
//
// Saved queries (SaveText / Restore) name their columns; restoring one that names a column
// this builder does not offer raises "Unsupported QBE Column" and drops that column.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/error_reporter.hpp"
#include "framework/levels.hpp"

namespace zelt::framework {

class QueryHistory;

// The term of an entry that the builder refuses: no record passes it.
inline constexpr std::string_view kRefusedTerm = "(1 = 0)";

// The id of the named filter that a query adds to a view's sort orders (a browse's or a
// process's).
inline constexpr std::string_view kQueryFilterId = "QBE";

// Widths of the text fields of a query field, in characters.
inline constexpr std::size_t kQueryNameWidth = 100;
inline constexpr std::size_t kQueryTitleWidth = 100;
inline constexpr std::size_t kQueryPictureWidth = 40;
inline constexpr std::size_t kQueryStringWidth = 1500;
inline constexpr std::size_t kQueryOperatorWidth = 20;

// One queryable column, in the order the form shows them.
struct QueryField {
    std::string Name;                   // the column's label in the view expression
    std::string Title;                  // the caption on the query form
    std::string Picture;                // the display picture; "@S..." marks a string column
    std::string QueryString;            // the text last typed
    std::string Low;                    // a range entry's lower bound
    std::string Middle;                 // the single value typed
    std::string High;                   // a range entry's upper bound
    std::uint8_t ForceEditPicture = 0;  // edit the value with the column's picture
    // The operator word chosen on the form ("", "Contains", "Begins", "NOT =", "=", ...).
    std::string Operator;
    // The form's entry width in characters; 0: from the picture, else 20.
    int Width = 0;
    // A string column: compared as quoted text (a string picture, or declared so).
    bool Text = false;
};

// The operator words the query form offers, in order ("" = none).
const std::vector<std::string>& QueryOperatorWords();

// A typed value taken apart.
struct TypedValue {
    std::string op;     // the raw operator: leading "=<>~", plus what the word added
    std::string value;  // the rest, wildcards taken off
    bool contains = false;
    bool begins = false;
    bool no_case = false;  // "^" in front
    bool range = false;    // "low..high" (either side may be empty)
    std::string low, high;
};
TypedValue SplitTypedValue(std::string_view typed, std::string_view word = {});

// Keeps each of "<", ">" and "~" once in the order of first appearance, then "=" when the
// raw operator has one, unless it already holds both "<" and ">".
std::string NormaliseOperator(std::string_view raw);
// A text between apostrophes, with every apostrophe inside doubled.
std::string QuoteText(std::string_view text);
// True for a picture of type "S" (a string picture).
bool IsStringPicture(std::string_view picture);

class QueryBuilder {
  public:
    QueryBuilder() = default;
    virtual ~QueryBuilder() = default;
    QueryBuilder(const QueryBuilder&) = delete;
    QueryBuilder& operator=(const QueryBuilder&) = delete;

    void Init(ErrorReporter& errors) { errors_ = &errors; }
    // Adds a queryable column (texts cut to their widths). A column without a picture is
    // compared as a number unless `text` says it is a string column.
    QueryField& AddItem(std::string_view name, std::string_view title,
                        std::string_view picture = {}, bool text = false,
                        std::uint8_t force_edit_picture = 0);
    std::vector<QueryField>& Fields() { return fields_; }
    const std::vector<QueryField>& Fields() const { return fields_; }
    // The column with that label (case ignored), or nullptr.
    QueryField* Find(std::string_view name);

    // Sets what was typed for a column and its operator word; false for an unknown column.
    bool SetQuery(std::string_view name, std::string_view typed, std::string_view word = {});
    // Empties every entry.
    void ClearQuery();
    bool Empty() const;

    // The term for one column, or empty when its entry is empty; kRefusedTerm, which no
    // record passes, for an entry that Problem refuses.
    virtual std::string Term(QueryField& field) const;
    // The terms of every column with an entry, joined by " AND "; empty: no filter.
    virtual std::string GetFilter();
    // Why the entries make no filter, naming the column ("Amount: \"0 OR 1=1\" is not a
    // number", a date that its picture cannot read); empty when they do. Ask before
    // GetFilter: a refused entry never widens a list, its term passes no record.
    std::string Problem();

    // The query as text, naming its columns (for the recently used list); empty when no
    // entry is filled.
    std::string SaveText() const;
    // Fills the entries from a saved query (the others emptied). A column that is not
    // offered raises "Unsupported QBE Column" with the column in %Field and is dropped;
    // the level of the last such message, else LevelOk.
    Level Restore(std::string_view saved);
    // A short text that names a saved query for a menu: "Name: smith* / Amount: >=100".
    static std::string Describe(std::string_view saved);

    // The recently used queries (none: not kept).
    void SetHistory(QueryHistory* history) { history_ = history; }
    QueryHistory* History() const { return history_; }

    ErrorReporter* Errors() const { return errors_; }

  private:
    std::string BuildTerm(QueryField& field, std::string* problem) const;

    ErrorReporter* errors_ = nullptr;
    std::vector<QueryField> fields_;
    QueryHistory* history_ = nullptr;
};

}  // namespace zelt::framework
