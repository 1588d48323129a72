// The program's windows as settled for their accelerators: every text that changed, so that
// a change of a declaration that makes two controls share an Alt key shows here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/log/event_log_windows.hpp"
#include "app/main_window/main_controls.hpp"
#include "app/settings/get_config.hpp"
#include "runtime/window/accelerators.hpp"

namespace zelt::app::testing {
namespace {

std::vector<std::string> Changes(runtime::WindowDeclaration w) {
    std::vector<std::string> out;
    for (const auto& c : runtime::UniqueAccelerators(w))
        out.push_back(w.Control(c.control)->name + ": " + c.before + " -> " + c.after);
    return out;
}

TEST(ProgramAcceleratorsTest, TheTextsThatChanged) {
    // G goes to "Chan&ge" and M to the subsets' "Gen && &Make", both declared earlier; the
    // Projects tab has P.
    EXPECT_EQ(
        Changes(MainWindowDeclaration({}, {})),
        (std::vector<std::string>{"?CancelBatch: Cancel -> &Cancel",
                                  "?ExecuteApp: &Gen && Make    (.APP) -> Gen && Ma&ke    (.APP)",
                                  "?Generate: Gen && &Make  (Project) -> Gen && Make  (P&roject)",
                                  "?BUTTON21: &Print Log -> Print L&og"}));
    EXPECT_EQ(Changes(ViewEventsDeclaration()), (std::vector<std::string>{}));
    EXPECT_EQ(Changes(UpdateEventsDeclaration()),
              (std::vector<std::string>{"?Cancel: Cancel -> &Cancel"}));
    EXPECT_EQ(Changes(GetConfigDeclaration()), (std::vector<std::string>{}));
}

}  // namespace
}  // namespace zelt::app::testing
