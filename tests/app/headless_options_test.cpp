// The headless command line: every command and option, the limits of the numbers, and the
// refusals, each as one row. A row that parses names the fields it expects; a refused row
// names a part of the message.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/headless/headless_options.hpp"

namespace zelt::app {
namespace {

using Args = std::vector<std::string>;
using Check = std::function<void(const HeadlessOptions&)>;

struct Accepted {
    Args args;
    HeadlessCommand command;
    Check check = [](const HeadlessOptions&) {};
};

struct Refused {
    Args args;
    std::string says;  // a part of the message
};

std::string Show(const Args& args) {
    std::string text;
    for (const std::string& a : args) text += (text.empty() ? "" : " ") + ("[" + a + "]");
    return text;
}

TEST(HeadlessOptions, EveryCommandAndOptionParses) {
    const std::vector<Accepted> rows = {
        {{"--make", "tagged"},
         HeadlessCommand::MakeTagged,
         [](const HeadlessOptions& o) {
             EXPECT_EQ(o.timeout_minutes, 3);  // the defaults
             EXPECT_EQ(o.wait_limit_seconds, 0);
             EXPECT_EQ(o.start_limit_seconds, 30);
             EXPECT_FALSE(o.yes);
             EXPECT_FALSE(o.csv);
         }},
        {{"--make", "subset"}, HeadlessCommand::MakeSubset},
        {{"--make", "project", "Tools"},
         HeadlessCommand::MakeProject,
         [](const HeadlessOptions& o) { EXPECT_EQ(o.project, "Tools"); }},
        {{"--make", "project", "My Tools"},
         HeadlessCommand::MakeProject,
         [](const HeadlessOptions& o) { EXPECT_EQ(o.project, "My Tools"); }},
        {{"--import-dct"}, HeadlessCommand::ImportDct},
        {{"--import-app", "--yes"},
         HeadlessCommand::ImportApp,
         [](const HeadlessOptions& o) { EXPECT_TRUE(o.yes); }},
        {{"--export-app"}, HeadlessCommand::ExportApp},
        {{"--export-dct"}, HeadlessCommand::ExportDct},
        {{"--log"}, HeadlessCommand::Log, [](const HeadlessOptions& o) { EXPECT_FALSE(o.csv); }},
        {{"--log", "--csv"},
         HeadlessCommand::Log,
         [](const HeadlessOptions& o) { EXPECT_TRUE(o.csv); }},
        {{"--csv", "--log"},
         HeadlessCommand::Log,
         [](const HeadlessOptions& o) { EXPECT_TRUE(o.csv); }},
        {{"--print-log", "out/log.pdf"},
         HeadlessCommand::PrintLog,
         [](const HeadlessOptions& o) { EXPECT_EQ(o.pdf_path, "out/log.pdf"); }},
        {{"--empty-log", "--yes"},
         HeadlessCommand::EmptyLog,
         [](const HeadlessOptions& o) { EXPECT_TRUE(o.yes); }},
        {{"--log", "--json"},
         HeadlessCommand::Log,
         [](const HeadlessOptions& o) { EXPECT_TRUE(o.json); }},
        {{"--list", "projects", "--json"},
         HeadlessCommand::ListProjects,
         [](const HeadlessOptions& o) { EXPECT_TRUE(o.json); }},
        {{"--list", "applications"}, HeadlessCommand::ListApplications},
        {{"--history"},
         HeadlessCommand::History,
         [](const HeadlessOptions& o) { EXPECT_TRUE(o.applications.empty()); }},
        {{"--csv", "--history", "A.APP", "b.app"},
         HeadlessCommand::History,
         [](const HeadlessOptions& o) {
             EXPECT_TRUE(o.csv);
             EXPECT_EQ(o.applications, (Args{"A.APP", "b.app"}));
         }},
        {{"--history", "A.APP", "--json"},
         HeadlessCommand::History,
         [](const HeadlessOptions& o) { EXPECT_TRUE(o.json); }},
        {{"--junit", "out/r.xml", "--make", "project", "Tools", "--json"},
         HeadlessCommand::MakeProject,
         [](const HeadlessOptions& o) {
             EXPECT_EQ(o.junit_path, "out/r.xml");
             EXPECT_TRUE(o.json);
         }},
        {{"--help"}, HeadlessCommand::Help},
        {{"-h"}, HeadlessCommand::Help},
        {{"--make", "tagged", "--help"}, HeadlessCommand::Help},
        // Options before or after the command, at both ends of their ranges.
        {{"--timeout", "0", "--make", "tagged"},
         HeadlessCommand::MakeTagged,
         [](const HeadlessOptions& o) { EXPECT_EQ(o.timeout_minutes, 0); }},
        {{"--make", "tagged", "--timeout", "255"},
         HeadlessCommand::MakeTagged,
         [](const HeadlessOptions& o) { EXPECT_EQ(o.timeout_minutes, 255); }},
        {{"--make", "tagged", "--wait-limit", "1"},
         HeadlessCommand::MakeTagged,
         [](const HeadlessOptions& o) { EXPECT_EQ(o.wait_limit_seconds, 1); }},
        {{"--make", "tagged", "--wait-limit", "604800"},  // a week
         HeadlessCommand::MakeTagged,
         [](const HeadlessOptions& o) { EXPECT_EQ(o.wait_limit_seconds, 604800); }},
        {{"--make", "tagged", "--start-limit", "1"},
         HeadlessCommand::MakeTagged,
         [](const HeadlessOptions& o) { EXPECT_EQ(o.start_limit_seconds, 1); }},
        {{"--start-limit", "86400", "--export-app"},  // a day
         HeadlessCommand::ExportApp,
         [](const HeadlessOptions& o) { EXPECT_EQ(o.start_limit_seconds, 86400); }},
        {{"--make", "tagged"},
         HeadlessCommand::MakeTagged,
         [](const HeadlessOptions& o) { EXPECT_EQ(o.jobs, 0); }},  // the setting decides
        {{"--jobs", "1", "--make", "subset"},
         HeadlessCommand::MakeSubset,
         [](const HeadlessOptions& o) { EXPECT_EQ(o.jobs, 1); }},
        {{"--make", "project", "P", "--jobs", "16"},
         HeadlessCommand::MakeProject,
         [](const HeadlessOptions& o) { EXPECT_EQ(o.jobs, 16); }},
    };
    for (const Accepted& row : rows) {
        SCOPED_TRACE(Show(row.args));
        std::string error;
        const std::optional<HeadlessOptions> options = ParseHeadlessOptions(row.args, &error);
        ASSERT_TRUE(options.has_value()) << error;
        EXPECT_EQ(options->command, row.command);
        row.check(*options);
    }
}

TEST(HeadlessOptions, WrongUsageIsRefusedWithItsReason) {
    const std::vector<Refused> rows = {
        {{}, "no command given"},
        {{"--yes"}, "no command given"},
        {{"--bogus"}, "unknown argument \"--bogus\""},
        {{"--make", "tagged", "extra"}, "unknown argument \"extra\""},
        {{"--make"}, "--make needs tagged, project NAME or subset"},
        {{"--make", "sometimes"}, "not \"sometimes\""},
        {{"--make", "project"}, "--make project needs the project's name"},
        {{"--make", "project", ""}, "--make project needs the project's name"},
        {{"--print-log"}, "--print-log needs the name of the PDF file"},
        {{"--print-log", ""}, "--print-log needs the name of the PDF file"},
        // One command per run.
        {{"--log", "--empty-log"}, "give one command only (\"--empty-log\""},
        {{"--make", "tagged", "--make", "subset"}, "give one command only"},
        {{"--export-app", "--print-log", "x.pdf"}, "give one command only"},
        {{"--csv", "--make", "tagged"}, "--csv goes with --log or --history only"},
        {{"--print-log", "x.pdf", "--csv"}, "--csv goes with --log or --history only"},
        {{"--log", "--csv", "--json"}, "give --csv or --json, not both"},
        {{"--empty-log", "--json"}, "--json goes with a batch, --log, --history or --list"},
        {{"--list"}, "--list needs projects or applications"},
        {{"--log", "A.APP"}, "unknown argument \"A.APP\""},
        {{"--history", "--csv", "--json"}, "give --csv or --json, not both"},
        {{"--list", "targets"}, "--list needs projects or applications"},
        {{"--list", "projects", "--list", "applications"}, "give one command only"},
        {{"--make", "tagged", "--junit"}, "--junit needs the name of the report file"},
        {{"--make", "tagged", "--junit", ""}, "--junit needs the name of the report file"},
        {{"--list", "projects", "--junit", "r.xml"}, "--junit goes with a batch"},
        // Numbers: missing, not whole, signed, past either end of the range.
        {{"--make", "tagged", "--timeout"}, "--timeout needs a number of minutes from 0 to 255"},
        {{"--make", "tagged", "--timeout", ""}, "--timeout needs"},
        {{"--make", "tagged", "--timeout", "256"}, "--timeout needs"},
        {{"--make", "tagged", "--timeout", "-1"}, "--timeout needs"},
        {{"--make", "tagged", "--timeout", "3m"}, "--timeout needs"},
        {{"--make", "tagged", "--timeout", " 3"}, "--timeout needs"},
        {{"--make", "tagged", "--timeout", "--log"}, "--timeout needs"},
        {{"--make", "tagged", "--wait-limit"}, "--wait-limit needs a number of seconds above 0"},
        {{"--make", "tagged", "--wait-limit", "0"}, "--wait-limit needs"},
        {{"--make", "tagged", "--wait-limit", "604801"}, "--wait-limit needs"},
        {{"--make", "tagged", "--wait-limit", "99999999999999999999"}, "--wait-limit needs"},
        {{"--make", "tagged", "--start-limit"}, "--start-limit needs a number of seconds above 0"},
        {{"--make", "tagged", "--start-limit", "0"}, "--start-limit needs"},
        {{"--make", "tagged", "--start-limit", "86401"}, "--start-limit needs"},
        {{"--make", "tagged", "--start-limit", "1.5"}, "--start-limit needs"},
        {{"--make", "tagged", "--jobs"}, "--jobs needs a number of IDEs from 1 to 16"},
        {{"--make", "tagged", "--jobs", "0"}, "--jobs needs"},
        {{"--make", "tagged", "--jobs", "17"}, "--jobs needs"},
        {{"--make", "tagged", "--jobs", "4x"}, "--jobs needs"},
        {{"--export-app", "--jobs", "4"}, "--jobs goes with --make"},
    };
    for (const Refused& row : rows) {
        SCOPED_TRACE(Show(row.args));
        std::string error;
        EXPECT_FALSE(ParseHeadlessOptions(row.args, &error).has_value());
        EXPECT_NE(error.find(row.says), std::string::npos) << error;
    }
}

TEST(HeadlessOptions, OnlyTheIdeCommandsAreBatches) {
    for (HeadlessCommand c :
         {HeadlessCommand::MakeTagged, HeadlessCommand::MakeProject, HeadlessCommand::MakeSubset,
          HeadlessCommand::ImportDct, HeadlessCommand::ImportApp, HeadlessCommand::ExportApp,
          HeadlessCommand::ExportDct}) {
        EXPECT_TRUE(IsBatch(c)) << static_cast<int>(c);
    }
    for (HeadlessCommand c : {HeadlessCommand::Help, HeadlessCommand::Log,
                              HeadlessCommand::PrintLog, HeadlessCommand::EmptyLog,
                              HeadlessCommand::ListProjects, HeadlessCommand::ListApplications}) {
        EXPECT_FALSE(IsBatch(c)) << static_cast<int>(c);
    }
}

TEST(HeadlessOptions, UsageNamesEveryCommandAndOption) {
    const std::string usage = HeadlessUsage();
    for (const char* word : {"--make tagged",
                             "--make project NAME",
                             "--make subset",
                             "--import-dct",
                             "--import-app",
                             "--export-app",
                             "--export-dct",
                             "--log [--csv | --json]",
                             "--print-log FILE.pdf",
                             "--empty-log",
                             "--list projects",
                             "--list applications",
                             "--junit FILE",
                             "--json",
                             "--help",
                             "--version",
                             "--yes",
                             "--timeout MINUTES",
                             "--wait-limit SECONDS",
                             "--start-limit SECONDS",
                             "Exit status"}) {
        EXPECT_NE(usage.find(word), std::string::npos) << word;
    }
}

}  // namespace
}  // namespace zelt::app
