// The runtime's current error state.
//
// Each operation that reports through the runtime (table, file, conversation and window
// operations) leaves its result here, and callers read it after the operation. The state is
// kept per thread. Code 90 (file system error) also carries the driver's own code and text,
// the "file error"; for any other code the file error mirrors the code and its text.
#pragma once

#include <string>

#include "runtime/errors/error_codes.hpp"

namespace zelt::runtime {

struct ErrorState {
    ErrorCode code = err::NoError;
    std::string text;
    std::string file_error_code;  // the driver's own code for code 90, else the code in decimal
    std::string file_error_text;
};

// Sets the current error to `code` with its standard text (0 clears it).
void PostError(ErrorCode code);
// Sets code 90 with the driver's own code and text as the file error.
void PostFileSystemError(std::string driver_code, std::string driver_text);
// Sets the current error to an arbitrary code and text (a driver or service with texts of
// its own).
void PostErrorWithText(ErrorCode code, std::string text);
void ClearError();

ErrorCode CurrentErrorCode();
const std::string& CurrentErrorText();
const std::string& CurrentFileErrorCode();
const std::string& CurrentFileErrorText();
const ErrorState& CurrentError();

// Replaces the whole state, e.g. to put back what a nested operation overwrote.
void RestoreError(ErrorState state);

}  // namespace zelt::runtime
