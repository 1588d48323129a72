#include "app/headless/catalogue_listing.hpp"

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>

#include "app/catalogue/dictionary.hpp"
#include "app/headless/console_messages.hpp"
#include "app/headless/report_text.hpp"
#include "runtime/errors/error_state.hpp"

namespace zelt::app {
namespace {

std::string TableError(const runtime::Table& table) {
    return "zelt: cannot read " + table.FileName() + ": " + runtime::CurrentErrorText() +
           " (error " + std::to_string(runtime::CurrentErrorCode()) + ")";
}

// Reads every record of `table` from the start of `key`; false when a read failed.
template <typename Each>
bool ReadAll(runtime::Table& table, int key, Each each) {
    table.ClearRecord();
    table.SetKey(key);
    runtime::ErrorCode code = runtime::err::NoError;
    while ((code = table.Next()) == runtime::err::NoError) each();
    return code == runtime::err::RecordNotAvailable;
}

std::string Dump(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

bool ReadCatalogue(std::vector<CatalogueEntry>& entries, std::string* error) {
    entries.clear();
    const auto fail = [error](const runtime::Table& table) {
        if (error) *error = TableError(table);
        return false;
    };
    std::map<std::int32_t, std::string> projects;
    if (ProjectsManager.Open() != framework::LevelOk ||
        ProjectsManager.EnsureOpen() != framework::LevelOk) {
        ProjectsManager.Close();
        return fail(Projects);
    }
    const bool projects_read = ReadAll(Projects, ProjectsTable::ProjectNameKey, [&] {
        const std::int32_t number = PRO.P_Ref;  // packed: copied before use
        projects[number] = PRO.ProjectName.Clip();
    });
    ProjectsManager.Close();
    if (!projects_read) return fail(Projects);
    if (AppsManager.Open() != framework::LevelOk ||
        AppsManager.EnsureOpen() != framework::LevelOk) {
        AppsManager.Close();
        return fail(Apps);
    }
    const bool apps_read = ReadAll(Apps, AppsTable::PriorityKey, [&] {
        CatalogueEntry entry;
        entry.app = APP;
        const std::int32_t number = APP.P_Ref;
        const auto project = number != 0 ? projects.find(number) : projects.end();
        entry.in_project = project != projects.end();
        if (entry.in_project) entry.project = project->second;
        entries.push_back(std::move(entry));
    });
    AppsManager.Close();
    if (!apps_read) return fail(Apps);
    return true;
}

const CatalogueEntry* FindEntry(const std::vector<CatalogueEntry>& entries, const AppsRecord& app) {
    const std::string name = app.Application.Clip();
    const std::string path = app.DrivenPath.Clip();
    for (const CatalogueEntry& entry : entries) {
        if (entry.app.Application.Clip() == name && entry.app.DrivenPath.Clip() == path)
            return &entry;
    }
    return nullptr;
}

std::vector<ProjectSummary> TaggedProjects(const std::vector<CatalogueEntry>& entries) {
    std::map<std::string, ProjectSummary> by_name;
    for (const CatalogueEntry& entry : entries) {
        if (!entry.in_project) continue;
        ProjectSummary& project = by_name[entry.project];
        const int priority = entry.app.Priority;
        if (project.applications == 0) {
            project.name = entry.project;
            project.lowest = project.highest = priority;
        }
        ++project.applications;
        if (entry.app.Tag == 1) ++project.tagged;
        project.lowest = std::min(project.lowest, priority);
        project.highest = std::max(project.highest, priority);
    }
    std::vector<ProjectSummary> tagged;
    for (auto& [name, project] : by_name) {
        if (project.tagged > 0) tagged.push_back(std::move(project));
    }
    return tagged;
}

int ListProjects(bool json) {
    std::vector<CatalogueEntry> entries;
    std::string error;
    if (!ReadCatalogue(entries, &error)) {
        WriteLine(stderr, error);
        return 2;
    }
    const std::vector<ProjectSummary> projects = TaggedProjects(entries);
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const ProjectSummary& p : projects) {
            list.push_back({{"project", ReportText(p.name)},
                            {"tagged", p.tagged},
                            {"applications", p.applications},
                            {"lowest", p.lowest},
                            {"highest", p.highest}});
        }
        WriteLine(stdout, Dump(list));
    } else {
        WriteLine(stdout, "Project\tTagged\tApplications\tLowest\tHighest");
        for (const ProjectSummary& p : projects) {
            WriteLine(stdout, ReportText(p.name) + "\t" + std::to_string(p.tagged) + "\t" +
                                  std::to_string(p.applications) + "\t" + std::to_string(p.lowest) +
                                  "\t" + std::to_string(p.highest));
        }
    }
    const auto loose = std::count_if(entries.begin(), entries.end(), [](const CatalogueEntry& e) {
        return !e.in_project && e.app.Tag == 1;
    });
    if (loose > 0) {
        WriteLine(stderr, "zelt: " + std::to_string(loose) +
                              " tagged applications belong to no project; --make tagged makes "
                              "them, --make project does not");
    }
    return 0;
}

int ListApplications(bool json) {
    std::vector<CatalogueEntry> entries;
    std::string error;
    if (!ReadCatalogue(entries, &error)) {
        WriteLine(stderr, error);
        return 2;
    }
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const CatalogueEntry& e : entries) {
            list.push_back({{"application", ReportText(e.app.Application.Clip())},
                            {"path", ReportText(e.app.DrivenPath.Clip())},
                            {"priority", int{e.app.Priority}},
                            {"tag", int{e.app.Tag}},
                            {"project", e.in_project ? nlohmann::ordered_json(ReportText(e.project))
                                                     : nlohmann::ordered_json(nullptr)},
                            {"target", ReportText(e.app.Target.Clip())}});
        }
        WriteLine(stdout, Dump(list));
        return 0;
    }
    WriteLine(stdout, "Application\tPath\tPriority\tTag\tProject\tTarget");
    for (const CatalogueEntry& e : entries) {
        WriteLine(stdout, ReportText(e.app.Application.Clip()) + "\t" +
                              ReportText(e.app.DrivenPath.Clip()) + "\t" +
                              std::to_string(e.app.Priority) + "\t" + std::to_string(e.app.Tag) +
                              "\t" + ReportText(e.project) + "\t" +
                              ReportText(e.app.Target.Clip()));
    }
    return 0;
}

}  // namespace zelt::app
