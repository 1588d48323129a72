#include "storage/io/file_handle.hpp"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "storage/io/io_fault_seam.hpp"
#include "storage/io/storage_failure.hpp"
#include "storage/item_file.hpp"
#include "storage/pagefile/file_header.hpp"

namespace zelt::storage::io {
namespace {

// Share-mode bytes, far above every lock the file protocol places.
constexpr std::uint64_t kShareBase = std::uint64_t{1} << 40;
constexpr std::uint64_t kShareGuard = kShareBase;       // held while an open negotiates
constexpr std::uint64_t kOpenedAny = kShareBase + 1;    // every opener
constexpr std::uint64_t kOpenedWrite = kShareBase + 2;  // openers that may write
constexpr std::uint64_t kDeniesWrite = kShareBase + 3;  // deny write and deny all
constexpr std::uint64_t kDeniesAll = kShareBase + 4;    // deny all

struct flock MakeLock(short type, std::uint64_t offset, std::uint64_t length) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;
    return fl;
}

}  // namespace

runtime::ErrorCode FileHandle::Open(const std::filesystem::path& path, bool write,
                                    CreateMode create, ShareMode share,
                                    std::unique_ptr<FileHandle>& out) {
    std::unique_ptr<FileHandle> handle(new FileHandle());
    // The descriptor is opened for writing whenever the file allows it, so that exclusive
    // lock bytes can be placed by read-only users too.
    handle->fd_ = ::open(path.c_str(), O_CLOEXEC | O_RDWR);
    bool created = false;
    if (handle->fd_ < 0 && errno == ENOENT && create != CreateMode::OpenExisting) {
        handle->fd_ = ::open(path.c_str(), O_CLOEXEC | O_RDWR | O_CREAT | O_EXCL, 0666);
        created = handle->fd_ >= 0;
        if (handle->fd_ < 0 && errno == EEXIST)
            handle->fd_ = ::open(path.c_str(), O_CLOEXEC | O_RDWR);
    }
    handle->fd_writable_ = handle->fd_ >= 0;
    if (handle->fd_ < 0 && !write && (errno == EACCES || errno == EROFS)) {
        handle->fd_ = ::open(path.c_str(), O_CLOEXEC | O_RDONLY);
    }
    if (handle->fd_ < 0) return runtime::ErrorCodeFromErrno(errno);
    struct stat st {};
    if (::fstat(handle->fd_, &st) != 0) return runtime::ErrorCodeFromErrno(errno);
    if (!S_ISREG(st.st_mode)) return runtime::err::AccessDenied;
    const bool anew = create == CreateMode::AlwaysNew;
    if (const auto code = handle->TakeShareLocks(write, share, anew); code != runtime::err::NoError)
        return code;
    if (created) {
        // The new name must reach the disk before anything stored in the file is reported
        // stored.
        IoFaultSeam::NoteCreated(path.string());
        if (const auto code = SyncDirectory(path.parent_path()); code != runtime::err::NoError)
            return code;
    }
    out = std::move(handle);
    return runtime::err::NoError;
}

runtime::ErrorCode FileHandle::SyncDirectory(const std::filesystem::path& directory) {
    const SeamAction action = IoFaultSeam::Next();
    if (action == SeamAction::Stop) return runtime::err::NoError;
    if (action == SeamAction::Fail) return runtime::err::AccessDenied;
    const std::filesystem::path dir = directory.empty() ? std::filesystem::path(".") : directory;
    if (IoFaultSeam::DeviceSync()) {
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return runtime::ErrorCodeFromErrno(errno);
        const int rc = ::fsync(fd);
        const int error = errno;
        ::close(fd);
        if (rc != 0) return runtime::ErrorCodeFromErrno(error);
    }
    IoFaultSeam::NoteDirectoryFlush(directory.string());
    return runtime::err::NoError;
}

runtime::ErrorCode FileHandle::OpenLockOwner(const std::filesystem::path& path,
                                             std::unique_ptr<FileHandle>& out) const {
    std::unique_ptr<FileHandle> handle(new FileHandle());
    const int flags = O_CLOEXEC | (fd_writable_ ? O_RDWR : O_RDONLY);
    // Through the descriptor, so that a file renamed or replaced meanwhile is still this one.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    handle->fd_ = ::open(self.c_str(), flags);
    if (handle->fd_ < 0) handle->fd_ = ::open(path.c_str(), flags);
    if (handle->fd_ < 0) return runtime::ErrorCodeFromErrno(errno);
    handle->fd_writable_ = fd_writable_;
    out = std::move(handle);
    return runtime::err::NoError;
}

FileHandle::~FileHandle() {
    OPENSSL_cleanse(pending_owner_.data(), pending_owner_.size());
    if (fd_ >= 0) ::close(fd_);  // releases every lock of this open file
}

void FileHandle::AdoptWrittenKeyUnit() {
    std::array<std::uint8_t, BlockCipher::kKeyUnitSize> raw{};
    if (RawRead(BlockCipher::kKeyUnitOffset, raw.data(), raw.size()) != raw.size()) return;
    const auto unit = BlockCipher::ParseKeyUnit(raw.data());
    if (!unit) return;
    if (auto cipher = BlockCipher::Derive(pending_owner_, *unit)) cipher_ = std::move(cipher);
    key_unit_pending_ = false;
    OPENSSL_cleanse(pending_owner_.data(), pending_owner_.size());
    pending_owner_.clear();
}

runtime::ErrorCode FileHandle::TakeShareLocks(bool write, ShareMode share, bool anew) {
    LockWait(kShareGuard, 1, true);
    auto taken_by_other = [this](std::uint64_t offset) {
        struct flock fl = MakeLock(F_WRLCK, offset, 1);
        if (::fcntl(fd_, F_OFD_GETLK, &fl) != 0) return true;
        return fl.l_type != F_UNLCK;
    };
    bool ok = !taken_by_other(kDeniesAll) && !(write && taken_by_other(kDeniesWrite));
    if (ok && share != ShareMode::DenyNone) ok = !taken_by_other(kOpenedWrite);
    // Starting anew empties the file: nobody else may have it open, whatever they share.
    if (ok && (share == ShareMode::DenyAll || anew)) ok = !taken_by_other(kOpenedAny);
    if (ok) {
        ok = TryLock(kOpenedAny, 1, false) && (!write || TryLock(kOpenedWrite, 1, false)) &&
             (share == ShareMode::DenyNone || TryLock(kDeniesWrite, 1, false)) &&
             (share != ShareMode::DenyAll || TryLock(kDeniesAll, 1, false));
    }
    runtime::ErrorCode code = ok ? runtime::err::NoError : runtime::err::AccessDenied;
    // Emptied under the guard, so that nobody opens it between the check and the cut.
    if (ok && anew && ::ftruncate(fd_, 0) != 0) code = runtime::ErrorCodeFromErrno(errno);
    Unlock(kShareGuard, 1);
    return code;
}

std::size_t FileHandle::RawRead(std::uint64_t offset, std::uint8_t* data, std::size_t length) {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) RaiseFault(fault::SeekFailed);
    std::size_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(fd_, data + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseFault(fault::ReadFailed);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void FileHandle::RawWrite(std::uint64_t offset, const std::uint8_t* data, std::size_t length) {
    if (IoFaultSeam::TrackingUnflushed()) IoFaultSeam::NoteWrite(fd_, offset, length);
    std::size_t done = 0;
    while (done < length) {
        ssize_t n = ::pwrite(fd_, data + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseError(WriteFailureCode(errno));
        }
        if (n == 0) RaiseError(runtime::err::AccessDenied);
        done += static_cast<std::size_t>(n);
    }
}

runtime::ErrorCode FileHandle::SetOwner(std::string_view owner) {
    std::array<std::uint8_t, kHeaderSize + BlockCipher::kKeyUnitSize> raw{};
    const std::size_t got = RawRead(0, raw.data(), raw.size());
    std::optional<BlockCipher::KeyUnit> unit;
    if (got == raw.size()) {
        unit = BlockCipher::ParseKeyUnit(raw.data() + kHeaderSize);
    } else if (std::all_of(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(got),
                           [](std::uint8_t b) { return b == 0; })) {
        unit = BlockCipher::NewKeyUnit();
        if (unit) {
            BlockCipher::WriteKeyUnit(*unit, key_unit_.data());
            key_unit_pending_ = true;
            pending_owner_.assign(owner);
        }
    }
    if (!unit) return runtime::err::InvalidDataFile;
    cipher_ = BlockCipher::Derive(owner, *unit);
    return cipher_ ? runtime::err::NoError : runtime::err::InvalidDataFile;
}

bool FileHandle::KeysFitPages() {
    if (!cipher_) return false;
    constexpr std::uint64_t kUnit = 256;
    constexpr std::uint64_t kScanned = std::uint64_t{4} << 20;
    const std::uint64_t end = std::min(Size(), kScanned);
    for (std::uint64_t at = BlockCipher::kKeyUnitOffset + BlockCipher::kKeyUnitSize; at + 64 <= end;
         at += kUnit) {
        std::array<std::uint8_t, 64> block{};
        if (RawRead(at, block.data(), block.size()) != block.size()) break;
        if (!cipher_->Decipher(block.data(), block.size(), at)) return false;
        const std::uint64_t home = std::uint64_t{block[0]} | std::uint64_t{block[1]} << 8 |
                                   std::uint64_t{block[2]} << 16 | std::uint64_t{block[3]} << 24;
        const unsigned length = block[4] | static_cast<unsigned>(block[5]) << 8;
        if (home == at && length >= 13 && length <= 15104) return true;
    }
    return false;
}

namespace {
bool LooksLikeHeader(const std::uint8_t* p) {
    return p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0 && p[4] == (kHeaderSize & 0xFF) &&
           p[5] == (kHeaderSize >> 8);
}
}  // namespace

// Deciphers what was read. An enciphered file that holds no more than a blank header and
// its key unit reads as a new file whose pages start behind the unit; a header image that fails its
// tag reads with a broken magic, so it is refused as no header at all.
std::size_t FileHandle::DecipherRead(std::uint64_t offset, std::uint8_t* data, std::size_t done) {
    std::size_t from = 0;
    // Blank, and nothing behind the key unit: no first commit ever finished.
    if (offset == 0 &&
        std::all_of(data, data + std::min<std::size_t>(done, kHeaderSize),
                    [](std::uint8_t b) { return b == 0; }) &&
        Size() <= BlockCipher::kKeyUnitOffset + BlockCipher::kKeyUnitSize) {
        FileHeader fresh = FileHeader::Fresh();
        for (int k = 0; k <= kMaxClass; ++k) {
            if (k > 0) fresh.set_start(k, 1);
            fresh.set_end(k, 1);
        }
        std::copy(fresh.data(), fresh.data() + kHeaderSize, data);
        from = kHeaderSize;
        done = std::max<std::size_t>(done, kHeaderSize);
    }
    if (done > from &&
        !cipher_->Decipher(data + from, (done - from) - (done - from) % 64, offset + from)) {
        RaiseFault(fault::ReadFailed);
    }
    if (from == 0 && done >= kHeaderSize && LooksLikeHeader(data) && !cipher_->UnsealHeader(data))
        data[14] = 0;
    return done;
}

std::size_t FileHandle::ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t length) {
    if (length % 64 != 0) RaiseFault(fault::ReadLength);
    if (key_unit_pending_ && offset == 0) AdoptWrittenKeyUnit();
    std::size_t done = RawRead(offset, data, length);
    if (cipher_) done = DecipherRead(offset, data, done);
    return done;
}

std::size_t FileHandle::ReadBodyAt(std::uint64_t offset, std::uint8_t* data, std::size_t length) {
    if (length % 64 != 0 || offset % 64 != 0 || offset < kHeaderSize) RaiseFault(fault::ReadLength);
    const std::size_t done = RawRead(offset, data, length);
    if (cipher_ && done >= 64 && !cipher_->Decipher(data, done - done % 64, offset))
        RaiseFault(fault::ReadFailed);
    return done;
}

void FileHandle::ReadExact(std::uint64_t offset, std::uint8_t* data, std::size_t length) {
    if (ReadAt(offset, data, length) != length) RaiseFault(fault::ShortRead);
}

void FileHandle::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) {
    const std::string_view piece(reinterpret_cast<const char*>(data), length);
    WriteGathered(offset, {&piece, 1});
}

void FileHandle::WriteGathered(std::uint64_t offset, std::span<const std::string_view> pieces) {
    std::size_t length = 0;
    for (const std::string_view piece : pieces) {
        if (piece.size() % 64 != 0) RaiseFault(fault::WriteLength);
        length += piece.size();
    }
    RefuseAfterFailedFlush();
    SeamAction action = IoFaultSeam::Next();
    if (action == SeamAction::Stop) return;
    if (action == SeamAction::Fail) RaiseError(WriteFailureCode(IoFaultSeam::FailError()));
    if (!cipher_) {
        RawWriteGathered(offset, pieces, length);
        return;
    }
    if (key_unit_pending_) {
        RawWrite(BlockCipher::kKeyUnitOffset, key_unit_.data(), key_unit_.size());
        key_unit_pending_ = false;
        OPENSSL_cleanse(pending_owner_.data(), pending_owner_.size());
        pending_owner_.clear();
    }
    // Each piece is sealed and enciphered as a write of its own would be.
    std::vector<std::uint8_t> enciphered(length);
    std::size_t at = 0;
    for (const std::string_view piece : pieces) {
        std::uint8_t* out = enciphered.data() + at;
        std::copy(piece.begin(), piece.end(), out);
        if (piece.size() >= kHeaderSize && LooksLikeHeader(out)) cipher_->SealHeader(out);
        if (!cipher_->Encipher(out, piece.size(), offset + at))
            RaiseError(runtime::err::AccessDenied);
        at += piece.size();
    }
    RawWrite(offset, enciphered.data(), length);
}

void FileHandle::RawWriteGathered(std::uint64_t offset, std::span<const std::string_view> pieces,
                                  std::size_t length) {
    // Pieces that lie end to end in memory too go out as one buffer.
    bool one_buffer = true;
    for (std::size_t i = 1; i < pieces.size() && one_buffer; ++i)
        one_buffer = pieces[i].data() == pieces[i - 1].data() + pieces[i - 1].size();
    if (one_buffer) {
        RawWrite(offset, reinterpret_cast<const std::uint8_t*>(pieces[0].data()), length);
        return;
    }
    // Pieces from apart (no caller sends such today) are put together first.
    std::string joined;
    joined.reserve(length);
    for (const std::string_view piece : pieces) joined.append(piece);
    RawWrite(offset, reinterpret_cast<const std::uint8_t*>(joined.data()), length);
}

void FileHandle::Flush() {
    RefuseAfterFailedFlush();
    SeamAction action = IoFaultSeam::Next();
    if (action == SeamAction::Stop) return;
    if (action == SeamAction::Fail) FlushFailed(WriteFailureCode(IoFaultSeam::FailError()));
    if (IoFaultSeam::DeviceSync() && ::fdatasync(fd_) != 0) FlushFailed(WriteFailureCode(errno));
    IoFaultSeam::NoteFlush(fd_);
}

runtime::ErrorCode FileHandle::WriteFailureCode(int error) {
    if (error == 0) return runtime::err::AccessDenied;
    if (error == EIO) return runtime::err::OsBase + 29;  // "Write Fault"
    return runtime::ErrorCodeFromErrno(error);
}

void FileHandle::FlushFailed(runtime::ErrorCode code) {
    flush_failure_ = code == runtime::err::NoError ? runtime::err::AccessDenied : code;
    RaiseError(flush_failure_);
}

void FileHandle::RefuseAfterFailedFlush() const {
    if (flush_failure_ != runtime::err::NoError) RaiseError(flush_failure_);
}

void FileHandle::Truncate(std::uint64_t size) {
    RefuseAfterFailedFlush();
    SeamAction action = IoFaultSeam::Next();
    if (action == SeamAction::Stop) return;
    if (action == SeamAction::Fail) RaiseError(WriteFailureCode(IoFaultSeam::FailError()));
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) RaiseError(WriteFailureCode(errno));
}

std::uint64_t FileHandle::Size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

bool FileHandle::Stamp(FileStamp& out) const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return false;
    constexpr std::int64_t kNano = 1000000000;
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.inode = static_cast<std::uint64_t>(st.st_ino);
    out.size = static_cast<std::uint64_t>(st.st_size);
    out.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * kNano + st.st_mtim.tv_nsec;
    out.changed_ns = static_cast<std::int64_t>(st.st_ctim.tv_sec) * kNano + st.st_ctim.tv_nsec;
    return true;
}

bool FileHandle::TryLock(std::uint64_t offset, std::uint64_t length, bool exclusive) {
    short type = (exclusive && fd_writable_) ? F_WRLCK : F_RDLCK;
    struct flock fl = MakeLock(type, offset, length);
    while (::fcntl(fd_, F_OFD_SETLK, &fl) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

bool FileHandle::TryLockThrice(std::uint64_t offset, std::uint64_t length, bool exclusive) {
    for (int attempt = 0; attempt < kLockTries; ++attempt) {
        if (TryLock(offset, length, exclusive)) return true;
        if (attempt + 1 < kLockTries) BackOff(attempt);
    }
    return false;
}

std::uint64_t FileHandle::ConflictLength(std::uint64_t offset, std::uint64_t length) const {
    struct flock fl = MakeLock(fd_writable_ ? F_WRLCK : F_RDLCK, offset, length);
    if (::fcntl(fd_, F_OFD_GETLK, &fl) != 0 || fl.l_type == F_UNLCK) return 0;
    return fl.l_len == 0 ? UINT64_MAX : static_cast<std::uint64_t>(fl.l_len);
}

void FileHandle::AwaitFree(std::uint64_t offset, std::uint64_t length, int limit_ms) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    while (ConflictLength(offset, length) != 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

namespace {
bool g_patient = true;
}  // namespace

void FileHandle::SetPatientLocks(bool patient) {
    g_patient = patient;
}

bool FileHandle::PatientLocks() {
    return g_patient;
}

void FileHandle::BackOff(int attempt) {
    if (!g_patient) return;
    // 1-3 ms after the first try, 4-9 ms after the second.
    thread_local std::minstd_rand random(static_cast<unsigned>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid()));
    const int base = attempt == 0 ? 1000 : 4000;
    const int spread = attempt == 0 ? 2000 : 5000;
    std::this_thread::sleep_for(std::chrono::microseconds(
        base + static_cast<int>(random() % static_cast<unsigned>(spread))));
}

void FileHandle::LockWait(std::uint64_t offset, std::uint64_t length, bool exclusive) {
    short type = (exclusive && fd_writable_) ? F_WRLCK : F_RDLCK;
    struct flock fl = MakeLock(type, offset, length);
    while (::fcntl(fd_, F_OFD_SETLKW, &fl) != 0) {
        if (errno != EINTR) RaiseError(runtime::err::AccessDenied);
    }
}

void FileHandle::Unlock(std::uint64_t offset, std::uint64_t length) {
    struct flock fl = MakeLock(F_UNLCK, offset, length);
    ::fcntl(fd_, F_OFD_SETLK, &fl);
}

}  // namespace zelt::storage::io
