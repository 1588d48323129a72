// The headless mode end to end: the built zelt run as a child process in a folder of its
// own, on real table files, against vxide on a private session bus.
#include <sstream>

#include "tests/headless/headless_fixture.hpp"

namespace zelt::app {
namespace {

TEST_F(HeadlessTest, WrongUsageDamagedSettingsAndUnusableTablesCannotRun) {
    Outcome run = Zelt({"--make", "sometimes"});
    EXPECT_EQ(run.status, 64);  // wrong usage
    EXPECT_NE(run.err.find("--make needs tagged, project NAME or subset"), std::string::npos)
        << run.err;
    EXPECT_EQ(Zelt({"--log", "--empty-log"}).status, 64);

    std::ofstream(dir_ + "ZELT.INI") << "[Preserved]\nNewLog=N\nRetainTags=2\n";
    run = Zelt({"--log"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("ZELT.INI line 3: RetainTags must be 0 or 1"), std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(dir_ + "TEMPFILE.PLM"));  // nothing touched

    // The tables' directory is a file: the runtime's error text says why.
    std::ofstream(dir_ + "notadir") << "x";
    Settings("N", "", dir_ + "notadir/");
    run = Zelt({"--log"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("notadir/TEMPFILE.PLM"), std::string::npos) << run.err;

    EXPECT_EQ(Zelt({"--help"}).status, 0);
}

TEST_F(HeadlessTest, ASettingsFileThatCannotBeReadIsRefusedAtOnceNotTakenForMissing) {
    fs::remove(dir_ + "ZELT.INI");
    ASSERT_EQ(::mkfifo((dir_ + "ZELT.INI").c_str(), 0644), 0);
    Outcome run = Finish(Start({"--log"}), 10000);  // a reader of the FIFO would wait for ever
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(dir_ + "ZELT.INI cannot be read: it is a named pipe (FIFO)"),
              std::string::npos)
        << run.err;
    fs::remove(dir_ + "ZELT.INI");
    fs::create_directory(dir_ + "ZELT.INI");
    run = Zelt({"--make", "tagged"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("ZELT.INI cannot be read: it is a directory"), std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(dir_ + "TEMPFILE.PLM"));  // no blank settings, no tables here
}

TEST_F(HeadlessTest, EmptyLogChangesNothingWithoutYesAndTheLogListsAsCsv) {
    Catalogue({}, 2);
    Outcome run = Zelt({"--empty-log"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Best be sure, chaver: Are you entirely sure? [answered No]"),
              std::string::npos)
        << run.err;
    run = Zelt({"--log", "--csv"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "Application,Date,Time,Event\n\"OLD.APP\",2025/07/01,,\"Make Finished\"\n"
              "\"OLD.APP\",2025/07/02,,\"Make Finished\"\n");
    EXPECT_EQ(Zelt({"--empty-log", "--yes"}).status, 0);
    run = Zelt({"--log"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Go Away: If there was something to show you, I'd show it."),
              std::string::npos);
}

TEST_F(HeadlessTest, PrintLogSavesTheReportAsPdfWithRepeatedNamesBlanked) {
    Catalogue({}, 3);
    Outcome run = Zelt({"--print-log", dir_ + "log.pdf"});
    ASSERT_EQ(run.status, 0) << run.err;
    zelt::testing::ChildProcess text({"pdftotext", "-layout", dir_ + "log.pdf", "-"}, true);
    const std::string pages = text.Finish(20000).first;
    EXPECT_NE(pages.find("ZELT5.5 Activity Log"), std::string::npos) << pages;
    EXPECT_NE(pages.find("Page"), std::string::npos) << pages;
    const std::size_t first = pages.find("OLD.APP");
    EXPECT_NE(first, std::string::npos) << pages;
    EXPECT_EQ(pages.find("OLD.APP", first + 1), std::string::npos) << pages;  // named once a run
    // Written by the program's own PDF writer, not drawn by the toolkit.
    zelt::testing::ChildProcess info({"pdfinfo", dir_ + "log.pdf"}, true);
    const std::string meta = info.Finish(20000).first;
    const std::size_t producer = meta.find("\nProducer:");
    ASSERT_NE(producer, std::string::npos) << meta;
    const std::size_t value = meta.find_first_not_of(' ', producer + 10);
    EXPECT_EQ(meta.substr(value, meta.find('\n', value) - value), "ZELT report writer");

    fs::remove(dir_ + "log.pdf");
    EXPECT_EQ(Zelt({"--empty-log", "--yes"}).status, 0);
    run = Zelt({"--print-log", dir_ + "log.pdf"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(
        run.err.find("Go Away: If there was something to print, I'd print it.\n\nThere isn't."),
        std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(dir_ + "log.pdf"));
}

// What vxcmd says when it asks vxide how many conversations it holds (its own included).
TEST_F(HeadlessTest, MakeTaggedPrintsEachEventAndExitsZeroWhenEveryItemFinished) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    Vxide ide({"--instance", "headless_ok"});
    ASSERT_TRUE(ide.ready());
    Catalogue({{"B.APP", 2, dir_ + "B.OUT"}, {"A.APP", 1, dir_ + "A.OUT"}});

    Outcome run = Zelt({"--make", "tagged", "--wait-limit", "30"});
    EXPECT_EQ(run.status, 0) << run.err;
    const auto at = [&](std::string_view text) { return run.out.find(text); };
    EXPECT_LT(at("A.APP         Begin Make"), at("A.APP         Make Finished"));
    EXPECT_LT(at("A.APP         Make Finished"), at("B.APP         Begin Make"));
    EXPECT_NE(at("B.APP         Make Finished"), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(dir_ + "A.OUT"));
    EXPECT_TRUE(fs::exists(dir_ + "B.OUT"));
    EXPECT_EQ(OpenConversations(), "DATA 1\n");  // only vxcmd's own
}

TEST_F(HeadlessTest, AStartedIdeThatNeverAnswersIsGivenUpAtTheStartLimit) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    Catalogue({{"A.APP", 1, dir_ + "A.OUT"}});
    Settings("N", "/bin/sleep 20", dir_);  // starts, and never answers on the bus
    const auto started = std::chrono::steady_clock::now();
    const Outcome run = Zelt({"--make", "tagged", "--start-limit", "2"});
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find("it did not answer within 2 seconds"), std::string::npos) << run.err;
    EXPECT_GE(took, std::chrono::seconds(2));
    EXPECT_LT(took, std::chrono::seconds(15));  // the limit given, not the default of 30
}

// Table texts are Windows-1252, as plm writes them from its UTF-8 input; the file system,
// the bus, the terminal and the PDF get UTF-8.
TEST_F(HeadlessTest, ACatalogueWrittenByPlmInAFolderNamedCafeIsMadeAndItsLogPrintedAsUtf8) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    Vxide ide({"--instance", "headless_cafe"});
    ASSERT_TRUE(ide.ready());
    Catalogue({{"UNTAGGED.APP", 9, "", false, 0}});  // the tables, with nothing to make
    const std::string folder = dir_ + "caf\xC3\xA9/";
    fs::create_directory(folder);
    std::ofstream(folder + "cr\xC3\xA8me.APP") << "Target=CREME.EXE\n";
    std::ofstream(dir_ + "apps.jsonl")
        << R"({"APP:DRIVENPATH": ")" << folder << R"(", "APP:APPLICATION": "cr\u00e8me.APP", )"
        << R"("APP:PRIORITY": 1, "APP:TARGET": ")" << folder << R"(CREME.EXE", "APP:TAG": 1})"
        << "\n";
    const std::string plm = ZELT_PLM_PATH;
    zelt::testing::ChildProcess load(
        {"/bin/sh", "-c",
         "cd '" + dir_ + "' && '" + plm + "' schema APPS.PLM > apps.json && '" + plm +
             "' load APPS.PLM --schema apps.json < apps.jsonl && '" + plm + "' dump APPS.PLM"},
        true);
    const auto [dumped, loaded] = load.Finish(20000);
    ASSERT_EQ(loaded, 0) << dumped;

    Outcome run = Zelt({"--make", "tagged", "--wait-limit", "30"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(fs::exists(folder + "CREME.EXE"));
    EXPECT_NE(run.out.find("cr\xC3\xA8me.APP     Make Finished"), std::string::npos) << run.out;

    run = Zelt({"--log", "--csv"});
    EXPECT_NE(run.out.find("\"cr\xC3\xA8me.APP\""), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("\xEF\xBF\xBD"), std::string::npos) << "no replacement mark";
    ASSERT_EQ(Zelt({"--print-log", dir_ + "log.pdf"}).status, 0);
    zelt::testing::ChildProcess text({"pdftotext", "-layout", dir_ + "log.pdf", "-"}, true);
    const std::string pages = text.Finish(20000).first;
    EXPECT_NE(pages.find("cr\xC3\xA8me.APP"), std::string::npos) << pages;
    EXPECT_EQ(pages.find("\xEF\xBF\xBD"), std::string::npos) << pages;

    // A name on the command line that no stored name can hold is refused, naming it.
    run = Zelt({"--make", "project",
                "\xC5\x81\xC3\xB3"
                "d\xC5\xBA"});  // Łódź
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("the character \"\xC5\x81\" (U+0141) cannot be stored"),
              std::string::npos)
        << run.err;
}

TEST_F(HeadlessTest, ASkippedItemOrAnUnansweredQuestionExitsOneAndAnUnreachableIdeTwo) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    Catalogue({{"A.APP", 1, dir_ + "A.OUT"}, {"GONE.APP", 2, dir_ + "GONE.OUT", false}});
    // No IDE answers and none can be started.
    Outcome run = Zelt({"--make", "tagged", "--start-limit", "1"});
    EXPECT_EQ(run.status, 2) << run.err;

    Vxide ide({"--instance", "headless_one", "--log", dir_ + "commands.log"});
    ASSERT_TRUE(ide.ready());
    run = Zelt({"--make", "tagged"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.out.find("GONE.APP      .APP not found"), std::string::npos) << run.out;

    // An import asks first; without --yes nothing is sent and nothing is logged.
    std::ofstream(dir_ + "commands.log", std::ios::trunc).close();
    run = Zelt({"--import-app"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(
        run.err.find("Confirm: Are you sure you want to import .TXA into .APP? [answered No]"),
        std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Slurp(dir_ + "commands.log"), "");
}

TEST_F(HeadlessTest, MakeProjectTakesItsNameAndMakeSubsetTheTagsSavedInTf) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    Vxide ide({"--instance", "headless_subset"});
    ASSERT_TRUE(ide.ready());
    // P is in project Tools and untagged; S is tagged on the subsets tab only.
    Catalogue({{"P.APP", 1, dir_ + "P.OUT", true, 0, 1}, {"S.APP", 2, dir_ + "S.OUT", true, 2, 0}});

    Outcome run = Zelt({"--make", "project", "Tools"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("P.APP         Make Finished"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("S.APP"), std::string::npos) << run.out;

    EXPECT_EQ(Zelt({"--make", "subset"}).status, 2);  // RetainTags=0: no saved tags
    Settings("N", "", dir_, 1);
    run = Zelt({"--make", "subset"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("S.APP         Make Finished"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("P.APP"), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(dir_ + "TF.PLM"));  // the saved tags stay
}

TEST_F(HeadlessTest, SigtermDuringAWaitAbortsCleanly) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    Vxide ide({"--instance", "headless_term", "--result-delay", "600000"});
    ASSERT_TRUE(ide.ready());
    Catalogue({{"A.APP", 1, dir_ + "A.OUT"}, {"B.APP", 2, dir_ + "B.OUT"}});

    const pid_t zelt = Start({"--make", "tagged"});
    ASSERT_TRUE(WaitUntil([&] { return OpenConversations() == "DATA 2\n"; }, 30000));
    ASSERT_TRUE(WaitUntil(
        [&] { return Slurp(dir_ + "out.txt").find("Begin Make") != std::string::npos; }, 30000));
    ::kill(zelt, SIGTERM);
    Outcome run = Finish(zelt, 30000);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("SIGTERM received"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("aborted"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("B.APP"), std::string::npos) << run.out;  // no next item
    EXPECT_EQ(OpenConversations(), "DATA 1\n");

    // The log is whole: what was printed is what was stored.
    Outcome log = Zelt({"--log"});
    EXPECT_EQ(log.status, 0);
    EXPECT_NE(log.out.find("A.APP         Begin Make"), std::string::npos) << log.out;
}

TEST_F(HeadlessTest, SigtermWhileTheIdeHoldsItsAnswerEndsTheBatchAtOnce) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    const std::string commands = dir_ + "commands.log";
    Vxide ide({"--instance", "headless_ack", "--ack-delay", "600000", "--log", commands});
    ASSERT_TRUE(ide.ready());
    Catalogue({{"A.APP", 1, dir_ + "A.OUT"}, {"B.APP", 2, dir_ + "B.OUT"}});

    const pid_t zelt = Start({"--make", "tagged"});
    ASSERT_TRUE(WaitUntil([&] { return !Slurp(commands).empty(); }, 30000));
    ::kill(zelt, SIGTERM);
    const std::int64_t sent = zelt::testing::SteadyMs();
    Outcome run = Finish(zelt, 30000);
    EXPECT_LT(zelt::testing::SteadyMs() - sent, 2000);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("zelt: Processing Aborted"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("DDE"), std::string::npos) << run.err;  // no message of a failure
    EXPECT_NE(run.out.find("A.APP         Aborted: the batch was cancelled"), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("B.APP"), std::string::npos) << run.out;

    // So does a signal while a started IDE is awaited (this one never answers).
    ide.process().End();
    ::setenv("XDG_STATE_HOME", folder_.path().c_str(), 1);
    Settings("N", "sleep 5", dir_);
    const pid_t waiting = Start({"--make", "tagged", "--start-limit", "60"});
    ASSERT_TRUE(WaitUntil(
        [&] { return Slurp(dir_ + "err.txt").find("Vextor started") != std::string::npos; },
        30000));
    ::kill(waiting, SIGTERM);
    const std::int64_t signalled = zelt::testing::SteadyMs();
    run = Finish(waiting, 30000);
    EXPECT_LT(zelt::testing::SteadyMs() - signalled, 2000);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("zelt: Processing Aborted"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("Aborted: the batch was cancelled while Vextor was starting"),
              std::string::npos)
        << run.out;
}

TEST_F(HeadlessTest, InAPipeZeltEndsWithTheBatchAndTheIdeItStartedRunsOn) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    ::setenv("XDG_STATE_HOME", folder_.path().c_str(), 1);
    // The IDE ends after a second command, which the test sends once it has seen it run on.
    Settings("N", zelt::testing::kVxidePath + " --instance headless_pipe --exit-after 2", dir_);
    Catalogue({{"A.APP", 1, dir_ + "A.OUT"}});

    const pid_t shell = Start({"/bin/sh", "-c", "\"$0\" --make tagged | cat", kZeltPath}, false);
    Outcome run = Finish(shell, 30000);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("A.APP         Make Finished"), std::string::npos) << run.out;
    const std::string log = dir_ + "zelt/ide.log";
    EXPECT_NE(run.err.find("its output goes to " + log), std::string::npos) << run.err;
    EXPECT_NE(Slurp(log).find("vxide: serving"), std::string::npos);
    EXPECT_EQ(OpenConversations(), "DATA 1\n");  // it runs on, holding only vxcmd's
    zelt::testing::ChildProcess last({zelt::testing::kVxcmdPath, "[Bye]"}, true);
    last.Finish(10000);
}

// The events of the log as `zelt --log --csv` lists them: "NAME: event" lines.
std::vector<std::string> CsvEvents(const std::string& csv) {
    std::vector<std::string> events;
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        const auto name_end = line.find("\",");
        const auto event_start = line.rfind(",\"");
        if (name_end == std::string::npos || event_start == std::string::npos) continue;
        events.push_back(line.substr(1, name_end - 1) + ": " +
                         line.substr(event_start + 2, line.size() - event_start - 3));
    }
    return events;
}

TEST_F(HeadlessTest, BeginMakeIsOnDiskWhileTheIdeHoldsItsAcknowledgement) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    Vxide ide({"--instance", "headless_begin", "--ack-delay", "8000"});
    ASSERT_TRUE(ide.ready());
    Catalogue({{"A.APP", 1, dir_ + "A.OUT"}});

    const pid_t zelt = Start({"--make", "tagged"});
    // Another process reads the log while the command waits for its acknowledgement.
    std::vector<std::string> seen;
    EXPECT_TRUE(WaitUntil(
        [&] {
            seen = CsvEvents(Zelt({"--log", "--csv"}, "-reader").out);
            return !seen.empty();
        },
        7000));
    EXPECT_EQ(seen, std::vector<std::string>{"A.APP: Begin Make"});
    EXPECT_FALSE(fs::exists(dir_ + "A.OUT"));  // not acknowledged yet
    EXPECT_EQ(Finish(zelt).status, 0);
}

TEST_F(HeadlessTest, TwoMakesAndAListingLoopAtOnceLoseNoEventUnsaid) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    Vxide ide({"--instance", "headless_two"});
    ASSERT_TRUE(ide.ready());
    std::vector<App> apps;
    for (int i = 0; i < 200; ++i) {
        const std::string name = "P" + std::to_string(i) + ".APP";
        apps.emplace_back(name, 1, dir_ + "P" + std::to_string(i) + ".OUT", true, 0, i % 2 + 1);
    }
    Catalogue(apps);

    const pid_t tools = Start({"--make", "project", "Tools"}, true, "-tools");
    const pid_t other = Start({"--make", "project", "Other"}, true, "-other");
    int listings = 0;
    const auto running = [](pid_t pid) {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0;
    };
    while (running(tools) || running(other)) {
        Zelt({"--log"}, "-loop");
        ++listings;
    }
    const Outcome runs[] = {Finish(tools, 60000, "-tools"), Finish(other, 60000, "-other")};
    const std::vector<std::string> log = CsvEvents(Zelt({"--log", "--csv"}).out);
    int lost = 0;
    for (const Outcome& run : runs) {
        const auto at = run.err.find(" not written to the activity log");
        if (at == std::string::npos) {
            EXPECT_EQ(run.status, 0) << run.err;
            continue;
        }
        EXPECT_NE(run.status, 0) << run.err;
        lost += std::stoi(run.err.substr(run.err.rfind("; ", at) + 2));
    }
    EXPECT_EQ(static_cast<int>(log.size()) + lost, 400) << runs[0].err << runs[1].err;
    EXPECT_EQ(lost, 0) << runs[0].err << runs[1].err;
    EXPECT_GE(listings, 1);
}

TEST_F(HeadlessTest, ALogThatCannotBeWrittenStopsTheBatchAtItsFirstEvent) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    Vxide ide({"--instance", "headless_full", "--log", dir_ + "commands.log"});
    ASSERT_TRUE(ide.ready());
    Catalogue({{"A.APP", 1, dir_ + "A.OUT"}, {"B.APP", 2, dir_ + "B.OUT"}}, 40);

    // No file of this run may grow past its first kilobyte: the disk is as good as full.
    const pid_t zelt = Start({"bash", "-c", "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"",
                              kZeltPath, "--make", "tagged"},
                             false);
    const Outcome run = Finish(zelt);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find("TEMPFILE.PLM cannot be written: error 90"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("0 finished, 0 skipped, 0 failed, 2 not attempted; 1 event was not "
                           "written"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");  // nothing shown as logged
    EXPECT_EQ(Slurp(dir_ + "commands.log"), "");
}

TEST_F(HeadlessTest, AnUnknownProjectAndItemsNotAttemptedAreSaid) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    Vxide ide({"--instance", "headless_said", "--reject-all"});
    ASSERT_TRUE(ide.ready());
    Catalogue(
        {{"A.APP", 1, dir_ + "A.OUT"}, {"B.APP", 2, dir_ + "B.OUT"}, {"C.APP", 3, dir_ + "C.OUT"}});

    Outcome run = Zelt({"--make", "project", "NoSuch"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("no project named \"NoSuch\""), std::string::npos) << run.err;

    run = Zelt({"--make", "tagged"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("0 finished, 0 skipped, 1 failed, 2 not attempted"), std::string::npos)
        << run.err;
}

TEST_F(HeadlessTest, ListingAndPrintingEndOnASignal) {
    Catalogue({}, 300);
    // Standard output is a small pipe that nobody reads: the listing blocks once it is full.
    int pipe_fds[2];
    ASSERT_EQ(::pipe2(pipe_fds, O_CLOEXEC), 0);
    ::fcntl(pipe_fds[1], F_SETPIPE_SZ, 4096);
    platform::SpawnOptions options;
    options.working_directory = folder_.path();
    options.stdout_fd = pipe_fds[1];
    const int err =
        ::open((dir_ + "err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    options.stderr_fd = err;
    const platform::SpawnOutcome listing = platform::SpawnProcess({kZeltPath, "--log"}, options);
    ::close(pipe_fds[1]);
    ::close(err);
    ASSERT_TRUE(listing.started());
    ::usleep(500000);
    ::kill(listing.pid, SIGTERM);
    const std::optional<int> listed = WaitForExit(listing.pid, 2000);
    ::close(pipe_fds[0]);
    ASSERT_TRUE(listed.has_value());
    EXPECT_TRUE(WIFEXITED(*listed) && WEXITSTATUS(*listed) == 1);
    EXPECT_NE(Slurp(dir_ + "err.txt").find("SIGTERM received: the listing ends"),
              std::string::npos);

    // The report goes to a pipe that nobody opens: saving it blocks.
    ASSERT_EQ(::mkfifo((dir_ + "report.pdf").c_str(), 0644), 0);
    const pid_t printing = Start({"--print-log", dir_ + "report.pdf"});
    ::usleep(500000);
    ::kill(printing, SIGINT);
    const Outcome printed = Finish(printing, 2000);
    EXPECT_EQ(printed.status, 1);
    EXPECT_NE(printed.err.find("SIGINT received: the report is not written"), std::string::npos)
        << printed.err;
}

TEST_F(HeadlessTest, TwoFirstRunsInAFolderWithoutTablesBothOpenThem) {
    for (int round = 0; round < 4; ++round) {
        for (const char* table : {"TEMPFILE.PLM", "APPS.PLM", "PROJECTS.PLM"})
            fs::remove(dir_ + table);
        const pid_t first = Start({"--log"}, true, "-first");
        const pid_t second = Start({"--log"}, true, "-second");
        const Outcome runs[] = {Finish(first, 60000, "-first"), Finish(second, 60000, "-second")};
        for (const Outcome& run : runs) EXPECT_EQ(run.status, 0) << round << ": " << run.err;
    }
}

TEST_F(HeadlessTest, ItemsOnTwoIdesEndInAnyOrderAndEachJsonLineThatEndsOneSaysHow) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    Vxide slow({"--instance", "json_a", "--result-delay", "800"});  // first by name: A.APP
    Vxide quick({"--instance", "json_b", "--result-delay", "50"});
    ASSERT_TRUE(slow.ready() && quick.ready());
    Catalogue({{"A.APP", 1, dir_ + "A.OUT"}, {"B.APP", 1, dir_ + "B.OUT"}});
    const Outcome run = Zelt({"--make", "tagged", "--jobs", "2", "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> finished;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("Make Finished") == std::string::npos) continue;
        finished.push_back(line.substr(line.find("\"application\"")));
    }
    EXPECT_EQ(finished,
              (std::vector<std::string>{
                  "\"application\":\"B.APP\",\"event\":\"Make Finished\",\"item\":2,\"outcome\":"
                  "\"finished\"}",
                  "\"application\":\"A.APP\",\"event\":\"Make Finished\",\"item\":1,\"outcome\":"
                  "\"finished\"}"}))
        << run.out;
}

TEST_F(HeadlessTest, SigtermWithSeveralItemsInFlightEndsThemAllAndEachHasItsTestCase) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    std::vector<std::unique_ptr<Vxide>> ides;
    for (const char* instance : {"jobs_a", "jobs_b", "jobs_c"}) {
        ides.push_back(std::make_unique<Vxide>(
            std::vector<std::string>{"--instance", instance, "--result-delay", "600000"}));
        ASSERT_TRUE(ides.back()->ready());
    }
    Catalogue({{"A.APP", 1, dir_ + "A.OUT"},
               {"B.APP", 1, dir_ + "B.OUT"},
               {"C.APP", 1, dir_ + "C.OUT"},
               {"D.APP", 2, dir_ + "D.OUT"}});

    const pid_t zelt = Start({"--make", "tagged", "--jobs", "3", "--junit", dir_ + "junit.xml"});
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::string out = Slurp(dir_ + "out.txt");
            return out.find("C.APP         Begin Make") != std::string::npos;
        },
        30000));
    const auto signalled = std::chrono::steady_clock::now();
    ::kill(zelt, SIGTERM);
    Outcome run = Finish(zelt, 30000);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(2));
    EXPECT_EQ(run.status, 1) << run.err;
    for (const char* name : {"A.APP", "B.APP", "C.APP"})
        EXPECT_NE(run.out.find(std::string(name) + "         Aborted: the batch was cancelled"),
                  std::string::npos)
            << run.out;
    EXPECT_EQ(run.out.find("D.APP"), std::string::npos) << run.out;  // a stage never begun
    EXPECT_EQ(OpenConversations(), "DATA 1\n");                      // only vxcmd's own
    // One test case each, the three in flight aborted and the fourth not reached.
    const std::string junit = Slurp(dir_ + "junit.xml");
    std::size_t cases = 0;
    for (std::size_t at = junit.find("<testcase"); at != std::string::npos;
         at = junit.find("<testcase", at + 1))
        ++cases;
    EXPECT_EQ(cases, 4u) << junit;
    for (const char* name : {"\"A.APP\"", "\"B.APP\"", "\"C.APP\"", "\"D.APP\""})
        EXPECT_NE(junit.find(name), std::string::npos) << junit;
}

}  // namespace
}  // namespace zelt::app
