// The query form: a window built from a QueryBuilder's fields, one row per column with its
// title, an entry for the value and a button that chooses the operator word from a popup
// (the chosen word shows in the row's title). Ok takes the entries into the builder, Clear
// empties them, Cancel leaves the builder as it was.
//
//   QueryForm form(errors, query);
//   if (form.Run() == ResponseCompleted) browse.SetFilter(query.GetFilter(), "QBE");
#pragma once

#include <string>
#include <vector>

#include "framework/query/query_builder.hpp"
#include "framework/window/window_controller.hpp"

namespace zelt::framework {

// What the entries show, set up before the window's declaration binds to it.
struct QueryFormValues {
    std::vector<std::string> values_;
};

class QueryForm : private QueryFormValues, public WindowController {
  public:
    QueryForm(ErrorReporter& errors, QueryBuilder& query);

    // Control numbers: per column (from 0) its title, entry and operator button; then the
    // three buttons.
    runtime::ControlNumber TitleControl(std::size_t column) const {
        return static_cast<int>(3 * column + 1);
    }
    runtime::ControlNumber EntryControl(std::size_t column) const {
        return static_cast<int>(3 * column + 2);
    }
    runtime::ControlNumber OperatorControl(std::size_t column) const {
        return static_cast<int>(3 * column + 3);
    }
    runtime::ControlNumber OkControl() const {
        return static_cast<int>(3 * query_.Fields().size() + 1);
    }
    runtime::ControlNumber ClearControl() const { return OkControl() + 1; }
    runtime::ControlNumber CancelControl() const { return OkControl() + 2; }

    Level Init() override;
    Level OnAccepted() override;

    static constexpr const char* kTitle = "Query by Example";

  private:
    static runtime::WindowDeclaration Declaration(QueryBuilder& query,
                                                  std::vector<std::string>& values);
    void ShowOperator(std::size_t column);
    void ChooseOperator(std::size_t column);

    QueryBuilder& query_;
    std::vector<std::string> operators_;  // the words chosen
};

}  // namespace zelt::framework
