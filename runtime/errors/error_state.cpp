#include "runtime/errors/error_state.hpp"

#include <utility>

namespace zelt::runtime {
namespace {
thread_local ErrorState current;
}

void PostError(ErrorCode code) {
    if (code == err::NoError) {
        ClearError();
        return;
    }
    current.code = code;
    current.text = ErrorText(code);
    current.file_error_code = std::to_string(code);
    current.file_error_text = current.text;
}

void PostFileSystemError(std::string driver_code, std::string driver_text) {
    current.code = err::FileSystemError;
    current.text = ErrorText(err::FileSystemError);
    current.file_error_code = std::move(driver_code);
    current.file_error_text = std::move(driver_text);
}

void PostErrorWithText(ErrorCode code, std::string text) {
    current.code = code;
    current.text = std::move(text);
    current.file_error_code = std::to_string(code);
    current.file_error_text = current.text;
}

// Called after every successful file operation: clears in place, keeping the storage.
void ClearError() {
    current.code = err::NoError;
    current.text.clear();
    current.file_error_code.clear();
    current.file_error_text.clear();
}

ErrorCode CurrentErrorCode() {
    return current.code;
}
const std::string& CurrentErrorText() {
    return current.text;
}
const std::string& CurrentFileErrorCode() {
    return current.file_error_code;
}
const std::string& CurrentFileErrorText() {
    return current.file_error_text;
}
const ErrorState& CurrentError() {
    return current;
}
void RestoreError(ErrorState state) {
    current = std::move(state);
}

}  // namespace zelt::runtime
