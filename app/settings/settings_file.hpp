// The program's configuration file "./ZELT.INI" (in the current directory), section
// "Preserved": the authoritative copy of the four settings.
//
//   key          global            written as                  read as
//   "NewLog"     GLO.UseNewLog     "Y" or "N"                  first character ("" if missing)
//   "CL_Command" GLO.RunString     the command line (254)      up to 254 characters
//   "FilePath"   GLO.FilePath      the directory (64)          first 64 characters
//   "RetainTags" GLO.RetainTags    0 or 1 in decimal           the value as a number (0)
//
// The optional key "WaitMinutes" (1 to 255; no limit when it is missing) sets a hard limit
// on every wait of a batch for its result file; it is read here and never written.
//
// The optional key "ParallelIDEs" (GLO.ParallelIDEs, 1 to 16, default 1) is how many IDEs a
// make batch drives at once (app/batches/parallel_make.hpp). A value out of range is read
// as 1 and named by CheckSettingsFile; the settings window writes the key only when its
// value differs from the file's, so a file of a user who never set it stays as it was.
//
// Reading is lenient, as the settings window and the main window need it. Scripts that must
// not run on a damaged file ask CheckSettingsFile first: it names the first line or value
// that does not fit. A UTF-8 byte order mark at the start is read past, and a section header
// may be followed by a comment ("[Preserved] ; note").
//
// A missing file means blank settings. A file that is there but cannot be read (a
// directory, a FIFO or other special file, a loop of symbolic links, no permission) is no
// missing file: SettingsFileUnreadable names it and the reason, and the program refuses to
// go on rather than open the settings window on blanks. Nothing here ever reads from a FIFO,
// so no check waits for a writer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::app {

inline constexpr std::string_view kSettingsFile = "./ZELT.INI";
inline constexpr std::string_view kSettingsSection = "Preserved";
inline constexpr int kNoWaitLimit = 0;
inline constexpr int kMaxParallelIDEs = 16;

// Reads the four settings, and ParallelIDEs, into GLO.
void ReadSettingsFile(std::string_view file = kSettingsFile);
// Writes them, in the order NewLog, CL_Command, FilePath, RetainTags (then ParallelIDEs when
// it differs from the file's). False when the file could not be written.
bool WriteSettingsFile(std::string_view file = kSettingsFile);
// "WaitMinutes", or kNoWaitLimit when it is missing or not a number from 1 to 255.
int ReadWaitMinutes(std::string_view file = kSettingsFile);
// "ParallelIDEs", or 1 when it is missing or not a number from 1 to 16.
int ReadParallelIDEs(std::string_view file = kSettingsFile);

// Nothing when the file is missing or can be read; otherwise the file's full name and why it
// cannot ("/home/ann/ZELT.INI cannot be read: it is a directory").
std::optional<std::string> SettingsFileUnreadable(std::string_view file = kSettingsFile);
// Nothing when the file is missing or sound; the reason of SettingsFileUnreadable when it
// cannot be read; otherwise what is wrong with it, naming the
// line ("ZELT.INI line 4: RetainTags must be 0 or 1, not \"yes\"").
std::optional<std::string> CheckSettingsFile(std::string_view file = kSettingsFile);

// True when none of the three text settings is blank (the settings window is not needed).
bool SettingsComplete();

}  // namespace zelt::app
