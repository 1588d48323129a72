// Accelerators settled per window: Cancel takes C, a later duplicate takes the first free
// character of its text, and controls on different pages of one sheet may share a key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/window/accelerators.hpp"

namespace zelt::runtime {
namespace {

std::vector<std::string> Texts(const WindowDeclaration& w) {
    std::vector<std::string> out;
    for (const auto& c : w.Controls()) out.push_back(c.text);
    return out;
}

TEST(AcceleratorsTest, EachAltKeyReachesOneControlOfWhatIsSeenTogether) {
    struct Case {
        const char* what;
        std::vector<std::string> declared;
        std::vector<std::string> settled;
    };
    const std::vector<Case> cases = {
        {"a later duplicate takes its next free letter",
         {"&Print", "&Projects", "&Ok"},
         {"&Print", "P&rojects", "&Ok"}},
        {"\"&&\" is an ampersand, not an accelerator",
         {"&Gen && Make", "Gen && &Make", "&Make"},
         {"&Gen && Make", "Gen && &Make", "M&ake"}},
        {"Cancel takes C ahead of an earlier C",
         {"&Close", "Cancel", "&Clear"},
         {"C&lose", "&Cancel", "Cl&ear"}},
        {"texts without one stay; a text with no free letter loses it",
         {"Tag", "&Ab", "&Ba", "&Ab"},
         {"Tag", "&Ab", "&Ba", "Ab"}},
    };
    for (const Case& c : cases) {
        WindowDeclaration w("Form");
        for (std::size_t i = 0; i < c.declared.size(); ++i)
            w.Button("?B" + std::to_string(i), c.declared[i]);
        UniqueAccelerators(w);
        EXPECT_EQ(Texts(w), c.settled) << c.what;
    }
}

TEST(AcceleratorsTest, PagesOfOneSheetShareKeysButNotWithTheirTabsOrOutside) {
    WindowDeclaration w("Tabs");
    w.Sheet("?Sheet");
    w.Tab("?Tab1", "&Applications");
    w.Button("?Insert", "&Insert");
    w.Button("?Add", "&Add");  // the tab titles are always seen
    w.Tab("?Tab2", "&Projects");
    w.Button("?Insert:2", "&Insert");
    w.End();
    w.Button("?Info", "&Info");  // outside the sheet: seen with every page
    const auto changes = UniqueAccelerators(w);
    EXPECT_EQ(Texts(w), (std::vector<std::string>{"", "&Applications", "&Insert", "A&dd",
                                                  "&Projects", "&Insert", "I&nfo"}));
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].before, "&Add");
    EXPECT_EQ(changes[0].after, "A&dd");
    EXPECT_EQ(AcceleratorOf("Chan&ge"), 'g');
    EXPECT_EQ(AcceleratorOf("A && B"), '\0');
}

}  // namespace
}  // namespace zelt::runtime
