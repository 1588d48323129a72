#include <gtest/gtest.h>

#include "tools/plm/field_values.hpp"
#include "tools/plm/schema.hpp"

namespace zelt::plm {
namespace {

using storage::Bytes;
using storage::FieldDescriptor;

FieldDescriptor Field(std::uint8_t type, std::uint32_t size, std::uint8_t places = 0,
                      std::uint32_t elements = 1) {
    FieldDescriptor f;
    f.type = type;
    f.size = size;
    f.places = places;
    f.elements = elements;
    f.name = "F";
    return f;
}

Json Parse(const std::string& text, NumberTexts* numbers = nullptr) {
    JsonError error;
    auto value = ParseJson(text, &error, numbers);
    EXPECT_TRUE(value.has_value()) << error.Describe();
    return value.value_or(Json());
}

// Stores the value and reads it back.
std::string RoundTrip(const FieldDescriptor& f, const std::string& json, bool truncate = false) {
    Bytes record(f.size, '\0');
    std::string error;
    NumberTexts numbers;
    const Json value = Parse(json, &numbers);
    if (!JsonToField(f, value, "", record, StoreOptions{&numbers, truncate}, &error))
        return "error: " + error;
    return WriteJson(FieldToJson(f, record));
}

TEST(PlmValuesTest, NumbersAndDecimalsRoundTrip) {
    EXPECT_EQ(RoundTrip(Field(6, 4), "-123456"), "-123456");
    EXPECT_EQ(RoundTrip(Field(1, 1), "255"), "255");
    EXPECT_EQ(RoundTrip(Field(1, 1), "256").substr(0, 6), "error:");
    EXPECT_EQ(RoundTrip(Field(2, 2), "1.5").substr(0, 6), "error:");
    EXPECT_EQ(RoundTrip(Field(9, 8), "-2.5"), "-2.5");
    EXPECT_EQ(RoundTrip(Field(10, 4, 2), "\"-12.34\""), "\"-12.34\"");
    EXPECT_EQ(RoundTrip(Field(10, 4, 2), "\"7\""), "\"7.00\"");
    EXPECT_EQ(RoundTrip(Field(10, 4, 2), "0.5"), "\"0.50\"");
    EXPECT_EQ(RoundTrip(Field(10, 2, 0), "\"1000\"").substr(0, 6), "error:");  // 3 digits fit
    EXPECT_EQ(RoundTrip(Field(11, 3, 1), "\"-99.5\""), "\"-99.5\"");
    EXPECT_EQ(RoundTrip(Field(6, 8, 0, 2), "[1, -2]"), "[1, -2]");
    EXPECT_EQ(RoundTrip(Field(6, 4), "\"text\"").substr(0, 6), "error:");
}

TEST(PlmValuesTest, TextsKeepTheirForms) {
    EXPECT_EQ(RoundTrip(Field(18, 6), "\"abc\""), "\"abc\"");
    EXPECT_EQ(RoundTrip(Field(18, 3), "\"abcdef\"", true), "\"abc\"");
    EXPECT_EQ(RoundTrip(Field(19, 4), "\"abcdef\"", true), "\"abc\"");  // room for the zero
    EXPECT_EQ(RoundTrip(Field(19, 4), "\"abcd\""),
              "error: text too long for F: 4 characters, room for 3 (--truncate cuts it)");
    EXPECT_EQ(RoundTrip(Field(20, 4), "\"hello\"", true), "\"hel\"");
    EXPECT_EQ(RoundTrip(Field(18, 4), "\"caf\\u00e9\""), "\"caf\xC3\xA9\"");
    std::string error;
    EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC x", &error), "\x80 x");
    EXPECT_EQ(Utf8ToAnsi("\xC2\x81\xC2\x9D", &error), "\x81\x9D");  // the bytes without a character
    EXPECT_EQ(AnsiToUtf8("\x81\x9D\x80"), "\xC2\x81\xC2\x9D\xE2\x82\xAC");
    EXPECT_FALSE(Utf8ToAnsi("\xC0\xAF", &error));
}

TEST(PlmValuesTest, SchemasLayOutFieldsGroupsAndKeys) {
    const Json schema = Parse(R"({"fields": [
        {"name": "T:NAME", "type": "STRING", "size": 10},
        {"name": "T:WHEN", "type": "GROUP", "size": 8},
        {"name": "T:DATE", "type": "DATE"},
        {"name": "T:TIME", "type": "TIME"},
        {"name": "T:CODES", "type": "BYTE", "dims": [3]},
        {"name": "T:AMOUNT", "type": "DECIMAL", "digits": 7, "places": 2}],
      "memos": [{"name": "T:NOTES", "size": 100}],
      "keys": [{"name": "T:WHENKEY", "attributes": 1, "components": ["-T:DATE", "T:NAME"]}]})");
    DeclaredSchema declared;
    std::string error;
    ASSERT_TRUE(DeclarationFromSchema(schema, "X.PLM", declared, &error)) << error;
    const auto& fields = declared.declaration->Fields();
    ASSERT_EQ(fields.size(), 6u);
    EXPECT_EQ(fields[1].offset, 10u);
    EXPECT_EQ(fields[2].offset, 10u);  // inside the group
    EXPECT_EQ(fields[2].group, 1);
    EXPECT_EQ(fields[3].offset, 14u);
    EXPECT_EQ(fields[4].offset, 18u);
    EXPECT_EQ(fields[4].size, 3u);
    EXPECT_EQ(fields[4].group, -1);
    EXPECT_EQ(fields[5].size, 4u);
    EXPECT_EQ(declared.record.size(), 25u);
    EXPECT_TRUE(declared.declaration->Keys()[0].components[0].descending);

    // The schema written from the definition describes the same table.
    storage::TableDefinition definition;
    ASSERT_EQ(storage::DefinitionFromDeclaration(*declared.declaration, definition), 0);
    DeclaredSchema again;
    ASSERT_TRUE(
        DeclarationFromSchema(SchemaFromDefinition(definition, false), "X.PLM", again, &error))
        << error;
    storage::TableDefinition second;
    ASSERT_EQ(storage::DefinitionFromDeclaration(*again.declaration, second), 0);
    EXPECT_TRUE(
        storage::VerifyDefinitionStream(storage::WriteDefinitionStream(definition), second));

    EXPECT_FALSE(DeclarationFromSchema(Parse(R"({"fields": [{"name": "A", "type": "FLOAT"}]})"),
                                       "X", again, &error));
    EXPECT_FALSE(DeclarationFromSchema(Parse(R"({"fields": [{"name": "A", "type": "STRING"}]})"),
                                       "X", again, &error));
    EXPECT_FALSE(DeclarationFromSchema(
        Parse(
            R"({"fields": [{"name": "A", "type": "LONG"}], "keys": [{"name": "K", "components": ["B"]}]})"),
        "X", again, &error));
}

}  // namespace
}  // namespace zelt::plm
