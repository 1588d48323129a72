// Severity levels: the result of every framework operation and the fatality of an error.
#pragma once

#include <cstdint>

namespace zelt::framework {

using Level = std::uint8_t;

inline constexpr Level LevelOk = 0;       // nothing to tell; go on
inline constexpr Level LevelAsk = 1;      // a Yes/No question (or: the operation may be retried)
inline constexpr Level LevelProgram = 2;  // a programming error, handled as fatal
inline constexpr Level LevelFatal = 3;    // message, then the program halts
inline constexpr Level LevelCancel = 4;   // handled like a question; the answer was not Yes
inline constexpr Level LevelNotify = 5;   // message with one OK button

// Message buttons, a bit set; a message returns the value of the button pressed.
namespace button {
inline constexpr std::uint32_t Ok = 1;
inline constexpr std::uint32_t Yes = 2;
inline constexpr std::uint32_t No = 4;
inline constexpr std::uint32_t Abort = 8;
inline constexpr std::uint32_t Retry = 16;
inline constexpr std::uint32_t Ignore = 32;
inline constexpr std::uint32_t Cancel = 64;
inline constexpr std::uint32_t Help = 128;
}  // namespace button

// Stock message icons.
namespace icon {
inline constexpr std::uint32_t Exclamation = 32515;  // questions
inline constexpr std::uint32_t Asterisk = 32516;     // notes and fatal messages
}  // namespace icon

}  // namespace zelt::framework
