// Adding, changing and deleting projects and applications from the project tree, and the
// moves the window's toolbar asks for between one form and the next.
#include <cstdlib>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/tree/project_tree.hpp"

namespace zelt::app {

namespace {

using framework::LevelOk;
using framework::NavigationRequest;
using framework::ResponseCancelled;
using framework::ResponseCode;
using framework::ResponseCompleted;
namespace err = runtime::err;

// Where the project and the application in the buffers now stand in the tree.
std::string ProjectPosition() {
    return Projects.Get(ProjectsTable::ProjectNameKey) == err::NoError
               ? Projects.PositionKey(ProjectsTable::ProjectNameKey)
               : std::string();
}
std::string ApplicationPosition() {
    return Apps.Get(AppsTable::DriveKey) == err::NoError ? Apps.Position() : std::string();
}

}  // namespace

void ProjectTree::Insert() {
    EditLoop(Edit::Insert);
}
void ProjectTree::Change() {
    EditLoop(Edit::Change);
}
void ProjectTree::Delete() {
    EditLoop(Edit::Delete);
}

void ProjectTree::EditLoop(Edit edit) {
    TakeChoice();
    const runtime::ControlNumber button = edit == Edit::Insert   ? ctl_.insert
                                          : edit == Edit::Change ? ctl_.change
                                                                 : ctl_.remove;
    if (!Usable(button)) return;
    for (;;) {
        framework::ToolbarTarget* toolbar = window_.Toolbar();
        if (toolbar) toolbar->ClearNavigation();
        NodeRef select = NodeOf(current_);
        const ResponseCode response = RunEdit(edit, select);
        // A cancelled form leaves the tree as it was.
        if (response == ResponseCompleted && Build(false)) RebuildSelecting(select);
        const NavigationRequest request =
            toolbar ? toolbar->PendingNavigation() : NavigationRequest::None;
        if (request == NavigationRequest::None || !Navigate(request)) break;
        if (request == NavigationRequest::InsertAgain) edit = Edit::Insert;
    }
    window_.Window().Select(ctl_.tree);
}

ResponseCode ProjectTree::RunEdit(Edit edit, NodeRef& select) {
    if (current_ < 1 || current_ > static_cast<int>(queue_.size())) return ResponseCancelled;
    if (ProjectsManager.EnsureOpen() != LevelOk || AppsManager.EnsureOpen() != LevelOk)
        return ResponseCancelled;
    const RelTreeEntry row = queue_[static_cast<std::size_t>(current_ - 1)];
    const int depth = std::abs(row.Level);
    const int owner = ProjectRowOf(current_);
    const std::string owner_position =
        owner ? queue_[static_cast<std::size_t>(owner - 1)].Position : std::string();

    if (edit == Edit::Insert && depth == tree_level::Root) {
        if (ProjectsManager.PrepareRecord() != LevelOk) return ResponseCancelled;
        const ResponseCode response = forms_.project(framework::RequestInsert);
        if (response == ResponseCompleted) select = {tree_level::Project, ProjectPosition(), {}};
        return response;
    }
    if (edit == Edit::Insert) {
        // A new application of the project the row belongs to.
        if (Projects.RegetKey(ProjectsTable::ProjectNameKey, owner_position) != err::NoError)
            return ResponseCancelled;
        Apps.ClearRecord();
        APP.P_Ref = PRO.P_Ref;
        if (AppsManager.PrepareRecord(true) != LevelOk) return ResponseCancelled;
        const ResponseCode response = forms_.application(framework::RequestInsert);
        if (response == ResponseCompleted) {
            // Its project opens, so that the new row can be shown and selected.
            if (!IsExpanded(tree_level::Project, owner_position))
                loaded_.push_back({tree_level::Project, owner_position});
            select = {tree_level::Application, ApplicationPosition(), owner_position};
        }
        return response;
    }

    const framework::RequestCode request =
        edit == Edit::Change ? framework::RequestChange : framework::RequestDelete;
    if (depth == tree_level::Project) {
        if (edit == Edit::Change) Projects.Watch();
        if (Projects.RegetKey(ProjectsTable::ProjectNameKey, row.Position) != err::NoError)
            return ResponseCancelled;
        const ResponseCode response = forms_.project(request);
        if (response != ResponseCompleted) return response;
        if (edit == Edit::Delete) {
            Forget(tree_level::Project, row.Position);
            return response;
        }
        // A new name moves the project in the name order; an open project stays open.
        select = {tree_level::Project, ProjectPosition(), {}};
        if (select.position != row.Position && IsExpanded(tree_level::Project, row.Position)) {
            Forget(tree_level::Project, row.Position);
            loaded_.push_back({tree_level::Project, select.position});
        }
        return response;
    }
    if (depth == tree_level::Application) {
        if (edit == Edit::Change) Apps.Watch();
        if (Apps.Reget(row.Position) != err::NoError) return ResponseCancelled;
        const ResponseCode response = forms_.application(request);
        if (response == ResponseCompleted && edit == Edit::Change)
            select = {tree_level::Application, ApplicationPosition(), owner_position};
        return response;
    }
    return ResponseCancelled;  // the root row has no record
}

// Moves the selection as the toolbar asks: to the next or previous row (the next opening
// the current node first), the next or previous node of the same level (page down, page
// up), or of the parent level (last, first); to insert again, to the parent-level node
// before it (a new project's root, a new application's project). False when there is no
// such row.
bool ProjectTree::Navigate(NavigationRequest request) {
    if (current_ < 1 || current_ > static_cast<int>(queue_.size())) return false;
    const int depth = std::abs(queue_[static_cast<std::size_t>(current_ - 1)].Level);
    auto at_depth = [](int level) {
        return [level](const RelTreeEntry& e) { return std::abs(e.Level) == level; };
    };
    int target = 0;
    switch (request) {
        case NavigationRequest::Next:
            Expand(current_);
            target = current_ < static_cast<int>(queue_.size()) ? current_ + 1 : 0;
            break;
        case NavigationRequest::Previous:
            target = current_ > 1 ? current_ - 1 : 0;
            break;
        case NavigationRequest::PageDown:
            target = FindRow(current_ + 1, 1, at_depth(depth));
            break;
        case NavigationRequest::PageUp:
            target = FindRow(current_ - 1, -1, at_depth(depth));
            break;
        case NavigationRequest::Last:
            target = FindRow(current_ + 1, 1, at_depth(depth - 1));
            break;
        case NavigationRequest::First:
        case NavigationRequest::InsertAgain:
            target = FindRow(current_ - 1, -1, at_depth(depth - 1));
            break;
        case NavigationRequest::None:
            break;
    }
    if (target == 0) return false;
    current_ = target;
    Show();
    return true;
}

}  // namespace zelt::app
