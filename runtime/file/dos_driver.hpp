// The "DOS" driver: a file without record fields, used to open, create and above all
// remove, rename and copy files by the name held in the table's name variable.
#pragma once

#include "runtime/file/file_driver.hpp"

namespace zelt::runtime {

class DosDriver final : public FileDriver {
  public:
    std::string_view Name() const override { return "DOS"; }
    std::string_view Description() const override { return "DOS (Binary)"; }
    bool Supports(FileOp op) const override;
    bool SupportsFieldType(std::uint8_t type_code) const override;
    ErrorCode Call(FileOp op, Table& table, DriverArgs& args) override;
};

}  // namespace zelt::runtime
