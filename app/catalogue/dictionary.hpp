// The catalogue's dictionary: one FileManager and one RelationTracker per table, with the
// tables' settings, keys and relations, initialised at start-up and killed at the end in the
// table order (APPS, DeletionFile, TEMPFILE, PROJECTS, TF, APPS1).
//
// Deleting a project deletes its applications; changing a project's number clears the
// project reference of its applications. APPS1 is an alias of APPS over the same file.
#pragma once

#include "framework/error_reporter.hpp"
#include "framework/file_manager.hpp"
#include "framework/relation_tracker.hpp"

namespace zelt::app {

extern framework::FileManager AppsManager;
extern framework::FileManager DeletionFileManager;
extern framework::FileManager TempFileManager;
extern framework::FileManager ProjectsManager;
extern framework::FileManager TfManager;
extern framework::FileManager Apps1Manager;

extern framework::RelationTracker AppsRelations;
extern framework::RelationTracker DeletionFileRelations;
extern framework::RelationTracker TempFileRelations;
extern framework::RelationTracker ProjectsRelations;
extern framework::RelationTracker TfRelations;
extern framework::RelationTracker Apps1Relations;

// Called once at program start, after the error reporter and before any window opens.
void InitDictionary(framework::ErrorReporter& errors);
// Called once at program end, before the error reporter is killed.
void KillDictionary();

}  // namespace zelt::app
