#include "framework/standard_error_log.hpp"

#include <algorithm>
#include <filesystem>

namespace zelt::framework {
namespace {

namespace err = runtime::err;
constexpr int kOpenMode = 0x42;  // read/write, deny none

runtime::TableDeclaration LogDeclaration(const std::string& name, std::array<char, 1024>& record) {
    return runtime::TableDeclaration("QRVErrorLog", "ERR", "ASCII")
        .FileName(name)
        .Record({record.data(), record.size()})
        .String("TXT", 0, 1024);
}

}  // namespace

StandardErrorLog::StandardErrorLog(std::string file_name)
    : file_name_(std::move(file_name)), file_(LogDeclaration(file_name_, record_)) {}

StandardErrorLog::~StandardErrorLog() {
    if (open_) file_.Close();
}

Level StandardErrorLog::Open(bool force) {
    if (count_ == 0 || force) {
        if (!open_) {
            std::error_code ec;
            if (!std::filesystem::exists(file_name_, ec) && file_.Create() != err::NoError) {
                return LevelNotify;
            }
            if (file_.Open(kOpenMode) != err::NoError) return LevelNotify;
            open_ = true;
        }
    }
    ++count_;
    return LevelOk;
}

Level StandardErrorLog::Close(bool force) {
    // A Close without an Open leaves the count alone, so the next Open opens the file.
    if (count_ == 0 && !force) return LevelOk;
    if (count_ == 1 || force) {
        if (open_) {
            open_ = false;
            if (file_.Close() != err::NoError) {
                count_ = 0;
                return LevelNotify;
            }
        }
        count_ = 1;
    }
    --count_;
    return LevelOk;
}

Level StandardErrorLog::Take(std::string_view line) {
    if (!open_) return LevelNotify;
    std::string text(line.substr(0, record_.size()));
    std::replace(text.begin(), text.end(), '\n', ' ');  // one message, one line
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::fill(record_.begin(), record_.end(), ' ');
    std::copy(text.begin(), text.end(), record_.begin());
    return file_.Add() == err::NoError ? LevelOk : LevelNotify;
}

}  // namespace zelt::framework
