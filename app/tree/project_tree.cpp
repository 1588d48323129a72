#include "app/tree/project_tree.hpp"

#include <algorithm>
#include <cstdlib>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/forms/update_apps.hpp"
#include "app/forms/update_projects.hpp"
#include "runtime/text/stored_text.hpp"
#include "runtime/window/key_codes.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

namespace {

using framework::Level;
using framework::LevelNotify;
using framework::LevelOk;
namespace ev = runtime::event;
namespace err = runtime::err;
namespace key = runtime::key;

runtime::ListCell CellOf(const RelTreeEntry& e) {
    runtime::ListCell cell(runtime::StoredToUtf8(e.Display), e.Icon);  // Display is stored text
    cell.foreground = e.NormalFG;
    cell.background = e.NormalBG;
    cell.selected_foreground = e.SelectedFG;
    cell.selected_background = e.SelectedBG;
    return cell;
}

RelTreeEntry ProjectRow(const std::string& position, int level, bool loaded) {
    RelTreeEntry e;
    e.Display = PRO.ProjectName.Clip();
    e.Icon = static_cast<std::int16_t>(loaded ? tree_icon::Open : tree_icon::Pick);
    e.Level = level;
    e.Loaded = loaded ? 1 : 0;
    e.Position = position;
    return e;
}

RelTreeEntry ApplicationRow() {
    RelTreeEntry e;
    e.Display = APP.Application.Clip();
    e.Icon = tree_icon::ShutFold;
    e.Level = tree_level::Application;
    e.Position = Apps.Position();
    return e;
}

// The record buffers a build reads through, given back as they were.
class KeptBuffers {
  public:
    KeptBuffers() : pro_(PRO), app_(APP) {}
    ~KeptBuffers() {
        PRO = pro_;
        APP = app_;
    }
    KeptBuffers(const KeptBuffers&) = delete;
    KeptBuffers& operator=(const KeptBuffers&) = delete;

  private:
    ProjectsRecord pro_;
    AppsRecord app_;
};

}  // namespace

runtime::ListFormat ProjectTreeFormat() {
    runtime::ListFormat format;
    format.columns = {runtime::ListColumn({}, 30).WithIcon().WithColours()};
    format.icons = {"~open.ico", "~pick.ico", "~shutfold.ico"};
    format.headers = false;
    return format;
}

TreeForms StandardTreeForms(framework::ErrorReporter& errors) {
    TreeForms forms;
    forms.project = [&errors](framework::RequestCode request) {
        return framework::CallWithRequest(request, [&errors] { UpdateProjects(errors); });
    };
    forms.application = [&errors](framework::RequestCode request) {
        return framework::CallWithRequest(request, [&errors] { UpdateApps(errors); });
    };
    return forms;
}

ProjectTree::ProjectTree(framework::WindowController& window, ProjectTreeControls controls,
                         TreeForms forms)
    : window_(window),
      ctl_(controls),
      forms_(std::move(forms)),
      rows_(queue_, {CellOf}, [](const RelTreeEntry& e) { return e.Level; }) {}

ProjectTree::~ProjectTree() {
    Kill();
}

void ProjectTree::Init() {
    if (!opened_) {
        ProjectsManager.Open();
        AppsManager.Open();
        opened_ = true;
    }
    if (!registered_) {
        window_.AddComponent(*this);
        registered_ = true;
    }
    window_.Window().SetListSource(ctl_.tree, &rows_);
    loaded_.clear();
    Build(false);
    current_ = queue_.empty() ? 0 : 1;
    Show();
    SetAlerts();
}

void ProjectTree::Kill() {
    if (registered_) window_.Window().SetListSource(ctl_.tree, nullptr);
    registered_ = false;
    if (opened_) {
        AppsManager.Close();
        ProjectsManager.Close();
        opened_ = false;
    }
}

void ProjectTree::SetAlerts() {
    auto& w = window_.Window();
    for (int k :
         {key::Right, key::Left, key::MouseLeft2, key::MouseRight, key::Insert, key::Delete})
        w.Alert(ctl_.tree, k);
}

void ProjectTree::UpdateWindow() {
    if (registered_) Show();
}

void ProjectTree::Show() {
    auto& w = window_.Window();
    current_ = std::clamp(current_, queue_.empty() ? 0 : 1, static_cast<int>(queue_.size()));
    w.RowsChanged(ctl_.tree);
    w.SetChoice(ctl_.tree, current_);
}

void ProjectTree::TakeChoice() {
    current_ = std::clamp(window_.Window().Choice(ctl_.tree), 0, static_cast<int>(queue_.size()));
}

bool ProjectTree::Usable(runtime::ControlNumber button) const {
    return button != 0 && !window_.Window().IsDisabled(button);
}

// ---- Building -----------------------------------------------------------------------------

bool ProjectTree::Build(bool load_everything) {
    queue_.clear();
    RelTreeEntry root;
    root.Display = "PROJECTS";
    root.Icon = tree_icon::Pick;
    root.Level = tree_level::Root;
    queue_.push_back(root);
    if (ProjectsManager.EnsureOpen() != LevelOk || AppsManager.EnsureOpen() != LevelOk) {
        ReadFailed();
        return false;
    }
    KeptBuffers kept;
    if (Projects.SetKey(ProjectsTable::ProjectNameKey) != err::NoError) {
        ReadFailed();
        return false;
    }
    for (;;) {
        const runtime::ErrorCode code = Projects.Next();
        if (code == err::RecordNotAvailable) break;
        if (code != err::NoError) {
            ReadFailed();
            return false;
        }
        const std::string position = Projects.PositionKey(ProjectsTable::ProjectNameKey);
        if (!load_everything && !IsExpanded(tree_level::Project, position)) {
            bool failed = false;
            const bool children = HasApplications(PRO.P_Ref, failed);
            if (failed) return false;
            queue_.push_back(
                ProjectRow(position, children ? -tree_level::Project : tree_level::Project, false));
            continue;
        }
        if (load_everything) loaded_.push_back({tree_level::Project, position});
        queue_.push_back(ProjectRow(position, tree_level::Project, true));
        if (!AppendApplications(PRO.P_Ref)) return false;
    }
    return true;
}

bool ProjectTree::HasApplications(std::int32_t project, bool& failed) {
    APP.P_Ref = project;
    runtime::ErrorCode code = Apps.SetKeyKey(AppsTable::P_RefKey);
    if (code == err::NoError) code = Apps.Next();
    if (code == err::RecordNotAvailable) return false;
    if (code != err::NoError) {
        failed = true;
        ReadFailed();
        return false;
    }
    return APP.P_Ref == project;
}

// Appends the rows of a project's applications at the end of the queue.
bool ProjectTree::AppendApplications(std::int32_t project) {
    APP.P_Ref = project;
    runtime::ErrorCode code = Apps.SetKeyKey(AppsTable::P_RefKey);
    while (code == err::NoError) {
        code = Apps.Next();
        if (code != err::NoError || APP.P_Ref != project) break;
        queue_.push_back(ApplicationRow());
    }
    if (code != err::NoError && code != err::RecordNotAvailable) {
        ReadFailed();
        return false;
    }
    return true;
}

void ProjectTree::ReadFailed() {
    // A build before the window opens closes it as soon as it is open.
    read_failed_ = !window_.Window().Post(ev::CloseWindow);
}

bool ProjectTree::IsExpanded(int level, const std::string& position) const {
    return std::any_of(loaded_.begin(), loaded_.end(), [&](const LoadedLevelEntry& e) {
        return e.LoadedLevel == level && e.LoadedPosition == position;
    });
}

void ProjectTree::Forget(int level, const std::string& position) {
    std::erase_if(loaded_, [&](const LoadedLevelEntry& e) {
        return e.LoadedLevel == level && e.LoadedPosition == position;
    });
}

// ---- Expanding and contracting ------------------------------------------------------------

void ProjectTree::Expand(int row) {
    if (row < 1 || row > static_cast<int>(queue_.size())) return;
    // Only a collapsed node with children opens: a project without applications stays a
    // plain row.
    const RelTreeEntry& node = queue_[static_cast<std::size_t>(row - 1)];
    if (node.Loaded || node.Level >= 0 || -node.Level != tree_level::Project) return;
    KeptBuffers kept;
    if (Projects.RegetKey(ProjectsTable::ProjectNameKey, node.Position) != err::NoError) {
        Rebuild();  // the project is gone: show what is there now
        return;
    }
    loaded_.push_back({tree_level::Project, node.Position});
    queue_[static_cast<std::size_t>(row - 1)] =
        ProjectRow(node.Position, tree_level::Project, true);
    std::vector<RelTreeEntry> tail(queue_.begin() + row, queue_.end());
    queue_.resize(static_cast<std::size_t>(row));
    const bool read = AppendApplications(PRO.P_Ref);
    queue_.insert(queue_.end(), tail.begin(), tail.end());
    if (read) Show();
}

void ProjectTree::Contract(int row) {
    if (row < 1 || row > static_cast<int>(queue_.size())) return;
    RelTreeEntry& node = queue_[static_cast<std::size_t>(row - 1)];
    if (!node.Loaded) return;
    const int depth = std::abs(node.Level);
    auto first = queue_.begin() + row;
    auto last = std::find_if(first, queue_.end(),
                             [depth](const RelTreeEntry& e) { return std::abs(e.Level) <= depth; });
    node.Loaded = 0;
    node.Level =
        first == last ? depth : -depth;  // negative only when there is something to open again
    Forget(depth, node.Position);
    queue_.erase(first, last);
    RefreshProjectRow(row);
    if (current_ > row) current_ = row;
    Show();
}

// Reads the project on `row` again and shows it as it is now, open or shut.
void ProjectTree::RefreshProjectRow(int row) {
    RelTreeEntry& node = queue_[static_cast<std::size_t>(row - 1)];
    KeptBuffers kept;
    if (Projects.RegetKey(ProjectsTable::ProjectNameKey, node.Position) == err::NoError)
        node.Display = PRO.ProjectName.Clip();
    node.Icon = static_cast<std::int16_t>(node.Loaded ? tree_icon::Open : tree_icon::Pick);
}

void ProjectTree::ExpandAll() {
    TakeChoice();
    const NodeRef node = NodeOf(current_);
    loaded_.clear();
    if (Build(true)) RebuildSelecting(node);
    window_.Window().Select(ctl_.tree);
}

void ProjectTree::ContractAll() {
    TakeChoice();
    const NodeRef node = NodeOf(current_);
    loaded_.clear();
    if (Build(false)) RebuildSelecting(node);
    window_.Window().Select(ctl_.tree);
}

// ---- Rebuilding -----------------------------------------------------------------------------

ProjectTree::NodeRef ProjectTree::NodeOf(int row) const {
    NodeRef node;
    if (row < 1 || row > static_cast<int>(queue_.size())) return node;
    const RelTreeEntry& e = queue_[static_cast<std::size_t>(row - 1)];
    node.level = std::abs(e.Level);
    node.position = e.Position;
    if (const int project = ProjectRowOf(row))
        node.project = queue_[static_cast<std::size_t>(project - 1)].Position;
    return node;
}

int ProjectTree::ProjectRowOf(int row) const {
    for (int r = std::min(row, static_cast<int>(queue_.size())); r >= 1; --r) {
        const int depth = std::abs(queue_[static_cast<std::size_t>(r - 1)].Level);
        if (depth == tree_level::Project) return r;
        if (depth < tree_level::Project) return 0;
    }
    return 0;
}

void ProjectTree::Rebuild() {
    TakeChoice();
    const NodeRef node = NodeOf(current_);
    if (Build(false)) RebuildSelecting(node);
}

// Selects the node again after the queue was built anew: the node itself, else its project,
// else the same row.
void ProjectTree::RebuildSelecting(const NodeRef& node) {
    auto find = [this](int level, const std::string& position) {
        return FindRow(1, 1, [&](const RelTreeEntry& e) {
            return std::abs(e.Level) == level && e.Position == position;
        });
    };
    int row = node.level >= 0 ? find(node.level, node.position) : 0;
    if (row == 0 && !node.project.empty()) row = find(tree_level::Project, node.project);
    if (row != 0) current_ = row;
    Show();
}

int ProjectTree::FindRow(int from, int step,
                         const std::function<bool(const RelTreeEntry&)>& match) const {
    for (int r = from; r >= 1 && r <= static_cast<int>(queue_.size()); r += step) {
        if (match(queue_[static_cast<std::size_t>(r - 1)])) return r;
    }
    return 0;
}

framework::Level ProjectTree::LoadSelectedProject() {
    TakeChoice();
    const int row = ProjectRowOf(current_);
    if (row == 0 || ProjectsManager.EnsureOpen() != LevelOk) return LevelNotify;
    return Projects.RegetKey(ProjectsTable::ProjectNameKey,
                             queue_[static_cast<std::size_t>(row - 1)].Position) == err::NoError
               ? LevelOk
               : LevelNotify;
}

// ---- Events -----------------------------------------------------------------------------------

framework::Level ProjectTree::HandleEvent() {
    if (!registered_) return LevelOk;
    auto& w = window_.Window();
    const runtime::EventCode event = w.Event();
    const runtime::ControlNumber field = w.Field();
    if (field == 0) {
        if (event == ev::OpenWindow && read_failed_)
            ReadFailed();
        else if (event == ev::GainFocus)
            Rebuild();
        return LevelOk;
    }
    if (event == ev::Accepted) {
        if (field == ctl_.expand)
            ExpandAll();
        else if (field == ctl_.contract)
            ContractAll();
        else if (field == ctl_.insert)
            Insert();
        else if (field == ctl_.change || field == ctl_.tree)
            Change();  // Enter on a row changes it
        else if (field == ctl_.remove)
            Delete();
        else
            return LevelOk;
        return LevelNotify;
    }
    if (field != ctl_.tree) return LevelOk;
    switch (event) {
        case ev::NewSelection:
            TakeChoice();
            break;
        case ev::AlertKey:
            switch (w.Keycode()) {
                case key::Right:
                    TakeChoice();
                    w.Post(ev::Expanded, ctl_.tree);
                    break;
                case key::Left:
                    w.Post(ev::Contracted, ctl_.tree);
                    break;
                case key::MouseLeft2:
                    Change();
                    break;
                case key::MouseRight:
                    ShowPopup();
                    break;
                case key::Insert:
                    Insert();
                    break;
                case key::Delete:
                    Delete();
                    break;
                default:
                    return LevelOk;
            }
            break;
        case ev::Expanded:
            TakeChoice();
            Expand(current_);
            break;
        case ev::Contracted:
            TakeChoice();
            Contract(current_);
            break;
        default:
            return LevelOk;
    }
    return LevelNotify;
}

void ProjectTree::ShowPopup() {
    auto entry = [this](runtime::ControlNumber button, const char* text) {
        return std::string(Usable(button) ? "" : "~") + text;
    };
    const std::string menu = entry(ctl_.insert, "&Insert") + "|" + entry(ctl_.change, "Chan&ge") +
                             "|" + entry(ctl_.remove, "&Delete") + "|-|&Expand All|Co&ntract All";
    switch (runtime::Popup(menu)) {
        case 1:
            Insert();
            break;
        case 2:
            Change();
            break;
        case 3:
            Delete();
            break;
        case 4:
            ExpandAll();
            break;
        case 5:
            ContractAll();
            break;
        default:
            break;
    }
}

}  // namespace zelt::app
