// Internal failure signal of the storage engine.
//
// Inside the engine an internal fault or an operating-system failure abandons the current
// operation at once. It travels as a StorageFailure exception up to the item file's public
// entry, which turns it into a Status; it never leaves the storage module.
#pragma once

#include "runtime/errors/error_codes.hpp"

namespace zelt::storage {

struct StorageFailure {
    runtime::ErrorCode code = runtime::err::FileSystemError;
    int fault = 0;  // internal fault number, 0 for an operating-system failure
};

// Abandons the operation with internal fault `number`.
[[noreturn]] inline void RaiseFault(int number) {
    throw StorageFailure{runtime::err::FileSystemError, number};
}

// Abandons the operation with a runtime error code (an operating-system failure).
[[noreturn]] inline void RaiseError(runtime::ErrorCode code) {
    throw StorageFailure{code, 0};
}

}  // namespace zelt::storage
