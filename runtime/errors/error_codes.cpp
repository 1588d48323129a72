#include "runtime/errors/error_codes.hpp"

#include <array>
#include <cerrno>
#include <utility>

namespace zelt::runtime {
namespace {

struct Message {
    ErrorCode code;
    std::string_view text;
};

constexpr Message kTableAndFileMessages[] = {
    {2, "File Not Found"},
    {3, "Path Not Found"},
    {4, "Too Many Open Files"},
    {5, "Access Denied"},
    {7, "Memory Corrupted"},
    {8, "Insufficient Memory"},
    {30, "Entry Not Found"},
    {32, "File Is Already Locked"},
    {33, "Record Not Available"},
    {35, "Record Not Found"},
    {36, "Invalid Data File"},
    {37, "File Not Open"},
    {38, "Invalid Key File"},
    {40, "Creates Duplicate Key"},
    {43, "Record Is Already Held"},
    {45, "Invalid Filename"},
    {46, "Key File Must Be Rebuilt"},
    {47, "Invalid Record Declaration"},
    {48, "Unable To Log Transaction"},
    {52, "File Already Open"},
    {53, "Invalid Vextor File"},
    {54, "No Create Attribute"},
    {55, "File Must Be Shared"},
    {56, "LOGOUT Already Active"},
    {57, "Invalid Memo File"},
    {63, "Exclusive Access Required"},
    {64, "Sharing Violation"},
    {65, "Unable To ROLLBACK Transaction"},
    {73, "Memo File Missing"},
    {75, "Invalid Field Type Descriptor"},
    {76, "Invalid Index String"},
    {77, "Unable To Access Index"},
    {78, "Invalid Number Of Parameters "},
    {79, "Unsupported Data Type In File"},
    {80, "Unsupported File Driver Function"},
    {81, "Unknown Error Posted"},
    {88, "Invalid Key Length"},
    {89, "Record Changed By Another Station"},
    {90, "File System Error"},
    {91, "LOGOUT Not Active"},
    {92, "BUILD In Progress"},
    {93, "BUILD Cancelled"},
    {95, "Server Not Found"},
    {96, "Remote Object Not Found"},
    {601, "Invalid DDE channel"},
    {602, "DDE channel is not open"},
    {603, "DDEexecute - invalid command"},
    {604, "DDEpoke - invalid command"},
    {605, "DDE transaction timed out"},
    {800, "Invalid expression for EVALUATE"},
    {801, "No BIND on variable"},
    {802, "Mismatched PUSHSCOPE/POPSCOPE"},
};

// Consecutive runs of messages: the first code and the texts in order.
constexpr std::string_view kOsFailures301[] = {
    "Invalid Function",     "File Not Found",      "Path Not Found",   "Too Many Open Files",
    "Access Denied",        "Invalid Handle",      "Memory Corrupted", "Insufficient Memory",
    "Invalid Memory Block", "Invalid Environment", "Invalid Format",   "Invalid Access",
    "Invalid Data"};

// 314 has no message.
constexpr std::string_view kOsFailures315[] = {"Invalid Drive",
                                               "Invalid Operation For Current Directory",
                                               "Not Same Device",
                                               "No More Files",
                                               "Write Protect",
                                               "Invalid Unit",
                                               "Device Not Ready",
                                               "Invalid Command",
                                               "Media Checksum Failed",
                                               "Invalid Length",
                                               "Seek Location Inaccessible",
                                               "Not DOS Disk",
                                               "Sector Not Found",
                                               "Out Of Paper",
                                               "Write Fault",
                                               "Read Fault",
                                               "General Failure",
                                               "Sharing Violation",
                                               "Lock Violation",
                                               "Wrong Disk",
                                               "FCB Unavailable",
                                               "Sharing Buffer Exceeded",
                                               "Code Page Mismatched",
                                               "Handle EOF",
                                               "Handle Disk Full"};

constexpr std::string_view kOsFailures350[] = {"Not Supported ",
                                               "REM Not List",
                                               "Duplicate Name Encountered",
                                               "Invalid Network Path",
                                               "Network Busy",
                                               "Device Does Not Exist",
                                               "Too Many Commands",
                                               "Adapter/Hardware Failure",
                                               "Invalid Network Response",
                                               "Unexpected Network Error",
                                               "Invalid REM Adapter",
                                               "Print Queue Full",
                                               "No Spool Space",
                                               "Print Cancelled",
                                               "Network Name Deleted",
                                               "Network Access Denied",
                                               "Invalid Device Type",
                                               "Invalid Network Name",
                                               "Too Many Names",
                                               "Too Many Sessions",
                                               "Sharing Paused",
                                               "Request Not Accepted",
                                               "Network Redirection Paused"};

constexpr std::string_view kOsFailures380[] = {
    "File Already Exists", "Duplicate FCB",     "Cannot Make",
    "Fail Critical Error", "Out Of Structures", "Already Assigned",
    "Invalid Password",    "Invalid Parameter", "Network Write Fault"};

constexpr std::string_view kOsFailures390[] = {"System Component Not Loaded", "Unknown Error"};

constexpr std::string_view kRunTimeFaults401[] = {
    "Stack overflow",
    "Null pointer de-reference",
    "Termination caused by signal.  (User break or Floating point)",
    "Arithmetic Overflow",
    "Variable out of range",
    "No return value from function",
    "No matching Case Label",
    "Long Integer Divide By Zero",
    "Index out of range",
    "Pure Virtual Function Called"};

constexpr std::string_view kInternalErrors501[] = {
    "Internal error 01", "Internal error 02", "Internal error 03", "Internal error 04",
    "Internal error 05", "Internal error 06", "Internal error 07", "Internal error 08",
    "Internal error 09", "Internal error 10", "Internal error 11", "Internal error 12",
    "Internal error 13", "Internal error 14", "Internal error 15"};

constexpr std::string_view kWindowFaults520[] = {
    "Mismatch with VXVBX.DLL detected",
    "VBX control is too complex",
    "Event posted to a report control",
    "Metafile record too large in report",
    "Unexpected error opening printer device",
    "Report is already open",
    "Unable to open APPLICATION (APPLICATION already active)",
    "Unable to open APPLICATION (system is MODAL)",
    "Unable to open APPLICATION",
    "Unable to open WINDOW",
    "Unable to open MDI window (No APPLICATION active)",
    "Unable to open MDI window (system is MODAL)",
    "Unable to open MDI window on APPLICATION's thread",
    "Unable to open MDI WINDOW",
    "Too many keystrokes PRESSed",
    "Window is already open",
    "Window is not open",
    "ACCEPT loop requires a window",
    "PRINT must only be called for reports",
    "ENDPAGE must only be called for reports",
    "Unable to process ACCEPT (system is MODAL)",
    "Unable to create control (system is MODAL)",
    "Unable to complete operation (system is MODAL)",
    "Slider controls are only available in 32-bit programs",
    "Too Many VBX Hooks"};

static_assert(std::size(kOsFailures301) == 313 - 301 + 1);
static_assert(std::size(kOsFailures315) == 339 - 315 + 1);
static_assert(std::size(kOsFailures350) == 372 - 350 + 1);
static_assert(std::size(kOsFailures380) == 388 - 380 + 1);
static_assert(std::size(kRunTimeFaults401) == 410 - 401 + 1);
static_assert(std::size(kInternalErrors501) == 515 - 501 + 1);
static_assert(std::size(kWindowFaults520) == 544 - 520 + 1);

template <std::size_t N>
std::string_view FromRun(ErrorCode first, const std::string_view (&run)[N], ErrorCode code) {
    if (code >= first && code < first + static_cast<ErrorCode>(N)) {
        return run[code - first];
    }
    return {};
}

}  // namespace

std::string_view ErrorMessage(ErrorCode code) {
    for (const auto& m : kTableAndFileMessages) {
        if (m.code == code) return m.text;
    }
    for (auto text :
         {FromRun(301, kOsFailures301, code), FromRun(315, kOsFailures315, code),
          FromRun(350, kOsFailures350, code), FromRun(380, kOsFailures380, code),
          FromRun(390, kOsFailures390, code), FromRun(401, kRunTimeFaults401, code),
          FromRun(501, kInternalErrors501, code), FromRun(520, kWindowFaults520, code)}) {
        if (!text.empty()) return text;
    }
    return {};
}

std::string ErrorText(ErrorCode code) {
    const auto text = ErrorMessage(code);
    if (!text.empty()) return std::string(text);
    return "Unknown Error Posted : " + std::to_string(code);
}

ErrorCode ErrorCodeFromErrno(int errno_value) {
    switch (errno_value) {
        case 0:
            return err::NoError;
        case ENOENT:
            return err::FileNotFound;
        case ENOTDIR:
            return err::PathNotFound;
        case EMFILE:
        case ENFILE:
            return err::TooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
            return err::AccessDenied;
        case ENOMEM:
            return err::InsufficientMemory;
        case EAGAIN:
            return err::RecordNotAvailable;
        case EBADF:
            return err::FileNotOpen;
        case EEXIST:
            return err::OsBase + 80;  // "File Already Exists"
        case ENOSPC:
            return err::OsBase + 39;  // "Handle Disk Full"
        case EIO:
            return err::OsBase + 30;  // "Read Fault"
        case ENAMETOOLONG:
        case EINVAL:
            return err::InvalidFilename;
        default:
            return err::FileSystemError;
    }
}

}  // namespace zelt::runtime
