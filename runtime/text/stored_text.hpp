// Stored text and the UTF-8 of everything outside the tables.
//
// The texts of the tables are Windows-1252, one byte a character, as the table tools load
// them and the report engine reads them. Everything the program meets outside them is
// UTF-8: file names, the conversation with the IDE, the screen, PDF files, the terminal and
// the command line. The rule is one conversion at each border:
//
//   stored text -> StoredToUtf8      where it goes to a path, a command, a control, a report
//                                    line, a PDF or the terminal;
//   UTF-8 -> Utf8ToStored            where text comes in to be stored or compared with
//                                    stored text (a typed entry, a chosen file, a name on the
//                                    command line). A character that Windows-1252 cannot
//                                    hold is refused, and the refusal names it; nothing is
//                                    ever stored as "?" or as UTF-8 bytes.
//   UTF-8 -> Utf8ToStoredMarked      for texts that must be kept whatever they hold (an IDE's
//                                    error message on its way to the activity log): such a
//                                    character is written as its code point, "<U+0142>".
//
// The conversion is the C library's (iconv, "WINDOWS-1252"). The five bytes Windows-1252
// leaves empty (81, 8D, 8F, 90, 9D) stand for the C1 controls of the same number, so that
// any stored text goes to UTF-8 and back unchanged, as the runtime's character tables have
// it. Both directions are safe to call from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelt::runtime {

// Stored text as UTF-8; every byte has a character.
std::string StoredToUtf8(std::string_view stored);

// UTF-8 text as stored text; nothing when it cannot be stored, with `refusal` (when given)
// saying why: `the character "ł" (U+0142) cannot be stored; the catalogue holds the
// characters of Windows-1252 only`, or `byte 4 (\xFF) is not UTF-8 text`.
std::optional<std::string> Utf8ToStored(std::string_view utf8, std::string* refusal = nullptr);

// Nothing when `utf8` can be stored, else the refusal of Utf8ToStored.
std::optional<std::string> StoredTextRefusal(std::string_view utf8);

// UTF-8 text as stored text, with a character that cannot be stored written as "<U+XXXX>"
// and a byte that is no UTF-8 as "<XX>".
std::string Utf8ToStoredMarked(std::string_view utf8);

}  // namespace zelt::runtime
