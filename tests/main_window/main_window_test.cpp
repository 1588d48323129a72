// The main window's handlers, headless: the tags, the tab-change table, the import guard,
// the subset tags, Empty Log, the connection buttons and closing.
#include "tests/main_window/main_window_fixture.hpp"

#include "app/batches/batch_engine.hpp"
#include "app/log/event_log.hpp"
#include "runtime/window/key_codes.hpp"

namespace zelt::app::testing {
namespace {

using runtime::button::No;
using runtime::button::Ok;
using runtime::button::Yes;

TEST_F(MainWindowTest, TagMovesToTheNextRowStaysOnTheLastAndUntagAllClearsEveryTag) {
    StoreApp("/src/", "A.APP", 1);
    StoreApp("/src/", "B.APP", 2);
    StoreApp("/src/", "C.APP", 3, 0, 1);
    script.Run([this] {
        EXPECT_EQ(W().Title(), "Zeltaway --  ZELT v.5.5j");
        EXPECT_EQ(W().Value(+MainCtl::StatusMsg), "Connected to Vextor");
        EXPECT_EQ(W().Value(+MainCtl::StatusMsg2), "Connected to Vextor");
        EXPECT_EQ(W().Focus(), +MainCtl::List);
        EXPECT_FALSE(Icon(MainCtl::List, 1));
        EXPECT_TRUE(Icon(MainCtl::List, 3));
    });
    script.Press(MainCtl::BUTTON13);
    script.Run([this] {
        EXPECT_TRUE(Icon(MainCtl::List, 1));
        EXPECT_EQ(W().Choice(+MainCtl::List), 2);
    });
    script.Press(MainCtl::BUTTON13);
    script.Press(MainCtl::BUTTON13);  // the last row: untagged, and the selection stays
    script.Run([this] {
        EXPECT_EQ(W().Choice(+MainCtl::List), 3);
        EXPECT_FALSE(Icon(MainCtl::List, 3));
    });
    script.Run([this] { EXPECT_EQ(Tags(), "A.APP:1 B.APP:1 C.APP:0 "); });
    script.Press(MainCtl::UntagAllButton);
    script.CloseBox();
    RunWindow();
    EXPECT_EQ(Tags(), "A.APP:0 B.APP:0 C.APP:0 ");
}

TEST_F(MainWindowTest, EnterOnARowOpensItsFormAndDeleteAsksBeforeDeleting) {
    StoreApp("/src/", "A.APP", 1);
    script.Key(MainCtl::List, runtime::key::Enter);
    script.Run([this] { EXPECT_NE(W().System().FindWindow("Record will be Changed"), nullptr); });
    script.Press("?Cancel").In("Record will be Changed");
    script.Key(MainCtl::List, runtime::key::Delete);
    script.AnswerMessage(No);  // the framework's question before a delete
    script.CloseBox();
    RunWindow();
    EXPECT_EQ(Tags(), "A.APP:0 ");  // still there
    ASSERT_EQ(script.Messages().size(), 1u);
}

TEST_F(MainWindowTest, TheWindowComesBackWhereItWasOnTheTabItShowed) {
    framework::IniStore places;
    places.Init(Path("places.ini"));
    services.places = &places;
    script.Press(MainCtl::Tab2);
    script.Resize(800, 600);
    script.CloseBox();
    RunWindow();
    script.Run([this] {
        EXPECT_EQ(W().Choice(+MainCtl::Sheet1), 2);
        EXPECT_TRUE(W().IsDisabled(+MainCtl::ExecuteApp));  // the tab's state of the buttons
        EXPECT_EQ(W().Geometry().width, 800);
        EXPECT_EQ(W().Geometry().height, 600);
    });
    script.CloseBox();
    RunWindow();
    places.Kill();
}

TEST_F(MainWindowTest, TabChangesFollowTheTableAndEveryChangeAsksAgainBeforeAnImport) {
    struct Expected {
        bool hidden, execute_app, generate, export_app, export_dct;
    };
    auto check = [this](int tab, Expected e) {
        script.Run([this, tab, e] {
            const auto enabled = [this](MainCtl c) { return !W().IsDisabled(+c); };
            EXPECT_EQ(W().Choice(+MainCtl::Sheet1), tab);
            for (MainCtl c :
                 {MainCtl::ExecuteApp, MainCtl::Generate, MainCtl::ExportApp, MainCtl::ExportDCT})
                EXPECT_EQ(W().IsHidden(+c), e.hidden) << "tab " << tab;
            EXPECT_EQ(enabled(MainCtl::ExecuteApp), e.execute_app) << "tab " << tab;
            EXPECT_EQ(enabled(MainCtl::Generate), e.generate) << "tab " << tab;
            EXPECT_EQ(enabled(MainCtl::ExportApp), e.export_app) << "tab " << tab;
            EXPECT_EQ(enabled(MainCtl::ExportDCT), e.export_dct) << "tab " << tab;
            EXPECT_TRUE(W().IsDisabled(+MainCtl::ImportDCT));
            EXPECT_TRUE(W().IsDisabled(+MainCtl::ImportApp));
            EXPECT_FALSE(W().IsDisabled(+MainCtl::BUTTON23));
        });
    };
    check(1, {false, true, false, true, true});  // from the start, as after a change
    script.Press(MainCtl::Tab2);
    check(2, {false, false, true, false, false});
    script.Press(MainCtl::Tab3);
    check(3, {false, false, false, false, false});
    script.Press(MainCtl::BUTTON23);  // I'm Sure
    script.Run([this] {
        EXPECT_FALSE(W().IsDisabled(+MainCtl::ImportDCT));
        EXPECT_FALSE(W().IsDisabled(+MainCtl::ImportApp));
        EXPECT_TRUE(W().IsDisabled(+MainCtl::BUTTON23));
    });
    script.Press(MainCtl::Tab4);
    check(4, {true, false, false, false, false});
    script.Press(MainCtl::Tab3);  // back: the guard is up again
    check(3, {false, false, false, false, false});
    script.Press(MainCtl::Tab1);
    check(1, {false, true, false, true, true});
    script.CloseBox();
    RunWindow();
}

TEST_F(MainWindowTest, ToggleTagsByFileNameAndGenerateSubsetFollowsTheQueue) {
    const std::int32_t project = StoreProject("Billing");
    StoreApp("/one/", "SAME.APP", 2, project);
    StoreApp("/two/", "SAME.APP", 3, project);
    StoreApp("/one/", "OTHER.APP", 4, project);
    StoreApp("/one/", "ELSEWHERE.APP", 1, 0);
    script.Press(MainCtl::Tab4);
    script.Run([this] {
        EXPECT_TRUE(W().IsDisabled(+MainCtl::GenerateSubset));
        EXPECT_EQ(W().RowCount(+MainCtl::List3), 3);  // the project's applications only
    });
    script.SelectRow(MainCtl::List3, 2);  // SAME.APP in /two/
    script.Press(MainCtl::Toggle);
    script.Run([this] {
        // One name, one tag: both rows of SAME.APP show it.
        EXPECT_TRUE(Icon(MainCtl::List3, 1));
        EXPECT_TRUE(Icon(MainCtl::List3, 2));
        EXPECT_FALSE(Icon(MainCtl::List3, 3));
        EXPECT_EQ(W().Choice(+MainCtl::List3), 3);
        EXPECT_FALSE(W().IsDisabled(+MainCtl::GenerateSubset));
        ASSERT_EQ(main->Engine().SubsetTagQueue.size(), 1u);
        EXPECT_EQ(main->Engine().SubsetTagQueue[0].DrivePath.Clip(), "/two/");
    });
    script.SelectRow(MainCtl::List3, 1);
    script.Press(MainCtl::Toggle);  // the same name again: the tag goes
    script.Run([this] {
        EXPECT_TRUE(main->Engine().SubsetTagQueue.empty());
        EXPECT_TRUE(W().IsDisabled(+MainCtl::GenerateSubset));
    });
    script.Key(MainCtl::List3, runtime::key::Enter);  // Enter toggles the row too
    script.Run([this] { EXPECT_FALSE(W().IsDisabled(+MainCtl::GenerateSubset)); });
    script.Press(MainCtl::ClearSubTags);
    script.Run([this] {
        EXPECT_TRUE(main->Engine().SubsetTagQueue.empty());
        EXPECT_TRUE(W().IsDisabled(+MainCtl::GenerateSubset));
        EXPECT_FALSE(Icon(MainCtl::List3, 1));
    });
    script.CloseBox();
    RunWindow();
}

TEST_F(MainWindowTest, EmptyLogAsksAndOnlyYesEmptiesTheLog) {
    SetTableNames();
    TempFileRelations.OpenAll();
    for (const char* text : {"Begin Make", "Make Finished"})
        ASSERT_EQ(AppendEvent("A.APP", text), runtime::err::NoError);
    TempFileRelations.CloseAll();
    auto events = [] {
        TempFileManager.Open();
        TempFileManager.EnsureOpen();
        const std::int64_t n = TempFile.Records();
        TempFileManager.Close();
        return n;
    };
    script.Press(MainCtl::BUTTON17);
    script.AnswerMessage(No).Expecting("Are you entirely sure?");
    script.Run([&] { EXPECT_EQ(events(), 2); });
    script.Press(MainCtl::BUTTON17);
    script.AnswerMessage(Yes).Expecting("Are you entirely sure?");
    script.Run([&] {
        EXPECT_EQ(events(), 0);
        EXPECT_EQ(W().Focus(), +MainCtl::Sheet1);
    });
    script.CloseBox();
    RunWindow();
    EXPECT_EQ(script.Messages().at(0).request.caption, "Best be sure, chaver");
}

TEST_F(MainWindowTest, TheConnectionButtonsConnectStartingTheIdeAndDisconnect) {
    transport->RemoveServer("zelt.test.ide");  // no IDE at opening: the warning
    script.AnswerMessage(Ok).Expecting("Vextor is not currently running");
    script.Run([this] {
        EXPECT_EQ(W().Value(+MainCtl::StatusMsg), "Not Connected to Vextor");
        EXPECT_EQ(main->Ide().Connected, 0);
    });
    starter.on_start = [this] { transport->AddServer("zelt.test.ide", server); };
    script.Press(MainCtl::ConnectToVX);  // starts the IDE with the command string
    script.Run([this] {
        EXPECT_EQ(starter.started, Texts{"vxide"});
        EXPECT_EQ(main->Ide().Connected, 1);
        EXPECT_NE(main->Ide().Channel, 0);
        EXPECT_EQ(W().Value(+MainCtl::StatusMsg2).rfind("Connected to Vextor", 0), 0u);
        EXPECT_EQ(W().Focus(), +MainCtl::List);
        EXPECT_TRUE(W().IsHidden(+MainCtl::CancelBatch));  // the busy window is over
    });
    script.Press(MainCtl::DisconnectFromVX);
    script.Run([this] {
        EXPECT_EQ(main->Ide().Connected, 0);
        EXPECT_EQ(main->Ide().Channel, 0);
        EXPECT_EQ(W().Value(+MainCtl::StatusMsg), "Vextor disconnected");
    });
    script.CloseBox();
    RunWindow();
    EXPECT_EQ(script.Sounds(), Texts{"ir_inter.wav"});
}

TEST_F(MainWindowTest, CloseKeepsTheSavedSubsetTags) {
    WriteIni(1);
    SetTableNames();
    SubsetTagQueue saved(1);
    saved[0].AppName = "SAME.APP";
    saved[0].DrivePath = "/one/";
    saved[0].Priority = 2;
    ASSERT_EQ(OpenSavedTags(), framework::LevelOk);
    ASSERT_EQ(SaveSubsetTags(saved), framework::LevelOk);
    script.Run([this] {
        ASSERT_EQ(main->Engine().SubsetTagQueue.size(), 1u);  // restored as the window opened
        EXPECT_FALSE(W().IsDisabled(+MainCtl::GenerateSubset));
    });
    script.Press(MainCtl::BUTTON7);
    RunWindow();
    SubsetTagQueue restored;
    ASSERT_EQ(RestoreSubsetTags(restored), framework::LevelOk);
    TfManager.Close();
    ASSERT_EQ(restored.size(), 1u);
    EXPECT_EQ(restored[0].AppName.Clip(), "SAME.APP");
}

}  // namespace
}  // namespace zelt::app::testing
