#include "runtime/file/ascii_driver.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "runtime/file/fixed_string.hpp"
#include "runtime/file/os_file.hpp"
#include "runtime/file/table.hpp"

namespace zelt::runtime {
namespace {

struct AsciiState final : DriverTableState {
    OsFile file;
    bool writable = false;
    std::int64_t next_offset = 0;   // where the next NEXT starts
    std::uint32_t pointer = 0;      // line start + 1 of the record last read, 0 for none
    std::int64_t last_length = -1;  // length of the line last read
};

AsciiState& StateOf(Table& table) {
    auto& state = table.DriverState();
    if (!state) state = std::make_unique<AsciiState>();
    return static_cast<AsciiState&>(*state);
}

// The bytes of the one record field (the whole record when no field is declared).
std::span<char> RecordField(Table& table) {
    auto record = table.Record();
    const auto& fields = table.Declaration().Fields();
    if (fields.empty()) return record;
    const auto& field = fields.front();
    if (field.offset >= record.size()) return {};
    return record.subspan(field.offset,
                          std::min<std::size_t>(field.size, record.size() - field.offset));
}

// Reads the line that starts at `offset`: its text (without the line end) and the offset
// behind it. Returns 33 when there is no line there.
ErrorCode ReadLine(const OsFile& file, std::int64_t offset, std::string& line,
                   std::int64_t& after) {
    line.clear();
    char chunk[4096];
    std::int64_t at = offset;
    bool any = false;
    for (;;) {
        const ssize_t got = ::pread(file.Fd(), chunk, sizeof chunk, at);
        if (got < 0) return ErrorCodeFromErrno(errno);
        if (got == 0) break;
        any = true;
        char* end = std::find(chunk, chunk + got, '\n');
        line.append(chunk, static_cast<std::size_t>(end - chunk));
        at += end - chunk;
        if (end != chunk + got) {
            ++at;  // the line feed
            after = at;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return err::NoError;
        }
    }
    if (!any) return err::RecordNotAvailable;
    after = at;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return err::NoError;
}

ErrorCode ReadAt(Table& table, AsciiState& state, std::int64_t offset) {
    if (!state.file.IsOpen()) return err::FileNotOpen;
    if (offset < 0) return err::RecordNotAvailable;
    std::string line;
    std::int64_t after = 0;
    if (auto code = ReadLine(state.file, offset, line, after); code != err::NoError) return code;
    auto field = RecordField(table);
    const std::size_t n = std::min(line.size(), field.size());
    std::copy_n(line.data(), n, field.begin());
    std::fill(field.begin() + static_cast<std::ptrdiff_t>(n), field.end(), ' ');
    state.pointer = static_cast<std::uint32_t>(offset + 1);
    state.last_length = static_cast<std::int64_t>(line.size());
    state.next_offset = after;
    return err::NoError;
}

ErrorCode AppendLine(Table& table, AsciiState& state) {
    if (!state.file.IsOpen()) return err::FileNotOpen;
    if (!state.writable) return err::AccessDenied;
    auto field = RecordField(table);
    std::string line(ClipText({field.data(), field.size()}));
    line.push_back('\n');
    const off_t end = ::lseek(state.file.Fd(), 0, SEEK_END);
    if (end < 0) return ErrorCodeFromErrno(errno);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t put = ::pwrite(state.file.Fd(), line.data() + done, line.size() - done,
                                     end + static_cast<off_t>(done));
        if (put <= 0) {
            const int e = put < 0 ? errno : ENOSPC;
            // Leave no half line behind.
            [[maybe_unused]] const int ignored = ::ftruncate(state.file.Fd(), end);
            return ErrorCodeFromErrno(e);
        }
        done += static_cast<std::size_t>(put);
    }
    state.pointer = static_cast<std::uint32_t>(end + 1);
    state.last_length = static_cast<std::int64_t>(line.size() - 1);
    return err::NoError;
}

std::int64_t CountLines(const OsFile& file) {
    std::int64_t lines = 0;
    char chunk[1 << 14];
    std::int64_t at = 0;
    char last = '\n';
    for (;;) {
        const ssize_t got = ::pread(file.Fd(), chunk, sizeof chunk, at);
        if (got <= 0) break;
        lines += std::count(chunk, chunk + got, '\n');
        last = chunk[got - 1];
        at += got;
    }
    return lines + (last != '\n' ? 1 : 0);
}

std::string EncodePosition(std::uint32_t pointer) {
    std::string out(4, '\0');
    for (std::size_t i = 0; i < 4; ++i) out[i] = static_cast<char>(pointer >> (24 - 8 * i));
    return out;
}
std::uint32_t DecodePosition(const std::string& text) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && i < text.size(); ++i)
        value = (value << 8) | static_cast<unsigned char>(text[i]);
    return value;
}

}  // namespace

bool AsciiDriver::Supports(FileOp op) const {
    switch (op) {
        case FileOp::Add:
        case FileOp::Append:
        case FileOp::Open:
        case FileOp::Share:
        case FileOp::Close:
        case FileOp::Create:
        case FileOp::Next:
        case FileOp::Eof:
        case FileOp::SetFile:
        case FileOp::SetFilePtr:
        case FileOp::GetFilePtr:
        case FileOp::PointerFile:
        case FileOp::PositionFile:
        case FileOp::ResetFile:
        case FileOp::RegetFile:
        case FileOp::RecordsFile:
        case FileOp::Bytes:
        case FileOp::Empty:
        case FileOp::Remove:
        case FileOp::Rename:
        case FileOp::Copy:
        case FileOp::Name:
        case FileOp::Send:
        case FileOp::Flush:
        case FileOp::Stream:
        case FileOp::QueryView:
        case FileOp::Destroy:
            return true;
        default:
            return false;
    }
}

bool AsciiDriver::SupportsFieldType(std::uint8_t type_code) const {
    return type_code == 18 || type_code == 19 || type_code == 20 || type_code == 22;
}

ErrorCode AsciiDriver::Call(FileOp op, Table& table, DriverArgs& args) {
    auto& state = StateOf(table);
    const std::string name = table.FileName();
    switch (op) {
        case FileOp::Open:
        case FileOp::Share: {
            if (name.empty()) return err::InvalidFilename;
            const int mode = static_cast<int>(args.number);
            if (auto code = state.file.Open(name, mode); code != err::NoError) return code;
            state.writable = (mode & 3) != 0 || (mode & 0x100) != 0;
            state.next_offset = 0;
            state.pointer = 0;
            state.last_length = -1;
            return err::NoError;
        }
        case FileOp::Create: {
            if (name.empty()) return err::InvalidFilename;
            OsFile created;
            return created.CreateEmpty(name);
        }
        case FileOp::Close:
            state.file.Close();
            return err::NoError;
        case FileOp::Add:
        case FileOp::Append:
            return AppendLine(table, state);
        case FileOp::SetFile:
            if (!state.file.IsOpen()) return err::FileNotOpen;
            state.next_offset = 0;
            return err::NoError;
        case FileOp::SetFilePtr:
            if (!state.file.IsOpen()) return err::FileNotOpen;
            state.next_offset = args.pointer == 0 ? 0 : static_cast<std::int64_t>(args.pointer) - 1;
            return err::NoError;
        case FileOp::Next:
            return ReadAt(table, state, state.next_offset);
        case FileOp::GetFilePtr:
            return ReadAt(table, state, static_cast<std::int64_t>(args.pointer) - 1);
        case FileOp::Eof:
            args.result_flag = !state.file.IsOpen() || state.next_offset >= state.file.Size();
            return err::NoError;
        case FileOp::PointerFile:
            args.result_number = state.pointer;
            return err::NoError;
        case FileOp::PositionFile:
            args.result_text = EncodePosition(state.pointer);
            return err::NoError;
        case FileOp::ResetFile: {
            if (!state.file.IsOpen()) return err::FileNotOpen;
            const auto pointer = DecodePosition(args.text);
            state.next_offset = pointer == 0 ? 0 : static_cast<std::int64_t>(pointer) - 1;
            return err::NoError;
        }
        case FileOp::RegetFile:
            return ReadAt(table, state, static_cast<std::int64_t>(DecodePosition(args.text)) - 1);
        case FileOp::RecordsFile:
            if (!state.file.IsOpen()) return err::FileNotOpen;
            args.result_number = CountLines(state.file);
            return err::NoError;
        case FileOp::Bytes:
            if (!state.file.IsOpen()) return err::FileNotOpen;
            args.result_number = state.last_length >= 0 ? state.last_length : state.file.Size();
            return err::NoError;
        case FileOp::Empty:
            if (!state.file.IsOpen()) return err::FileNotOpen;
            if (!state.writable) return err::AccessDenied;
            if (::ftruncate(state.file.Fd(), 0) != 0) return ErrorCodeFromErrno(errno);
            state.next_offset = 0;
            state.pointer = 0;
            return err::NoError;
        case FileOp::Remove:
            state.file.Close();
            return RemoveFile(name);
        case FileOp::Rename:
            state.file.Close();
            return RenameFile(name, args.text);
        case FileOp::Copy:
            return CopyFile(name, args.text);
        case FileOp::Name:
            args.result_text = name;
            return err::NoError;
        case FileOp::Flush:
            if (state.file.IsOpen() && ::fdatasync(state.file.Fd()) != 0)
                return ErrorCodeFromErrno(errno);
            return err::NoError;
        case FileOp::Destroy:
            table.DriverState().reset();
            return err::NoError;
        case FileOp::Send:
        case FileOp::Stream:
        case FileOp::QueryView:
            return err::NoError;
        default:
            return err::UnsupportedFunction;
    }
}

}  // namespace zelt::runtime
