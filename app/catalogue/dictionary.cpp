#include "app/catalogue/dictionary.hpp"

#include "app/catalogue/catalogue_tables.hpp"

namespace zelt::app {

using framework::FileManager;
using framework::RelationTracker;

FileManager AppsManager;
FileManager DeletionFileManager;
FileManager TempFileManager;
FileManager ProjectsManager;
FileManager TfManager;
FileManager Apps1Manager;

RelationTracker AppsRelations;
RelationTracker DeletionFileRelations;
RelationTracker TempFileRelations;
RelationTracker ProjectsRelations;
RelationTracker TfRelations;
RelationTracker Apps1Relations;

namespace {

// The settings every table manager of the catalogue starts with.
void InitManager(FileManager& manager, runtime::Table& table, framework::ErrorReporter& errors) {
    manager.Init(table, errors);
    manager.Settings.Create = true;
    manager.Settings.LockRecover = 10;
    manager.Settings.LazyOpen = true;
}

void KillTable(RelationTracker& tracker) {
    if (tracker.Me) tracker.Me->Kill();
    tracker.Kill();
}

}  // namespace

void InitDictionary(framework::ErrorReporter& errors) {
    InitManager(AppsManager, Apps, errors);
    AppsManager.AddKey(AppsTable::DriveKey, "APP:DriveKey");
    AppsManager.AddKey(AppsTable::PriorityKey, "APP:PriorityKey");
    AppsManager.AddKey(AppsTable::P_RefKey, "APP:P_RefKey");
    AppsRelations.Init(AppsManager);
    AppsRelations.AddRelation(ProjectsRelations);
    AppsRelations.AddLink("APP:P_Ref", Projects, "PRO:P_Ref");

    InitManager(DeletionFileManager, DeletionFile, errors);
    DeletionFileRelations.Init(DeletionFileManager);

    InitManager(TempFileManager, TempFile, errors);
    TempFileManager.AddKey(TempFileTable::clockkey, "tmp:clockkey");
    TempFileRelations.Init(TempFileManager);

    InitManager(ProjectsManager, Projects, errors);
    ProjectsManager.AddKey(ProjectsTable::ProjectNameKey, "PRO:ProjectNameKey");
    ProjectsManager.AddKey(ProjectsTable::ProjectIDKey, "PRO:ProjectIDKey", 1);
    ProjectsRelations.Init(ProjectsManager);
    ProjectsRelations.AddRelation(AppsRelations, framework::ModeClear, framework::ModeCascade,
                                  AppsTable::P_RefKey);
    ProjectsRelations.AddLink("PRO:P_Ref", Apps, "APP:P_Ref");
    ProjectsRelations.AddRelation(Apps1Relations, framework::ModeNone, framework::ModeNone,
                                  Apps1Table::P_RefKey);
    ProjectsRelations.AddLink("PRO:P_Ref", Apps1, "APPS1:P_Ref");

    InitManager(TfManager, Tf, errors);
    TfManager.AddKey(TfTable::TagFileKey, "TAG:TagFileKey");
    TfRelations.Init(TfManager);

    InitManager(Apps1Manager, Apps1, errors);
    Apps1Manager.AliasedFile = &AppsManager;
    Apps1Manager.AddKey(Apps1Table::DriveKey, "APPS1:DriveKey");
    Apps1Manager.AddKey(Apps1Table::PriorityKey, "APPS1:PriorityKey");
    Apps1Manager.AddKey(Apps1Table::P_RefKey, "APPS1:P_RefKey");
    Apps1Relations.Init(Apps1Manager);
    Apps1Relations.AliasFile = &AppsRelations;
    Apps1Relations.AddRelation(ProjectsRelations);
    Apps1Relations.AddLink("APPS1:P_Ref", Projects, "PRO:P_Ref");
}

void KillDictionary() {
    KillTable(AppsRelations);
    KillTable(DeletionFileRelations);
    KillTable(TempFileRelations);
    KillTable(ProjectsRelations);
    KillTable(TfRelations);
    KillTable(Apps1Relations);
}

}  // namespace zelt::app
