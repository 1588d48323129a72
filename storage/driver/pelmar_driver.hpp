// The "PELMAR" table driver: the file layer's statements on Pelmar tables.
//
// One driver object keeps the physical files it has open (shared by all tables of a file),
// the process's transaction and the configured transaction control file. A second driver
// object under another name behaves as another station would: its files are opened
// separately, so holds, watches and locks of the two exclude each other.
//
// Closing inside a transaction. CLOSE of a table whose file takes part in the open
// transaction (LOGOUT until COMMIT or ROLLBACK) is refused with 56 ("LOGOUT Already
// Active"): the table stays open and the transaction keeps every change, and CLOSE works
// again once the transaction has ended. DESTROY cannot be refused; when it closes such a
// file, the transaction has lost that file's changes, and its COMMIT fails with 48
// ("Unable To Log Transaction"), rolling back every other file too.
//
// The entry point finds each operation in one table indexed by operation number; the same
// table answers `Supports`. The operations themselves live by family (pelmar_families.hpp).
#pragma once

#include <map>
#include <memory>
#include <string>

#include "runtime/file/file_driver.hpp"

namespace zelt::storage {

namespace pelmar {
struct Driver;
}

// Trace settings (the per-user profile's section "VXPELMAR").
struct PelmarTrace {
    bool enabled = false;
    std::string file = "PELMAR.LOG";
    bool details = false;
};
PelmarTrace ReadPelmarTraceSettings();

class PelmarDriver final : public runtime::FileDriver {
  public:
    explicit PelmarDriver(std::string name = "PELMAR");
    ~PelmarDriver() override;

    std::string_view Name() const override { return name_; }
    std::string_view Description() const override { return "Pelmar (PLM)"; }
    bool Supports(runtime::FileOp op) const override;
    bool SupportsFieldType(std::uint8_t type_code) const override;
    runtime::ErrorCode Call(runtime::FileOp op, runtime::Table& table,
                            runtime::DriverArgs& args) override;

  private:
    std::string name_;
    std::unique_ptr<pelmar::Driver> driver_;
};

// Registers the driver under "PELMAR" (once; later calls do nothing).
void RegisterPelmarDriver();

}  // namespace zelt::storage
