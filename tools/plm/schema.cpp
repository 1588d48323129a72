#include "tools/plm/schema.hpp"

#include "runtime/file/field_type.hpp"
#include "tools/plm/field_values.hpp"

namespace zelt::plm {

using runtime::FieldType;

Json SchemaFromDefinition(const storage::TableDefinition& d, bool oem) {
    Json schema = Json::object();
    schema["oem"] = oem;
    Json fields = Json::array();
    for (const auto& f : d.fields) {
        Json field = Json::object();
        field["name"] = AnsiToUtf8(f.name);
        const auto type_name = runtime::FieldTypeName(static_cast<FieldType>(f.type));
        field["type"] = type_name.empty() ? Json(f.type) : Json(std::string(type_name));
        field["offset"] = f.offset;
        field["size"] = f.elements > 1 ? f.size / f.elements : f.size;
        if (f.type == 10 || f.type == 11) field["places"] = f.places;
        if (f.elements > 1) field["dims"] = Json::array({f.elements});
        if (f.overlay) field["overlay"] = true;
        fields.push_back(std::move(field));
    }
    schema["fields"] = std::move(fields);
    Json memos = Json::array();
    for (const auto& m : d.memos) {
        Json memo = Json::object();
        memo["name"] = AnsiToUtf8(m.external_name.value_or(m.label.value_or("")));
        memo["size"] = m.size;
        memo["binary"] = m.Binary();
        memo["blob"] = m.Blob();
        memos.push_back(std::move(memo));
    }
    schema["memos"] = std::move(memos);
    Json keys = Json::array();
    for (const auto& k : d.keys) {
        Json key = Json::object();
        key["name"] = AnsiToUtf8(k.label.value_or(k.external_name.value_or("")));
        key["attributes"] = k.attributes;
        Json components = Json::array();
        for (const auto& c : k.components)
            components.push_back(AnsiToUtf8((c.descending ? "-" : "") + d.fields[c.field].name));
        key["components"] = std::move(components);
        keys.push_back(std::move(key));
    }
    schema["keys"] = std::move(keys);
    return schema;
}

namespace {

struct FieldSpec {
    std::string name;
    FieldType type;
    std::uint32_t offset;
    std::uint32_t size;  // whole size
    std::uint32_t elements;
    std::uint8_t places;
};

// The member `name` of `object`, or null when it has none.
const Json* Member(const Json& object, const char* name) {
    const auto found = object.find(name);
    return found == object.end() ? nullptr : &*found;
}

std::uint32_t Number(const Json* j, std::uint32_t fallback) {
    return j != nullptr && j->is_number() && j->get<double>() >= 0 &&
                   j->get<double>() < 4294967296.0
               ? static_cast<std::uint32_t>(j->get<double>())
               : fallback;
}

bool IsString(const Json* j) {
    return j != nullptr && j->is_string();
}
bool IsTrue(const Json* j) {
    return j != nullptr && j->is_boolean() && j->get<bool>();
}

}  // namespace

bool DeclarationFromSchema(const Json& schema, const std::string& file_name, DeclaredSchema& out,
                           std::string* error) {
    if (!schema.is_object()) {
        *error = "the schema is not a JSON object";
        return false;
    }
    const Json* fields = Member(schema, "fields");
    if (fields == nullptr || !fields->is_array()) {
        *error = "the schema has no \"fields\" array";
        return false;
    }
    // Names are stored in the ANSI set.
    const auto name_of = [&](const Json* j, std::string* name) {
        std::string problem;
        auto ansi = IsString(j) ? Utf8ToAnsi(j->get<std::string>(), &problem) : std::nullopt;
        if (ansi) *name = std::move(*ansi);
        if (!problem.empty()) *error = "name " + j->get<std::string>() + ": " + problem;
        return ansi.has_value();
    };
    std::vector<FieldSpec> specs;
    std::uint32_t running = 0;
    std::uint32_t length = 0;
    for (const auto& f : *fields) {
        const Json* type = Member(f, "type");
        std::string name;
        if (!name_of(Member(f, "name"), &name) || !IsString(type)) {
            if (error->empty()) *error = "every field needs a \"name\" and a \"type\"";
            return false;
        }
        const auto field_type = runtime::FieldTypeFromName(type->get<std::string>());
        if (!field_type) {
            *error = "unknown field type " + type->get<std::string>() + " of " + AnsiToUtf8(name);
            return false;
        }
        // The table format keeps no packed decimals in records (a file holding one fails to open).
        if (*field_type == FieldType::PDecimal) {
            *error = "field " + AnsiToUtf8(name) +
                     ": PDECIMAL is not a record field type of Pelmar tables";
            return false;
        }
        FieldSpec field_spec{
            name, *field_type, Number(Member(f, "offset"), running),
            0,    1,           static_cast<std::uint8_t>(Number(Member(f, "places"), 0))};
        std::uint32_t element = runtime::FixedElementSize(*field_type);
        if (element == 0) element = Number(Member(f, "size"), 0);
        if (element == 0 && *field_type == FieldType::Decimal)
            element = Number(Member(f, "digits"), 0) / 2 + 1;
        if (element == 0) {
            *error = "field " + AnsiToUtf8(name) + " needs a \"size\"";
            return false;
        }
        if (const Json* dims = Member(f, "dims"); dims != nullptr && dims->is_array())
            for (const auto& d : *dims) field_spec.elements *= Number(&d, 1);
        field_spec.size = element * field_spec.elements;
        // A GROUP takes the next offset without moving it: the fields after it fill it.
        if (*field_type != FieldType::Group) running = field_spec.offset + field_spec.size;
        length = std::max(length, field_spec.offset + field_spec.size);
        specs.push_back(std::move(field_spec));
    }
    out.record.assign(length, '\0');
    auto declaration = std::make_unique<runtime::TableDeclaration>("PLM", "PLM", "PELMAR");
    declaration->FileName(file_name).Record({out.record.data(), out.record.size()});
    if (const Json* oem = Member(schema, "oem"); oem != nullptr && oem->is_boolean())
        declaration->Oem(oem->get<bool>());
    std::vector<std::uint32_t> group_ends;
    for (const auto& field_spec : specs) {
        while (!group_ends.empty() && field_spec.offset >= group_ends.back()) {
            declaration->EndGroup();
            group_ends.pop_back();
        }
        runtime::FieldOptions options;
        options.Named(field_spec.name).Places(field_spec.places);
        if (field_spec.elements > 1) options.Dims({field_spec.elements});
        if (runtime::IsTextType(field_spec.type))
            options.Picture("@s" + std::to_string(field_spec.size / field_spec.elements));
        if (field_spec.type == FieldType::Group) {
            declaration->Group(field_spec.name, field_spec.offset, field_spec.size);
            group_ends.push_back(field_spec.offset + field_spec.size);
        } else {
            declaration->Field(field_spec.name, field_spec.type, field_spec.offset, field_spec.size,
                               std::move(options));
        }
    }
    if (const Json* memos = Member(schema, "memos"); memos != nullptr && memos->is_array()) {
        for (const auto& m : *memos) {
            std::string name;
            if (!name_of(Member(m, "name"), &name)) {
                if (error->empty()) *error = "every memo needs a \"name\"";
                return false;
            }
            const bool is_binary = IsTrue(Member(m, "binary"));
            if (IsTrue(Member(m, "blob")))
                declaration->Blob(name, is_binary);
            else
                declaration->Memo(name, Number(Member(m, "size"), 0), is_binary);
        }
    }
    if (const Json* keys = Member(schema, "keys"); keys != nullptr && keys->is_array()) {
        for (const auto& k : *keys) {
            const Json* components = Member(k, "components");
            std::string name;
            if (!name_of(Member(k, "name"), &name) || components == nullptr ||
                !components->is_array()) {
                if (error->empty()) *error = "every key needs a \"name\" and \"components\"";
                return false;
            }
            std::vector<std::string> parts;
            for (const auto& c : *components) {
                std::string part;
                if (!name_of(&c, &part)) {
                    if (error->empty()) *error = "key components are field names";
                    return false;
                }
                parts.push_back(std::move(part));
            }
            declaration->Key(name, static_cast<std::uint8_t>(Number(Member(k, "attributes"), 0)),
                             parts);
        }
    }
    if (!declaration->ComponentsResolved()) {
        *error = "a key component names no field of the schema";
        return false;
    }
    out.declaration = std::move(declaration);
    return true;
}

}  // namespace zelt::plm
