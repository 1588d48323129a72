// The framework's default error table, as a packed error block.
//
// An error block (little-endian): a 16-bit record count, then per record a 16-bit id, a
// fatality byte, a length byte and the title, a length byte and the message template.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "framework/levels.hpp"

namespace zelt::framework {

// The default block in its stored order; it lives for the whole process.
std::span<const std::uint8_t> DefaultErrorBlock();

struct ErrorDeclaration {
    std::uint16_t id;
    Level fatality;
    std::string_view title;
    std::string_view message;
};

// Packs declarations into a block; texts longer than 255 bytes are cut.
std::vector<std::uint8_t> PackErrorBlock(std::span<const ErrorDeclaration> declarations);

}  // namespace zelt::framework
