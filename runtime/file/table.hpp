// A declared table at run time and its file statements.
//
// Each statement is routed to the table's driver through the driver's single entry point
// and leaves the runtime's current error state behind it (code, text, file error code and
// text): read it with CurrentErrorCode() and friends, or use the returned code.
//
// Access modes are the runtime's mode word: the low nibble is the access (0 read only,
// 1 write only, 2 read/write), the high nibble the sharing (0x10 deny all, 0x20 deny write,
// 0x30 deny read, 0x40 deny none); 0x100 asks to create a missing file.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/errors/error_codes.hpp"
#include "runtime/file/file_driver.hpp"
#include "runtime/file/table_declaration.hpp"

namespace zelt::runtime {

namespace access {
inline constexpr int ReadOnly = 0x00;
inline constexpr int WriteOnly = 0x01;
inline constexpr int ReadWrite = 0x02;
inline constexpr int DenyAll = 0x10;
inline constexpr int DenyWrite = 0x20;
inline constexpr int DenyRead = 0x30;
inline constexpr int DenyNone = 0x40;
inline constexpr int CreateFile = 0x100;
inline constexpr int NewFile = 0x200;
}  // namespace access

// Told by the file layer when a table is closed (operation 7) or its driver state is
// disposed of (operation 104). Answers true when it handled the notice.
class FileCallback {
  public:
    virtual ~FileCallback() = default;
    virtual bool Notify(FileOp op, class Table& table) = 0;
};

class Table {
  public:
    explicit Table(TableDeclaration declaration);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const TableDeclaration& Declaration() const { return declaration_; }
    // The file name in effect: the name variable clipped, else the declared file name,
    // else the table's label.
    std::string FileName() const;
    std::span<char> Record() const { return declaration_.RecordBuffer(); }
    // Contents of memo or blob `n` (a MEMO is blank-padded to its declared size).
    std::string& MemoBuffer(std::size_t n) { return memos_.at(n); }
    const std::string& MemoBuffer(std::size_t n) const { return memos_.at(n); }
    void ClearRecord();  // blanks texts, zeroes numbers, clears memos
    int KeyNumber(std::string_view label) const { return declaration_.KeyNumber(label); }

    // Opening and closing.
    ErrorCode Open(int mode = access::ReadWrite | access::DenyWrite);
    ErrorCode Share(int mode = access::ReadWrite | access::DenyNone);
    ErrorCode Close();
    ErrorCode Create();

    // Writing.
    ErrorCode Add();
    ErrorCode Append();
    ErrorCode Put();
    ErrorCode PutByPointer(std::uint32_t pointer);
    ErrorCode Delete();

    // Reading.
    ErrorCode Get(int key);                         // by the key's values in the buffer
    ErrorCode GetByPointer(std::uint32_t pointer);  // by record number
    ErrorCode GetByKeyPointer(int key, std::uint32_t pointer);
    ErrorCode Next();
    ErrorCode Previous();
    ErrorCode Skip(std::int64_t count);
    bool Eof();
    ErrorCode Reget(std::string_view position);
    ErrorCode RegetKey(int key, std::string_view position);

    // Sequences: file order or key order, from the start, a record or a key value.
    ErrorCode SetFile();
    ErrorCode SetFileKey(int key);
    ErrorCode SetFilePointer(std::uint32_t pointer);
    ErrorCode SetKey(int key);
    ErrorCode SetKeyKey(int key);
    ErrorCode SetKeyPointer(int key, std::uint32_t pointer);
    ErrorCode SetKeyKeyPointer(int key, std::uint32_t pointer);
    ErrorCode Reset(std::string_view position);
    ErrorCode ResetKey(int key, std::string_view position);

    // Holding, change detection, locks.
    ErrorCode Hold(std::int64_t seconds = -1);  // -1: no time limit
    ErrorCode Release();
    ErrorCode Watch();
    ErrorCode Lock(std::int64_t seconds = -1);  // -1: wait as long as it takes
    ErrorCode Unlock();

    // Keys and maintenance.
    ErrorCode Build();
    ErrorCode BuildKey(int key);
    ErrorCode BuildDynamic(int key, std::string_view components = {}, std::string_view filter = {});
    ErrorCode Pack();
    ErrorCode Stream();
    ErrorCode Flush();
    ErrorCode Empty();
    ErrorCode Remove();
    ErrorCode Rename(std::string_view new_name);
    ErrorCode Copy(std::string_view new_name);
    ErrorCode NoMemo();

    // Questions.
    std::int64_t Records();
    std::int64_t RecordsKey(int key);
    std::uint32_t Pointer();
    std::uint32_t PointerKey(int key);
    std::string Position();
    std::string PositionKey(int key);
    std::string Name();
    std::int64_t Bytes();
    bool Duplicate();  // would the buffer duplicate any unique key?
    bool DuplicateKey(int key);
    std::string Send(std::string_view option);

    // Blobs and properties. A blob is any memo, by number; its contents are in MemoBuffer
    // and reach the file with the next Add or Put.
    std::int64_t BlobSize(int memo);
    ErrorCode BlobTake(int memo, std::string bytes);    // the contents become `bytes`
    ErrorCode BlobYield(int memo, std::string* bytes);  // hands the contents over, empties it
    std::string BlobProperty(int memo, std::string_view name);
    ErrorCode SetBlobProperty(int memo, std::string_view name, std::string_view value);
    ErrorCode SetProperty(std::string_view name, std::string_view value);
    std::string GetProperty(std::string_view name);
    ErrorCode SetKeyProperty(int key, std::string_view name, std::string_view value);
    std::string GetKeyProperty(int key, std::string_view name);

    // Saved states: a handle for RestoreState and FreeState (0 when it failed).
    std::int64_t GetState();
    ErrorCode RestoreState(std::int64_t handle);
    ErrorCode FreeState(std::int64_t handle);
    // Disposes of the driver's state for this table.
    ErrorCode Destroy();

    void SetCallback(FileCallback* callback) { callback_ = callback; }

    // For drivers: the state they keep for this table.
    std::unique_ptr<DriverTableState>& DriverState() { return driver_state_; }
    FileDriver* Driver() const { return driver_; }

    // One driver call with the error state posted; the statements above all go through it.
    ErrorCode Call(FileOp op, DriverArgs& args);

  private:
    TableDeclaration declaration_;
    FileDriver* driver_ = nullptr;
    std::unique_ptr<DriverTableState> driver_state_;
    std::vector<std::string> memos_;
    FileCallback* callback_ = nullptr;
};

// Transactions over several tables: LOGOUT enlists every table named (each table's driver
// once per table), COMMIT and ROLLBACK end it. A second LOGOUT before the end gives 56,
// COMMIT or ROLLBACK without one gives 91. Any number of tables may take part.
ErrorCode Logout(std::int64_t seconds, std::span<Table* const> tables);
inline ErrorCode Logout(std::int64_t seconds, std::initializer_list<Table*> tables) {
    return Logout(seconds, std::span<Table* const>(tables.begin(), tables.size()));
}
ErrorCode Commit();
ErrorCode Rollback();
bool TransactionActive();

}  // namespace zelt::runtime
