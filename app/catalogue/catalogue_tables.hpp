// The catalogue's tables: record layouts, keys, file-name variables and the settings
// globals.
//
// Each table has one global record buffer named by its prefix (`APP.Priority`,
// `TMP.Event`), one table object (`Apps`, `TempFile`, ...) whose key numbers read
// `Apps.PriorityKey`, and, for the Pelmar tables, a 64-character file-name variable that
// start-up prefixes with `GLO.FilePath`. `Apps` and `Apps1` share one name variable, so both
// always address the same file.
#pragma once

#include <cstdint>

#include "runtime/file/fixed_string.hpp"
#include "runtime/file/table.hpp"

namespace zelt::app {

using runtime::FixedCString;
using runtime::FixedString;

#pragma pack(push, 1)
// One application (.APP file) of the catalogue.
struct AppsRecord {
    FixedString<80> DrivenPath;   // drive and directory with the trailing separator
    FixedString<50> Application;  // file name with extension
    std::int16_t Tag;             // 1 = tagged for processing
    std::uint8_t Priority;        // build priority 1..255
    FixedString<250> Target;      // file that making the application produces
    std::int32_t P_Ref;           // project (PRO.P_Ref), 0 for none
};

// One project, a named group of applications.
struct ProjectsRecord {
    FixedString<50> ProjectName;
    std::int32_t P_Ref;  // project number, given by auto-increment
};

// A saved tag of the Project Subsets tab.
struct TfRecord {
    FixedString<50> AppName;
    FixedString<80> DrivePath;
    std::uint8_t Priority;
    FixedString<250> Target;
};

// One event of the activity log.
struct TempFileRecord {
    FixedString<40> Apps;   // application or file the event refers to
    std::int32_t Date;      // day number
    std::int32_t Clock;     // clock value
    FixedString<80> Event;  // text of the event
};

// The program's settings.
struct GlobalSettings {
    FixedString<1> UseNewLog{"N"};  // "Y": the event log is emptied at every start
    FixedCString<255> RunString;    // command line that starts the IDE
    FixedString<64> FilePath;       // directory of the table files, with its separator
    std::uint8_t RetainTags = 0;    // 1: subset tags are saved to TF
    std::uint8_t ParallelIDEs = 1;  // IDEs a make batch drives at once (1 to 16)
};
#pragma pack(pop)

static_assert(sizeof(AppsRecord) == 387);
static_assert(sizeof(ProjectsRecord) == 54);
static_assert(sizeof(TfRecord) == 381);
static_assert(sizeof(TempFileRecord) == 128);

// Record buffers.
extern AppsRecord APP;
extern AppsRecord APPS1;
extern ProjectsRecord PRO;
extern TfRecord TAG;
extern TempFileRecord TMP;

// Settings globals and file-name variables.
extern GlobalSettings GLO;
extern FixedString<64> AppsFileName;  // shared by Apps and Apps1
extern FixedString<64> TempFileFileName;
extern FixedString<64> ProjectsFileName;
extern FixedString<64> TfFileName;
extern FixedString<80> DeletionFileName;

// The tables, with their key numbers in declaration order.
struct AppsTable : runtime::Table {
    AppsTable();
    static constexpr int DriveKey = 0;
    static constexpr int PriorityKey = 1;
    static constexpr int P_RefKey = 2;
};
struct Apps1Table : runtime::Table {
    Apps1Table();
    static constexpr int DriveKey = 0;
    static constexpr int PriorityKey = 1;
    static constexpr int P_RefKey = 2;
};
struct ProjectsTable : runtime::Table {
    ProjectsTable();
    static constexpr int ProjectNameKey = 0;
    static constexpr int ProjectIDKey = 1;
};
struct TfTable : runtime::Table {
    TfTable();
    static constexpr int TagFileKey = 0;
};
struct TempFileTable : runtime::Table {
    TempFileTable();
    static constexpr int clockkey = 0;
};
struct DeletionFileTable : runtime::Table {
    DeletionFileTable();
};

extern AppsTable Apps;
extern DeletionFileTable DeletionFile;
extern TempFileTable TempFile;
extern ProjectsTable Projects;
extern TfTable Tf;
extern Apps1Table Apps1;

// Puts the settings and the file-name variables back to their initial values (the bare
// file names, blank-padded) and clears the record buffers.
void ResetCatalogueGlobals();

}  // namespace zelt::app
