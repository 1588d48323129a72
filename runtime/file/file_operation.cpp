#include "runtime/file/file_operation.hpp"

#include <array>
#include <utility>

namespace zelt::runtime {
namespace {
constexpr std::array<std::pair<FileOp, std::string_view>, 75> kNames{{
    {FileOp::Add, "ADD"},
    {FileOp::PositionTest, "TEST"},
    {FileOp::BuildFile, "BUILDfile"},
    {FileOp::Append, "APPEND"},
    {FileOp::BuildDyn, "BUILDdyn"},
    {FileOp::BuildKey, "BUILDkey"},
    {FileOp::Close, "CLOSE"},
    {FileOp::Commit, "COMMIT"},
    {FileOp::Copy, "COPY"},
    {FileOp::Create, "CREATE"},
    {FileOp::Delete, "DELETE"},
    {FileOp::Duplicate, "DUPLICATE"},
    {FileOp::Empty, "EMPTY"},
    {FileOp::Eof, "EOF"},
    {FileOp::GetFileKey, "GETfilekey"},
    {FileOp::GetFilePtr, "GETfileptr"},
    {FileOp::GetKeyPtr, "GETkeyptr"},
    {FileOp::HoldFile, "HOLDfile"},
    {FileOp::HoldFileSec, "HOLDfilesec"},
    {FileOp::LockFile, "LOCKfile"},
    {FileOp::LockFileSec, "LOCKfilesec"},
    {FileOp::Logout, "LOGOUT"},
    {FileOp::Name, "NAME"},
    {FileOp::Next, "NEXT"},
    {FileOp::Open, "OPEN"},
    {FileOp::Pack, "PACK"},
    {FileOp::PointerFile, "POINTERfile"},
    {FileOp::PointerKey, "POINTERkey"},
    {FileOp::Flush, "FLUSH"},
    {FileOp::Put, "PUT"},
    {FileOp::Previous, "PREVIOUS"},
    {FileOp::RecordsFile, "RECORDSfile"},
    {FileOp::RecordsKey, "RECORDSkey"},
    {FileOp::BuildDynFilter, "BUILDdynfilter"},
    {FileOp::Release, "RELEASE"},
    {FileOp::Remove, "REMOVE"},
    {FileOp::Rename, "RENAME"},
    {FileOp::Rollback, "ROLLBACK"},
    {FileOp::SetFile, "SETfile"},
    {FileOp::SetFileKey, "SETfilekey"},
    {FileOp::SetFilePtr, "SETfileptr"},
    {FileOp::SetKey, "SETkey"},
    {FileOp::SetKeyKey, "SETkeykey"},
    {FileOp::SetKeyPtr, "SETkeyptr"},
    {FileOp::SetKeyKeyPtr, "SETkeykeyptr"},
    {FileOp::Share, "SHARE"},
    {FileOp::Skip, "SKIP"},
    {FileOp::Unlock, "UNLOCK"},
    {FileOp::Bytes, "BYTES"},
    {FileOp::PutFilePtr, "PUTfileptr"},
    {FileOp::Stream, "STREAM"},
    {FileOp::DuplicateKey, "DUPLICATEkey"},
    {FileOp::Watch, "WATCH"},
    {FileOp::Send, "SEND"},
    {FileOp::PositionFile, "POSITIONfile"},
    {FileOp::PositionKey, "POSITIONkey"},
    {FileOp::ResetFile, "RESETfile"},
    {FileOp::ResetKey, "RESETkey"},
    {FileOp::NoMemo, "NOMEMO"},
    {FileOp::RegetFile, "REGETfile"},
    {FileOp::RegetKey, "REGETkey"},
    {FileOp::SetProperty, "SET_PROPERTY"},
    {FileOp::GetProperty, "GET_PROPERTY"},
    {FileOp::QueryView, "QUERY_VIEW"},
    {FileOp::BlobYield, "BLOB_YIELD"},
    {FileOp::BlobTake, "BLOB_TAKE"},
    {FileOp::BlobSize, "BLOB_SIZE"},
    {FileOp::BlobGetProp, "BLOB_GET_PROP"},
    {FileOp::BlobSetProp, "BLOB_SET_PROP"},
    {FileOp::SetPropertyKey, "SETPROPERTYkey"},
    {FileOp::GetPropertyKey, "GETPROPERTYkey"},
    {FileOp::GetState, "GETSTATE"},
    {FileOp::RestoreState, "RESTORESTATE"},
    {FileOp::FreeState, "FREESTATE"},
    {FileOp::Destroy, "DESTROY"},
}};
}  // namespace

std::string_view FileOpName(FileOp op) {
    for (const auto& [o, name] : kNames)
        if (o == op) return name;
    return {};
}

}  // namespace zelt::runtime
