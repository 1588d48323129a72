// The stand-in IDE's command parser and files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "runtime/conversation/conversation_client.hpp"
#include "tests/dbus/process_support.hpp"
#include "tools/vxide/ide_command.hpp"
#include "tools/vxide/standin_files.hpp"

namespace zelt::vxide {
namespace {

IdeCommand Parsed(std::string_view text) {
    auto result = ParseIdeCommand(text);
    if (auto* error = std::get_if<CommandError>(&result)) {
        ADD_FAILURE() << text << ": " << error->message;
        return {};
    }
    return std::get<IdeCommand>(result);
}

CommandError Rejected(std::string_view text) {
    auto result = ParseIdeCommand(text);
    if (!std::holds_alternative<CommandError>(result)) {
        ADD_FAILURE() << text << " was accepted";
        return {};
    }
    return std::get<CommandError>(result);
}

TEST(StandinCommands, TheFiveFormsParseWithTrailingBlanks) {
    IdeCommand c = Parsed(runtime::PadCommand("[ImportDCT(\"/w/O.TXD\",/w/O.DCT,0)]"));
    EXPECT_EQ(c.kind, CommandKind::ImportDictionary);
    EXPECT_EQ(c.source, "/w/O.TXD");
    EXPECT_EQ(c.destination, "/w/O.DCT");
    c = Parsed("[ImportApp(\"/w/O.TXA\",/w/O.APP,0,Replace)]");
    EXPECT_EQ(c.kind, CommandKind::ImportApplication);
    EXPECT_EQ(c.destination, "/w/O.APP");
    c = Parsed("[ExecuteProject(\"/my apps/O.APP\")]   ");
    EXPECT_EQ(c.kind, CommandKind::Make);
    EXPECT_EQ(c.source, "/my apps/O.APP");
    c = Parsed("[ExportApp(\"/w/O.App\",\"/w/O.TXA\",0)]");
    EXPECT_EQ(c.kind, CommandKind::ExportApplication);
    EXPECT_EQ(c.destination, "/w/O.TXA");
    c = Parsed("[ExportDCT(\"/w/O.DCT\",\"/w/O.TXD\",0)]");
    EXPECT_EQ(c.kind, CommandKind::ExportDictionary);
}

TEST(StandinCommands, AnythingElseIsRejectedWithANumberAndText) {
    CommandError e = Rejected("[Compile(\"x\")]");
    EXPECT_EQ(e.number, ide_error::UnknownCommand);
    EXPECT_EQ(e.message, "Unknown command: Compile");
    for (std::string_view bad : {
             "",                                     // empty
             "ExecuteProject(\"a\")",                // no brackets
             "[ExecuteProject(\"a\")] x",            // text after the call
             "[ExecuteProject(a)]",                  // must be quoted
             "[ExecuteProject(\"a)]",                // open quote
             "[ExecuteProject(\"\")]",               // empty name
             "[ExecuteProject(\"a\",\"b\")]",        // too many
             "[ImportDCT(\"a.TXD\",\"a.DCT\",0)]",   // destination must be bare
             "[ImportDCT(\"a.TXD\",a.DCT,x)]",       // not a number
             "[ImportApp(\"a.TXA\",a.APP,0)]",       // no Replace
             "[ImportApp(\"a.TXA\",a.APP,0,Keep)]",  // not Replace
             "[ExportApp(\"a.App\",a.TXA,0)]",       // destination must be quoted
             "[ExportDCT(\"a.DCT\",\"a.TXD\",0,)]",  // trailing comma
             "[ExportDCT(\"a.DCT\"x,\"a.TXD\",0)]",  // text after a quote
             "\t[ExecuteProject(\"a\")]",            // leading blank
         }) {
        EXPECT_EQ(Rejected(bad).number, ide_error::MalformedCommand) << bad;
    }
    // An unquoted destination cannot hold a comma: the message says so.
    for (std::string_view comma : {"[ImportDCT(\"/w/a,b.TXD\",/w/a,b.DCT,0)]",
                                   "[ImportApp(\"/w/a,b,c.TXA\",/w/a,b,c.APP,0,Replace)]"}) {
        const std::string message = Rejected(comma).message;
        EXPECT_TRUE(message.starts_with("Malformed command: the destination /w/a,b")) << message;
        EXPECT_TRUE(
            message.ends_with(" contains a comma, which an unquoted destination cannot hold"))
            << message;
    }
}

TEST(StandinFiles, ApplicationFileKeysAndRelativePaths) {
    ApplicationFile f = ParseApplicationFile(
        "; comment\n  target = bin/O.EXE \r\nBUILD=make \"all of it\"\nWorkDir=src\nother line\n# "
        "Target=x\n",
        "/w/apps/O.APP");
    EXPECT_EQ(f.target, "/w/apps/bin/O.EXE");
    EXPECT_EQ(f.build, "make \"all of it\"");
    EXPECT_EQ(f.working_directory, "/w/apps/src");
    f = ParseApplicationFile("Target=/abs/O.DLL", "O.APP");
    EXPECT_EQ(f.target, "/abs/O.DLL");
    EXPECT_EQ(f.working_directory, ".");
    EXPECT_EQ(ParseApplicationFile("Build=x", "/w/O.APP").target, "");
}

TEST(StandinFiles, TextFormsRoundTripTextAndBinary) {
    const std::string text = "Target=O.EXE\nlast line without end";
    const std::string binary("\0\x01\xff\n\x7fzz", 7);
    const std::string long_binary(1000, '\x02');
    for (const std::string& content : {text, binary, long_binary, std::string()}) {
        EXPECT_EQ(FromTextForm(ToTextForm("application", content)), content);
    }
    EXPECT_TRUE(ToTextForm("dictionary", text).starts_with("VXIDE-TEXT dictionary plain\n"));
    EXPECT_TRUE(ToTextForm("application", binary).starts_with("VXIDE-TEXT application hex\n"));
    EXPECT_EQ(FromTextForm("hand written\n"), "hand written\n");
    // A text form that passed through an editor or a tool that writes CRLF reads the same.
    EXPECT_EQ(FromTextForm("VXIDE-TEXT dictionary hex\r\n00ff0a\r\n41\r\n"),
              std::string("\0\xff\nA", 4));
    EXPECT_EQ(FromTextForm("VXIDE-TEXT application plain\r\nTarget=O.EXE\r\n"), "Target=O.EXE\r\n");
}

TEST(StandinOnTheBus, ExitsWithAnErrorWhenTheBusGoesAway) {
    testing::PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    testing::Vxide server({"--instance", "orphan"}, testing::ErrorOutput::Capture);
    ASSERT_TRUE(server.ready());
    bus.End();
    const std::optional<int> status = server.process().AwaitExit();
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) != 0) << *status;
    EXPECT_EQ(server.process().ReadErrorLine(), "vxide: the session bus went away");
}

TEST(StandinFiles, SourcesAreFoundIgnoringCaseAndResultsWrittenWhole) {
    testing::TempFolder folder;
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(folder / "ORDERS.APP", "Target=O.EXE\n", &error)) << error;
    EXPECT_EQ(FindFileIgnoringCase(folder / "ORDERS.APP"), folder / "ORDERS.APP");
    EXPECT_EQ(FindFileIgnoringCase(folder / "ORDERS.App"), folder / "ORDERS.APP");
    EXPECT_EQ(FindFileIgnoringCase(folder / "orders.app"), folder / "ORDERS.APP");
    EXPECT_EQ(FindFileIgnoringCase(folder / "OTHER.APP"), std::nullopt);
    EXPECT_EQ(FindFileIgnoringCase(folder / "nofolder/ORDERS.APP"), std::nullopt);

    ASSERT_TRUE(WriteFileAtomically(folder / "ORDERS.APP", "replaced", &error));
    EXPECT_EQ(ReadWholeFile(folder / "ORDERS.APP", &error), "replaced");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}),
              1);  // no leftovers
    EXPECT_FALSE(WriteFileAtomically(folder / "missing/X.TXA", "x", &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos);
    EXPECT_FALSE(ReadWholeFile(folder / "none", &error));
}

}  // namespace
}  // namespace zelt::vxide
