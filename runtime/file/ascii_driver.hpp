// The "ASCII" driver: a text file of lines, one record per line, read into (and written
// from) the table's one record field. Records are added at the end of the file and read
// in sequence; a record's pointer is one more than the byte offset at which its line starts.
// Lines are written with a line feed; a carriage return before it is dropped on reading.
#pragma once

#include "runtime/file/file_driver.hpp"

namespace zelt::runtime {

class AsciiDriver final : public FileDriver {
  public:
    std::string_view Name() const override { return "ASCII"; }
    std::string_view Description() const override { return "ASCII (Text)"; }
    bool Supports(FileOp op) const override;
    bool SupportsFieldType(std::uint8_t type_code) const override;
    ErrorCode Call(FileOp op, Table& table, DriverArgs& args) override;
};

}  // namespace zelt::runtime
