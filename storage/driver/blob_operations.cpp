// Blob operations of the "PELMAR" driver. They work on the table's memo buffers; the
// contents reach the file with the record's next add or put, cut into memo chunks.
#include <charconv>

#include "storage/driver/pelmar_operations.hpp"
#include "storage/tables/record_codec.hpp"

namespace zelt::storage::pelmar {

using runtime::DriverArgs;
using runtime::ErrorCode;
using runtime::FileOp;
namespace err = runtime::err;

namespace {

std::size_t Limit(const runtime::MemoDeclaration& memo) {
    return memo.blob ? kMaxBlobBytes : memo.size;
}

// The buffer of an emptied memo: no bytes for a BLOB, all blanks for a MEMO.
std::string EmptyContents(const runtime::MemoDeclaration& memo) {
    return memo.blob ? std::string{} : std::string(memo.size, ' ');
}

ErrorCode GetProperty(const std::string& name, const runtime::MemoDeclaration& memo,
                      const std::string& contents, DriverArgs& args) {
    std::string& out = args.result_text;
    if (name == "SIZE")
        out = std::to_string(contents.size());
    else if (name == "LIMIT")
        out = std::to_string(Limit(memo));
    else if (name == "BINARY")
        out = memo.binary ? "1" : "0";
    else if (name == "BLOB")
        out = memo.blob ? "1" : "0";
    else if (name == "LABEL")
        out = memo.label;
    else if (name == "NAME")
        out = memo.StoredName();
    else
        return err::UnsupportedFunction;
    return err::NoError;
}

ErrorCode SetSize(const runtime::MemoDeclaration& memo, std::string& contents,
                  std::string_view value) {
    // A MEMO's buffer always has its declared size.
    if (!memo.blob) return err::UnsupportedFunction;
    std::size_t size = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), size);
    if (value.empty() || ec != std::errc() || end != value.data() + value.size())
        return err::InvalidNumberOfParameters;
    if (size > Limit(memo)) return err::UnsupportedFunction;
    contents.resize(size, '\0');
    return err::NoError;
}

}  // namespace

bool BlobsFit(const runtime::Table& table) {
    const auto& memos = table.Declaration().Memos();
    for (std::size_t m = 0; m < memos.size(); ++m)
        if (memos[m].blob && table.MemoBuffer(m).size() > kMaxBlobBytes) return false;
    return true;
}

ErrorCode BlobOperation(FileOp op, runtime::Table& table, DriverArgs& args) {
    const auto& memos = table.Declaration().Memos();
    if (args.number < 0 || static_cast<std::size_t>(args.number) >= memos.size())
        return err::InvalidFieldTypeDescriptor;
    const auto m = static_cast<std::size_t>(args.number);
    const runtime::MemoDeclaration& memo = memos[m];
    std::string& contents = table.MemoBuffer(m);
    switch (op) {
        case FileOp::BlobSize:
            args.result_number = static_cast<std::int64_t>(contents.size());
            return err::NoError;
        case FileOp::BlobTake:
            if (args.text.size() > Limit(memo)) return err::UnsupportedFunction;
            contents = std::move(args.text);
            args.text.clear();
            if (!memo.blob) contents.resize(memo.size, ' ');
            args.result_number = static_cast<std::int64_t>(contents.size());
            return err::NoError;
        case FileOp::BlobYield:
            args.result_text = std::move(contents);
            contents = EmptyContents(memo);
            args.result_number = static_cast<std::int64_t>(args.result_text.size());
            return err::NoError;
        case FileOp::BlobGetProp:
        case FileOp::BlobSetProp: {
            const std::string name = PropertyName(args.text);
            if (name.empty()) return err::InvalidNumberOfParameters;
            if (op == FileOp::BlobGetProp) {
                args.result_text.clear();
                return GetProperty(name, memo, contents, args);
            }
            if (name == "SIZE") return SetSize(memo, contents, args.text2);
            return err::UnsupportedFunction;  // the rest is read only, or unknown
        }
        default:
            return err::UnsupportedFunction;
    }
}

}  // namespace zelt::storage::pelmar
