// The texts of a conversation as they travel: UTF-8.
//
// The program keeps its texts (the catalogue's paths, typed names) as the bytes it was given;
// on Linux the window system and the file names give UTF-8. A conversation carries only
// UTF-8 text, so a command is sent as those bytes when they form UTF-8 and is refused before
// it is sent when they do not (docs/ide-protocol.md, "Characters"). No conversion is made: a
// file name whose bytes were re-coded would name another file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::runtime {

// The longest length up to `limit` at which the text can be cut without splitting a
// character (the text itself when it is no longer than `limit`).
std::size_t CharacterBoundary(std::string_view text, std::size_t limit);
// The offset of the first byte that does not belong to well-formed UTF-8 (RFC 3629: no
// overlong forms, no surrogates, nothing past U+10FFFF); nothing when the text is UTF-8.
std::optional<std::size_t> FirstNonUtf8Byte(std::string_view text);
// The text for a message: UTF-8 characters as they are, any other byte and every control
// character as \xNN.
std::string ShowableText(std::string_view text);

}  // namespace zelt::runtime
