// Field values of a record as JSON values, both ways, by the runtime's field types.
#pragma once

#include <string>

#include "storage/tables/table_definition.hpp"
#include "tools/plm/json.hpp"

namespace zelt::plm {

// The value of field `field` (an array for a field with several elements). Texts are
// clipped of trailing blanks; DECIMAL and PDECIMAL come as decimal text.
Json FieldToJson(const storage::FieldDescriptor& field, storage::BytesView record);
// Stores `value` into the field; false with a message when it does not fit the type.
bool JsonToField(const storage::FieldDescriptor& field, const Json& value,
                 storage::Bytes& record, std::string* error);
// UTF-8 text to the program's single-byte character set (characters beyond it become "?").
std::string Utf8ToAnsi(std::string_view text);

}  // namespace zelt::plm
