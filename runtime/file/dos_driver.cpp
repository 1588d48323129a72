#include "runtime/file/dos_driver.hpp"

#include "runtime/file/os_file.hpp"
#include "runtime/file/table.hpp"

namespace zelt::runtime {
namespace {

struct DosState final : DriverTableState {
    OsFile file;
};

DosState& StateOf(Table& table) {
    auto& state = table.DriverState();
    if (!state) state = std::make_unique<DosState>();
    return static_cast<DosState&>(*state);
}

}  // namespace

bool DosDriver::Supports(FileOp op) const {
    switch (op) {
        case FileOp::Open:
        case FileOp::Share:
        case FileOp::Close:
        case FileOp::Create:
        case FileOp::Remove:
        case FileOp::Rename:
        case FileOp::Copy:
        case FileOp::Name:
        case FileOp::Bytes:
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

bool DosDriver::SupportsFieldType(std::uint8_t type_code) const {
    return type_code != 21 && type_code != 27;  // no memos or blobs
}

ErrorCode DosDriver::Call(FileOp op, Table& table, DriverArgs& args) {
    const std::string name = table.FileName();
    switch (op) {
        case FileOp::Open:
        case FileOp::Share: {
            if (name.empty()) return err::InvalidFilename;
            return StateOf(table).file.Open(name, static_cast<int>(args.number));
        }
        case FileOp::Create: {
            if (name.empty()) return err::InvalidFilename;
            OsFile created;
            return created.CreateEmpty(name);
        }
        case FileOp::Close:
            StateOf(table).file.Close();
            return err::NoError;
        case FileOp::Remove:
            StateOf(table).file.Close();
            return RemoveFile(name);
        case FileOp::Rename: {
            StateOf(table).file.Close();
            return RenameFile(name, args.text);
        }
        case FileOp::Copy:
            return CopyFile(name, args.text);
        case FileOp::Name:
            args.result_text = name;
            return err::NoError;
        case FileOp::Bytes: {
            auto& file = StateOf(table).file;
            if (!file.IsOpen()) return err::FileNotOpen;
            args.result_number = file.Size();
            return err::NoError;
        }
        case FileOp::Destroy:
            table.DriverState().reset();
            return err::NoError;
        case FileOp::Send:
        case FileOp::Flush:
        case FileOp::Stream:
        case FileOp::QueryView:
            return err::NoError;
        default:
            return err::UnsupportedFunction;
    }
}

}  // namespace zelt::runtime
