// The standard error log: "QRVError.Log" in the current directory, one line per message.
// It keeps an open count so that nested Open/Close pairs share one open file.
#pragma once

#include <cstdint>
#include <string>

#include "framework/error_log.hpp"

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
    bool IsOpen() const;
    const std::string& FileName() const { return file_name_; }

private:
    std::string file_name_;
    int count_ = 0;
    int fd_ = -1;
};

}  // namespace zelt::framework
