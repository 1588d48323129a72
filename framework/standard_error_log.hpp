// The standard error log: "QRVError.Log" in the current directory, a text file kept by the
// ASCII driver with one record field of 1024 characters; each message is one line. An open
// count lets nested Open/Close pairs share one open file.
#pragma once

#include <array>
#include <string>

#include "framework/error_log.hpp"
#include "runtime/file/table.hpp"

namespace zelt::framework {

inline constexpr std::string_view kStandardErrorLogName = "QRVError.Log";

class StandardErrorLog final : public ErrorLogSink {
  public:
    explicit StandardErrorLog(std::string file_name = std::string(kStandardErrorLogName));
    ~StandardErrorLog() override;
    StandardErrorLog(const StandardErrorLog&) = delete;
    StandardErrorLog& operator=(const StandardErrorLog&) = delete;

    Level Close(bool force) override;
    Level Open(bool force) override;
    Level Take(std::string_view line) override;

    int OpenCount() const { return count_; }
    bool IsOpen() const { return open_; }
    const std::string& FileName() const { return file_name_; }

  private:
    std::string file_name_;
    std::array<char, 1024> record_{};
    runtime::Table file_;
    int count_ = 0;
    bool open_ = false;
};

}  // namespace zelt::framework
