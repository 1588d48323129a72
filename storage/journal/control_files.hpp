// Transaction control files: where a file's marker points, and the marker item itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace zelt::storage {

// The one-byte key of the transaction marker item.
inline constexpr std::string_view kMarkerKey = "\xFF";

// The control file that a stored marker name stands for, for the data file at `data_path`:
// the marker text "C:\PELMAR.TCF" means "pelmar.tcf" beside the data file.
std::filesystem::path ControlFilePath(const std::filesystem::path& data_path,
                                      std::string_view stored_name);

// The marker item's data: the transaction number (little-endian), the name, 0.
std::string MarkerData(std::uint32_t number, std::string_view name);
// The 4-byte key of a transaction's item in a control file.
std::string TransactionKey(std::uint32_t number);

}  // namespace zelt::storage
