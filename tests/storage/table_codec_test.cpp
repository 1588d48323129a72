#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "runtime/file/collation.hpp"
#include "runtime/file/table_declaration.hpp"
#include "storage/tables/key_codec.hpp"
#include "storage/tables/record_codec.hpp"
#include "storage/tables/table_definition.hpp"

namespace zelt::storage {
namespace {

using runtime::FieldType;
using runtime::TableDeclaration;
namespace key_attr = runtime::key_attr;

const TableId kId{0, 0, 0, 7};

KeyCollation AnsiCollation() {
    return {runtime::CurrentCollation(), false};
}

// A one-field definition of the given type and size.
TableDefinition OneField(FieldType type, std::uint32_t size, std::uint8_t attributes = 0,
                         bool descending = false) {
    TableDefinition d;
    d.record_length = size;
    FieldDescriptor f;
    f.type = static_cast<std::uint8_t>(type);
    f.size = size;
    f.name = "F";
    d.fields.push_back(f);
    KeyDescriptor k;
    k.attributes = attributes;
    k.components.push_back({0, descending});
    d.keys.push_back(k);
    return d;
}

template <typename T>
Bytes Raw(T value) {
    Bytes out(sizeof(T), '\0');
    std::memcpy(out.data(), &value, sizeof(T));
    return out;
}

// Packed decimal: a sign nibble (0 or 0xF) then 2 * size - 1 digits.
Bytes PackDecimal(long long scaled, std::size_t size) {
    Bytes out(size, '\0');
    const bool negative = scaled < 0;
    unsigned long long v = static_cast<unsigned long long>(negative ? -scaled : scaled);
    for (std::size_t nibble = 0; nibble < 2 * size - 1; ++nibble) {
        const std::size_t pos = 2 * size - 1 - nibble;  // nibble index from the left, 1-based
        const auto digit = static_cast<std::uint8_t>(v % 10);
        v /= 10;
        auto& byte = out[pos / 2];
        byte =
            static_cast<char>(pos % 2 == 0 ? (static_cast<std::uint8_t>(byte) & 0x0F) | (digit << 4)
                                           : (static_cast<std::uint8_t>(byte) & 0xF0) | digit);
    }
    if (negative) out[0] = static_cast<char>(static_cast<std::uint8_t>(out[0]) | 0xF0);
    return out;
}

// Encodes each value and checks that byte order follows the given (ascending) order.
void ExpectOrdered(const TableDefinition& d, const std::vector<Bytes>& values) {
    for (std::size_t i = 1; i < values.size(); ++i) {
        const Bytes a = EncodeKeyPrefix(d, 0, kId, AnsiCollation(), values[i - 1]);
        const Bytes b = EncodeKeyPrefix(d, 0, kId, AnsiCollation(), values[i]);
        EXPECT_LT(a, b) << "values " << i - 1 << " and " << i;
    }
}

TEST(KeyEncodingTest, NumbersSortInValueOrderBothWays) {
    ExpectOrdered(OneField(FieldType::Long, 4),
                  {Raw<std::int32_t>(INT32_MIN), Raw<std::int32_t>(-256), Raw<std::int32_t>(-1),
                   Raw<std::int32_t>(0), Raw<std::int32_t>(1), Raw<std::int32_t>(255),
                   Raw<std::int32_t>(INT32_MAX)});
    ExpectOrdered(OneField(FieldType::Long, 4, 0, true),
                  {Raw<std::int32_t>(1), Raw<std::int32_t>(0), Raw<std::int32_t>(-1)});
    ExpectOrdered(OneField(FieldType::Short, 2),
                  {Raw<std::int16_t>(-300), Raw<std::int16_t>(-1), Raw<std::int16_t>(2)});
    ExpectOrdered(OneField(FieldType::ULong, 4), {Raw<std::uint32_t>(1), Raw<std::uint32_t>(256),
                                                  Raw<std::uint32_t>(0x80000000u)});
    ExpectOrdered(OneField(FieldType::Real, 8), {Raw(-1e300), Raw(-2.5), Raw(-1.0), Raw(-0.001),
                                                 Raw(0.0), Raw(0.5), Raw(3.0), Raw(1e300)});
    ExpectOrdered(OneField(FieldType::Real, 8, 0, true),
                  {Raw(3.0), Raw(0.0), Raw(-1.0), Raw(-2.5)});
    ExpectOrdered(OneField(FieldType::SReal, 4), {Raw(-2.5f), Raw(-1.0f), Raw(0.0f), Raw(3.0f)});
    ExpectOrdered(OneField(FieldType::SReal, 4, 0, true), {Raw(2.0f), Raw(-1.0f), Raw(-7.0f)});
    ExpectOrdered(
        OneField(FieldType::Decimal, 3),
        {PackDecimal(-9999, 3), PackDecimal(-250, 3), PackDecimal(-1, 3), PackDecimal(0, 3),
         PackDecimal(1, 3), PackDecimal(1234, 3), PackDecimal(99999, 3)});
    ExpectOrdered(
        OneField(FieldType::Decimal, 3, 0, true),
        {PackDecimal(500, 3), PackDecimal(1, 3), PackDecimal(-1, 3), PackDecimal(-250, 3)});
}

TEST(KeyEncodingTest, TextsFoldAndCollate) {
    const auto nocase = OneField(FieldType::String, 3, key_attr::NoCase);
    EXPECT_EQ(EncodeKeyPrefix(nocase, 0, kId, AnsiCollation(), "xyz"),
              EncodeKeyPrefix(nocase, 0, kId, AnsiCollation(), "XYZ"));
    const auto exact = OneField(FieldType::String, 3);
    EXPECT_NE(EncodeKeyPrefix(exact, 0, kId, AnsiCollation(), "xyz"),
              EncodeKeyPrefix(exact, 0, kId, AnsiCollation(), "XYZ"));
    // Accented letters file behind their plain letter, before the next one.
    ExpectOrdered(exact, {"A  ", "\xC4  ", "B  ", "Z  ", "a  ", "\xE9  ", "f  "});
    ExpectOrdered(nocase, {"abc", "ABD", "\xE9t\xE9", "zzz"});
    // Descending texts reverse, and the key carries identifier and key number first.
    ExpectOrdered(OneField(FieldType::String, 3, 0, true), {"b  ", "ab ", "a  "});
    const Bytes prefix = EncodeKeyPrefix(exact, 0, kId, AnsiCollation(), "abc");
    EXPECT_EQ(prefix.substr(0, 5), Bytes("\0\0\0\x07\0", 5));
    EXPECT_EQ(prefix.size(), 8u);
}

TEST(KeyEncodingTest, CountedAndZeroTerminatedTextsPadWithZeros) {
    const auto cstring = OneField(FieldType::CString, 6, key_attr::NoCase);
    const Bytes a = EncodeKeyPrefix(cstring, 0, kId, AnsiCollation(), Bytes("ab\0zzz", 6));
    const Bytes b = EncodeKeyPrefix(cstring, 0, kId, AnsiCollation(), Bytes("AB\0qqq", 6));
    EXPECT_EQ(a, b);  // what follows the terminator does not count
    const auto& weight = runtime::CurrentCollation().ansi_sequence;
    EXPECT_EQ(static_cast<std::uint8_t>(a[5]), weight['A']);
    EXPECT_EQ(static_cast<std::uint8_t>(a[6]), weight['B']);
    EXPECT_EQ(a.substr(7), Bytes(4, '\0'));
    const auto pstring = OneField(FieldType::PString, 5);
    const Bytes p = EncodeKeyPrefix(pstring, 0, kId, AnsiCollation(), Bytes("\x02hiXY", 5));
    EXPECT_EQ(static_cast<std::uint8_t>(p[5]), weight['h']);
    EXPECT_EQ(static_cast<std::uint8_t>(p[6]), weight['i']);
    EXPECT_EQ(p.substr(7), Bytes(3, '\0'));
    // "ab" sorts before "ab " in a zero-padded text.
    ExpectOrdered(cstring, {Bytes("ab\0\0\0\0", 6), Bytes("ab \0\0\0", 6), Bytes("abc\0\0\0", 6)});
}

TEST(KeyEncodingTest, LigaturesAndSharpSExpandToTheirLetters) {
    const auto exact = OneField(FieldType::String, 6);
    const auto nocase = OneField(FieldType::String, 7, key_attr::NoCase);
    // \xC6 = Æ, \xDF = ß, \x9C = œ.
    ExpectOrdered(OneField(FieldType::String, 6, key_attr::NoCase), {"Adam  ",
                                                                     "\xC6"
                                                                     "ble ",
                                                                     "Afrika"});
    ExpectOrdered(exact, {"co    ", "c\x9Cur ", "cp    "});
    const auto key = [](const TableDefinition& d, const Bytes& value) {
        return EncodeKeyPrefix(d, 0, kId, AnsiCollation(), value);
    };
    EXPECT_EQ(key(exact,
                  "\xC6"
                  "ble "),
              key(exact, "AEble "));
    EXPECT_EQ(key(nocase,
                  "stra\xDF"
                  "e "),
              key(nocase, "STRASSE"));
    EXPECT_NE(key(exact,
                  "stra\xDF"
                  "e"),
              key(exact, "STRASSE"));
    // What the expansion pushes past the field's end is cut off.
    const auto short_field = OneField(FieldType::String, 3);
    const Bytes cut = key(short_field, "\xDF\xDF\xDF");
    EXPECT_EQ(cut.size(), 8u);
    EXPECT_EQ(cut, key(short_field, "sss"));
}

TEST(KeyEncodingTest, ContractionsFileAfterTheirAnchorAndRulesNeedTheSwitch) {
    runtime::CollationTables tables = runtime::CurrentCollation();
    // "ch" files after every other text beginning with c, "ll" after every l.
    const std::uint8_t contractions[] = {'c', 'h', 'c', 'l', 'l', 'l'};
    std::copy(std::begin(contractions), std::end(contractions), tables.rules2.begin());
    const KeyCollation spanish{tables, false};
    const auto exact = OneField(FieldType::String, 5);
    const auto nocase = OneField(FieldType::String, 5, key_attr::NoCase);
    const auto key = [&](const TableDefinition& d, const Bytes& value) {
        return EncodeKeyPrefix(d, 0, kId, spanish, value);
    };
    std::vector<Bytes> words{"cuna ", "chico", "dama ", "luz  ", "llama", "mar  "};
    for (std::size_t i = 1; i < words.size(); ++i)
        EXPECT_LT(key(exact, words[i - 1]), key(exact, words[i])) << words[i];
    EXPECT_EQ(key(nocase, "CHICO"), key(nocase, "chico"));
    EXPECT_EQ(key(nocase, "cHiCo"), key(nocase, "Chico"));
    // A rule's first letter before another letter weighs as itself; an expansion right
    // after a contraction still expands.
    EXPECT_LT(key(exact, "cc   "), key(exact, "ch   "));
    EXPECT_EQ(key(exact, "ch\xC6 "), key(exact, "chAE "));
    EXPECT_EQ(key(exact, "chico").size(), 10u);

    // With the switch byte off, no rule applies, not even the expansions.
    tables.rules1[0] = 0;
    const KeyCollation plain{tables, false};
    EXPECT_LT(EncodeKeyPrefix(exact, 0, kId, plain, "chico"),
              EncodeKeyPrefix(exact, 0, kId, plain, "cuna "));
    EXPECT_NE(EncodeKeyPrefix(exact, 0, kId, plain,
                              "\xC6"
                              "ble"),
              EncodeKeyPrefix(exact, 0, kId, plain, "AEble"));
    // OEM tables weigh the expansion through the OEM sequence.
    const KeyCollation oem{runtime::CurrentCollation(), true};
    EXPECT_EQ(EncodeKeyPrefix(exact, 0, kId, oem,
                              "\xC6"
                              "ble"),
              EncodeKeyPrefix(exact, 0, kId, oem, "AEble"));
}

TEST(KeyEncodingTest, OptEntriesAndRecordNumbers) {
    auto d = OneField(FieldType::String, 4, key_attr::Opt | key_attr::Dup);
    EXPECT_FALSE(BuildKeyEntry(d, 0, kId, AnsiCollation(), "    ", 5).has_value());
    const auto dup = BuildKeyEntry(d, 0, kId, AnsiCollation(), "ab  ", 5);
    ASSERT_TRUE(dup.has_value());
    EXPECT_EQ(dup->key.size(), 9u + 4u);
    EXPECT_TRUE(dup->data.empty());
    EXPECT_EQ(EntryRecordNumber(d.keys[0], dup->key, dup->data), 5u);
    // Equal components sort by record number in a DUP key.
    EXPECT_LT(BuildKeyEntry(d, 0, kId, AnsiCollation(), "ab  ", 5)->key,
              BuildKeyEntry(d, 0, kId, AnsiCollation(), "ab  ", 300)->key);

    auto unique = OneField(FieldType::Long, 4, key_attr::Opt);
    EXPECT_FALSE(BuildKeyEntry(unique, 0, kId, AnsiCollation(), Raw<std::int32_t>(0), 1));
    const auto entry = BuildKeyEntry(unique, 0, kId, AnsiCollation(), Raw<std::int32_t>(3), 9);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->key.size(), 9u);
    EXPECT_EQ(entry->data, Bytes("\0\0\0\x09", 4));
}

TEST(CollationTest, TablesArePermutationsAndConversionRoundTrips) {
    const auto& t = runtime::CurrentCollation();
    std::set<int> ansi(t.ansi_sequence.begin(), t.ansi_sequence.end());
    std::set<int> oem(t.oem_sequence.begin(), t.oem_sequence.end());
    EXPECT_EQ(ansi.size(), 256u);
    EXPECT_EQ(oem.size(), 256u);
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        EXPECT_EQ(runtime::OemToAnsi(runtime::AnsiToOem(byte)), byte) << b;
    }
    EXPECT_EQ(runtime::AnsiToOem(0xE9), 0x82);  // é
    EXPECT_EQ(runtime::AnsiToOem(0xC4), 0x8E);  // Ä
    EXPECT_EQ(runtime::AnsiToOem('A'), 'A');
    EXPECT_EQ(t.upper[0xE9], 0xC9);
    EXPECT_EQ(t.upper['q'], 'Q');
    EXPECT_EQ(t.upper[0xF7], 0xF7);  // division sign
    EXPECT_EQ(runtime::UpperText("caf\xE9"), "CAF\xC9");

    runtime::CollationTables copy;
    ASSERT_TRUE(copy.Deserialize(t.Serialize()));
    EXPECT_EQ(copy, t);
    EXPECT_EQ(t.Serialize().size(), 1152u);
    EXPECT_FALSE(copy.Deserialize("short"));
}

TEST(RecordCodecTest, OemConversionCoversTextFieldsOnly) {
    auto decl = TableDeclaration("T", "T", "PELMAR");
    char buffer[16] = {};
    decl.Record({buffer, sizeof buffer})
        .String("T:S", 0, 4)
        .CString("T:C", 4, 4)
        .PString("T:P", 8, 4)
        .Long("T:N", 12);
    TableDefinition d;
    ASSERT_EQ(DefinitionFromDeclaration(decl, d), 0);
    const Bytes record(
        "\xE9\xE9\xE9\xE9"
        "\xE9\0\xE9\xE9"
        "\x01\xE9\xE9\xE9"
        "\xE9\xE9\xE9\xE9",
        16);
    const Bytes stored = RecordForStore(d, true, record);
    EXPECT_EQ(stored, Bytes("\x82\x82\x82\x82"
                            "\x82\0\xE9\xE9"
                            "\x01\x82\xE9\xE9"
                            "\xE9\xE9\xE9\xE9",
                            16));
    Bytes back = stored;
    RecordFromStore(d, true, back);
    EXPECT_EQ(back, record);
    EXPECT_EQ(RecordForStore(d, false, record), record);
}

TEST(RecordCodecTest, MemosAndBlobsAreCutIntoChunks) {
    MemoDescriptor memo;
    memo.size = 1000;
    auto chunks = MemoChunks(memo, false, "text" + Bytes(996, ' '));
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0], "text");
    EXPECT_TRUE(MemoChunks(memo, false, Bytes(1000, ' ')).empty());
    Bytes back;
    ASSERT_TRUE(MemoFromChunks(memo, false, chunks, back));
    EXPECT_EQ(back, "text" + Bytes(996, ' '));

    MemoDescriptor blob;
    blob.attributes = memo_attr::Blob | memo_attr::Binary;
    Bytes contents(300, '\0');
    for (std::size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<char>(i);
    chunks = MemoChunks(blob, false, contents);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].size(), 260u);
    EXPECT_EQ(chunks[1].size(), 44u);
    EXPECT_EQ(chunks[0].substr(0, 4), Bytes("\x2C\x01\0\0", 4));
    ASSERT_TRUE(MemoFromChunks(blob, false, chunks, back));
    EXPECT_EQ(back, contents);
    // A blob whose chunks fall short of its stated length is not sound.
    chunks.pop_back();
    EXPECT_FALSE(MemoFromChunks(blob, false, chunks, back));

    // A text memo of an OEM table is converted; a binary one is not.
    memo.size = 4;
    EXPECT_EQ(MemoChunks(memo, true, "\xE9")[0], "\x82");
    memo.attributes = memo_attr::Binary;
    EXPECT_EQ(MemoChunks(memo, true, "\xE9")[0], "\xE9");
}

class DefinitionTest : public ::testing::Test {
  protected:
    TableDeclaration Declare() {
        return TableDeclaration("ORDERS", "ORD", "PELMAR")
            .Record({buffer_, sizeof buffer_})
            .String("ORD:Name", 0, 20)
            .Long("ORD:Number", 20)
            .Decimal("ORD:Amount", 24, 5, 2)
            .Group("ORD:When", 29, 8)
            .Date("ORD:Date", 29)
            .Time("ORD:Time", 33)
            .EndGroup()
            .Memo("ORD:Notes", 2000)
            .Key("ORD:NumberKey", key_attr::Opt, {"ORD:Number"})
            .Key("ORD:NameKey", key_attr::Dup | key_attr::NoCase, {"ORD:Name", "-ORD:Date"});
    }
    char buffer_[40] = {};
};

TEST_F(DefinitionTest, StreamRoundTripsAndVerifies) {
    TableDefinition d;
    ASSERT_EQ(DefinitionFromDeclaration(Declare(), d), 0);
    EXPECT_EQ(d.version, 1);
    ASSERT_EQ(d.fields.size(), 6u);
    EXPECT_EQ(d.fields[0].name, "ORD:NAME");
    EXPECT_EQ(d.fields[2].places, 2);
    EXPECT_EQ(d.fields[2].element_size, 5);
    EXPECT_EQ(d.fields[0].element_length, 20);

    const Bytes stream = WriteDefinitionStream(d);
    // Version 1, record length 40, 6 fields, 1 memo, 2 keys, then the first field.
    EXPECT_EQ(stream.substr(0, 10), Bytes("\x01\0\x28\0\x06\0\x01\0\x02\0", 10));
    EXPECT_EQ(stream.substr(10, 12), Bytes("\x12\0\0ORD:NAME\0", 12));

    TableDefinition back;
    ASSERT_TRUE(ReadDefinitionStream(stream, back));
    EXPECT_EQ(back.fields, d.fields);
    EXPECT_EQ(back.keys[1].components[1].field, 4);
    EXPECT_TRUE(back.keys[1].components[1].descending);
    EXPECT_FALSE(back.keys[0].external_name.has_value());
    EXPECT_EQ(back.keys[0].label, "ORD:NUMBERKEY");
    EXPECT_EQ(back.memos[0].label, "ORD:NOTES");
    EXPECT_TRUE(VerifyDefinitionStream(stream, d));
}

TEST_F(DefinitionTest, VerifyCatchesDifferencesButAllowsPrimary) {
    TableDefinition d;
    ASSERT_EQ(DefinitionFromDeclaration(Declare(), d), 0);
    const Bytes stream = WriteDefinitionStream(d);

    TableDefinition renamed = d;
    renamed.fields[1].name = "ORD:NUMBR";
    EXPECT_FALSE(VerifyDefinitionStream(stream, renamed));

    TableDefinition primary = d;
    primary.keys[0].attributes |= key_attr::Primary;
    EXPECT_TRUE(VerifyDefinitionStream(stream, primary));

    TableDefinition nocase = d;
    nocase.keys[0].attributes |= key_attr::NoCase;
    EXPECT_FALSE(VerifyDefinitionStream(stream, nocase));

    TableDefinition memo_attrs = d;
    memo_attrs.memos[0].attributes = memo_attr::Binary;  // not compared
    EXPECT_TRUE(VerifyDefinitionStream(stream, memo_attrs));

    TableDefinition named = d;
    named.keys[0].external_name = "";  // empty is not the same as absent
    EXPECT_FALSE(VerifyDefinitionStream(stream, named));

    EXPECT_FALSE(VerifyDefinitionStream(stream.substr(0, 20), d));
    EXPECT_FALSE(ReadDefinitionStream(Bytes("\x09\0", 2), d));
}

TEST_F(DefinitionTest, LongDefinitionsSpanChunks) {
    auto decl = Declare();
    for (int i = 0; i < 60; ++i)
        decl.Key("ORD:ExtraKey" + std::to_string(i), key_attr::Dup, {"ORD:Name", "ORD:Number"});
    TableDefinition d;
    ASSERT_EQ(DefinitionFromDeclaration(decl, d), 0);
    const Bytes stream = WriteDefinitionStream(d);
    const auto chunks = DefinitionChunks(stream);
    ASSERT_GT(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].size(), 512u);
    EXPECT_EQ(chunks.back().size(), stream.size() % 512 == 0 ? 512 : stream.size() % 512);
    Bytes joined;
    for (const auto& c : chunks) joined += c;
    EXPECT_TRUE(VerifyDefinitionStream(joined, d));
}

TEST_F(DefinitionTest, DeclarationsTheStorageCannotKeepAreRefused) {
    TableDefinition d;
    auto array_key =
        Declare().Field("ORD:Codes", FieldType::Byte, 37, 3, runtime::FieldOptions().Dims({3}));
    array_key.Key("ORD:CodeKey", 0, {"ORD:Codes"});
    EXPECT_EQ(DefinitionFromDeclaration(array_key, d), runtime::err::InvalidFieldTypeDescriptor);

    auto bad_type = Declare().Field("ORD:Float", FieldType::BFloat4, 36, 4);
    EXPECT_EQ(DefinitionFromDeclaration(bad_type, d), runtime::err::UnsupportedDataType);
    auto overlay = Declare().Field("ORD:Float", FieldType::BFloat4, 20, 4,
                                   runtime::FieldOptions().Over("ORD:Number"));
    EXPECT_EQ(DefinitionFromDeclaration(overlay, d), 0);
    auto misfit = Declare().Field("ORD:Wide", FieldType::Real, 20, 8,
                                  runtime::FieldOptions().Over("ORD:Number"));
    EXPECT_EQ(DefinitionFromDeclaration(misfit, d), runtime::err::InvalidFieldTypeDescriptor);
    auto outside = Declare().Long("ORD:Past", 38);
    EXPECT_EQ(DefinitionFromDeclaration(outside, d), runtime::err::InvalidFieldTypeDescriptor);

    auto big_memo = Declare().Memo("ORD:Huge", 64001);
    EXPECT_EQ(DefinitionFromDeclaration(big_memo, d), runtime::err::InvalidRecordDeclaration);
    auto many_keys = Declare();
    for (int i = 0; i < 239; ++i) many_keys.Key("K" + std::to_string(i), 0, {"ORD:Name"});
    EXPECT_EQ(DefinitionFromDeclaration(many_keys, d), runtime::err::InvalidRecordDeclaration);
    auto blob = Declare().Blob("ORD:Picture");
    ASSERT_EQ(DefinitionFromDeclaration(blob, d), 0);
    EXPECT_EQ(d.version, 2);
}

}  // namespace
}  // namespace zelt::storage
