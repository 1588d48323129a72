// Window event codes.
//
// Field events (1..30, and Selected) are addressed to a control; window events (0x201..)
// to the window. Each event also has an internal message number, code + 0x1400, under
// which it is posted and traced.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zelt::runtime {

using EventCode = std::uint16_t;

namespace event {
// Field events
inline constexpr EventCode Accepted = 1;
inline constexpr EventCode NewSelection = 2;
inline constexpr EventCode ScrollUp = 3;
inline constexpr EventCode ScrollDown = 4;
inline constexpr EventCode PageUp = 5;
inline constexpr EventCode PageDown = 6;
inline constexpr EventCode ScrollTop = 7;
inline constexpr EventCode ScrollBottom = 8;
inline constexpr EventCode Locate = 9;
inline constexpr EventCode MouseUp = 10;
inline constexpr EventCode MouseIn = 11;
inline constexpr EventCode MouseOut = 12;
inline constexpr EventCode MouseMove = 13;
inline constexpr EventCode VBXevent = 14;
inline constexpr EventCode AlertKey = 15;
inline constexpr EventCode PreAlert = 16;
inline constexpr EventCode Dragging = 17;
inline constexpr EventCode Drag = 18;
inline constexpr EventCode Drop = 19;
inline constexpr EventCode ScrollDrag = 20;
inline constexpr EventCode TabChanging = 21;
inline constexpr EventCode Expanding = 22;
inline constexpr EventCode Contracting = 23;
inline constexpr EventCode Expanded = 24;
inline constexpr EventCode Contracted = 25;
inline constexpr EventCode Rejected = 26;
inline constexpr EventCode DroppingDown = 27;
inline constexpr EventCode DroppedDown = 28;
inline constexpr EventCode ScrollTrack = 29;
inline constexpr EventCode ColumnResize = 30;
inline constexpr EventCode Selected = 0x101;

// Window events
inline constexpr EventCode CloseWindow = 0x201;
inline constexpr EventCode CloseDown = 0x202;
inline constexpr EventCode OpenWindow = 0x203;
inline constexpr EventCode OpenFailed = 0x204;
inline constexpr EventCode LoseFocus = 0x205;
inline constexpr EventCode GainFocus = 0x206;
inline constexpr EventCode Suspend = 0x208;
inline constexpr EventCode Resume = 0x209;
inline constexpr EventCode Notify = 0x20A;
inline constexpr EventCode Timer = 0x20B;
inline constexpr EventCode DDErequest = 0x20C;
inline constexpr EventCode DDEadvise = 0x20D;
inline constexpr EventCode DDEdata = 0x20E;
inline constexpr EventCode DDEexecute = 0x20F;
inline constexpr EventCode DDEpoke = 0x210;
inline constexpr EventCode DDEclosed = 0x211;
inline constexpr EventCode Move = 0x220;
inline constexpr EventCode Size = 0x221;
inline constexpr EventCode Restore = 0x222;
inline constexpr EventCode Maximize = 0x223;
inline constexpr EventCode Iconize = 0x224;
inline constexpr EventCode Completed = 0x225;
inline constexpr EventCode Moved = 0x230;
inline constexpr EventCode Sized = 0x231;
inline constexpr EventCode Restored = 0x232;
inline constexpr EventCode Maximized = 0x233;
inline constexpr EventCode Iconized = 0x234;
inline constexpr EventCode Docked = 0x235;
inline constexpr EventCode UnDocked = 0x236;
inline constexpr EventCode BuildFile = 0x240;
inline constexpr EventCode BuildKey = 0x241;
inline constexpr EventCode BuildDone = 0x242;

inline constexpr EventCode FirstWindowEvent = CloseWindow;
}  // namespace event

inline constexpr std::uint32_t kInternalEventBase = 0x1400;

constexpr std::uint32_t InternalEventNumber(EventCode code) {
    return code + kInternalEventBase;
}
constexpr EventCode EventFromInternalNumber(std::uint32_t number) {
    return static_cast<EventCode>(number - kInternalEventBase);
}

// Field events are addressed to a control, the rest to the window.
constexpr bool IsFieldEvent(EventCode code) {
    return code != 0 && code < event::FirstWindowEvent;
}

struct EventName {
    std::uint32_t internal_number;
    std::string_view name;  // "EVENT:Accepted"
};

// The trace table: every event with its internal number, in code order.
std::span<const EventName> EventNameTable();

// "EVENT:Timer" for 0x20B; empty for a number that is no event.
std::string_view EventNameOf(EventCode code);
std::optional<EventCode> EventByName(std::string_view name);  // case-insensitive

}  // namespace zelt::runtime
