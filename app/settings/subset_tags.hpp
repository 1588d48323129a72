// The applications tagged on the Project Subsets tab (SubsetTagQueue), and their copy in TF
// that keeps them from one run to the next while GLO.RetainTags is 1.
//
// Membership is by application file name alone; the queue is kept in AppName order.
#pragma once

#include <cstdint>
#include <vector>

#include "app/batches/batch_engine.hpp"
#include "framework/levels.hpp"

namespace zelt::app {

// The batch engine's queue entry (AppName, DrivePath, Priority, Target), as SQ holds it.
using SubsetTagEntry = QueueEntry;
using SubsetTagQueue = std::vector<QueueEntry>;

// Adds the entry in AppName order (after entries of the same name).
void InsertByName(SubsetTagQueue& queue, const SubsetTagEntry& entry);

// Opens TF (it stays open until SaveSubsetTags), empties the queue and fills it with every
// saved tag in TAG.TagFileKey order. LevelOk, or the level of the failure that was reported.
framework::Level RestoreSubsetTags(SubsetTagQueue& queue);
// Replaces TF's records by the queue's entries, in queue order, and closes TF.
framework::Level SaveSubsetTags(const SubsetTagQueue& queue);
// Opens TF (the settings window confirmed with tags retained).
framework::Level OpenSavedTags();
// Closes TF and deletes its file: the saved tags are gone. False when the file exists and
// could not be deleted.
bool RemoveSavedTags();

}  // namespace zelt::app
