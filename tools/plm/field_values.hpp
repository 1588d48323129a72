// Field and memo values of a record as JSON values, both ways, by the runtime's field types.
// Texts travel as UTF-8 and are stored in the runtime's ANSI set (runtime/file/collation.hpp).
// A value that does not fit its field is refused with the field's name, never changed on
// the way in, unless the caller asks for cutting.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "storage/tables/table_definition.hpp"
#include "tools/plm/json.hpp"

namespace zelt::plm {

struct StoreOptions {
    const NumberTexts* numbers = nullptr;  // the numbers of the value's document as written
    bool truncate = false;                 // cut overlong texts and surplus decimal places
};

// The value of field `field` (an array for a field with several elements). Texts are
// clipped of trailing blanks; DECIMAL and PDECIMAL come as decimal text.
Json FieldToJson(const storage::FieldDescriptor& field, storage::BytesView record);

// Stores `value`, found at `pointer` in its document ("/NAME"), into the field; false with a
// message naming the field when it does not fit: a number out of the type's range (REAL and
// SREAL included), a text too long, a decimal with more places than the field keeps, a
// character the ANSI set lacks.
bool JsonToField(const storage::FieldDescriptor& field, const Json& value,
                 const std::string& pointer, storage::Bytes& record, const StoreOptions& options,
                 std::string* error);

// The bytes of memo `name` from `value` (a text), at most `limit` bytes unless cut; a MEMO
// (`blob` false) is padded with blanks to `limit`.
bool JsonToMemo(const std::string& name, const Json& value, const std::string& pointer,
                std::size_t limit, bool blob, const StoreOptions& options, std::string* out,
                std::string* error);

// UTF-8 to ANSI; nothing, with the reason in `error`, when the text is not UTF-8 or holds a
// character the ANSI set lacks.
std::optional<std::string> Utf8ToAnsi(std::string_view text, std::string* error);
std::string AnsiToUtf8(std::string_view text);

}  // namespace zelt::plm
