#include "framework/window/window_message_presenter.hpp"

#include <gtest/gtest.h>

#include "controller_support.hpp"
#include "framework/error_ids.hpp"

namespace zelt::framework::testing {
namespace {

TEST(WindowMessagePresenterTest, MessagesAndHistoryReachTheWindowSystem) {
    ControllerSession s;
    s.errors.HistoryThreshold = -1;
    s.errors.Silent = true;  // remembered, not shown
    s.errors.Raise(msg::NoRecords);
    s.errors.Raise(msg::NoRecords);
    s.errors.Silent = false;
    ASSERT_EQ(s.errors.History().size(), 2u);

    s.session.script.AnswerMessage(runtime::button::Ok).Expecting(s.errors.History()[0].Txt);
    s.errors.ViewHistory();
    ASSERT_EQ(s.session.script.Messages().size(), 1u);
    const auto& shown = s.session.script.Messages()[0].request;
    EXPECT_EQ(shown.caption, "Errors History");
    EXPECT_EQ(shown.text, HistoryText(s.errors.History()));
    EXPECT_NE(shown.text.find('|'), std::string::npos);  // one line per remembered message
}

TEST(WindowMessagePresenterTest, HistoryTextListsCategoryAndMessage) {
    EXPECT_EQ(HistoryText({}), "");
    EXPECT_EQ(HistoryText({{"QRV", "first", ErrorId{1}}, {"", "second|line", ErrorId{2}}}),
              "QRV: first|second|line");
}

}  // namespace
}  // namespace zelt::framework::testing
