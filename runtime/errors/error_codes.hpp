// Runtime error codes and their texts.
//
// Every table, file, conversation and window operation leaves one current error code
// (0 = success). The text of code n is the runtime's message n; a code without a message
// reads "Unknown Error Posted : n".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelt::runtime {

using ErrorCode = std::int32_t;

// The codes that other modules raise or test by name.
namespace err {
inline constexpr ErrorCode NoError = 0;
inline constexpr ErrorCode FileNotFound = 2;
inline constexpr ErrorCode PathNotFound = 3;
inline constexpr ErrorCode TooManyOpenFiles = 4;
inline constexpr ErrorCode AccessDenied = 5;
inline constexpr ErrorCode MemoryCorrupted = 7;
inline constexpr ErrorCode InsufficientMemory = 8;
inline constexpr ErrorCode EntryNotFound = 30;
inline constexpr ErrorCode FileIsAlreadyLocked = 32;
inline constexpr ErrorCode RecordNotAvailable = 33;
inline constexpr ErrorCode RecordNotFound = 35;
inline constexpr ErrorCode InvalidDataFile = 36;
inline constexpr ErrorCode FileNotOpen = 37;
inline constexpr ErrorCode InvalidKeyFile = 38;
inline constexpr ErrorCode CreatesDuplicateKey = 40;
inline constexpr ErrorCode RecordIsAlreadyHeld = 43;
inline constexpr ErrorCode InvalidFilename = 45;
inline constexpr ErrorCode KeyFileMustBeRebuilt = 46;
inline constexpr ErrorCode InvalidRecordDeclaration = 47;
inline constexpr ErrorCode UnableToLogTransaction = 48;
inline constexpr ErrorCode FileAlreadyOpen = 52;
inline constexpr ErrorCode InvalidVextorFile = 53;
inline constexpr ErrorCode NoCreateAttribute = 54;
inline constexpr ErrorCode FileMustBeShared = 55;
inline constexpr ErrorCode LogoutAlreadyActive = 56;
inline constexpr ErrorCode InvalidMemoFile = 57;
inline constexpr ErrorCode ExclusiveAccessRequired = 63;
inline constexpr ErrorCode SharingViolation = 64;
inline constexpr ErrorCode UnableToRollback = 65;
inline constexpr ErrorCode MemoFileMissing = 73;
inline constexpr ErrorCode InvalidFieldTypeDescriptor = 75;
inline constexpr ErrorCode InvalidIndexString = 76;
inline constexpr ErrorCode UnableToAccessIndex = 77;
inline constexpr ErrorCode InvalidNumberOfParameters = 78;
inline constexpr ErrorCode UnsupportedDataType = 79;
inline constexpr ErrorCode UnsupportedFunction = 80;
inline constexpr ErrorCode UnknownError = 81;
inline constexpr ErrorCode InvalidKeyLength = 88;
inline constexpr ErrorCode RecordChanged = 89;
inline constexpr ErrorCode FileSystemError = 90;
inline constexpr ErrorCode LogoutNotActive = 91;
inline constexpr ErrorCode BuildInProgress = 92;
inline constexpr ErrorCode BuildCancelled = 93;
inline constexpr ErrorCode ServerNotFound = 95;
inline constexpr ErrorCode RemoteObjectNotFound = 96;

inline constexpr ErrorCode InvalidDdeChannel = 601;
inline constexpr ErrorCode DdeChannelNotOpen = 602;
inline constexpr ErrorCode DdeExecuteInvalid = 603;
inline constexpr ErrorCode DdePokeInvalid = 604;
inline constexpr ErrorCode DdeTimedOut = 605;

inline constexpr ErrorCode InvalidExpression = 800;
inline constexpr ErrorCode NoBind = 801;
inline constexpr ErrorCode MismatchedScope = 802;

// Operating-system failures occupy 301..391 (the operating system's own number + 300).
inline constexpr ErrorCode OsBase = 300;
}  // namespace err

// The runtime's message n, or an empty view when there is none.
std::string_view ErrorMessage(ErrorCode code);

// The text shown for a code: its message, or "Unknown Error Posted : n".
std::string ErrorText(ErrorCode code);

// Maps a POSIX errno value to the runtime's table and file codes (2, 3, 4, 5, 8, ...);
// anything without a closer match becomes 90.
ErrorCode ErrorCodeFromErrno(int errno_value);

}  // namespace zelt::runtime
