// The interface between the file layer and a table driver, and the registry of drivers.
//
// Every file statement becomes one call of the driver's single entry point: an operation
// number, the table, and the statement's arguments. The call returns the runtime's error
// code (0 = success); for code 90 the driver also fills in its own error code and text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/errors/error_codes.hpp"
#include "runtime/file/file_operation.hpp"

namespace zelt::runtime {

class Table;

// Arguments and results of one driver call. Which members an operation reads and fills is
// given with the statement in table.hpp.
struct DriverArgs {
    int key = -1;               // key number, for key operations
    std::uint32_t pointer = 0;  // record number (or driver position)
    std::int64_t number = 0;    // access mode, seconds, skip count, state handle, memo number
    std::string text;           // option text, file name, position value, property name
    std::string text2;          // property value

    std::int64_t result_number = 0;
    std::string result_text;
    bool result_flag = false;  // EOF, DUPLICATE

    // The driver's own error code and text, for code 90.
    std::string file_error_code;
    std::string file_error_text;
};

// What a driver keeps for one table between calls. The driver owns the type; the table
// owns the object.
class DriverTableState {
  public:
    virtual ~DriverTableState() = default;
};

class FileDriver {
  public:
    virtual ~FileDriver() = default;

    virtual std::string_view Name() const = 0;         // "PELMAR", "DOS", "ASCII"
    virtual std::string_view Description() const = 0;  // "Pelmar (PLM)"
    virtual bool Supports(FileOp op) const = 0;
    virtual bool SupportsFieldType(std::uint8_t type_code) const = 0;

    // The single entry point.
    virtual ErrorCode Call(FileOp op, Table& table, DriverArgs& args) = 0;
};

// Drivers by name (compared ignoring case). The DOS and ASCII drivers are always there;
// other drivers register themselves once at start-up.
void RegisterDriver(std::shared_ptr<FileDriver> driver);
FileDriver* FindDriver(std::string_view name);
std::vector<std::string> RegisteredDriverNames();

}  // namespace zelt::runtime
