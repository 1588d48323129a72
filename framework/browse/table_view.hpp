// A view over one table: its records in the order of one of its keys (or in file order),
// those that pass the filter expression, read into the table's record buffer.
//
// The order expression names the key by its components ("+APP:Priority,+APP:Application")
// or by the key's own label ("APP:PriorityKey"); an empty order reads in file order.
#pragma once

#include <optional>
#include <string>

#include "framework/browse/filter_expression.hpp"
#include "framework/browse/record_view.hpp"
#include "runtime/file/table.hpp"
#include "runtime/window/binding.hpp"

namespace zelt::framework {

// A field's value as a filter reads it: texts without their padding, numbers as numbers.
FilterValue ReadFieldValue(runtime::Table& table, int field);
// A binding that shows a field of a table's record buffer as text and writes text back.
runtime::Binding FieldBinding(runtime::Table& table, int field);

class TableView final : public RecordView {
  public:
    explicit TableView(runtime::Table& table) : table_(table) {}

    std::string Name() const override;
    runtime::ErrorCode Open() override;
    void Close() override { opened_ = false; }
    runtime::ErrorCode SetOrder(std::string_view order) override;
    runtime::ErrorCode SetFilter(std::string_view filter) override;
    runtime::ErrorCode SetStart() override;
    runtime::ErrorCode SetAtBuffer() override;
    runtime::ErrorCode ResetTo(std::string_view position) override;
    runtime::ErrorCode Next() override { return Read(true); }
    runtime::ErrorCode Previous() override { return Read(false); }
    std::string Position() override { return position_; }
    runtime::ErrorCode Reget(std::string_view position) override;

    // The key read (-1 for file order), and the last filter's parse error.
    int Key() const { return key_; }
    const std::string& FilterError() const { return filter_error_; }

  private:
    runtime::ErrorCode Read(bool next);

    runtime::Table& table_;
    bool opened_ = false;
    int key_ = -1;
    FilterExpression filter_;
    std::string filter_error_;
    std::string position_;
};

}  // namespace zelt::framework
