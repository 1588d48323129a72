// Table schemas as JSON: from a stored definition, and to a declaration of the file layer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/file/table_declaration.hpp"
#include "storage/tables/table_definition.hpp"
#include "tools/plm/json.hpp"

namespace zelt::plm {

Json SchemaFromDefinition(const storage::TableDefinition& definition, bool oem);

// A declaration built from a schema, with the record buffer it refers to.
struct DeclaredSchema {
    std::vector<char> record;
    std::unique_ptr<runtime::TableDeclaration> declaration;
};
// False with a message when the schema is not usable.
bool DeclarationFromSchema(const Json& schema, const std::string& file_name, DeclaredSchema& out,
                           std::string* error);

}  // namespace zelt::plm
