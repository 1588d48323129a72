// Splitting command lines into words and starting programs without a shell.
#include <gtest/gtest.h>

#include "platform/spawn/command_line.hpp"
#include "platform/spawn/spawn_process.hpp"
#include "tests/dbus/process_support.hpp"

namespace zelt::platform {
namespace {

using Words = std::vector<std::string>;

TEST(CommandLine, SplitsLikeAShellWithoutExpanding) {
    EXPECT_EQ(SplitCommandLine("  vxide   --log  x  "), Words({"vxide", "--log", "x"}));
    EXPECT_EQ(SplitCommandLine("'/opt/my ide/vx' \"a b\" c\\ d"),
              Words({"/opt/my ide/vx", "a b", "c d"}));
    EXPECT_EQ(SplitCommandLine("a'b c'\"d\"e"), Words({"ab cde"}));
    EXPECT_EQ(SplitCommandLine("'' x"), Words({"", "x"}));
    // Nothing is expanded and no shell syntax has a meaning.
    EXPECT_EQ(SplitCommandLine("$HOME *.APP ; rm -rf / | `x`"),
              Words({"$HOME", "*.APP", ";", "rm", "-rf", "/", "|", "`x`"}));
    EXPECT_EQ(SplitCommandLine("'it''s' \"say \\\"hi\\\" \\n\""), Words({"its", "say \"hi\" \\n"}));
    EXPECT_EQ(SplitCommandLine(""), Words{});
    EXPECT_EQ(SplitCommandLine(" \t\n"), Words{});
}

TEST(CommandLine, UnterminatedQuotesAreErrors) {
    std::string error;
    EXPECT_FALSE(SplitCommandLine("vx 'open", &error));
    EXPECT_EQ(error, "a single quote is not closed");
    EXPECT_FALSE(SplitCommandLine("vx \"open", &error));
    EXPECT_EQ(error, "a double quote is not closed");
    EXPECT_FALSE(SplitCommandLine("vx \\", &error));
    EXPECT_FALSE(error.empty());
}

TEST(Spawn, StartsProgramsAndReportsWhyNot) {
    SpawnOutcome missing = SpawnCommandLine("/nonexistent/vextor --x");
    EXPECT_FALSE(missing.started());
    EXPECT_EQ(missing.reason, "/nonexistent/vextor: No such file or directory");
    EXPECT_FALSE(SpawnCommandLine("   ").started());
    EXPECT_EQ(SpawnCommandLine("vx 'open").reason,
              "the command line cannot be read: a single quote is not closed");

    // Arguments arrive exactly as split, in the given folder, with no shell in between.
    testing::TempFolder folder;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    SpawnOptions options;
    options.working_directory = folder.path();
    options.stdout_fd = fds[1];
    SpawnOutcome outcome =
        SpawnCommandLine("sh -c 'pwd; printf \"%s|\" \"$@\"' zero 'a b' '$HOME'", options);
    ::close(fds[1]);
    ASSERT_TRUE(outcome.started());
    EXPECT_EQ(testing::ReadLine(fds[0], 10000), folder.path());
    EXPECT_EQ(testing::ReadLine(fds[0], 10000), std::nullopt);  // the rest has no line end
    ::close(fds[0]);
    auto status = testing::WaitForExit(outcome.pid, 10000);
    ASSERT_TRUE(status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
}

TEST(Spawn, SaysWhichIsMissingAndThatNoShellIsUsed) {
    SpawnOptions options;
    options.working_directory = "/nonexistent/folder";
    EXPECT_EQ(SpawnProcess({"/bin/true"}, options).reason,
              "the working directory /nonexistent/folder: No such file or directory");
    options.working_directory = "/bin/true";
    EXPECT_EQ(SpawnProcess({"/bin/true"}, options).reason,
              "the working directory /bin/true is not a folder");

    const std::string no_shell = "; the command line is not run by a shell, so ";
    EXPECT_EQ(SpawnCommandLine("cd /tmp && make").reason,
              "cd: No such file or directory" + no_shell + "\"&&\" has no meaning in it");
    EXPECT_EQ(ShellSyntaxNote("make all | tee log"),
              "the command line is not run by a shell, so \"|\" has no meaning in it");
    EXPECT_EQ(ShellSyntaxNote("make >log 2>&1"),
              "the command line is not run by a shell, so \">\" has no meaning in it");
    EXPECT_EQ(ShellSyntaxNote("make; make install"),
              "the command line is not run by a shell, so \";\" has no meaning in it");
    EXPECT_EQ(ShellSyntaxNote("make 'a|b' \"x > y\" c\\;d"), "");  // quoted: meant as they stand
    EXPECT_EQ(ShellSyntaxNote("/opt/vx/vxide --log /tmp/x"), "");
}

TEST(Spawn, StartedProgramsAreReapedAsTheyEnd) {
    SpawnServerStarter starter;
    ASSERT_TRUE(starter.Start("true").started);
    const pid_t pid = starter.LastProcess();
    // Nothing is asked of the starter meanwhile: a zombie would still answer kill(pid, 0).
    EXPECT_TRUE(testing::WaitUntil([&] { return ::kill(pid, 0) != 0; }));
    ASSERT_TRUE(starter.Start("false | true").started);
    EXPECT_TRUE(testing::WaitUntil([&] { return !starter.EndedInFailure().empty(); }));
    EXPECT_EQ(starter.EndedInFailure(),
              "the command ended with exit status 1; the command line is not run by a "
              "shell, so \"|\" has no meaning in it");
}

TEST(Spawn, StarterTellsWhenTheProgramEndedInFailure) {
    SpawnServerStarter starter;
    EXPECT_FALSE(starter.Start("/nonexistent/vextor").started);
    ASSERT_TRUE(starter.Start("sh -c 'exit 3'").started);
    EXPECT_TRUE(testing::WaitUntil([&] { return !starter.EndedInFailure().empty(); }));
    EXPECT_EQ(starter.EndedInFailure(), "the command ended with exit status 3");

    // A launcher that ends well is no failure: the real program may run on.
    ASSERT_TRUE(starter.Start("true").started);
    const pid_t pid = starter.LastProcess();
    EXPECT_TRUE(testing::WaitUntil([&] {
        starter.EndedInFailure();
        return ::kill(pid, 0) != 0;  // reaped
    }));
    EXPECT_EQ(starter.EndedInFailure(), "");
}

TEST(Spawn, TheStarterReportsOnlyTheLatestProgramsFailure) {
    SpawnServerStarter starter;
    ASSERT_TRUE(starter.Start("sh -c 'sleep 0.3; exit 4'").started);
    const pid_t first = starter.LastProcess();
    ASSERT_TRUE(starter.Start("sh -c 'sleep 1; exit 5'").started);
    // The first one fails while the second runs: no failure of the latest start, and
    // nothing of the first's is kept for later.
    EXPECT_TRUE(testing::WaitUntil([&] { return ::kill(first, 0) != 0; }));
    EXPECT_EQ(starter.EndedInFailure(), "");
    EXPECT_TRUE(testing::WaitUntil([&] { return !starter.EndedInFailure().empty(); }));
    EXPECT_EQ(starter.EndedInFailure(), "the command ended with exit status 5");
}

}  // namespace
}  // namespace zelt::platform
