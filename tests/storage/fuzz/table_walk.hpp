// Opens arbitrary file bytes as a table file and reads it as `plm` does: the check, the
// table names, every table's definition and records in record order, and every key's
// entries in key order. Shared by the table fuzz target and the regression test that
// replays its findings.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "storage/item_file.hpp"
#include "storage/tables/item_file_store.hpp"
#include "storage/tables/table_store.hpp"
#include "tools/plm/plm.hpp"

namespace zelt::storage::fuzzing {

struct PlmAnswer {
    int code = 0;
    std::string out;
};

inline PlmAnswer RunPlmQuietly(const std::vector<std::string>& args) {
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    const int code = plm::RunPlm(args, in, out, err);
    return {code, out.str()};
}

// The key labels of `table`, read through the table layer (empty when it cannot be opened).
inline std::vector<std::string> KeyLabels(const std::string& path, const std::string& table) {
    std::vector<std::string> labels;
    std::unique_ptr<ItemFile> file;
    if (!ItemFile::Open(path, {Access::ReadOnly, Share::DenyNone, Creation::OpenExisting, {}}, file)
             .ok())
        return labels;
    ItemFileStore store(*file);
    TableDefinition definition;
    std::unique_ptr<TableStore> opened;
    if (!file->BeginRead().ok()) return labels;
    if (TableStore::Open(store, table, definition, false, false, opened).ok()) {
        for (const auto& key : definition.keys) {
            if (key.label) labels.push_back(*key.label);
        }
    }
    file->Finish();
    return labels;
}

// True when every command answered 0 or 1, a file check calls damaged was neither listed
// nor dumped, and a failing dump printed nothing.
inline bool WalkTable(const std::filesystem::path& dir, const std::uint8_t* data,
                      std::size_t size) {
    const std::string path = (dir / "fuzz.plm").string();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const PlmAnswer check = RunPlmQuietly({"check", path});
    const PlmAnswer tables = RunPlmQuietly({"tables", path});
    if (check.code > 1 || tables.code > 1 || (check.code == 1 && tables.code == 0)) return false;
    std::istringstream names(tables.out);
    std::string name;
    for (int count = 0; count < 4 && std::getline(names, name); ++count) {
        const std::string table = path + "\\!" + name;
        std::vector<std::vector<std::string>> dumps = {{"dump", table}};
        for (const auto& label : KeyLabels(path, name))
            dumps.push_back({"dump", table, "--key", label});
        for (const auto& args : dumps) {
            const PlmAnswer dump = RunPlmQuietly(args);
            if (dump.code > 1 || (dump.code == 1 && !dump.out.empty()) ||
                (check.code == 1 && dump.code == 0))
                return false;
        }
    }
    return true;
}

}  // namespace zelt::storage::fuzzing
