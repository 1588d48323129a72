// One open operating-system file of the storage engine.
//
// Moves bytes in multiples of 64 (fault 2272 for reads, 2286 for writes of another length),
// enciphers and deciphers them when the file has an owner (sealing every header written and
// refusing every header read that fails its tag: its magic reads as broken), passes every mutating
// call through the fault-injection seam, and places open-file-description byte-range locks
// (F_OFD_SETLK / F_OFD_SETLKW). Those locks belong to this open file, not to the process,
// so two handles on one path in one process exclude each other as two processes do.
// Share modes (deny none / deny write / deny all) are kept with the same locks on a few
// bytes far above every lock of the file's own protocol.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "runtime/errors/error_codes.hpp"
#include "storage/io/block_cipher.hpp"

namespace zelt::storage::io {

enum class ShareMode : std::uint8_t { DenyNone, DenyWrite, DenyAll };
enum class CreateMode : std::uint8_t { OpenExisting, OpenOrCreate, AlwaysNew };

// Which file a handle has open and how the system last saw it change: any write, truncation
// or replacement moves one of these (times within the system's clock step).
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;
    std::int64_t changed_ns = 0;
    bool operator==(const FileStamp&) const = default;
};

class FileHandle {
  public:
    // Opens `path`; returns 0 or a runtime error code (2 missing, 5 sharing violation or no
    // permission, other OS failures mapped to their codes). A file it creates has its
    // directory flushed before the call returns, so that its name survives a power loss.
    // AlwaysNew empties an existing file only when no other handle has it open (else 5).
    static runtime::ErrorCode Open(const std::filesystem::path& path, bool write, CreateMode create,
                                   ShareMode share, std::unique_ptr<FileHandle>& out);
    ~FileHandle();
    // Flushes a directory, so that names created, renamed or removed in it are on disk.
    // Passes through the fault seam as a flush.
    static runtime::ErrorCode SyncDirectory(const std::filesystem::path& directory);
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Another open file description of the same file, for locks only: its locks conflict
    // with this handle's as another process's would. `path` is used only where the
    // running system cannot reopen the descriptor itself.
    runtime::ErrorCode OpenLockOwner(const std::filesystem::path& path,
                                     std::unique_ptr<FileHandle>& out) const;

    // Enciphers the file with keys from `owner` and the file's key unit; a file still without
    // one (empty, or with a blank header) gets a fresh unit, written with the first write.
    // Returns 0, or 36 when the file holds no key unit or no key could be derived.
    runtime::ErrorCode SetOwner(std::string_view owner);
    bool enciphered() const { return cipher_ != nullptr; }
    // Whether the keys open this file: some page in its first megabytes deciphers to its own
    // home offset. Tells a wrong owner string (nothing deciphers) from a damaged header.
    bool KeysFitPages();
    const BlockCipher* cipher() const { return cipher_.get(); }

    // Reads up to `length` bytes at `offset`, returning how many were read (fewer only at the
    // end of the file). Faults: 2272 length, 2341 seek, 2277 read failure.
    std::size_t ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t length);
    // The same, but anything short is fault 2172.
    void ReadExact(std::uint64_t offset, std::uint8_t* data, std::size_t length);
    // Reads a stretch behind the header that may begin anywhere on the 64-byte grid (a run of
    // pages read ahead): deciphered as it lies, never taken for a header image however its
    // first bytes look. The offset must be a multiple of 64 at or above the header's end.
    std::size_t ReadBodyAt(std::uint64_t offset, std::uint8_t* data, std::size_t length);
    // Writes `length` bytes (fault 2286 for a length not a multiple of 64); a failed write
    // raises the operating-system error (5 when fewer bytes were written).
    void WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length);
    // Writes `pieces` end to end from `offset` in one system call (one call through the
    // fault seam), each piece as WriteAt would write it on its own (so a piece that is a
    // header image is sealed). Each piece a multiple of 64 bytes.
    void WriteGathered(std::uint64_t offset, std::span<const std::string_view> pieces);
    void Flush();
    void Truncate(std::uint64_t size);
    // After a flush failed, the system may already have dropped writes it held, and a later
    // flush that succeeds would hide that: every later write, flush and truncate of this
    // handle fails with the same code (0 until then). A write that fails where nothing can
    // be undone any more (past a commit point) fails the handle the same way (MarkFailed).
    runtime::ErrorCode flush_failure() const { return flush_failure_; }
    void MarkFailed(runtime::ErrorCode code) {
        if (flush_failure_ == runtime::err::NoError) flush_failure_ = code;
    }
    // The code of a failed write, flush or truncation: the device's own failure (EIO) is
    // "Write Fault" (329), not the "Read Fault" a failed read gives.
    static runtime::ErrorCode WriteFailureCode(int error);
    std::uint64_t Size() const;
    // The file as the system sees it now; false when it cannot say.
    bool Stamp(FileStamp& out) const;

    // Byte-range locks. TryLock makes one attempt; LockWait waits for the range.
    bool TryLock(std::uint64_t offset, std::uint64_t length, bool exclusive);
    // The protocol's attempt without waiting: three tries, with a short pause between them
    // that rises from try to try (BackOff), so that callers who meet a busy lock do not
    // spin against its holder.
    bool TryLockThrice(std::uint64_t offset, std::uint64_t length, bool exclusive);
    // How many bytes the lock that keeps this handle from [offset, offset + length) spans
    // (0: none does).
    std::uint64_t ConflictLength(std::uint64_t offset, std::uint64_t length) const;
    // Watches [offset, offset + length) until no lock of another handle covers it, or
    // `limit_ms` have passed; takes nothing (a queue's front waits here for the holder).
    void AwaitFree(std::uint64_t offset, std::uint64_t length, int limit_ms) const;
    // The pause after failed try `attempt` (0 or 1): a few milliseconds, rising, each with
    // a random part so that waiting handles do not retry in step; 12 ms at most in all.
    static void BackOff(int attempt);
    static constexpr int kLockTries = 3;
    // Patient locks (the default): the pauses above, and writers served in turn
    // (ItemFileState::TakeWriterByte). Benchmarks turn them off to compare with three
    // tries in a row.
    static void SetPatientLocks(bool patient);
    static bool PatientLocks();
    void LockWait(std::uint64_t offset, std::uint64_t length, bool exclusive);
    void Unlock(std::uint64_t offset, std::uint64_t length);
    bool can_write() const { return fd_writable_; }

  private:
    FileHandle() = default;
    runtime::ErrorCode TakeShareLocks(bool write, ShareMode share, bool anew);
    std::size_t RawRead(std::uint64_t offset, std::uint8_t* data, std::size_t length);
    void RawWrite(std::uint64_t offset, const std::uint8_t* data, std::size_t length);
    void RawWriteGathered(std::uint64_t offset, std::span<const std::string_view> pieces,
                          std::size_t length);
    std::size_t DecipherRead(std::uint64_t offset, std::uint8_t* data, std::size_t done);
    int fd_ = -1;
    bool fd_writable_ = false;
    runtime::ErrorCode flush_failure_ = runtime::err::NoError;
    [[noreturn]] void FlushFailed(runtime::ErrorCode code);
    void RefuseAfterFailedFlush() const;
    std::unique_ptr<BlockCipher> cipher_;
    // The key unit of a file that has none on disk yet, written before its first write;
    // until then the owner string is kept, so that a unit another handle writes first is
    // taken instead.
    bool key_unit_pending_ = false;
    std::array<std::uint8_t, BlockCipher::kKeyUnitSize> key_unit_{};
    std::string pending_owner_;
    void AdoptWrittenKeyUnit();
};

}  // namespace zelt::storage::io
