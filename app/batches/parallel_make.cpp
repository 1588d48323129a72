// A make that drives several IDEs at once (BatchEngine::ParallelIDEs above 1).
//
// Lanes. The batch holds one conversation with each of up to ParallelIDEs IDEs: the one
// ConnectToIde reached, then the others that answer, in order of their names on the bus,
// then, while fewer than ParallelIDEs answer, IDEs started one by one from the run string
// (each awaited within the start limit; the first that cannot be started ends the starting,
// and an event under "Vextor" says on how many IDEs the batch runs and why). A lane carries
// one item at a time.
//
// Stages. Items are taken in the batch's order (priority, then name). The next item is sent
// when a lane is free and every item in flight has its priority: an item of a higher
// priority number waits until every item of a lower one has ended (finished, failed or
// skipped). Skipped items (no file, no target, an unsafe name) take no lane.
//
// Each item keeps the rules of the one-by-one make: its old target deleted first, every
// event on disk before its command, its command on its lane's conversation, the error path
// when the command is not acknowledged (no further item is begun; those begun with it are
// still sent, and those in flight are waited for to their end), and the waits of
// batch_engine.hpp, each with its own clock. The items that go at one moment (a stage's
// first ones, or the next ones as several end together) are begun together: their events
// are written in one go, then their commands are sent one after another. An item
// whose IDE went away fails alone; its lane takes another IDE that answers, if any, and is
// dropped otherwise. When no lane is left the next item's command has no conversation and
// takes the error path, as in the one-by-one make.
//
// One wait. All items in flight are looked at in turn, then the batch sleeps once on one
// descriptor (ResultWatches: every result's folder and the bus) for at most a tick, through
// the window's WaitForResult, so the window stays alive and Cancel, the close box and the
// signals end the sleep. On abort every item in flight logs "Aborted: the batch was
// cancelled" and every conversation is closed.
//
// StatusMsg names the items in flight ("3 building: A.APP, B.APP, C.APP"); this one status
// text is not cut at 30 characters, so that it names them all. Progress counts the items
// that have ended.
#include <algorithm>
#include <optional>

#include "app/batches/batch_engine.hpp"
#include "app/batches/file_services.hpp"
#include "app/batches/flight.hpp"
#include "app/batches/result_watches.hpp"
#include "app/ide/ide_commands.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/text/stored_text.hpp"
#include "runtime/values/clock_source.hpp"

namespace zelt::app {

struct BatchEngine::Lane {
    runtime::ChannelHandle channel = 0;
    bool busy = false;
};

namespace {

std::string ErrorText() {
    return "Error " + std::to_string(runtime::CurrentErrorCode()) + " " +
           std::string(ClipText(runtime::CurrentErrorText()));
}

}  // namespace

std::vector<BatchEngine::Lane> BatchEngine::OpenLanes() {
    std::vector<Lane> lanes;
    lanes.push_back({channel_.Channel, false});
    const auto wanted = static_cast<std::size_t>(std::clamp(ParallelIDEs, 1, 16));
    std::string why;
    // First the IDEs that are there, then the ones started for the batch.
    for (const bool start : {false, true}) {
        while (lanes.size() < wanted && AbortFlag.load() == 0) {
            const runtime::ChannelHandle channel = channel_.ConnectAnotherIde(start, &why);
            if (channel == 0) break;
            lanes.push_back({channel, false});
        }
    }
    if (lanes.size() < wanted && AbortFlag.load() == 0) {
        LogEvent(kIdeEventName, "Making on " + std::to_string(lanes.size()) + " of " +
                                    std::to_string(wanted) + " IDEs: " + why);
    }
    return lanes;
}

void BatchEngine::ShowInFlight(const std::vector<Flight>& flights) {
    if (flights.empty()) return;
    std::string text = std::to_string(flights.size()) + " building: ";
    for (std::size_t i = 0; i < flights.size(); ++i)
        text += (i == 0 ? "" : ", ") + flights[i].shown;
    channel_.StatusMsg = text;  // the one status text that is not cut: it names them all
    window_.Redisplay();
}

BatchEngine::Launch BatchEngine::SendPrepared(MakeVariant variant, Flight flight,
                                              std::vector<Lane>& lanes,
                                              std::vector<Flight>& flights, BatchSummary& summary) {
    Lane& lane = lanes[flight.lane];
    channel_.Channel = lane.channel;
    const Sent sent = SendCommand(flight.command);
    channel_.Channel = 0;
    switch (sent) {
        case Sent::ErrorPath:
            lane.busy = false;
            TakeErrorPath(flight.name, "Error Making .App ", summary);
            // That error was this item's: the items still in flight wait as they would alone,
            // not five minutes and out for an error of another IDE.
            if (!flights.empty()) runtime::ClearError();
            return Launch::Stopped;
        case Sent::Aborted:
            lane.busy = false;
            LogAborted(flight.name);
            ItemDone();
            return Launch::Stopped;
        case Sent::Acknowledged:
            break;
    }
    ShowStatus(flight.shown + " DDE Ack. " +
               (variant == MakeVariant::Subset ? "" : std::to_string(flight.priority)));
    flight.sent_ms = runtime::CurrentClockSource().MonotonicMs();
    flights.push_back(std::move(flight));
    return Launch::InFlight;
}

bool BatchEngine::FlightEnded(MakeVariant variant, Flight& flight, Lane& lane,
                              BatchSummary& summary) {
    if (WrittenSince(flight.before, StampOf(flight.target))) {
        const std::string priority = std::to_string(flight.priority);
        ShowStatus(flight.shown + (variant == MakeVariant::Subset
                                       ? " Compiled & Made"
                                       : " Compiled & Made " + priority));
        LogEvent(flight.name, "Make Finished");
        ++summary.made;
        return true;
    }
    if (!channel_.Client().IsOpen(lane.channel)) {
        // This item's IDE went away; the others' items go on, so the error stays its own.
        const runtime::ErrorState kept = runtime::CurrentError();
        ide_gone_ = true;
        runtime::PostError(runtime::err::DdeChannelNotOpen);
        ShowStatus("Vextor went away");
        LogEvent(flight.name, ErrorText() + ": Vextor went away");
        runtime::RestoreError(kept);
        ++summary.failed;
        ReplaceLane(lane);
        return true;
    }
    const std::int64_t waited = runtime::CurrentClockSource().MonotonicMs() - flight.sent_ms;
    const bool error_set = runtime::CurrentErrorCode() != runtime::err::NoError;
    const std::int64_t limit = WaitLimitMs();
    if (error_set && waited >= kErrorWaitMs) {
        LogEvent(flight.name, ErrorText());
        ++summary.failed;
        return true;
    }
    if (limit > 0 && waited >= limit) {
        if (error_set) LogEvent(flight.name, ErrorText());
        LogEvent(flight.name, "Wait limit reached");
        ++summary.failed;
        return true;
    }
    return false;
}

void BatchEngine::ReplaceLane(Lane& lane) {
    const runtime::ErrorState kept = runtime::CurrentError();
    channel_.Client().CloseConversation(lane.channel);
    // One look for another IDE that answers; none is started in the middle of a batch.
    lane.channel = channel_.Client().OpenAnotherConversation(kIdeService, "");
    runtime::RestoreError(kept);
}

void BatchEngine::MakeInStages(MakeVariant variant, const std::vector<AppsRecord>& items,
                               BatchSummary& summary) {
    std::vector<Lane> lanes = OpenLanes();
    channel_.Channel = 0;  // the lanes hold the conversations now
    std::vector<Flight> flights;
    ResultWatches watches(channel_.Client().Transport().EventDescriptor());
    std::size_t next = 0;
    bool starting = true;
    // A lane for the next item: a free one whose IDE is there, or, when no IDE is left and
    // nothing is under way, the first (its command then goes nowhere: the error path).
    const auto free_lane = [&](bool nothing_under_way) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < lanes.size(); ++i) {
            Lane& lane = lanes[i];
            if (lane.busy || lane.channel == 0) continue;
            // An IDE that went away between items gives its lane to another, if one answers.
            if (!channel_.Client().IsOpen(lane.channel)) ReplaceLane(lane);
            if (lane.channel != 0) return i;
        }
        if (nothing_under_way) return 0;
        return std::nullopt;
    };
    for (;;) {
        if (AbortFlag.load() != 0) break;
        if (log_unusable_) starting = false;
        // The items that may go now: up to the free lanes, all of the priority under way.
        std::vector<Flight> ready;
        while (starting && next < items.size()) {
            // A queue emptied meanwhile (the Close button) ends the batch too.
            if (variant == MakeVariant::Project && next >= ProcessQueue.size()) {
                starting = false;
                break;
            }
            const Flight* stage = !flights.empty() ? &flights.front()
                                  : !ready.empty() ? &ready.front()
                                                   : nullptr;
            if (stage && stage->priority != items[next].Priority) break;
            const std::optional<std::size_t> lane = free_lane(flights.empty() && ready.empty());
            if (!lane) break;
            std::optional<Flight> prepared = PrepareItem(variant, items[next++], summary);
            if (!prepared) continue;
            prepared->lane = *lane;
            lanes[*lane].busy = true;
            ready.push_back(std::move(*prepared));
        }
        // Their events on disk in one write, before the first of their commands.
        if (!ready.empty() && !SettleEvents()) {
            for (const Flight& flight : ready) lanes[flight.lane].busy = false;
            ready.clear();
            starting = false;
        }
        for (Flight& flight : ready) {
            if (AbortFlag.load() != 0) {
                lanes[flight.lane].busy = false;
                LogAborted(flight.name);
                ItemDone();
                continue;
            }
            const std::size_t in_flight = flights.size();
            if (SendPrepared(variant, std::move(flight), lanes, flights, summary) ==
                Launch::Stopped)
                starting = false;
            if (flights.size() > in_flight) watches.Follow(flights.back().target);
        }
        if (!ready.empty()) ShowInFlight(flights);
        if (AbortFlag.load() != 0) break;
        if (flights.empty() && (!starting || next >= items.size())) break;
        // Every item in flight looked at, then one sleep for them all.
        bool ended = false;
        for (std::size_t i = 0; i < flights.size();) {
            Flight& flight = flights[i];
            Lane& lane = lanes[flight.lane];
            if (!FlightEnded(variant, flight, lane, summary)) {
                ++i;
                continue;
            }
            ended = true;
            watches.Forget(flight.target);
            lane.busy = false;
            flights.erase(flights.begin() + static_cast<std::ptrdiff_t>(i));
            ItemDone();
        }
        if (ended) ShowInFlight(flights);
        if (flights.empty()) continue;
        SettleEvents();
        window_.WaitForResult({watches.Descriptor(), kResultTickMs, {}});
        watches.Drain();
        channel_.Client().ProcessPending();
    }
    for (const Flight& flight : flights) {
        LogAborted(flight.name);
        ItemDone();
    }
    const runtime::ErrorState kept = runtime::CurrentError();
    for (const Lane& lane : lanes) channel_.Client().CloseConversation(lane.channel);
    runtime::RestoreError(kept);
    channel_.Channel = 0;
    channel_.Connected = 0;
}

}  // namespace zelt::app
