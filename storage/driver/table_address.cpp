#include "storage/driver/table_address.hpp"

#include <filesystem>

#include "runtime/file/collation.hpp"

namespace zelt::storage {

TableAddress TableAddress::Parse(std::string_view address) {
    TableAddress out;
    std::string_view file = address;
    std::string_view table;
    for (std::size_t at = address.find("\\!"); at != std::string_view::npos;
         at = address.find("\\!", at + 1)) {
        std::error_code ec;
        if (!std::filesystem::is_directory(std::string(address.substr(0, at)), ec)) {
            file = address.substr(0, at);
            table = address.substr(at + 2);
            break;
        }
    }
    out.file = std::string(file);
    const auto slash = out.file.find_last_of('/');
    const std::string_view base =
        std::string_view(out.file).substr(slash == std::string::npos ? 0 : slash + 1);
    if (!base.empty() && base.find('.') == std::string_view::npos) out.file += ".PLM";
    out.table = table.empty() ? std::string(kUnnamedTable) : runtime::UpperText(table);
    out.display = out.file;
    if (out.table != kUnnamedTable) out.display += "\\!" + out.table;
    return out;
}

}  // namespace zelt::storage
