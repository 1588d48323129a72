// Writes a few small, sound table files as the table fuzzer's starting corpus.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "storage/io/io_fault_seam.hpp"
#include "tools/plm/plm.hpp"

namespace {

constexpr const char* kSchema = R"({"oem": false,
  "fields": [{"name": "T:NAME", "type": "STRING", "size": 12}, {"name": "T:WHEN", "type": "LONG"},
             {"name": "T:CODES", "type": "BYTE", "dims": [3]}, {"name": "T:SUM", "type": "DECIMAL", "size": 4, "places": 2}],
  "memos": [{"name": "T:NOTES", "size": 300}],
  "keys": [{"name": "T:WHENKEY", "attributes": 1, "components": ["T:WHEN"]},
           {"name": "T:NAMEKEY", "attributes": 6, "components": ["-T:NAME"]}]})";

void Load(const std::string& table, const std::string& schema, int records, int memo_length) {
    std::string input;
    for (int i = 0; i < records; ++i) {
        input += R"({"T:NAME": "n)" + std::to_string(i * 7 % 13) + R"(", "T:WHEN": )" +
                 std::to_string(i % 5) +
                 R"(, "T:CODES": [1, 2, 3], "T:SUM": "1.25", "T:NOTES": ")" +
                 std::string(static_cast<std::size_t>(memo_length), 'm') + "\"}\n";
    }
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    zelt::plm::RunPlm({"load", table, "--schema", schema}, in, out, err);
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path dir = argc > 1 ? argv[1] : "table-corpus";
    std::filesystem::create_directories(dir);
    zelt::storage::io::IoFaultSeam::SetDeviceSync(false);
    const std::string schema = (dir / "schema.json").string();
    std::ofstream(schema) << kSchema;
    Load((dir / "small.plm").string(), schema, 12, 5);
    Load((dir / "memos.plm").string(), schema, 40, 280);
    Load((dir / "two.plm").string(), schema, 20, 0);
    Load((dir / "two.plm").string() + "\\!SECOND", schema, 8, 30);
    std::filesystem::remove(schema);
    std::printf("seeds in %s\n", dir.c_str());
}
