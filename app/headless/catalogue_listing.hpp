// The catalogue from the command line (zelt --list), for scripts and CI engines that build
// a job per project, and the project of each application for the JUnit reports.
//
//   zelt --list projects       the projects that have tagged applications: name, tagged
//                              applications, all its applications (what --make project
//                              makes), lowest and highest priority among them; by name
//   zelt --list applications   every application in priority order: name, folder,
//                              priority, tag, project (empty for none), target
//
// Plain output is one line per row with tab-separated columns under a header line; with
// --json it is one JSON array of objects:
//
//   [{"project":"Tools","tagged":2,"applications":2,"lowest":1,"highest":2}, ...]
//   [{"application":"HELLO.APP","path":"/src/tools/","priority":1,"tag":1,
//     "project":"Tools","target":"/src/tools/bin/hello"}, ...]   ("project": null for none)
//
// Tagged applications in no project are made by --make tagged only; --list projects says
// how many there are on standard error.
#pragma once

#include <string>
#include <vector>

#include "app/catalogue/catalogue_tables.hpp"

namespace zelt::app {

struct CatalogueEntry {
    AppsRecord app{};
    bool in_project = false;
    std::string project;  // the project's name (stored text) when in_project
};

// Every application in APP.PriorityKey order with its project. False, with `error` saying
// why, when a table cannot be read.
bool ReadCatalogue(std::vector<CatalogueEntry>& entries, std::string* error);

// The project of the entry whose folder and file name are those of `app`; false for none.
const CatalogueEntry* FindEntry(const std::vector<CatalogueEntry>& entries, const AppsRecord& app);

struct ProjectSummary {
    std::string name;  // stored text
    int tagged = 0;
    int applications = 0;
    int lowest = 0;
    int highest = 0;
};
// The projects with at least one tagged application, by name.
std::vector<ProjectSummary> TaggedProjects(const std::vector<CatalogueEntry>& entries);

// The two listings; each answers the headless mode's exit status (0, or 2 when a table
// cannot be read).
int ListProjects(bool json);
int ListApplications(bool json);

}  // namespace zelt::app
