// The tools and scripts as a new user meets them: what every program says to --help,
// --version and a wrong option, the tools without a session bus, the test script's stages
// and the time-out of every test.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <sstream>

#include <nlohmann/json.hpp>
#include "tests/dbus/process_support.hpp"

namespace zelt::testing {
namespace {

const std::string kSourceRoot = ZELT_SOURCE_ROOT;
const std::string kBuildRoot = ZELT_BUILD_ROOT;

void WriteScript(const std::string& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    ::chmod(path.c_str(), 0755);
}

std::vector<std::string> Programs() {
    std::vector<std::string> programs = {kVxidePath, kVxcmdPath, ZELT_PLM_PATH, ZELT_ZELT_PATH};
#ifdef ZELT_WINDOW_DEMO_PATH
    programs.push_back(ZELT_WINDOW_DEMO_PATH);
#endif
    return programs;
}

std::string BaseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

TEST(Programs, AnswerHelpAndVersionAndRefuseUnknownOptions) {
    for (const std::string& program : Programs()) {
        const std::string name = BaseName(program);
        ProgramRun run = RunProgram({program, "--help"}, 20000);
        EXPECT_EQ(run.exit_code, 0) << name;
        EXPECT_TRUE(run.out.starts_with("usage: " + name)) << name << ": " << run.out;
        run = RunProgram({program, "--version"}, 20000);
        EXPECT_EQ(run.exit_code, 0) << name;
        EXPECT_EQ(run.out, name + " (ZELT) " + ZELT_VERSION + "\n");
        run = RunProgram({program, "--no-such-option"}, 20000);
        EXPECT_GT(run.exit_code, 0) << name;
        EXPECT_EQ(run.out, "") << name;
        EXPECT_TRUE(run.err.starts_with(name + ": ")) << name << ": " << run.err;
    }
}

// One convention for the four programs: --help and --version win wherever they stand (the
// first one on the line is answered), a wrong line exits 64 naming what was wrong, and
// --help lists the exit statuses.
TEST(Programs, FollowOneUsageConvention) {
    for (const std::string& program :
         {kVxidePath, kVxcmdPath, std::string(ZELT_PLM_PATH), std::string(ZELT_ZELT_PATH)}) {
        const std::string name = BaseName(program);
        const std::string version = name + " (ZELT) " + ZELT_VERSION + "\n";
        struct Case {
            std::vector<std::string> args;
            bool help;
        };
        for (const Case& c :
             {Case{{"--version", "--help"}, false}, Case{{"--help", "--version"}, true},
              Case{{"--bogus", "--help"}, true}, Case{{"--help", "--bogus"}, true},
              Case{{"--timeout", "--version"}, false}}) {
            std::vector<std::string> line = c.args;
            line.insert(line.begin(), program);
            const ProgramRun run = RunProgram(line, 20000);
            EXPECT_EQ(run.exit_code, 0) << name << " " << c.args[0] << " " << c.args[1];
            if (c.help) {
                EXPECT_TRUE(run.out.starts_with("usage: " + name)) << name << ": " << run.out;
                EXPECT_NE(run.out.find("xit status"), std::string::npos) << name;  // Exit or exit
                EXPECT_NE(run.out.find("64"), std::string::npos) << name;
            } else {
                EXPECT_EQ(run.out, version) << name;
            }
        }
        const ProgramRun wrong = RunProgram({program, "--bogus"}, 20000);
        EXPECT_EQ(wrong.exit_code, 64) << name;
        EXPECT_TRUE(wrong.err.starts_with(name + ": ")) << name << ": " << wrong.err;
        EXPECT_NE(wrong.err.find("--bogus"), std::string::npos) << name << ": " << wrong.err;
    }
}

TEST(Programs, WithoutASessionBusTheBusToolsSaySoAndHowToStartOne) {
    for (const std::string& program : {kVxidePath, kVxcmdPath}) {
        const ProgramRun run = RunProgram(
            {"env", "-u", "DBUS_SESSION_BUS_ADDRESS", "-u", "XDG_RUNTIME_DIR", program}, 20000);
        EXPECT_GT(run.exit_code, 0);
        EXPECT_NE(run.err.find("no session bus is running"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("dbus-run-session -- "), std::string::npos) << run.err;
    }
}

// The README's tool commands, run as a user would run them one after the other from the
// top of a clone, in this test's build tree: the README builds them into build/release, so
// that prefix stands for this tree; its cmake lines are checked to build there.
TEST(Readme, TheToolCommandsWorkAsWritten) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    std::ifstream readme(kSourceRoot + "/README.md");
    std::vector<std::string> block;
    bool in_block = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.starts_with("    ") &&
            (in_block || line.find("tools/vxide/vxide") != std::string::npos)) {
            in_block = true;
        }
        if (in_block && !line.starts_with("    ")) break;
        if (in_block) block.push_back(line.substr(4));
    }
    ASSERT_FALSE(block.empty());

    const std::string tree = "build/release/";
    const std::string scratch =
        "/tmp/zelt-tools";  // the README's folder, here one of the test's own
    TempFolder folder;
    std::unique_ptr<ChildProcess> server;
    std::string last_output;
    for (std::string line : block) {
        if (line.starts_with("cmake ")) {
            EXPECT_NE(line.find(" build/release"), std::string::npos) << line;
            continue;
        }
        for (std::size_t p; (p = line.find(tree)) != std::string::npos;)
            line.replace(p, tree.size(), kBuildRoot + "/");
        for (std::size_t p; (p = line.find(scratch)) != std::string::npos;)
            line.replace(p, scratch.size(), folder.path());
        if (line == "kill %1") {
            ASSERT_TRUE(server);
            server.reset();
        } else if (line.ends_with(" &")) {
            server = std::make_unique<ChildProcess>(
                std::vector<std::string>{"bash", "-c", "exec " + line.substr(0, line.size() - 2)});
            const std::optional<std::string> serving = server->ReadOutputLine();
            ASSERT_TRUE(serving && serving->starts_with("vxide: serving ")) << line;
        } else {
            const ProgramRun run = RunProgram({"bash", "-c", line});
            EXPECT_EQ(run.exit_code, 0) << line << "\n" << run.err;
            last_output = run.out;
        }
    }
    EXPECT_EQ(last_output, "OK\nDATA No error\n");
    EXPECT_FALSE(server);  // the README ends what it started
}

// Stand-ins for the programs the test script runs, so that only the script's own steps run.
TEST(TestScript, PrintsALinePerStage) {
    TempFolder folder;
    const std::string bin = folder / "bin";
    ::mkdir(bin.c_str(), 0755);
    WriteScript(bin + "/dpkg-query", "printf 'install ok installed'\n");
    WriteScript(bin + "/npm", "true\n");
    WriteScript(bin + "/cmake", "echo \"cmake $*\" >> \"" + (folder / "calls") + "\"\n");
    WriteScript(bin + "/dbus-run-session", "echo \"bus $*\" >> \"" + (folder / "calls") + "\"\n");
    const ProgramRun run = RunProgram(
        {"env", "PATH=" + bin + ":/usr/bin:/bin", "ZELT_TEST_BUILD=" + (folder / "tree"),
         "ZELT_TOOLS_CACHE=" + (folder / "tools"), "bash", kSourceRoot + "/scripts/test"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    std::vector<std::string> stages;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("== ")) stages.push_back(line.substr(3, line.find(' ', 3) - 3));
    }
    EXPECT_EQ(stages,
              (std::vector<std::string>{"installing", "configuring", "building", "testing"}))
        << run.out;
}

// A hang must fail as one test, not stall the whole run: every test has a time-out of at
// most two minutes, but for the CI pipelines' run (three; tests/CMakeLists.txt says why).
TEST(TestScript, EveryTestHasATimeOut) {
    const ProgramRun run = RunProgram({"ctest", "--test-dir", kBuildRoot, "--show-only=json-v1"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const auto info = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(info.is_discarded());
    ASSERT_TRUE(info.contains("tests") && info["tests"].is_array());
    const auto& tests = info["tests"];
    EXPECT_GT(tests.size(), 100u);
    std::vector<std::string> without;  // tests with no time-out or a longer one
    for (const auto& test : tests) {
        double timeout = 0;
        for (const auto& property : test.value("properties", nlohmann::json::array()))
            if (property.value("name", "") == "TIMEOUT") timeout = property.value("value", 0.0);
        const double limit =
            test.value("name", "") == "CiPipelines.RunLocallyAndValidate" ? 180 : 120;
        if (timeout <= 0 || timeout > limit) without.push_back(test.value("name", ""));
    }
    EXPECT_TRUE(without.empty()) << without.size() << " tests, among them " << without.front();
}

}  // namespace
}  // namespace zelt::testing
