// The browse's sliding window of rows: loading, scrolling by row, page and end, the
// locator and the thumb, on a view of eight people with three rows visible.
#include <gtest/gtest.h>

#include "runtime/window/key_codes.hpp"
#include "tests/framework/browse_support.hpp"

namespace zelt::framework {
namespace {

using testing::ControllerSession;
using testing::FakeRecord;
using testing::ListWindow;
using testing::MemoryView;
using testing::Person;
using Names = std::vector<std::string>;
namespace key = runtime::key;

class BrowseScrollTest : public ::testing::Test {
  protected:
    void Fill(std::initializer_list<const char*> names) {
        int id = 1;
        for (const char* n : names) {
            rec.stored[id] = Person{id, n, "C" + std::to_string(id)};
            ++id;
        }
    }
    void Check(Names rows, std::string highlighted) {
        script.Run([this, rows, highlighted] {
            EXPECT_EQ(w.Names(), rows);
            EXPECT_EQ(w.Highlighted(), highlighted);
            if (highlighted != "<none>") {
                EXPECT_EQ(rec.buffer.name, highlighted) << "the buffer follows the highlight";
            }
            EXPECT_EQ(w.Window().Choice(ListWindow::List), w.browse.CurrentChoice);
        });
    }
    void Finish() {
        script.Press(ListWindow::Close);
        w.Run();
    }

    ControllerSession s;
    runtime::HeadlessBackend& script = s.session.script;
    FakeRecord rec;
    MemoryView view{rec};
    ListWindow w{s.errors, rec, view};
};

TEST_F(BrowseScrollTest, AnEmptyViewLeavesTheListEmptyAndScrollsDoNothing) {
    rec.buffer = Person{9, "Left", "Over"};
    Check({}, "<none>");
    script.Key(ListWindow::List, key::Down);
    script.Key(ListWindow::List, key::PageDown);
    script.Key(ListWindow::List, key::End);
    Check({}, "<none>");
    script.Run([&] {
        EXPECT_EQ(rec.buffer.name, "") << "an empty list clears the fields";
        EXPECT_EQ(view.order, "+PEO:Name,+PEO:Id");
    });
    Finish();
}

TEST_F(BrowseScrollTest, RowByRowReadsOneMoreAtEachEdge) {
    Fill({"Ada", "Bob", "Cyd", "Dan", "Eve", "Fay", "Gus", "Hal"});
    Check({"Ada", "Bob", "Cyd"}, "Ada");
    script.Key(ListWindow::List, key::Down);
    script.Key(ListWindow::List, key::Down);
    Check({"Ada", "Bob", "Cyd"}, "Cyd");
    script.Key(ListWindow::List, key::Down);  // on the last loaded row
    Check({"Bob", "Cyd", "Dan"}, "Dan");
    script.Key(ListWindow::List, key::Up);
    script.Key(ListWindow::List, key::Up);
    script.Key(ListWindow::List, key::Up);  // on the first loaded row
    Check({"Ada", "Bob", "Cyd"}, "Ada");
    script.Key(ListWindow::List, key::Up);  // nothing before the first record
    Check({"Ada", "Bob", "Cyd"}, "Ada");
    script.SelectRow(ListWindow::List, 2);
    Check({"Ada", "Bob", "Cyd"}, "Bob");
    Finish();
}

TEST_F(BrowseScrollTest, PagesAndEnds) {
    Fill({"Ada", "Bob", "Cyd", "Dan", "Eve", "Fay", "Gus", "Hal"});
    script.Key(ListWindow::List, key::Down);
    script.Key(ListWindow::List, key::PageDown);
    Check({"Dan", "Eve", "Fay"}, "Eve");
    script.Key(ListWindow::List, key::PageDown);  // only two more records: two rows on
    Check({"Fay", "Gus", "Hal"}, "Gus");
    script.Key(ListWindow::List, key::PageUp);
    Check({"Cyd", "Dan", "Eve"}, "Dan");
    script.Key(ListWindow::List, key::Home);
    Check({"Ada", "Bob", "Cyd"}, "Ada");
    script.Key(ListWindow::List, key::End);
    Check({"Fay", "Gus", "Hal"}, "Hal");
    Finish();
}

TEST_F(BrowseScrollTest, PageDownNearTheEndMovesOnlyByTheRowsRead) {
    Fill({"Ada", "Bob", "Cyd", "Dan"});
    script.Key(ListWindow::List, key::PageDown);  // one record read
    Check({"Bob", "Cyd", "Dan"}, "Bob");
    Finish();
}

TEST_F(BrowseScrollTest, TypingTheSameLetterStepsThroughTheRecordsStartingWithIt) {
    Fill({"Ada", "Bob", "Sam", "Sue", "Syd", "Tom"});
    script.Run([&] { w.browse.ActiveOrder().Locator = true; });
    script.Char(ListWindow::List, 'S');
    Check({"Sam", "Sue", "Syd"}, "Sam");
    script.Char(ListWindow::List, 's');
    Check({"Sam", "Sue", "Syd"}, "Sue");
    script.Char(ListWindow::List, 'S');
    script.Char(ListWindow::List, 'S');  // past the last S: back to the first
    Check({"Sam", "Sue", "Syd"}, "Sam");
    script.Char(ListWindow::List, 'Z');  // nothing from Z on: the end of the list shows
    Check({"Sue", "Syd", "Tom"}, "Tom");
    Finish();
}

TEST_F(BrowseScrollTest, TheThumbPositionsThroughTheDistribution) {
    Fill({"Abel", "Baker", "Miller", "Moore", "Smith", "Young"});
    script.Run([&] {
        w.browse.SetThumb(std::make_unique<StepDistribution>(LookupMode::Names, step::Letters));
    });
    script.Thumb(ListWindow::List, 56);  // "MAQ"
    Check({"Miller", "Moore", "Smith"}, "Miller");
    script.Run([&] {
        EXPECT_EQ(w.Window().Thumb(ListWindow::List), 61) << "the thumb follows to \"MIL\"";
    });
    script.Thumb(ListWindow::List, 1);
    Check({"Abel", "Baker", "Miller"}, "Abel");
    Finish();
}

TEST_F(BrowseScrollTest, AThumbTableFromTheDataAndTheToolbarsNavigationButtons) {
    Fill({"Ada", "Bob", "Cyd", "Dan", "Eve", "Fay", "Gus", "Hal"});
    script.Run([&] {
        w.browse.SetThumb(std::make_unique<StepDistribution>(LookupMode::FromData, step::Letters));
        EXPECT_TRUE(w.browse.TakeToolbarButton(3005));  // bottom
        EXPECT_TRUE(w.browse.TakeToolbarButton(3010));  // up one row
        EXPECT_FALSE(w.browse.TakeToolbarButton(3011));
    });
    Check({"Fay", "Gus", "Hal"}, "Gus");
    script.Thumb(ListWindow::List, 50);  // the eight names share the hundred entries: the fourth
    Check({"Dan", "Eve", "Fay"}, "Dan");
    Finish();
}

TEST_F(BrowseScrollTest, AnotherSortOrderKeepsTheHighlightedRecord) {
    Fill({"Ada", "Bob", "Cyd", "Dan", "Eve"});
    script.SelectRow(ListWindow::List, 2);
    script.Run([&] {
        w.browse.AddSortOrder("+PEO:City");
        EXPECT_EQ(w.browse.ActiveNumber(), 2u);
        EXPECT_TRUE(w.browse.NeedsReset());
        w.Window().Post(runtime::event::Timer);
    });
    script.Run([&] {
        EXPECT_EQ(view.order, "+PEO:City");
        EXPECT_EQ(w.Highlighted(), "Bob");
        EXPECT_FALSE(w.browse.NeedsReset());
    });
    Finish();
}

TEST_F(BrowseScrollTest, AReadErrorIsReportedAndClosesTheWindow) {
    Fill({"Ada", "Bob", "Cyd", "Dan"});
    view.fail_after_reads = 4;
    script.Key(ListWindow::List, key::Down);
    script.Key(ListWindow::List, key::Down);
    script.Key(ListWindow::List, key::Down);
    script.AnswerMessage(runtime::button::Ok).Expecting("PEOPLE");
    EXPECT_EQ(w.Run(), ResponseCancelled);
    EXPECT_EQ(s.Captions(), Names{"Record Retrieval Error"});
}

TEST_F(BrowseScrollTest, RowsLoadedWhole) {
    Fill({"Ada", "Bob", "Cyd", "Dan", "Eve"});
    w.setup = [](BrowseController& b) { b.Settings.FileLoaded = true; };
    Check({"Ada", "Bob", "Cyd", "Dan", "Eve"}, "Ada");
    script.Key(ListWindow::List, key::PageDown);
    Check({"Ada", "Bob", "Cyd", "Dan", "Eve"}, "Dan");
    script.Key(ListWindow::List, key::End);
    Check({"Ada", "Bob", "Cyd", "Dan", "Eve"}, "Eve");
    Finish();
}

}  // namespace
}  // namespace zelt::framework
