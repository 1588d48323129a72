// A thin owner of an operating-system file descriptor, with the file operations that the
// simple drivers share (open, whole-file remove, rename and copy), reporting the runtime's
// error codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/errors/error_codes.hpp"

namespace zelt::runtime {

class OsFile {
  public:
    OsFile() = default;
    ~OsFile() { Close(); }
    OsFile(OsFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    OsFile& operator=(OsFile&& other) noexcept;
    OsFile(const OsFile&) = delete;
    OsFile& operator=(const OsFile&) = delete;

    // Opens `path` for the runtime access `mode` (access and create bits only).
    ErrorCode Open(const std::string& path, int mode);
    // Creates `path` empty (truncating an existing file) for reading and writing.
    ErrorCode CreateEmpty(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    // Size of the open file in bytes, or -1.
    std::int64_t Size() const;

  private:
    int fd_ = -1;
};

// Deletes the file `path`: 2 when there is none, 5 when that is not allowed. Remove,
// rename and copy flush the directories whose names they change before they answer.
ErrorCode RemoveFile(const std::string& path);
ErrorCode RenameFile(const std::string& from, const std::string& to);
ErrorCode CopyFile(const std::string& from, const std::string& to);

}  // namespace zelt::runtime
