// The headless mode's reports for CI engines: the JUnit report of a batch (read back with
// libxml2 and validated against docs/junit.xsd by xmllint), the events as JSON lines, and
// how an item's events say its outcome.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>

#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/headless/batch_record.hpp"
#include "framework/error_reporter.hpp"
#include "storage/driver/pelmar_driver.hpp"
#include "tests/dbus/process_support.hpp"

namespace zelt::app {
namespace {

namespace fs = std::filesystem;
using zelt::testing::ProgramRun;
using zelt::testing::RunProgram;

TempFileRecord Event(std::string_view text, int clock = 1) {
    TempFileRecord event{};
    event.Apps = "A.APP";
    event.Date = 82000;
    event.Clock = clock;
    event.Event = text;
    return event;
}

TEST(ItemOutcome, TheEventThatEndedAnItemSaysWhatBecameOfIt) {
    struct Case {
        std::vector<std::string> events;
        ItemOutcome outcome;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {{"Begin Make", "Make Finished"}, ItemOutcome::Finished, ""},
        {{"Begin DCT Export", "Export DCT Finished"}, ItemOutcome::Finished, ""},
        {{".TXA not found"}, ItemOutcome::Skipped, ".TXA not found"},
        {{"Skipped: path or name holds a comma"},
         ItemOutcome::Skipped,
         "Skipped: path or name holds a comma"},
        {{"Begin Make", "Make Aborted: Target name or type not specified"},
         ItemOutcome::Skipped,
         "Make Aborted: Target name or type not specified"},
        {{"Begin Make", "Error 7 The build failed", "Wait limit reached"},
         ItemOutcome::Failed,
         "Error 7 The build failed"},
        {{"Begin Make", "Wait limit reached"}, ItemOutcome::Failed, "Wait limit reached"},
        {{"Begin APP Import"}, ItemOutcome::Aborted, "Processing Aborted"},
        {{"Begin Make", "Aborted: the batch was cancelled"},
         ItemOutcome::Aborted,
         "Processing Aborted"},
        {{"Begin Make", "Error 605 DDE transaction timed out: Vextor went away"},
         ItemOutcome::Failed,
         "Error 605 DDE transaction timed out: Vextor went away"},
        {{}, ItemOutcome::Aborted, "Processing Aborted"},
        {{"Begin Make", "Make Finished later"}, ItemOutcome::Failed, "Make Finished later"},
    };
    for (const Case& c : cases) {
        std::vector<TempFileRecord> events;
        for (const std::string& text : c.events) events.push_back(Event(text));
        std::string reason;
        EXPECT_EQ(OutcomeOfEvents(events, &reason), c.outcome)
            << ::testing::PrintToString(c.events);
        EXPECT_EQ(reason, c.reason) << ::testing::PrintToString(c.events);
    }
    // Time runs from the first event to the last, across midnight too.
    TempFileRecord late = Event("x", 8640000);
    TempFileRecord early = Event("y", 101);
    early.Date = late.Date + 1;
    EXPECT_DOUBLE_EQ(SecondsBetween(late, early), 1.01);
}

// The engine hands events over after their items ended: they go to items by order and name.
TEST(BatchRecord, EventsThatComeLateFindTheirItemsByOrderAndName) {
    const auto app = [](std::string_view name) {
        AppsRecord record{};
        record.Application = name;
        return record;
    };
    BatchRecord record("make tagged");
    record.ItemsChosen({app("A.APP"), app("A.APP"), app("B.APP"), app("C.APP")});
    record.ItemsDone(3);
    const auto event = [](std::string_view name, std::string_view text) {
        TempFileRecord e = Event(text);
        e.Apps = name;
        return e;
    };
    const std::vector<std::pair<TempFileRecord, int>> rows = {
        {event("A.APP", "Begin Make"), 1}, {event("A.APP", "Make Finished"), 1},
        {event("A.APP", "Begin Make"), 2}, {event("A.APP", "Wait limit reached"), 2},
        {event("Vextor", "Note"), 0},      {event("B.APP", ".APP not found"), 3},
        {event("C.APP", "Begin Make"), 4},
    };
    for (const auto& [e, item] : rows) EXPECT_EQ(record.EventLogged(e), item) << e.Event.Clip();
    EXPECT_TRUE(record.Ended(3));
    EXPECT_FALSE(record.Ended(4));
    BatchSummary summary;
    summary.aborted = true;
    record.Finish(summary, 1.5);
    std::vector<ItemOutcome> outcomes;
    for (const ItemRecord& item : record.Items()) outcomes.push_back(item.outcome);
    EXPECT_EQ(outcomes, (std::vector<ItemOutcome>{ItemOutcome::Finished, ItemOutcome::Failed,
                                                  ItemOutcome::Skipped, ItemOutcome::Aborted}));
    EXPECT_EQ(record.LooseEvents().size(), 1u);

    // Items made at the same time interleave their events; each keeps its own.
    record.ItemsChosen({app("A.APP"), app("B.APP"), app("C.APP"), app("D.APP")});
    const std::vector<std::pair<TempFileRecord, int>> interleaved = {
        {event("A.APP", "Begin Make"), 1},     {event("B.APP", "Begin Make"), 2},
        {event("C.APP", ".APP not found"), 3}, {event("B.APP", "Make Finished"), 2},
        {event("D.APP", "Begin Make"), 4},     {event("A.APP", "Error 602 gone"), 1},
        {event("D.APP", "Make Finished"), 4},
    };
    for (const auto& [e, item] : interleaved) {
        EXPECT_EQ(record.EventLogged(e), item) << e.Event.Clip();
        // One item has ended (B.APP), but not the first: A.APP has only begun.
        if (e.Event.Clip() == "Make Finished" && item == 2) {
            record.ItemsDone(1);
            EXPECT_FALSE(record.Ended(1));
            EXPECT_TRUE(record.Ended(2));
        }
    }
    record.Finish({}, 1.0);
    outcomes.clear();
    for (const ItemRecord& item : record.Items()) outcomes.push_back(item.outcome);
    EXPECT_EQ(outcomes, (std::vector<ItemOutcome>{ItemOutcome::Failed, ItemOutcome::Finished,
                                                  ItemOutcome::Skipped, ItemOutcome::Finished}));
}

// Values out of an XML file by XPath, through libxml2.
class XmlFile {
  public:
    explicit XmlFile(const std::string& path) : doc_(xmlReadFile(path.c_str(), nullptr, 0)) {
        if (doc_) context_ = xmlXPathNewContext(doc_);
    }
    ~XmlFile() {
        if (context_) xmlXPathFreeContext(context_);
        if (doc_) xmlFreeDoc(doc_);
    }
    XmlFile(const XmlFile&) = delete;
    XmlFile& operator=(const XmlFile&) = delete;
    bool ok() const { return context_ != nullptr; }
    // The string value of an XPath expression ("string(...)", "count(...)").
    std::string Text(const std::string& expression) const {
        xmlXPathObjectPtr value =
            xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression.c_str()), context_);
        if (!value) return "<no value>";
        xmlChar* text = xmlXPathCastToString(value);
        std::string out = text ? reinterpret_cast<const char*>(text) : "";
        xmlFree(text);
        xmlXPathFreeObject(value);
        return out;
    }
    double Number(const std::string& expression) const { return std::stod(Text(expression)); }

  private:
    xmlDocPtr doc_ = nullptr;
    xmlXPathContextPtr context_ = nullptr;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class CiReportsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { storage::RegisterPelmarDriver(); }
    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty());
        dir_ = folder_.path() + "/";
        ::setenv("XDG_CONFIG_HOME", folder_.path().c_str(), 1);
        std::ofstream(dir_ + "ZELT.INI")
            << "[Preserved]\nNewLog=N\nCL_Command=\nFilePath=" << dir_ << "\nRetainTags=0\n";
    }

    // Applications (name, application file or "" for none, project number or 0), tagged in
    // the order given; project 1 is "Tools".
    struct App {
        std::string name, file;
        int project = 0;
    };
    void Catalogue(const std::vector<App>& apps) {
        ResetCatalogueGlobals();
        AppsFileName = dir_ + "APPS.PLM";
        ProjectsFileName = dir_ + "PROJECTS.PLM";
        TempFileFileName = dir_ + "TEMPFILE.PLM";
        TfFileName = dir_ + "TF.PLM";
        framework::ErrorReporter errors;
        errors.Init();
        InitDictionary(errors);
        ProjectsManager.Open();
        ProjectsManager.PrepareRecord();
        PRO.ProjectName = "Tools";
        EXPECT_EQ(ProjectsManager.Insert(), framework::LevelOk);
        ProjectsManager.Close();
        AppsManager.Open();
        int priority = 0;
        for (const App& a : apps) {
            if (!a.file.empty()) std::ofstream(dir_ + a.name) << a.file;
            AppsManager.PrepareRecord();
            APP.DrivenPath = dir_;
            APP.Application = a.name;
            APP.Priority = static_cast<std::uint8_t>(++priority);
            APP.Target = dir_ + a.name.substr(0, a.name.find('.')) + ".OUT";
            APP.Tag = 1;
            APP.P_Ref = a.project;
            EXPECT_EQ(AppsManager.Insert(), framework::LevelOk) << a.name;
        }
        AppsManager.Close();
        KillDictionary();
        for (runtime::Table* t :
             {static_cast<runtime::Table*>(&Apps), static_cast<runtime::Table*>(&Apps1),
              static_cast<runtime::Table*>(&Projects), static_cast<runtime::Table*>(&TempFile)}) {
            t->Destroy();
        }
        errors.Kill();
        ResetCatalogueGlobals();
    }

    pid_t Start(std::vector<std::string> args) {
        args.insert(args.begin(), ZELT_PROGRAM_PATH);
        const int out = ::open((dir_ + "out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open((dir_ + "err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        platform::SpawnOptions options;
        options.working_directory = folder_.path();
        options.stdout_fd = out;
        options.stderr_fd = err;
        const platform::SpawnOutcome started = platform::SpawnProcess(args, options);
        ::close(out);
        ::close(err);
        EXPECT_TRUE(started.started()) << started.reason;
        return started.pid;
    }
    int Finish(pid_t pid) {
        const std::optional<int> status = zelt::testing::WaitForExit(pid, 60000);
        if (!status) zelt::testing::EndProcess(pid);
        return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    }
    ProgramRun Zelt(std::vector<std::string> args) {
        const int status = Finish(Start(std::move(args)));
        return {Slurp(dir_ + "out.txt"), Slurp(dir_ + "err.txt"), status};
    }
    // xmllint's verdict on the report against the project's schema.
    static ProgramRun Validate(const std::string& report) {
        return RunProgram({"xmllint", "--noout", "--schema",
                           std::string(ZELT_SOURCE_ROOT) + "/docs/junit.xsd", report});
    }

    zelt::testing::TempFolder folder_;
    std::string dir_;
};

TEST_F(CiReportsTest, AnAbortedBatchReportsFinishedFailedSkippedAndUnreachedItems) {
    zelt::testing::PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    zelt::testing::Vxide ide({"--instance", "ci_reports"});
    ASSERT_TRUE(ide.ready());
    Catalogue({{"A.APP", "Target=A.OUT\n", 1},
               {"GONE.APP", ""},
               {"BAD.APP", "Target=BAD.OUT\nBuild=false\n", 1},
               {"SLOW.APP", "Target=SLOW.OUT\nBuild=sleep 8\n"},
               {"LAST.APP", "Target=LAST.OUT\n"}});
    const std::string report = dir_ + "report.xml";

    const pid_t zelt =
        Start({"--make", "tagged", "--wait-limit", "2", "--junit", report, "--json"});
    ASSERT_TRUE(zelt::testing::WaitUntil(
        [&] {
            const std::string out = Slurp(dir_ + "out.txt");
            return out.find("\"SLOW.APP\",\"event\":\"Begin Make\"") != std::string::npos;
        },
        60000));
    ::kill(zelt, SIGTERM);
    EXPECT_EQ(Finish(zelt), 1);  // aborted: the report leaves the exit status as it was
    const std::string batch_out = Slurp(dir_ + "out.txt");

    ProgramRun valid = Validate(report);
    EXPECT_EQ(valid.exit_code, 0) << valid.err << Slurp(report);
    XmlFile xml(report);
    ASSERT_TRUE(xml.ok()) << Slurp(report);
    const std::string suite = "/testsuites/testsuite";
    EXPECT_EQ(xml.Text("string(" + suite + "/@name)"), "make tagged");
    EXPECT_EQ(xml.Text("string(" + suite + "/@tests)"), "5");
    EXPECT_EQ(xml.Text("string(" + suite + "/@failures)"), "1");
    EXPECT_EQ(xml.Text("string(" + suite + "/@skipped)"), "3");
    EXPECT_EQ(xml.Text("string(" + suite + "/@errors)"), "0");
    EXPECT_GE(xml.Number("string(" + suite + "/@time)"), 2.0);
    const auto test = [&](int n, const std::string& rest) {
        return xml.Text("string(" + suite + "/testcase[" + std::to_string(n) + "]" + rest + ")");
    };
    const std::vector<std::pair<std::string, std::string>> names = {{"A.APP", "Tools"},
                                                                    {"GONE.APP", "catalogue"},
                                                                    {"BAD.APP", "Tools"},
                                                                    {"SLOW.APP", "catalogue"},
                                                                    {"LAST.APP", "catalogue"}};
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(test(n, "/@name"), names[n - 1].first);
        EXPECT_EQ(test(n, "/@classname"), names[n - 1].second);
    }
    EXPECT_EQ(xml.Text("count(" + suite + "/testcase[1]/*[name()!='system-out'])"), "0");
    EXPECT_NE(test(1, "/system-out").find("A.APP         Make Finished"), std::string::npos);
    EXPECT_EQ(test(2, "/skipped/@message"), ".APP not found");
    // The failure: why as its message, the item's events as its text, its time the wait.
    EXPECT_FALSE(test(3, "/failure/@message").empty());
    EXPECT_NE(test(3, "/failure").find("BAD.APP       Wait limit reached"), std::string::npos)
        << test(3, "/failure");
    EXPECT_GE(std::stod(test(3, "/@time")), 2.0);
    EXPECT_EQ(test(4, "/skipped/@message"), "Processing Aborted");
    EXPECT_NE(test(4, "/system-out").find("SLOW.APP      Begin Make"), std::string::npos);
    EXPECT_EQ(test(5, "/skipped/@message"), "Processing Aborted");
    EXPECT_EQ(test(5, "/system-out"), "");

    // One JSON line per logged event, as the log has it, each with its item's number and
    // the outcome on the event that ended its item.
    const auto parse = [](const std::string& text) {
        std::vector<nlohmann::json> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(nlohmann::json::parse(line, nullptr, false));
            EXPECT_FALSE(lines.back().is_discarded()) << line;
        }
        return lines;
    };
    const std::vector<nlohmann::json> events = parse(batch_out);
    const ProgramRun log = Zelt({"--log", "--json"});
    const std::vector<nlohmann::json> logged = parse(log.out);
    ASSERT_EQ(events.size(), logged.size()) << batch_out << log.out;
    std::map<std::string, std::pair<int, std::string>> ends;  // application: item, outcome
    for (std::size_t i = 0; i < events.size(); ++i) {
        for (const char* key : {"time", "application", "event"})
            EXPECT_EQ(events[i][key], logged[i][key]) << key;
        EXPECT_TRUE(
            std::regex_match(events[i]["time"].get<std::string>(),
                             std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d\d[+-]\d\d:\d\d)")))
            << events[i];
        EXPECT_FALSE(logged[i].contains("item"));
        if (events[i].contains("outcome"))
            ends[events[i]["application"]] = {events[i]["item"], events[i]["outcome"]};
    }
    EXPECT_EQ(ends,
              (std::map<std::string, std::pair<int, std::string>>{{"A.APP", {1, "finished"}},
                                                                  {"GONE.APP", {2, "skipped"}},
                                                                  {"BAD.APP", {3, "failed"}},
                                                                  {"SLOW.APP", {4, "aborted"}}}));
}

TEST_F(CiReportsTest, ABatchThatCannotRunLeavesItsReportAndAnUnwritableReportStopsIt) {
    Catalogue({{"A.APP", "Target=A.OUT\n", 1}});
    // No IDE answers, and none can be started.
    ProgramRun run =
        Zelt({"--make", "project", "Tools", "--start-limit", "1", "--junit", dir_ + "report.xml"});
    EXPECT_EQ(run.exit_code, 2) << run.err;
    EXPECT_EQ(Validate(dir_ + "report.xml").exit_code, 0) << Slurp(dir_ + "report.xml");
    XmlFile xml(dir_ + "report.xml");
    ASSERT_TRUE(xml.ok());
    EXPECT_EQ(xml.Text("string(//testsuite/@name)"), "make project Tools");
    EXPECT_EQ(xml.Text("string(//testsuite/@errors)"), "1");
    EXPECT_EQ(xml.Text("string(//testcase/@name)"), "make project Tools");
    EXPECT_NE(xml.Text("string(//testcase/error/@message)").find("The batch could not run"),
              std::string::npos);

    EXPECT_NE(xml.Text("string(//testcase/system-out)").find("Not run: "), std::string::npos);

    const std::string before = Zelt({"--log"}).out;
    run = Zelt({"--make", "tagged", "--junit", dir_ + "missing/report.xml"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.err.find("the JUnit report cannot be written to " + dir_ + "missing/report.xml"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(Zelt({"--log"}).out, before);                        // nothing was attempted
    EXPECT_EQ(Zelt({"--log", "--junit", "r.xml"}).exit_code, 64);  // wrong usage: a batch's option
}

}  // namespace
}  // namespace zelt::app
