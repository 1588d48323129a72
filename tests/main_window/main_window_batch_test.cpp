// Batches from the main window's buttons: the busy window, Cancel and the close box during
// the wait for a result, and the word to the desktop after a long batch.
#include "tests/main_window/main_window_fixture.hpp"

namespace zelt::app::testing {
namespace {

class MainWindowBatchTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // A tagged application whose target the IDE never writes: its item waits.
        MakeFile("src/A.APP");
        StoreApp(Path("src/"), "A.APP", 1, 0, 1, Path("bin/A.EXE"));
    }
    // The window while the item waits: busy, with the progress and Cancel.
    void ExpectBusy() {
        script.Run([this] {
            EXPECT_TRUE(W().IsDisabled(+MainCtl::Sheet1));
            EXPECT_TRUE(W().IsDisabled(+MainCtl::BUTTON7));
            EXPECT_FALSE(W().IsHidden(+MainCtl::CancelBatch));
            EXPECT_FALSE(W().IsHidden(+MainCtl::BatchProgress));
            EXPECT_EQ(W().Value(+MainCtl::StatusMsg), "A.APP DDE Ack. 1");
        });
    }
};

TEST_F(MainWindowBatchTest, CancelDuringTheWaitEndsTheBatchAtItsNextLookAndTellsTheDesktop) {
    script.Press(MainCtl::ExecuteApp);
    ExpectBusy();
    script.AdvanceMs(11000);  // longer than a batch may run unnoticed
    script.Press(MainCtl::CancelBatch);
    script.Run([this] {
        ASSERT_TRUE(main->LastBatch());
        EXPECT_TRUE(main->LastBatch()->aborted);
        EXPECT_EQ(W().Value(+MainCtl::StatusMsg), "Processing Aborted");
        EXPECT_TRUE(W().IsHidden(+MainCtl::CancelBatch));
        EXPECT_FALSE(W().IsDisabled(+MainCtl::Sheet1));
        EXPECT_TRUE(W().IsOpen());
    });
    script.CloseBox();
    RunWindow();
    EXPECT_EQ(server.commands.size(), 1u);
    EXPECT_EQ(notifier.shown, Texts{"Processing Aborted: 0 made, 0 skipped, 0 failed"});
}

TEST_F(MainWindowBatchTest, TheCloseBoxDuringTheWaitAbortsTheBatchThenClosesTheWindow) {
    script.Press(MainCtl::ExecuteApp);
    ExpectBusy();
    script.CloseBox();
    RunWindow();  // returns: the window closed once the batch had ended
    EXPECT_EQ(server.commands.size(), 1u);
    EXPECT_TRUE(notifier.shown.empty());  // a short batch is not told
    EXPECT_EQ(script.Beeps(), 2);
}

TEST_F(MainWindowBatchTest, AShortBatchThatFinishesLeavesTheWindowAsItWas) {
    // The IDE makes the target as it acknowledges.
    server.on_execute = [this] { MakeFile("bin/A.EXE"); };
    script.Press(MainCtl::ExecuteApp);
    script.Run([this] {
        ASSERT_TRUE(main->LastBatch());
        EXPECT_EQ(main->LastBatch()->made, 1);
        EXPECT_EQ(W().Value(+MainCtl::StatusMsg2), "Processing Complete");
        EXPECT_EQ(W().Focus(), +MainCtl::List);
        EXPECT_TRUE(W().IsHidden(+MainCtl::BatchProgress));
    });
    script.CloseBox();
    RunWindow();
}

TEST_F(MainWindowBatchTest, ALongMakeFinishesAndWaitMinutesLimitsTheWaitHereToo) {
    script.Press(MainCtl::ExecuteApp);
    ExpectBusy();
    script.AdvanceMs(20 * 60000);  // no error code is set: the item waits on
    script.Run([this] {
        EXPECT_FALSE(main->LastBatch());
        MakeFile("bin/A.EXE");
    });
    script.AdvanceMs(1000);
    script.Run([this] {
        ASSERT_TRUE(main->LastBatch());
        EXPECT_EQ(main->LastBatch()->made, 1);
        std::ofstream(dir_ / "ZELT.INI", std::ios::app) << "WaitMinutes=2\n";
    });
    script.Press(MainCtl::ExecuteApp);
    script.AdvanceMs(2 * 60000 - 1000);
    script.Run([this] { EXPECT_EQ(W().Value(+MainCtl::StatusMsg), "A.APP DDE Ack. 1"); });
    script.AdvanceMs(2000);
    script.Run([this] {
        ASSERT_TRUE(main->LastBatch());
        EXPECT_EQ(main->LastBatch()->failed, 1);
    });
    script.CloseBox();
    RunWindow();
    SetTableNames();
    TempFileRelations.OpenAll();
    TempFile.SetFile();
    std::string last;
    while (TempFile.Next() == runtime::err::NoError) last = TMP.Event.Clip();
    TempFileRelations.CloseAll();
    EXPECT_EQ(last, "Wait limit reached");
}

TEST_F(MainWindowBatchTest, WithTwoParallelIdesTheStatusNamesBothAndCancelEndsBoth) {
    std::ofstream(dir_ / "ZELT.INI", std::ios::app) << "ParallelIDEs=2\n";
    zelt::testing::ScriptedServer second;
    transport->AddServer("zelt.test.ide2", second);
    MakeFile("src/B.APP");
    StoreApp(Path("src/"), "B.APP", 1, 0, 1, Path("bin/B.EXE"));
    script.Press(MainCtl::ExecuteApp);
    script.Run([this] {
        EXPECT_EQ(W().Value(+MainCtl::StatusMsg), "2 building: A.APP, B.APP");
        EXPECT_EQ(W().Value(+MainCtl::BatchProgress), "0");
    });
    script.Press(MainCtl::CancelBatch);
    script.Run([this] {
        ASSERT_TRUE(main->LastBatch());
        EXPECT_TRUE(main->LastBatch()->aborted);
        EXPECT_EQ(W().Value(+MainCtl::StatusMsg), "Processing Aborted");
    });
    script.CloseBox();
    RunWindow();
    EXPECT_EQ(server.commands.size(), 1u);  // one item on each IDE
    EXPECT_EQ(second.commands.size(), 1u);
    EXPECT_TRUE(transport->OpenConversations("zelt.test.ide").empty());
    EXPECT_TRUE(transport->OpenConversations("zelt.test.ide2").empty());
}

}  // namespace
}  // namespace zelt::app::testing
