#include "runtime/file/table.hpp"

#include <algorithm>
#include <utility>

#include "runtime/errors/error_state.hpp"
#include "runtime/file/fixed_string.hpp"

namespace zelt::runtime {

Table::Table(TableDeclaration declaration) : declaration_(std::move(declaration)) {
    driver_ = FindDriver(declaration_.Driver());
    for (const auto& memo : declaration_.Memos())
        memos_.emplace_back(memo.blob ? std::string{} : std::string(memo.size, ' '));
}

Table::~Table() {
    // Give the driver the chance to let go of files it holds for this table.
    if (driver_ != nullptr && driver_state_ != nullptr) {
        DriverArgs args;
        driver_->Call(FileOp::Destroy, *this, args);
    }
}

std::string Table::FileName() const {
    if (declaration_.HasNameVariable()) {
        const auto bytes = declaration_.NameVariableBytes();
        return std::string(ClipText({bytes.data(), bytes.size()}));
    }
    if (!declaration_.DeclaredFileName().empty()) return declaration_.DeclaredFileName();
    return declaration_.Label();
}

void Table::ClearRecord() {
    auto record = Record();
    for (const auto& field : declaration_.Fields()) {
        if (field.type == FieldType::Group || field.overlays >= 0) continue;
        if (field.offset + field.size > record.size()) continue;
        const char fill = field.type == FieldType::String ? ' ' : '\0';
        std::fill_n(record.begin() + field.offset, field.size, fill);
    }
    for (std::size_t i = 0; i < memos_.size(); ++i) {
        const auto& memo = declaration_.Memos()[i];
        memos_[i] = memo.blob ? std::string{} : std::string(memo.size, ' ');
    }
}

ErrorCode Table::Call(FileOp op, DriverArgs& args) {
    if (driver_ == nullptr) driver_ = FindDriver(declaration_.Driver());
    ErrorCode code = err::UnsupportedFunction;
    if (driver_ != nullptr && driver_->Supports(op)) code = driver_->Call(op, *this, args);
    if (code == err::FileSystemError && !args.file_error_text.empty())
        PostFileSystemError(args.file_error_code, args.file_error_text);
    else if (code != err::NoError && !args.file_error_text.empty())
        PostErrorWithText(code, args.file_error_text);  // the driver says more than the code
    else
        PostError(code);
    if (callback_ != nullptr && (op == FileOp::Close || op == FileOp::Destroy)) {
        const ErrorState kept = CurrentError();
        callback_->Notify(op, *this);
        RestoreError(kept);
    }
    return code;
}

namespace {
ErrorCode Simple(Table& table, FileOp op) {
    DriverArgs args;
    return table.Call(op, args);
}
ErrorCode WithKey(Table& table, FileOp op, int key) {
    DriverArgs args;
    args.key = key;
    return table.Call(op, args);
}
ErrorCode WithPointer(Table& table, FileOp op, int key, std::uint32_t pointer) {
    DriverArgs args;
    args.key = key;
    args.pointer = pointer;
    return table.Call(op, args);
}
ErrorCode WithNumber(Table& table, FileOp op, std::int64_t number) {
    DriverArgs args;
    args.number = number;
    return table.Call(op, args);
}
ErrorCode WithText(Table& table, FileOp op, int key, std::string_view text) {
    DriverArgs args;
    args.key = key;
    args.text = std::string(text);
    return table.Call(op, args);
}
}  // namespace

ErrorCode Table::Open(int mode) {
    return WithNumber(*this, FileOp::Open, mode);
}
ErrorCode Table::Share(int mode) {
    return WithNumber(*this, FileOp::Share, mode);
}
ErrorCode Table::Close() {
    return Simple(*this, FileOp::Close);
}
ErrorCode Table::Create() {
    return Simple(*this, FileOp::Create);
}

ErrorCode Table::Add() {
    return Simple(*this, FileOp::Add);
}
ErrorCode Table::Append() {
    return Simple(*this, FileOp::Append);
}
ErrorCode Table::Put() {
    return Simple(*this, FileOp::Put);
}
ErrorCode Table::PutByPointer(std::uint32_t pointer) {
    return WithPointer(*this, FileOp::PutFilePtr, -1, pointer);
}
ErrorCode Table::Delete() {
    return Simple(*this, FileOp::Delete);
}

ErrorCode Table::Get(int key) {
    return WithKey(*this, FileOp::GetFileKey, key);
}
ErrorCode Table::GetByPointer(std::uint32_t pointer) {
    return WithPointer(*this, FileOp::GetFilePtr, -1, pointer);
}
ErrorCode Table::GetByKeyPointer(int key, std::uint32_t pointer) {
    return WithPointer(*this, FileOp::GetKeyPtr, key, pointer);
}
ErrorCode Table::Next() {
    return Simple(*this, FileOp::Next);
}
ErrorCode Table::Previous() {
    return Simple(*this, FileOp::Previous);
}
ErrorCode Table::Skip(std::int64_t count) {
    return WithNumber(*this, FileOp::Skip, count);
}
bool Table::Eof() {
    DriverArgs args;
    Call(FileOp::Eof, args);
    return args.result_flag;
}
ErrorCode Table::Reget(std::string_view position) {
    return WithText(*this, FileOp::RegetFile, -1, position);
}
ErrorCode Table::RegetKey(int key, std::string_view position) {
    return WithText(*this, FileOp::RegetKey, key, position);
}

ErrorCode Table::SetFile() {
    return Simple(*this, FileOp::SetFile);
}
ErrorCode Table::SetFileKey(int key) {
    return WithKey(*this, FileOp::SetFileKey, key);
}
ErrorCode Table::SetFilePointer(std::uint32_t pointer) {
    return WithPointer(*this, FileOp::SetFilePtr, -1, pointer);
}
ErrorCode Table::SetKey(int key) {
    return WithKey(*this, FileOp::SetKey, key);
}
ErrorCode Table::SetKeyKey(int key) {
    return WithKey(*this, FileOp::SetKeyKey, key);
}
ErrorCode Table::SetKeyPointer(int key, std::uint32_t pointer) {
    return WithPointer(*this, FileOp::SetKeyPtr, key, pointer);
}
ErrorCode Table::SetKeyKeyPointer(int key, std::uint32_t pointer) {
    return WithPointer(*this, FileOp::SetKeyKeyPtr, key, pointer);
}
ErrorCode Table::Reset(std::string_view position) {
    return WithText(*this, FileOp::ResetFile, -1, position);
}
ErrorCode Table::ResetKey(int key, std::string_view position) {
    return WithText(*this, FileOp::ResetKey, key, position);
}

ErrorCode Table::Hold(std::int64_t seconds) {
    if (seconds < 0) return Simple(*this, FileOp::HoldFile);
    return WithNumber(*this, FileOp::HoldFileSec, seconds);
}
ErrorCode Table::Release() {
    return Simple(*this, FileOp::Release);
}
ErrorCode Table::Watch() {
    return Simple(*this, FileOp::Watch);
}
ErrorCode Table::Lock(std::int64_t seconds) {
    if (seconds < 0) return Simple(*this, FileOp::LockFile);
    return WithNumber(*this, FileOp::LockFileSec, seconds);
}
ErrorCode Table::Unlock() {
    return Simple(*this, FileOp::Unlock);
}

ErrorCode Table::Build() {
    return Simple(*this, FileOp::BuildFile);
}
ErrorCode Table::BuildKey(int key) {
    return WithKey(*this, FileOp::BuildKey, key);
}
ErrorCode Table::BuildDynamic(int key, std::string_view components, std::string_view filter) {
    DriverArgs args;
    args.key = key;
    args.text = std::string(components);
    args.text2 = std::string(filter);
    return Call(filter.empty() ? FileOp::BuildDyn : FileOp::BuildDynFilter, args);
}
ErrorCode Table::Pack() {
    return Simple(*this, FileOp::Pack);
}
ErrorCode Table::Stream() {
    return Simple(*this, FileOp::Stream);
}
ErrorCode Table::Flush() {
    return Simple(*this, FileOp::Flush);
}
ErrorCode Table::Empty() {
    return Simple(*this, FileOp::Empty);
}
ErrorCode Table::Remove() {
    return Simple(*this, FileOp::Remove);
}
ErrorCode Table::Rename(std::string_view new_name) {
    return WithText(*this, FileOp::Rename, -1, new_name);
}
ErrorCode Table::Copy(std::string_view new_name) {
    return WithText(*this, FileOp::Copy, -1, new_name);
}
ErrorCode Table::NoMemo() {
    return Simple(*this, FileOp::NoMemo);
}

std::int64_t Table::Records() {
    DriverArgs args;
    return Call(FileOp::RecordsFile, args) == 0 ? args.result_number : 0;
}
std::int64_t Table::RecordsKey(int key) {
    DriverArgs args;
    args.key = key;
    return Call(FileOp::RecordsKey, args) == 0 ? args.result_number : 0;
}
std::uint32_t Table::Pointer() {
    DriverArgs args;
    return Call(FileOp::PointerFile, args) == 0 ? static_cast<std::uint32_t>(args.result_number)
                                                : 0;
}
std::uint32_t Table::PointerKey(int key) {
    DriverArgs args;
    args.key = key;
    return Call(FileOp::PointerKey, args) == 0 ? static_cast<std::uint32_t>(args.result_number) : 0;
}
std::string Table::Position() {
    DriverArgs args;
    return Call(FileOp::PositionFile, args) == 0 ? args.result_text : std::string{};
}
std::string Table::PositionKey(int key) {
    DriverArgs args;
    args.key = key;
    return Call(FileOp::PositionKey, args) == 0 ? args.result_text : std::string{};
}
std::string Table::Name() {
    DriverArgs args;
    return Call(FileOp::Name, args) == 0 ? args.result_text : std::string{};
}
std::int64_t Table::Bytes() {
    DriverArgs args;
    return Call(FileOp::Bytes, args) == 0 ? args.result_number : 0;
}
bool Table::Duplicate() {
    DriverArgs args;
    Call(FileOp::Duplicate, args);
    return args.result_flag;
}
bool Table::DuplicateKey(int key) {
    DriverArgs args;
    args.key = key;
    Call(FileOp::DuplicateKey, args);
    return args.result_flag;
}
std::string Table::Send(std::string_view option) {
    DriverArgs args;
    args.text = std::string(option);
    Call(FileOp::Send, args);
    return args.result_text;
}

std::int64_t Table::BlobSize(int memo) {
    DriverArgs args;
    args.number = memo;
    return Call(FileOp::BlobSize, args) == 0 ? args.result_number : 0;
}
ErrorCode Table::BlobTake(int memo, std::string bytes) {
    DriverArgs args;
    args.number = memo;
    args.text = std::move(bytes);
    return Call(FileOp::BlobTake, args);
}
ErrorCode Table::BlobYield(int memo, std::string* bytes) {
    DriverArgs args;
    args.number = memo;
    const ErrorCode code = Call(FileOp::BlobYield, args);
    *bytes = code == err::NoError ? std::move(args.result_text) : std::string{};
    return code;
}
std::string Table::BlobProperty(int memo, std::string_view name) {
    DriverArgs args;
    args.number = memo;
    args.text = std::string(name);
    return Call(FileOp::BlobGetProp, args) == 0 ? args.result_text : std::string{};
}
ErrorCode Table::SetBlobProperty(int memo, std::string_view name, std::string_view value) {
    DriverArgs args;
    args.number = memo;
    args.text = std::string(name);
    args.text2 = std::string(value);
    return Call(FileOp::BlobSetProp, args);
}
ErrorCode Table::SetProperty(std::string_view name, std::string_view value) {
    DriverArgs args;
    args.text = std::string(name);
    args.text2 = std::string(value);
    return Call(FileOp::SetProperty, args);
}
std::string Table::GetProperty(std::string_view name) {
    DriverArgs args;
    args.text = std::string(name);
    return Call(FileOp::GetProperty, args) == 0 ? args.result_text : std::string{};
}
ErrorCode Table::SetKeyProperty(int key, std::string_view name, std::string_view value) {
    DriverArgs args;
    args.key = key;
    args.text = std::string(name);
    args.text2 = std::string(value);
    return Call(FileOp::SetPropertyKey, args);
}
std::string Table::GetKeyProperty(int key, std::string_view name) {
    DriverArgs args;
    args.key = key;
    args.text = std::string(name);
    return Call(FileOp::GetPropertyKey, args) == 0 ? args.result_text : std::string{};
}

std::int64_t Table::GetState() {
    DriverArgs args;
    return Call(FileOp::GetState, args) == 0 ? args.result_number : 0;
}
ErrorCode Table::RestoreState(std::int64_t handle) {
    return WithNumber(*this, FileOp::RestoreState, handle);
}
ErrorCode Table::FreeState(std::int64_t handle) {
    return WithNumber(*this, FileOp::FreeState, handle);
}
ErrorCode Table::Destroy() {
    return Simple(*this, FileOp::Destroy);
}

// Transactions ------------------------------------------------------------------------

namespace {
struct TransactionState {
    bool active = false;
    std::vector<Table*> tables;
};
TransactionState& Transaction() {
    static TransactionState state;
    return state;
}

// Calls `op` once for each distinct driver of the transaction's tables.
ErrorCode EndTransaction(FileOp op) {
    auto& tx = Transaction();
    ErrorCode first_error = err::NoError;
    ErrorState first_state;
    std::vector<FileDriver*> done;
    for (Table* table : tx.tables) {
        if (std::find(done.begin(), done.end(), table->Driver()) != done.end()) continue;
        done.push_back(table->Driver());
        DriverArgs args;
        const ErrorCode code = table->Call(op, args);
        if (code != err::NoError && first_error == err::NoError) {
            first_error = code;
            first_state = CurrentError();
        }
    }
    tx = TransactionState{};
    if (first_error != err::NoError)
        RestoreError(first_state);
    else
        ClearError();
    return first_error;
}
}  // namespace

ErrorCode Logout(std::int64_t seconds, std::span<Table* const> tables) {
    auto& tx = Transaction();
    if (tx.active) {
        PostError(err::LogoutAlreadyActive);
        return err::LogoutAlreadyActive;
    }
    tx.active = true;
    for (Table* table : tables) {
        DriverArgs args;
        args.number = seconds;
        const ErrorCode code = table->Call(FileOp::Logout, args);
        if (code != err::NoError) {
            const ErrorState failed = CurrentError();
            EndTransaction(FileOp::Rollback);
            RestoreError(failed);
            return code;
        }
        tx.tables.push_back(table);
    }
    ClearError();
    return err::NoError;
}

ErrorCode Commit() {
    if (!Transaction().active) {
        PostError(err::LogoutNotActive);
        return err::LogoutNotActive;
    }
    return EndTransaction(FileOp::Commit);
}

ErrorCode Rollback() {
    if (!Transaction().active) {
        PostError(err::LogoutNotActive);
        return err::LogoutNotActive;
    }
    return EndTransaction(FileOp::Rollback);
}

bool TransactionActive() {
    return Transaction().active;
}

}  // namespace zelt::runtime
