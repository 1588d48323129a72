#include "runtime/events/event_codes.hpp"

#include <gtest/gtest.h>

#include <set>

namespace zelt::runtime {
namespace {

TEST(EventCodesTest, CodesAndInternalNumbers) {
    EXPECT_EQ(event::OpenWindow, 515);
    EXPECT_EQ(event::Timer, 523);
    EXPECT_EQ(event::ColumnResize, 30);
    EXPECT_EQ(event::Rejected, 26);
    EXPECT_EQ(event::DDEclosed, 0x211);
    EXPECT_EQ(InternalEventNumber(event::Accepted), 0x1401u);
    EXPECT_EQ(InternalEventNumber(event::OpenWindow), 0x1603u);
    EXPECT_EQ(EventFromInternalNumber(0x160B), event::Timer);
    EXPECT_TRUE(IsFieldEvent(event::Selected));
    EXPECT_TRUE(IsFieldEvent(event::ColumnResize));
    EXPECT_FALSE(IsFieldEvent(event::CloseWindow));
    EXPECT_FALSE(IsFieldEvent(0));
}

TEST(EventCodesTest, NameTableCoversEveryEventOnce) {
    const auto table = EventNameTable();
    EXPECT_EQ(table.size(), 30u + 1u + 32u);
    std::set<std::uint32_t> numbers;
    for (const auto& e : table) {
        EXPECT_TRUE(numbers.insert(e.internal_number).second) << e.name;
        const auto code = EventFromInternalNumber(e.internal_number);
        EXPECT_EQ(EventNameOf(code), e.name);
        EXPECT_EQ(EventByName(e.name), code);
        // Field events never exceed 255, except Selected.
        if (code < event::FirstWindowEvent && code != event::Selected) {
            EXPECT_LE(code, 255);
        }
    }
    for (EventCode code = 1; code <= 30; ++code) {
        EXPECT_FALSE(EventNameOf(code).empty()) << code;
    }
    EXPECT_TRUE(EventNameOf(0x207).empty());
    EXPECT_EQ(EventNameOf(event::Timer), "EVENT:Timer");
    EXPECT_EQ(EventByName("event:ddeclosed"), event::DDEclosed);
    EXPECT_FALSE(EventByName("EVENT:Nothing").has_value());
}

}  // namespace
}  // namespace zelt::runtime
