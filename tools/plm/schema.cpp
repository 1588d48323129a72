#include "tools/plm/schema.hpp"

#include "runtime/file/field_type.hpp"

namespace zelt::plm {

using runtime::FieldType;

Json SchemaFromDefinition(const storage::TableDefinition& d, bool oem) {
    Json schema = Json::Object();
    schema.Set("oem", Json::Boolean(oem));
    Json fields = Json::Array();
    for (const auto& f : d.fields) {
        Json field = Json::Object();
        field.Set("name", Json::Text(f.name));
        const auto type_name = runtime::FieldTypeName(static_cast<FieldType>(f.type));
        field.Set("type", type_name.empty() ? Json::Number(f.type) : Json::Text(std::string(type_name)));
        field.Set("offset", Json::Number(f.offset));
        field.Set("size", Json::Number(f.elements > 1 ? f.size / f.elements : f.size));
        if (f.type == 10 || f.type == 11) field.Set("places", Json::Number(f.places));
        if (f.elements > 1) {
            Json dims = Json::Array();
            dims.Push(Json::Number(f.elements));
            field.Set("dims", std::move(dims));
        }
        if (f.overlay) field.Set("overlay", Json::Boolean(true));
        fields.Push(std::move(field));
    }
    schema.Set("fields", std::move(fields));
    Json memos = Json::Array();
    for (const auto& m : d.memos) {
        Json memo = Json::Object();
        memo.Set("name", Json::Text(m.external_name.value_or(m.label.value_or(""))));
        memo.Set("size", Json::Number(m.size));
        memo.Set("binary", Json::Boolean(m.Binary()));
        memo.Set("blob", Json::Boolean(m.Blob()));
        memos.Push(std::move(memo));
    }
    schema.Set("memos", std::move(memos));
    Json keys = Json::Array();
    for (const auto& k : d.keys) {
        Json key = Json::Object();
        key.Set("name", Json::Text(k.label.value_or(k.external_name.value_or(""))));
        key.Set("attributes", Json::Number(k.attributes));
        Json components = Json::Array();
        for (const auto& c : k.components)
            components.Push(Json::Text((c.descending ? "-" : "") + d.fields[c.field].name));
        key.Set("components", std::move(components));
        keys.Push(std::move(key));
    }
    schema.Set("keys", std::move(keys));
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

std::uint32_t Number(const Json* j, std::uint32_t fallback) {
    return j != nullptr && j->IsNumber() && j->AsNumber() >= 0 ? static_cast<std::uint32_t>(j->AsNumber())
                                                               : fallback;
}

}  // namespace

bool DeclarationFromSchema(const Json& schema, const std::string& file_name, DeclaredSchema& out,
                           std::string* error) {
    if (!schema.IsObject()) {
        *error = "the schema is not a JSON object";
        return false;
    }
    const Json* fields = schema.Find("fields");
    if (fields == nullptr || !fields->IsArray()) {
        *error = "the schema has no \"fields\" array";
        return false;
    }
    std::vector<FieldSpec> specs;
    std::uint32_t running = 0;
    std::uint32_t length = 0;
    for (const auto& f : fields->Items()) {
        const Json* name = f.Find("name");
        const Json* type = f.Find("type");
        if (name == nullptr || !name->IsString() || type == nullptr || !type->IsString()) {
            *error = "every field needs a \"name\" and a \"type\"";
            return false;
        }
        const auto field_type = runtime::FieldTypeFromName(type->AsString());
        if (!field_type) {
            *error = "unknown field type " + type->AsString() + " of " + name->AsString();
            return false;
        }
        FieldSpec field_spec{name->AsString(), *field_type, Number(f.Find("offset"), running), 0, 1,
                       static_cast<std::uint8_t>(Number(f.Find("places"), 0))};
        std::uint32_t element = runtime::FixedElementSize(*field_type);
        if (element == 0) element = Number(f.Find("size"), 0);
        if (element == 0 && (*field_type == FieldType::Decimal || *field_type == FieldType::PDecimal))
            element = Number(f.Find("digits"), 0) / 2 + 1;
        if (element == 0) {
            *error = "field " + field_spec.name + " needs a \"size\"";
            return false;
        }
        if (const Json* dims = f.Find("dims"); dims != nullptr && dims->IsArray())
            for (const auto& d : dims->Items()) field_spec.elements *= Number(&d, 1);
        field_spec.size = element * field_spec.elements;
        // A GROUP takes the next offset without moving it: the fields after it fill it.
        if (*field_type != FieldType::Group) running = field_spec.offset + field_spec.size;
        length = std::max(length, field_spec.offset + field_spec.size);
        specs.push_back(std::move(field_spec));
    }
    out.record.assign(length, '\0');
    auto declaration = std::make_unique<runtime::TableDeclaration>("PLM", "PLM", "PELMAR");
    declaration->FileName(file_name).Record({out.record.data(), out.record.size()});
    if (const Json* oem = schema.Find("oem"); oem != nullptr && oem->kind() == Json::Kind::Bool)
        declaration->Oem(oem->AsBool());
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
            declaration->Field(field_spec.name, field_spec.type, field_spec.offset, field_spec.size, std::move(options));
        }
    }
    if (const Json* memos = schema.Find("memos"); memos != nullptr && memos->IsArray()) {
        for (const auto& m : memos->Items()) {
            const Json* name = m.Find("name");
            if (name == nullptr || !name->IsString()) {
                *error = "every memo needs a \"name\"";
                return false;
            }
            const Json* blob = m.Find("blob");
            const Json* binary = m.Find("binary");
            const bool is_binary = binary != nullptr && binary->AsBool();
            if (blob != nullptr && blob->AsBool())
                declaration->Blob(name->AsString(), is_binary);
            else
                declaration->Memo(name->AsString(), Number(m.Find("size"), 0), is_binary);
        }
    }
    if (const Json* keys = schema.Find("keys"); keys != nullptr && keys->IsArray()) {
        for (const auto& k : keys->Items()) {
            const Json* name = k.Find("name");
            const Json* components = k.Find("components");
            if (name == nullptr || !name->IsString() || components == nullptr || !components->IsArray()) {
                *error = "every key needs a \"name\" and \"components\"";
                return false;
            }
            std::vector<std::string> parts;
            for (const auto& c : components->Items()) {
                if (!c.IsString()) {
                    *error = "key components are field names";
                    return false;
                }
                parts.push_back(c.AsString());
            }
            declaration->Key(name->AsString(), static_cast<std::uint8_t>(Number(k.Find("attributes"), 0)),
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
