#include "app/settings/subset_tags.hpp"

#include <algorithm>

#include "app/catalogue/dictionary.hpp"
#include "runtime/errors/error_state.hpp"

namespace zelt::app {

using framework::Level;
using framework::LevelOk;

void InsertByName(SubsetTagQueue& queue, const SubsetTagEntry& entry) {
    const auto at = std::upper_bound(queue.begin(), queue.end(), entry,
                                     [](const SubsetTagEntry& a, const SubsetTagEntry& b) {
                                         return a.AppName.View() < b.AppName.View();
                                     });
    queue.insert(at, entry);
}

Level OpenSavedTags() {
    return TfManager.Open();
}

Level RestoreSubsetTags(SubsetTagQueue& queue) {
    if (Level level = OpenSavedTags(); level != LevelOk) return level;
    queue.clear();
    if (Level level = TfManager.EnsureOpen(); level != LevelOk) return level;
    Tf.Stream();
    Tf.SetKey(TfTable::TagFileKey);
    Level level = LevelOk;
    while ((level = TfManager.Next()) == LevelOk) {
        queue.push_back({TAG.AppName, TAG.DrivePath, TAG.Priority, TAG.Target});
    }
    Tf.Flush();
    // The end of the records ends the walk; anything else was reported by the manager.
    return TfManager.State().AtEOF ? LevelOk : level;
}

Level SaveSubsetTags(const SubsetTagQueue& queue) {
    if (Level level = TfManager.EnsureOpen(); level != LevelOk) {
        TfManager.Close();
        return level;
    }
    Level result = LevelOk;
    Tf.Stream();
    Tf.SetKey(TfTable::TagFileKey);
    while (TfManager.Next() == LevelOk) {
        if (Tf.Delete() != runtime::err::NoError && result == LevelOk)
            result = framework::LevelNotify;
    }
    for (const SubsetTagEntry& entry : queue) {
        Tf.ClearRecord();
        TAG.AppName = entry.AppName;
        TAG.DrivePath = entry.DrivePath;
        TAG.Priority = entry.Priority;
        TAG.Target = entry.Target;
        if (Level level = TfManager.Insert(); level != LevelOk && result == LevelOk) result = level;
    }
    Tf.Flush();
    TfManager.Close();
    return result;
}

bool RemoveSavedTags() {
    while (TfManager.State().Opened > 0) TfManager.Close();
    const runtime::ErrorCode code = Tf.Remove();
    return code == runtime::err::NoError || code == runtime::err::FileNotFound;
}

}  // namespace zelt::app
