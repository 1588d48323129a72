#include "app/catalogue/catalogue_tables.hpp"

#include <cstddef>

namespace zelt::app {

using runtime::AsBytes;
using runtime::TableDeclaration;
namespace key_attr = runtime::key_attr;

AppsRecord APP{};
AppsRecord APPS1{};
ProjectsRecord PRO{};
TfRecord TAG{};
TempFileRecord TMP{};

GlobalSettings GLO;
FixedString<64> AppsFileName{"APPS.PLM"};
FixedString<64> TempFileFileName{"TEMPFILE.PLM"};
FixedString<64> ProjectsFileName{"PROJECTS.PLM"};
FixedString<64> TfFileName{"TF.PLM"};
FixedString<80> DeletionFileName;

namespace {

// APPS and APPS1 have the same layout under their own prefixes.
TableDeclaration AppsLayout(const char* label, const std::string& prefix, AppsRecord& record) {
    const std::string p = prefix + ":";
    return TableDeclaration(label, prefix, "PELMAR")
        .NameVariable(AppsFileName.Span())
        .Record(AsBytes(record))
        .Create()
        .String(p + "DrivenPath", offsetof(AppsRecord, DrivenPath), 80)
        .String(p + "Application", offsetof(AppsRecord, Application), 50)
        .Short(p + "Tag", offsetof(AppsRecord, Tag))
        .Byte(p + "Priority", offsetof(AppsRecord, Priority))
        .String(p + "Target", offsetof(AppsRecord, Target), 250)
        .Long(p + "P_Ref", offsetof(AppsRecord, P_Ref))
        .Key(p + "DriveKey", key_attr::Opt | key_attr::NoCase,
             {p + "Application", p + "DrivenPath"})
        .Key(p + "PriorityKey", key_attr::Dup | key_attr::NoCase,
             {p + "Priority", p + "Application"})
        .Key(p + "P_RefKey", key_attr::Dup | key_attr::Opt | key_attr::NoCase, {p + "P_Ref"});
}

}  // namespace

AppsTable::AppsTable() : Table(AppsLayout("APPS", "APP", APP)) {}
// APPS1 reads the applications file that APPS created, so it describes that file with
// the stored names of APPS; otherwise the file's definition would not match it.
Apps1Table::Apps1Table()
    : Table(AppsLayout("APPS1", "APPS1", APPS1).StoredLike(AppsLayout("APPS", "APP", APP))) {}

ProjectsTable::ProjectsTable()
    : Table(TableDeclaration("PROJECTS", "PRO", "PELMAR")
                .NameVariable(ProjectsFileName.Span())
                .Record(AsBytes(PRO))
                .Create()
                .String("PRO:ProjectName", offsetof(ProjectsRecord, ProjectName), 50)
                .Long("PRO:P_Ref", offsetof(ProjectsRecord, P_Ref))
                .Key("PRO:ProjectNameKey", key_attr::Opt | key_attr::NoCase, {"PRO:ProjectName"})
                .Key("PRO:ProjectIDKey", key_attr::Opt | key_attr::NoCase | key_attr::Primary,
                     {"PRO:P_Ref"})) {}

TfTable::TfTable()
    : Table(TableDeclaration("TF", "TAG", "PELMAR")
                .NameVariable(TfFileName.Span())
                .Record(AsBytes(TAG))
                .Create()
                .String("TAG:AppName", offsetof(TfRecord, AppName), 50)
                .String("TAG:DrivePath", offsetof(TfRecord, DrivePath), 80)
                .Byte("TAG:Priority", offsetof(TfRecord, Priority))
                .String("TAG:Target", offsetof(TfRecord, Target), 250)
                .Key("TAG:TagFileKey", key_attr::Opt | key_attr::NoCase,
                     {"TAG:AppName", "TAG:DrivePath"})) {}

TempFileTable::TempFileTable()
    : Table(TableDeclaration("TEMPFILE", "TMP", "PELMAR")
                .NameVariable(TempFileFileName.Span())
                .Record(AsBytes(TMP))
                .Create()
                .String("TMP:Apps", offsetof(TempFileRecord, Apps), 40)
                .Long("TMP:Date", offsetof(TempFileRecord, Date))
                .Long("TMP:Clock", offsetof(TempFileRecord, Clock))
                .String("TMP:Event", offsetof(TempFileRecord, Event), 80)
                .Key("tmp:clockkey", key_attr::Dup | key_attr::Opt | key_attr::NoCase,
                     {"TMP:Date", "TMP:Clock"})) {}

DeletionFileTable::DeletionFileTable()
    : Table(TableDeclaration("DeletionFile", "", "DOS").NameVariable(DeletionFileName.Span())) {}

// In the order in which the managers are initialised at start-up.
AppsTable Apps;
DeletionFileTable DeletionFile;
TempFileTable TempFile;
ProjectsTable Projects;
TfTable Tf;
Apps1Table Apps1;

void ResetCatalogueGlobals() {
    GLO = GlobalSettings{};
    AppsFileName = "APPS.PLM";
    TempFileFileName = "TEMPFILE.PLM";
    ProjectsFileName = "PROJECTS.PLM";
    TfFileName = "TF.PLM";
    DeletionFileName.Clear();
    Apps.ClearRecord();
    Apps1.ClearRecord();
    Projects.ClearRecord();
    Tf.ClearRecord();
    TempFile.ClearRecord();
}

}  // namespace zelt::app
