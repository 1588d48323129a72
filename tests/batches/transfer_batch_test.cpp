// The import and export batches end to end against the stand-in IDE.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/batches/bus_batches.hpp"

namespace zelt::app::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsSupersetOf;

TEST_F(BusBatches, ImportingDictionariesAsksFirstAndWaitsForTheNewDictionary) {
    Add("ORDERS.APP", 1);
    Add("MISSING.APP", 2);
    Add("UNTAGGED.APP", 1, "*", 0, false);
    Write(apps_dir + "ORDERS.TXD", "the orders dictionary\n");
    Write(apps_dir + "UNTAGGED.TXD", "never imported\n");
    // A dictionary from before the import does not count: only the one the IDE writes.
    Write(apps_dir + "ORDERS.DCT", "an old dictionary\n");
    auto vx = StartIde({"--result-delay", "300"});
    ASSERT_TRUE(vx->ready());

    const BatchSummary done = engine->ImportDictionaries();
    EXPECT_EQ(Read(apps_dir + "ORDERS.DCT"), "the orders dictionary\n");
    EXPECT_FALSE(FileExists(apps_dir + "UNTAGGED.DCT"));
    EXPECT_THAT(LogLines(),
                ElementsAre("ORDERS.APP: Begin DCT Import", "ORDERS.APP: Import DCT Finished",
                            "MISSING.APP: .TXD not found"));
    const std::string f = apps_dir + "ORDERS";
    EXPECT_THAT(Commands(), ElementsAre("[ImportDCT(\"" + f + ".TXD\"," + f + ".DCT,0)]"));
    ASSERT_FALSE(window.boxes.empty());
    const runtime::MessageRequest& ask = window.boxes.front();
    EXPECT_EQ(ask.caption, "Confirm");
    EXPECT_EQ(ask.text, "Are you sure you want to import .TXD?");
    EXPECT_EQ(ask.icon, runtime::StockIcon::Exclamation);
    EXPECT_EQ(ask.buttons, runtime::button::Yes | runtime::button::No);
    EXPECT_EQ(ask.default_button, runtime::button::No);
    EXPECT_THAT(window.statuses, IsSupersetOf({"Connected to Vextor", "Importing ORDERS.APP",
                                               "ORDERS.APP Imported."}));
    EXPECT_EQ(window.statuses.back(), "Processing Complete");
    EXPECT_THAT(window.trace, ElementsAre("box:Confirm", "beep", "activate", "beep", "focus:list"));
    EXPECT_EQ(done.made, 1);
    EXPECT_EQ(done.skipped, 1);
}

TEST_F(BusBatches, ImportingApplicationsWalksFromTheLowestPriorityAndComparesWholeNames) {
    Add("AA.APP", 1);
    Add("LONGAPPLICATIONNAME.APP", 1);
    Write(apps_dir + "AA.TXA", "Target=AA.EXE\n");
    Write(apps_dir + "LONGAPPLICATIONNAME.TXA", "; imported\nTarget=L.EXE\n");
    auto vx = StartIde({"--result-delay", "200"});
    ASSERT_TRUE(vx->ready());
    // The list has the second application selected: the first is imported all the same.
    APP.Application = "LONGAPPLICATIONNAME.APP";
    APP.Priority = 1;

    const BatchSummary done = engine->ImportApplications();
    EXPECT_EQ(window.boxes.front().text, "Are you sure you want to import .TXA into .APP?");
    EXPECT_THAT(LogLines(), ElementsAre("AA.APP: Begin APP Import", "AA.APP: Import APP Finished",
                                        "LONGAPPLICATIONNAME.APP: Begin APP Import",
                                        "LONGAPPLICATIONNAME.APP: Import APP Finished"));
    // The application file existed before: the batch waited for the one the IDE wrote.
    EXPECT_EQ(Read(apps_dir + "LONGAPPLICATIONNAME.APP"), "; imported\nTarget=L.EXE\n");
    const std::string f = apps_dir + "AA";
    EXPECT_EQ(Commands().front(), "[ImportApp(\"" + f + ".TXA\"," + f + ".APP,0,Replace)]");
    EXPECT_EQ(done.made, 2);
}

TEST_F(BusBatches, ExportsReplaceTheTextFilesWithoutAsking) {
    Add("ORDERS.APP", 2);
    Add("NODICT.APP", 3);
    Write(apps_dir + "ORDERS.TXA", "an old export");
    Write(apps_dir + "ORDERS.DCT", "the dictionary");
    auto vx = StartIde({});
    ASSERT_TRUE(vx->ready());

    EXPECT_EQ(engine->ExportApplications().made, 2);
    EXPECT_EQ(Read(apps_dir + "ORDERS.TXA").rfind("VXIDE-TEXT application plain\n; ORDERS.APP", 0),
              0u);
    const std::string f = apps_dir + "ORDERS";
    EXPECT_EQ(Commands().front(), "[ExportApp(\"" + f + ".App\",\"" + f + ".TXA\",0)]");
    EXPECT_THAT(window.statuses,
                IsSupersetOf({"Exporting ORDERS.APP: 2", "ORDERS.APP DDE Ack: 2"}));
    EXPECT_THAT(LogLines(),
                ElementsAre("ORDERS.APP: Begin APP Export", "ORDERS.APP: Export APP Finished",
                            "NODICT.APP: Begin APP Export", "NODICT.APP: Export APP Finished"));
    EXPECT_TRUE(window.boxes.empty());

    ClearCommands();
    window.statuses.clear();
    EXPECT_EQ(engine->ExportDictionaries().made, 1);
    EXPECT_THAT(Commands(), ElementsAre("[ExportDCT(\"" + f + ".DCT\",\"" + f + ".TXD\",0)]"));
    EXPECT_THAT(window.statuses, IsSupersetOf({"Exporting ORDERS.APP: 2", "ORDERS.APP Exported."}));
    EXPECT_THAT(LogLines(),
                IsSupersetOf({"ORDERS.APP: Begin DCT Export", "ORDERS.APP: Export DCT Finished",
                              "NODICT.APP: .DCT not found"}));
    EXPECT_EQ(Read(apps_dir + "ORDERS.TXD").rfind("VXIDE-TEXT", 0), 0u);
}

TEST_F(BusBatches, NoToAnImportWritesNothingAndOpensNoConversation) {
    Add("ORDERS.APP", 1);
    Write(apps_dir + "ORDERS.TXD", "text");
    run_string = kVxidePath + " --instance should_not_start";
    window.answers = {runtime::button::No};
    const BatchSummary done = engine->ImportDictionaries();
    EXPECT_TRUE(done.answered_no);
    EXPECT_EQ(done.ExitStatus(), 1);
    EXPECT_TRUE(LogLines().empty());
    EXPECT_EQ(starter.LastProcess(), -1);
    EXPECT_THAT(window.trace, ElementsAre("box:Confirm", "focus:list"));
    EXPECT_EQ(ide->Channel, 0);
}

}  // namespace
}  // namespace zelt::app::testing
