// The project tree: the catalogue as a root row ("PROJECTS"), one row per project in name
// order and, under each expanded project, the rows of its applications.
//
// The tree lives in a queue of rows (RelTreeQueue) that this component builds, expands,
// contracts and rebuilds; the projects the user expanded are remembered (LoadedLevelQueue),
// so they come back expanded when the tree is rebuilt after an edit or when its window gets
// the focus again. Projects and applications are added, changed and deleted from the tree
// through the project form and the application form, by the window's buttons, the tree's
// popup menu, its keys (right and left arrow expand and contract, a double click or Enter
// changes, Insert and Delete) and a double click. A table that cannot be read while the tree
// is built closes the window.
//
// The component is hosted by a window that declares the tree control and its five buttons:
//
//   w.Tree("?RelTree", ProjectTreeFormat());
//   w.Button("?Expand", "&Expand All"); ...
//   ProjectTree tree(*this, {Ctl::RelTree, Ctl::Expand, Ctl::Contract, Ctl::Insert2,
//                            Ctl::Change2, Ctl::Delete2}, StandardTreeForms(Errors));
//   tree.Init();                           // in the window's Init, before it opens
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/error_reporter.hpp"
#include "framework/window/window_controller.hpp"
#include "runtime/window/list_source.hpp"

namespace zelt::app {

// One row of the tree.
struct RelTreeEntry {
    std::string Display;
    std::int32_t NormalFG = -1;
    std::int32_t NormalBG = -1;
    std::int32_t SelectedFG = -1;
    std::int32_t SelectedBG = -1;
    std::int16_t Icon = 0;
    std::int32_t Level = 0;   // |Level| is the depth; negative: a collapsed node with children
    std::int16_t Loaded = 0;  // 1: its children are in the queue
    std::string Position;     // the record's position (a project's in PRO:ProjectNameKey)
};

// A node the user expanded.
struct LoadedLevelEntry {
    std::int32_t LoadedLevel = 0;
    std::string LoadedPosition;
};

namespace tree_level {
inline constexpr int Root = 0;
inline constexpr int Project = 1;
inline constexpr int Application = 2;
}  // namespace tree_level

namespace tree_icon {
inline constexpr int Open = 1;      // an expanded project
inline constexpr int Pick = 2;      // the root and collapsed projects
inline constexpr int ShutFold = 3;  // an application
}  // namespace tree_icon

// The tree control and its buttons in the hosting window.
struct ProjectTreeControls {
    runtime::ControlNumber tree = 0;
    runtime::ControlNumber expand = 0;    // "&Expand All"
    runtime::ControlNumber contract = 0;  // "Co&ntract All"
    runtime::ControlNumber insert = 0;
    runtime::ControlNumber change = 0;
    runtime::ControlNumber remove = 0;  // "&Delete"
};

// The tree control's format: one column with the row icons.
runtime::ListFormat ProjectTreeFormat();

// The forms an edit runs, each with a request, answering the response.
struct TreeForms {
    std::function<framework::ResponseCode(framework::RequestCode)> project;      // UpdateProjects
    std::function<framework::ResponseCode(framework::RequestCode)> application;  // UpdateApps
};
TreeForms StandardTreeForms(framework::ErrorReporter& errors);

class ProjectTree final : public framework::WindowComponent {
  public:
    ProjectTree(framework::WindowController& window, ProjectTreeControls controls, TreeForms forms);
    ~ProjectTree() override;
    ProjectTree(const ProjectTree&) = delete;
    ProjectTree& operator=(const ProjectTree&) = delete;

    // Opens the tables, registers with the window, builds the tree collapsed with its first
    // row selected, and asks for the tree's alert keys.
    void Init();

    // ---- The routines (each takes the tree's current choice as the selected row) ---------
    void ExpandAll();
    void ContractAll();
    void Insert();
    void Change();
    void Delete();
    // Expands or contracts the node on `row` (1-based).
    void Expand(int row);
    void Contract(int row);
    // Rebuilds the queue, keeping the expanded nodes and the selected node.
    void Rebuild();
    // PRO := the project of the selected row (the row itself or the project above it);
    // LevelNotify on the root row or when the project cannot be read.
    framework::Level LoadSelectedProject();

    // ---- What it holds ------------------------------------------------------------------
    const std::vector<RelTreeEntry>& Queue() const { return queue_; }
    const std::vector<LoadedLevelEntry>& LoadedLevels() const { return loaded_; }
    int CurrentRow() const { return current_; }

    // ---- WindowComponent ----------------------------------------------------------------
    void Kill() override;
    void Reset(bool) override {}
    bool NeedsReset() override { return false; }
    void Update() override {}
    framework::Level HandleEvent() override;
    void SetAlerts() override;
    void UpdateWindow() override;

  private:
    enum class Edit { Insert, Change, Delete };
    // A node to find again after a rebuild: its level and position, and its project's.
    struct NodeRef {
        int level = -1;
        std::string position;
        std::string project;
    };

    // Builds the queue from the tables; false after a read error (the window then closes).
    bool Build(bool load_everything);
    bool AppendApplications(std::int32_t project);
    bool HasApplications(std::int32_t project, bool& failed);
    void ReadFailed();
    void RebuildSelecting(const NodeRef& node);
    NodeRef NodeOf(int row) const;
    int ProjectRowOf(int row) const;
    bool IsExpanded(int level, const std::string& position) const;
    void Forget(int level, const std::string& position);
    void RefreshProjectRow(int row);
    void Show();
    void TakeChoice();
    bool Usable(runtime::ControlNumber button) const;
    void ShowPopup();

    // An edit through a form, repeated while the window's toolbar asks to move on.
    void EditLoop(Edit edit);
    framework::ResponseCode RunEdit(Edit edit, NodeRef& select);
    bool Navigate(framework::NavigationRequest request);
    int FindRow(int from, int step, const std::function<bool(const RelTreeEntry&)>& match) const;

    framework::WindowController& window_;
    ProjectTreeControls ctl_;
    TreeForms forms_;
    std::vector<RelTreeEntry> queue_;
    std::vector<LoadedLevelEntry> loaded_;
    runtime::QueueList<RelTreeEntry> rows_;
    int current_ = 0;
    bool opened_ = false;
    bool registered_ = false;
    bool read_failed_ = false;  // to close the window as soon as it is open
};

}  // namespace zelt::app
