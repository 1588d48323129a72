// Severity levels: the result of every framework operation and the fatality of an error.
#pragma once

#include <cstdint>

namespace zelt::framework {

// A distinct type, so that a level is never taken for an error identifier or a runtime
// error code; the constants below keep their short names.
enum class Level : std::uint8_t {
    Ok = 0,       // nothing to tell; go on
    Ask = 1,      // a Yes/No question (or: the operation may be retried)
    Program = 2,  // a programming error, handled as fatal
    Fatal = 3,    // message, then the program halts
    Cancel = 4,   // handled like a question; the answer was not Yes
    Notify = 5,   // message with one OK button
};

inline constexpr Level LevelOk = Level::Ok;
inline constexpr Level LevelAsk = Level::Ask;
inline constexpr Level LevelProgram = Level::Program;
inline constexpr Level LevelFatal = Level::Fatal;
inline constexpr Level LevelCancel = Level::Cancel;
inline constexpr Level LevelNotify = Level::Notify;

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
