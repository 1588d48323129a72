// The report process over a real table file on virtual time: no records, the adaptive
// cycle, the progress text, the deferred progress window, and cancelling.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "framework/browse/browse_controller.hpp"
#include "framework/query/query_form.hpp"
#include "tests/report/report_fixture.hpp"

// A browse and a process in one file: both know the query's filter by the one name.
static_assert(zelt::framework::kQueryFilterId == "QBE");

namespace zelt::framework::testing {
namespace {

class ReportProcessTest : public ::testing::Test {
  protected:
    ControllerSession s;
    // Each record costs this much virtual time.
    void Cost(EventReport& w, std::int64_t ms) {
        w.on_record = [this, ms] {
            s.session.clock->AdvanceMs(ms);
            return LevelOk;
        };
    }
};

TEST_F(ReportProcessTest, AnEmptyViewCallsOnNoRecordsAndOpensNoReport) {
    EventLog log(s.errors);
    EventReport w(s.errors, log);
    EXPECT_EQ(w.Run(), ResponseCancelled);
    EXPECT_EQ(w.no_records, 1);
    EXPECT_EQ(w.details, 0);
    EXPECT_FALSE(w.report.IsOpen());
    EXPECT_TRUE(s.session.script.Previews().empty());
    EXPECT_TRUE(s.session.script.Printed().empty());
    EXPECT_EQ(w.Kill(), LevelNotify) << "a dead window";
}

TEST_F(ReportProcessTest, RecordsPerCycleDoublesOnAFastMachineAndHalvesOnASlowOneNeverBelowOne) {
    EventLog log(s.errors, 30);
    EventReport w(s.errors, log, false);
    w.before_open = [&w] { w.TimeSlice = 10; };  // a tenth of a second
    std::vector<std::int32_t> cycles;            // RecordsPerCycle as each record is taken
    w.on_record = [&] {
        cycles.push_back(w.RecordsPerCycle);
        // The first eight records take a hundredth each, the rest half a second.
        s.session.clock->AdvanceMs(cycles.size() <= 8 ? 10 : 500);
        return LevelOk;
    };
    EXPECT_EQ(w.Run(), ResponseCompleted);
    std::vector<std::int32_t> seen;
    for (auto c : cycles)
        if (seen.empty() || seen.back() != c) seen.push_back(c);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1, 2, 4, 8, 4, 2, 1})) << "then never below 1";
    EXPECT_EQ(cycles.size(), 30u);
    ASSERT_EQ(s.session.script.Printed().size(), 1u)
        << "without a preview the report prints at once";
}

TEST_F(ReportProcessTest, TheProgressTextShowsThePercentageAndTheBarNeverPasses100) {
    EventLog log(s.errors, 200);
    std::string at_50;
    int most = 0;
    {
        EventReport w(s.errors, log, false);
        w.on_record = [&] {
            if (w.Process().RecordsProcessed == 50) at_50 = w.Window().Text(EventReport::PctText);
            return LevelOk;
        };
        EXPECT_EQ(w.Run(), ResponseCompleted);
        EXPECT_EQ(w.Process().RecordsToProcess, 200) << "counted from the table";
    }
    EXPECT_EQ(at_50, "25% Complete");
    {
        EventReport w(s.errors, log, false);
        w.records_to_process = 100;  // fewer than there are
        w.on_record = [&] {
            most = std::max<int>(most, w.percent);
            return LevelOk;
        };
        w.Run();
        EXPECT_EQ(w.Window().Text(EventReport::PctText), "100% Complete");
    }
    EXPECT_EQ(most, 100);
}

// With a step distribution the percentage comes from the key value: the first and the
// last record bound it, so halfway through the values it is about 50.
TEST_F(ReportProcessTest, AStepDistributionPlacesTheProgressByTheKeyValue) {
    EventLog log(s.errors, 200);  // clock values 101 to 20001, in stored order
    EventReport w(s.errors, log, false);
    NumericDistribution steps(0, 0);
    w.before_open = [&] {
        w.Process().StepMgr = &steps;
        w.Process().ValueField = FieldBinding(log.Table(), 2);
    };
    std::vector<int> seen(201, -1);
    w.on_record = [&] {
        seen[static_cast<std::size_t>(w.Process().RecordsProcessed)] = w.percent;
        return LevelOk;
    };
    EXPECT_EQ(w.Run(), ResponseCompleted);
    EXPECT_NEAR(seen[50], 25, 2);
    EXPECT_NEAR(seen[100], 50, 2);
    EXPECT_NEAR(seen[150], 75, 2);
    EXPECT_EQ(seen[200], 100);
}

TEST_F(ReportProcessTest, ADeferredProgressWindowShowsOnlyWhenTheReportTakesLonger) {
    EventLog log(s.errors, 20);
    for (const std::int64_t cost : {50, 500}) {  // 20 records: one second, then ten
        EventReport w(s.errors, log, false);
        w.DeferWindow = 2;
        w.WaitCursor = 1;
        Cost(w, cost);
        bool ever_visible = false;
        bool busy = false;
        const auto take = w.on_record;
        w.on_record = [&] {
            ever_visible = ever_visible || w.Window().IsVisible();
            busy = busy || s.session.script.Busy();
            return take();
        };
        EXPECT_EQ(w.Run(), ResponseCompleted);
        EXPECT_EQ(ever_visible, cost == 500) << "cost " << cost;
        EXPECT_EQ(w.DeferWindow, cost == 500 ? 0 : 2);
        EXPECT_TRUE(busy);
        EXPECT_FALSE(s.session.script.Busy()) << "the busy cursor goes with the window";
    }
}

TEST_F(ReportProcessTest, CancellingTheProgressWindowEndsTheReportEarly) {
    EventLog log(s.errors, 200);
    EventReport w(s.errors, log);
    w.before_open = [&w] { w.TimeSlice = 10; };
    Cost(w, 10);
    s.session.script.AdvanceMs(20);
    s.session.script.AdvanceMs(20);
    s.session.script.Press(EventReport::Cancel);
    EXPECT_EQ(w.Run(), ResponseCancelled);
    EXPECT_GT(w.details, 0);
    EXPECT_LT(w.details, 50);
    EXPECT_TRUE(s.session.script.Previews().empty()) << "a cancelled report is not previewed";
    EXPECT_TRUE(s.session.script.Printed().empty());
    EXPECT_EQ(w.PreviewQueue, nullptr) << "killed with the window";
}

TEST_F(ReportProcessTest, EveryChildIsReadToItsEndAfterEachRecordOfItsParent) {
    EventLog parents(s.errors, 3);    // all three on day 82000
    EventLog children(s.errors, 12);  // nine on day 82000, three on 82001
    TrackedRecord child_tracked(children.tracker);
    TableView child_view(children.Table());
    ProcessController child;
    EventReport w(s.errors, parents, false);
    w.before_open = [&] {
        child.Init(child_view, child_tracked, s.errors, nullptr, 0, 0, nullptr);
        child.AddRange(ViewField{"EVT:Date", FieldBinding(children.Table(), 1), false},
                       FieldBinding(parents.Table(), 1));
        w.Process().Children.push_back(&child);
    };
    std::vector<std::string> taken;
    w.on_record = [&] {
        const bool own = w.Process().ChildRead == 0;
        taken.push_back((own ? "P" : "C") +
                        (own ? parents.record.Event : children.record.Event).Clip().substr(6));
        return LevelOk;
    };
    EXPECT_EQ(w.Run(), ResponseCompleted);
    std::vector<std::string> expected;
    for (const char* parent : {"P1", "P2", "P3"}) {
        expected.push_back(parent);
        for (int c = 1; c <= 9; ++c) expected.push_back("C" + std::to_string(c));
    }
    EXPECT_EQ(taken, expected);
    EXPECT_EQ(w.Process().RecordsProcessed, 3) << "a child's records are its own";
    EXPECT_EQ(w.percent, 100);
    child.Kill();
}

TEST_F(ReportProcessTest, AQueryOfferedBeforeTheWalkFiltersTheReport) {
    EventLog log(s.errors, 20);
    QueryBuilder query;
    query.Init(s.errors);
    query.AddItem("EVT:Apps", "Application", "@S40");
    EventReport w(s.errors, log, false);
    w.before_open = [&] { w.Process().Query = &query; };
    s.session.script.Type(2, "APP1*").In(QueryForm::kTitle);  // the first column's entry
    s.session.script.Press(4).In(QueryForm::kTitle);          // Ok
    EXPECT_EQ(w.Run(), ResponseCompleted);
    ASSERT_EQ(s.session.script.Printed().size(), 1u);
    std::vector<std::string> apps;
    for (const auto& page : s.session.script.Printed()[0])
        for (std::size_t i = 2; i + 1 < page.size(); ++i) apps.push_back(page[i].substr(0, 9));
    EXPECT_EQ(apps.size(), 11u) << "APP1 and APP10 to APP19";
    EXPECT_EQ(apps.front(), "APP1.APP ");
}

}  // namespace
}  // namespace zelt::framework::testing
