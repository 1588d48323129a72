// Stored text (Windows-1252) and UTF-8: the characters that differ from Latin-1, the bytes
// without a character, and what is refused or marked.
#include "runtime/text/stored_text.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace zelt::runtime {
namespace {

TEST(StoredText, EveryStoredByteGoesToUtf8AndBackUnchanged) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string utf8 = StoredToUtf8(all);
    EXPECT_EQ(Utf8ToStored(utf8), all);
    EXPECT_EQ(Utf8ToStoredMarked(utf8), all);
}

TEST(StoredText, CharactersMapBothWays) {
    struct Row {
        std::string stored, utf8;
    };
    const std::vector<Row> rows = {
        {"", ""},
        {"plain ASCII/path.APP", "plain ASCII/path.APP"},
        {"caf\xE9", "caf\xC3\xA9"},                  // é, as in Latin-1
        {"\x80", "\xE2\x82\xAC"},                    // € where Latin-1 has a control
        {"\x8A\x9F", "\xC5\xA0\xC5\xB8"},            // Š Ÿ
        {"\x93x\x94", "\xE2\x80\x9Cx\xE2\x80\x9D"},  // “x”
        {"\x81\x9D", "\xC2\x81\xC2\x9D"},            // the bytes without a character
        {"\xFF", "\xC3\xBF"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.utf8);
        EXPECT_EQ(StoredToUtf8(row.stored), row.utf8);
        EXPECT_EQ(Utf8ToStored(row.utf8), row.stored);
        EXPECT_EQ(StoredTextRefusal(row.utf8), std::nullopt);
    }
}

TEST(StoredText, WhatCannotBeStoredIsRefusedByNameOrMarked) {
    struct Row {
        std::string utf8, refusal, marked;
    };
    const std::vector<Row> rows = {
        {"\xC5\x82\xC3\xB3"
         "d\xC5\xBA",  // łódź: ó is there, ł and ź are not
         "the character \"\xC5\x82\" (U+0142) cannot be stored; the catalogue holds the "
         "characters of Windows-1252 only",
         "<U+0142>\xF3"
         "d<U+017A>"},
        {"/src/\xE2\x9C\x93.APP", "the character \"\xE2\x9C\x93\" (U+2713) cannot be stored",
         "/src/<U+2713>.APP"},
        {"x\xF0\x9F\x98\x80", "the character \"\xF0\x9F\x98\x80\" (U+1F600)", "x<U+1F600>"},
        {"\xC2\x80", "the character \"\xC2\x80\" (U+0080) cannot", "<U+0080>"},  // C1, not €
        {"caf\xE9", "byte 4 (\\xE9) is not UTF-8 text", "caf<E9>"},  // stored bytes, not UTF-8
        {"ab\xC3", "byte 3 (\\xC3) is not UTF-8 text", "ab<C3>"},    // cut in a character
        {"\xED\xA0\x80", "byte 1 (\\xED) is not UTF-8 text", "<ED><A0><80>"},  // a surrogate
        {"\xC0\xAF", "byte 1 (\\xC0) is not UTF-8 text", "<C0><AF>"},          // overlong "/"
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.marked);
        std::string refusal;
        EXPECT_EQ(Utf8ToStored(row.utf8, &refusal), std::nullopt);
        EXPECT_EQ(refusal.rfind(row.refusal, 0), 0u) << refusal;
        EXPECT_EQ(StoredTextRefusal(row.utf8), refusal);
        EXPECT_EQ(Utf8ToStoredMarked(row.utf8), row.marked);
    }
}

}  // namespace
}  // namespace zelt::runtime
