// vxcmd against vxide: what a user scripting the IDE from a shell sees, and the stand-in's
// real work on files.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/ide/ide_commands.hpp"
#include "tests/dbus/own_conversation.hpp"
#include "tests/dbus/process_support.hpp"
#include "tools/vxide/standin_files.hpp"

namespace zelt::testing {
namespace {

ProgramRun Vxcmd(std::vector<std::string> args) {
    args.insert(args.begin(), kVxcmdPath);
    return RunProgram(args);
}

std::string Read(const std::string& path) {
    std::string error;
    return vxide::ReadWholeFile(path, &error).value_or("<missing: " + error + ">");
}

void Write(const std::string& path, const std::string& content) {
    std::string error;
    ASSERT_TRUE(vxide::WriteFileAtomically(path, content, &error)) << error;
}

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

class VxcmdWithVxide : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(bus.ready()); }
    PrivateBus bus;
    TempFolder folder;
};

TEST_F(VxcmdWithVxide, AMakeIsAcknowledgedAndItsTargetWritten) {
    Vxide server({"--instance", "make"});
    ASSERT_TRUE(server.ready());
    Write(folder / "ORDERS.APP", "Target=bin/ORDERS.EXE\n");
    ASSERT_EQ(::mkdir((folder / "bin").c_str(), 0755), 0);
    const ProgramRun run = Vxcmd({"[ExecuteProject(\"" + (folder / "ORDERS.APP") + "\")]"});
    EXPECT_EQ(run.out, "OK\n");
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_TRUE(WaitUntil([&] { return Exists(folder / "bin/ORDERS.EXE"); }));
    EXPECT_TRUE(Read(folder / "bin/ORDERS.EXE")
                    .starts_with("Made by vxide from " + (folder / "ORDERS.APP")));
}

TEST_F(VxcmdWithVxide, AnUnknownCommandPrintsTheRuntimeAndTheIdeError) {
    Vxide server({"--instance", "unknown"});
    ASSERT_TRUE(server.ready());
    const ProgramRun run =
        Vxcmd({"[Compile(\"x\")]", "--request", "GetErrorNum", "--request", "NoSuchItem"});
    EXPECT_EQ(run.out,
              "ERROR 603 DDEexecute - invalid command\n"
              "IDE 1 : Unknown command: Compile\n"
              "DATA 1\n"
              "NACK\n");
    EXPECT_EQ(run.exit_code, 1);
}

TEST_F(VxcmdWithVxide, NoServerTimeOutsAndWrongArguments) {
    ProgramRun run = Vxcmd({"--service", "Nobody", "[A]"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "vxcmd: no server answered for service Nobody\n");
    EXPECT_EQ(run.exit_code, 2);

    Vxide server({"--instance", "slow", "--never-ack"});
    ASSERT_TRUE(server.ready());
    run = Vxcmd({"--timeout", "0", "[A]"});
    EXPECT_EQ(run.out, "ERROR 605 DDE transaction timed out\n");
    EXPECT_EQ(run.exit_code, 1);
    // Wrong usage has a status of its own, and says so on standard error.
    for (const auto& args : {std::vector<std::string>{"--timeout", "soon"},
                             {"--bogus"},
                             {"--request"},
                             {"--timeout", "1844674407370956"},
                             {"--timeout", "3153600001"},
                             {"--timeout", "99999999999999999999"}}) {
        run = Vxcmd(args);
        EXPECT_EQ(run.exit_code, 64) << args[0];
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with("vxcmd: ")) << run.err;
        // A time-out too long to wait is refused naming the longest one.
        if (args[0] == "--timeout") {
            EXPECT_NE(run.err.find("3153600000"), std::string::npos);
        }
    }
}

TEST_F(VxcmdWithVxide, AStoppedServerIsToldApartFromNoServer) {
    Vxide server({"--instance", "stopped"});
    ASSERT_TRUE(server.ready());
    ::kill(server.process().pid(), SIGSTOP);
    const ProgramRun run = Vxcmd({"[A]"});
    ::kill(server.process().pid(), SIGCONT);
    EXPECT_EQ(run.err, "vxcmd: org.zelt.Dde.Server.stopped did not answer within 5 seconds\n");
    EXPECT_EQ(run.exit_code, 2);
}

TEST_F(VxcmdWithVxide, ACommandThatIsNotSentOrNotAnsweredSaysWhy) {
    Vxide server({"--instance", "frob", "--log", folder / "log"});
    ASSERT_TRUE(server.ready());
    ProgramRun run = Vxcmd({"[Frob()]", "[ExecuteProject(\"/src/\xff.APP\")]"});
    EXPECT_EQ(run.out,
              "ERROR 603 DDEexecute - invalid command\n"
              "IDE 1 : Unknown command: Frob\n"
              "ERROR 603 DDEexecute - invalid command\n"
              "NOT SENT : it is not UTF-8 text (byte 23 is \\xFF): "
              "[ExecuteProject(\"/src/\\xFF.APP\")]\n");
    std::ifstream log(folder / "log");
    EXPECT_EQ(std::count(std::istreambuf_iterator<char>(log), {}, '\n'),
              1);  // only [Frob()] arrived

    Vxide vanishing({"--instance", "a_vanishing", "--never-ack", "--exit-after", "1"});
    ASSERT_TRUE(vanishing.ready());
    run = Vxcmd({"[A]"});
    EXPECT_EQ(
        run.out,
        "ERROR 603 DDEexecute - invalid command\nGONE : the IDE went away before it answered\n");
    EXPECT_EQ(run.exit_code, 1);
}

TEST_F(VxcmdWithVxide, ExportAndImportRoundTripTheContent) {
    Vxide server({"--instance", "convert"});
    ASSERT_TRUE(server.ready());
    const std::string app = "Target=ORDERS.EXE\n; kept as it is\nBuild=\n";
    const std::string dictionary("DCT\0\x01\x02\xff binary", 14);
    Write(folder / "ORDERS.APP", app);
    Write(folder / "ORDERS.DCT", dictionary);
    const std::string f = folder / "ORDERS";
    ProgramRun run = Vxcmd({app::ExportApplicationCommand(f), app::ExportDictionaryCommand(f)});
    ASSERT_EQ(run.out, "OK\nOK\n");  // the application's ".App" is found as ".APP"
    ASSERT_TRUE(WaitUntil([&] { return Exists(f + ".TXA") && Exists(f + ".TXD"); }));

    ASSERT_EQ(::unlink((f + ".APP").c_str()), 0);
    ASSERT_EQ(::unlink((f + ".DCT").c_str()), 0);
    run = Vxcmd({app::ImportApplicationCommand(f), app::ImportDictionaryCommand(f)});
    ASSERT_EQ(run.out, "OK\nOK\n");
    ASSERT_TRUE(WaitUntil([&] { return Exists(f + ".APP") && Exists(f + ".DCT"); }));
    EXPECT_EQ(Read(f + ".APP"), app);
    EXPECT_EQ(Read(f + ".DCT"), dictionary);

    // A missing source is rejected before anything is written.
    run = Vxcmd({app::ImportDictionaryCommand(folder / "NONE")});
    EXPECT_EQ(run.out, "ERROR 603 DDEexecute - invalid command\nIDE 3 : Source file not found: " +
                           (folder / "NONE.TXD") + "\n");
    EXPECT_FALSE(Exists(folder / "NONE.DCT"));
}

TEST_F(VxcmdWithVxide, BuildsRunWithoutAShellAndDecideTheTarget) {
    Vxide server({"--instance", "builds"});
    ASSERT_TRUE(server.ready());
    // A build that makes its own target keeps it; the arguments arrive as split.
    Write(folder / "REAL.APP",
          "Target=REAL.EXE\nBuild=sh -c 'printf \"%s\" \"$1\" > REAL.EXE' sh 'real $HOME'\n");
    // A build that makes nothing gets the stand-in's target.
    Write(folder / "PLAIN.APP", "Target=PLAIN.EXE\nBuild=true\n");
    // A failing build leaves no target and records the error.
    Write(folder / "BROKEN.APP", "Target=BROKEN.EXE\nBuild=sh -c 'exit 5'\n");
    // No target: rejected.
    Write(folder / "NOTARGET.APP", "Build=true\n");

    ProgramRun run =
        Vxcmd({app::MakeCommand(folder / "REAL.APP"), app::MakeCommand(folder / "PLAIN.APP")});
    EXPECT_EQ(run.out, "OK\nOK\n");
    EXPECT_TRUE(
        WaitUntil([&] { return Exists(folder / "REAL.EXE") && Exists(folder / "PLAIN.EXE"); }));
    EXPECT_EQ(Read(folder / "REAL.EXE"), "real $HOME");
    EXPECT_TRUE(Read(folder / "PLAIN.EXE").starts_with("Made by vxide"));

    // A build's failure is the error of the conversation that asked for it: one kept open
    // reads it once the build has ended.
    OwnConversation own;
    ASSERT_TRUE(own.open());
    EXPECT_EQ(own.Execute(app::MakeCommand(folder / "BROKEN.APP")), 0);
    EXPECT_TRUE(WaitUntil([&] { return own.Request("GetErrorNum") == "7"; }));
    EXPECT_EQ(own.Request("GetErrorMsg"),
              "The build of " + (folder / "BROKEN.APP") + " failed with status 5");
    EXPECT_FALSE(Exists(folder / "BROKEN.EXE"));
    // A line written for a shell fails, and says why.
    Write(folder / "PIPED.APP", "Target=PIPED.EXE\nBuild=false | true\n");
    EXPECT_EQ(own.Execute(app::MakeCommand(folder / "PIPED.APP")), 0);
    EXPECT_TRUE(WaitUntil([&] {
        return own.Request("GetErrorMsg") ==
               "The build of " + (folder / "PIPED.APP") +
                   " failed with status 1; the command line is not run by a shell, so \"|\" has no "
                   "meaning in it";
    }));
    // Another conversation has errors of its own.
    EXPECT_EQ(Vxcmd({"--request", "GetErrorNum", "--request", "GetErrorMsg"}).out,
              "DATA 0\nDATA No error\n");

    run = Vxcmd({app::MakeCommand(folder / "NOTARGET.APP")});
    EXPECT_EQ(run.out,
              "ERROR 603 DDEexecute - invalid command\nIDE 4 : The application names no target: " +
                  (folder / "NOTARGET.APP") + "\n");
}

TEST_F(VxcmdWithVxide, DelaysHoldBackTheAcknowledgementAndTheResult) {
    Vxide server({"--instance", "delays", "--ack-delay", "300", "--result-delay", "700", "--log",
                  folder / "log"});
    ASSERT_TRUE(server.ready());
    Write(folder / "A.APP", "Target=A.EXE\n");
    const std::int64_t sent = SteadyMs();
    const ProgramRun run = Vxcmd({app::MakeCommand(folder / "A.APP")});
    const std::int64_t acknowledged = SteadyMs();
    EXPECT_EQ(run.out, "OK\n");
    EXPECT_GE(acknowledged - sent, 300);
    ASSERT_TRUE(WaitUntil([&] { return Exists(folder / "A.EXE"); }, 10000));
    EXPECT_GE(SteadyMs() - sent, 1000);
    std::ifstream log(folder / "log");
    std::string line;
    std::getline(log, line);
    EXPECT_EQ(line, app::MakeCommand(folder / "A.APP"));  // exactly as received, blanks and all
}

TEST_F(VxcmdWithVxide, BuildsTakeTheirDelayOneAtATime) {
    Vxide server({"--instance", "builder", "--build-delay", "400"});
    ASSERT_TRUE(server.ready());
    Write(folder / "A.APP", "Target=A.EXE\n");
    Write(folder / "B.APP", "Target=B.EXE\n");
    const std::int64_t sent = SteadyMs();
    EXPECT_EQ(Vxcmd({app::MakeCommand(folder / "A.APP")}).out, "OK\n");
    EXPECT_EQ(Vxcmd({app::MakeCommand(folder / "B.APP")}).out, "OK\n");  // while A builds
    ASSERT_TRUE(WaitUntil([&] { return Exists(folder / "A.EXE"); }, 10000));
    EXPECT_GE(SteadyMs() - sent, 400);
    EXPECT_FALSE(Exists(folder / "B.EXE")) << "B built beside A";
    ASSERT_TRUE(WaitUntil([&] { return Exists(folder / "B.EXE"); }, 10000));
    EXPECT_GE(SteadyMs() - sent, 800);
}

}  // namespace
}  // namespace zelt::testing
