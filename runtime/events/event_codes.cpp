#include "runtime/events/event_codes.hpp"

#include <algorithm>
#include <array>
#include <cctype>

namespace zelt::runtime {
namespace {

constexpr EventName E(EventCode code, std::string_view name) {
    return EventName{InternalEventNumber(code), name};
}

constexpr std::array kEventNames = {
    E(event::Accepted, "EVENT:Accepted"),
    E(event::NewSelection, "EVENT:NewSelection"),
    E(event::ScrollUp, "EVENT:ScrollUp"),
    E(event::ScrollDown, "EVENT:ScrollDown"),
    E(event::PageUp, "EVENT:PageUp"),
    E(event::PageDown, "EVENT:PageDown"),
    E(event::ScrollTop, "EVENT:ScrollTop"),
    E(event::ScrollBottom, "EVENT:ScrollBottom"),
    E(event::Locate, "EVENT:Locate"),
    E(event::MouseUp, "EVENT:MouseUp"),
    E(event::MouseIn, "EVENT:MouseIn"),
    E(event::MouseOut, "EVENT:MouseOut"),
    E(event::MouseMove, "EVENT:MouseMove"),
    E(event::VBXevent, "EVENT:VBXevent"),
    E(event::AlertKey, "EVENT:AlertKey"),
    E(event::PreAlert, "EVENT:PreAlert"),
    E(event::Dragging, "EVENT:Dragging"),
    E(event::Drag, "EVENT:Drag"),
    E(event::Drop, "EVENT:Drop"),
    E(event::ScrollDrag, "EVENT:ScrollDrag"),
    E(event::TabChanging, "EVENT:TabChanging"),
    E(event::Expanding, "EVENT:Expanding"),
    E(event::Contracting, "EVENT:Contracting"),
    E(event::Expanded, "EVENT:Expanded"),
    E(event::Contracted, "EVENT:Contracted"),
    E(event::Rejected, "EVENT:Rejected"),
    E(event::DroppingDown, "EVENT:DroppingDown"),
    E(event::DroppedDown, "EVENT:DroppedDown"),
    E(event::ScrollTrack, "EVENT:ScrollTrack"),
    E(event::ColumnResize, "EVENT:ColumnResize"),
    E(event::Selected, "EVENT:Selected"),
    E(event::CloseWindow, "EVENT:CloseWindow"),
    E(event::CloseDown, "EVENT:CloseDown"),
    E(event::OpenWindow, "EVENT:OpenWindow"),
    E(event::OpenFailed, "EVENT:OpenFailed"),
    E(event::LoseFocus, "EVENT:LoseFocus"),
    E(event::GainFocus, "EVENT:GainFocus"),
    E(event::Suspend, "EVENT:Suspend"),
    E(event::Resume, "EVENT:Resume"),
    E(event::Notify, "EVENT:Notify"),
    E(event::Timer, "EVENT:Timer"),
    E(event::DDErequest, "EVENT:DDErequest"),
    E(event::DDEadvise, "EVENT:DDEadvise"),
    E(event::DDEdata, "EVENT:DDEdata"),
    E(event::DDEexecute, "EVENT:DDEexecute"),
    E(event::DDEpoke, "EVENT:DDEpoke"),
    E(event::DDEclosed, "EVENT:DDEclosed"),
    E(event::Move, "EVENT:Move"),
    E(event::Size, "EVENT:Size"),
    E(event::Restore, "EVENT:Restore"),
    E(event::Maximize, "EVENT:Maximize"),
    E(event::Iconize, "EVENT:Iconize"),
    E(event::Completed, "EVENT:Completed"),
    E(event::Moved, "EVENT:Moved"),
    E(event::Sized, "EVENT:Sized"),
    E(event::Restored, "EVENT:Restored"),
    E(event::Maximized, "EVENT:Maximized"),
    E(event::Iconized, "EVENT:Iconized"),
    E(event::Docked, "EVENT:Docked"),
    E(event::UnDocked, "EVENT:UnDocked"),
    E(event::BuildFile, "EVENT:BuildFile"),
    E(event::BuildKey, "EVENT:BuildKey"),
    E(event::BuildDone, "EVENT:BuildDone"),
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::span<const EventName> EventNameTable() {
    return kEventNames;
}

std::string_view EventNameOf(EventCode code) {
    const auto number = InternalEventNumber(code);
    for (const auto& e : kEventNames) {
        if (e.internal_number == number) return e.name;
    }
    return {};
}

std::optional<EventCode> EventByName(std::string_view name) {
    for (const auto& e : kEventNames) {
        if (EqualsIgnoringCase(e.name, name)) return EventFromInternalNumber(e.internal_number);
    }
    return std::nullopt;
}

}  // namespace zelt::runtime
