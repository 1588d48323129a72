#include "app/ide/ide_channel.hpp"

#include <algorithm>
#include <utility>

#include "app/ide/ide_commands.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/values/clock_source.hpp"

namespace zelt::app {

namespace {
std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}
}  // namespace

IdeChannel::IdeChannel(runtime::ConversationClient& client, IdeWindow& window,
                       runtime::ServerStarter& starter, std::function<std::string()> run_string,
                       IdeStartLimits limits)
    : client_(client),
      window_(window),
      starter_(starter),
      run_string_(std::move(run_string)),
      limits_(limits) {
    client_.SetClosedHandler(
        [this](runtime::ChannelHandle) { window_.PostEvent(runtime::event::DDEclosed); });
}

IdeChannel::~IdeChannel() {
    client_.SetClosedHandler(nullptr);
}

void IdeChannel::SetStatus(std::string_view text) {
    // The status is shown text (UTF-8): the cut never splits a character.
    std::size_t cut = std::min(text.size(), kStatusMsgLength);
    while (cut > 0 && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    StatusMsg.assign(text.substr(0, cut));
}

void IdeChannel::ApplyTimeOut() {
    client_.SetChannelTimeOut(std::int64_t{DDETimeOutMinutes} * 6000);
}

bool IdeChannel::ConnectAtOpening() {
    Channel = client_.OpenConversation(kIdeService, "");
    Connected = Channel != 0 ? 1 : 0;
    SetStatus(Channel != 0 ? "Connected to Vextor" : "Not Connected to Vextor");
    window_.Redisplay();
    return Channel != 0;
}

void IdeChannel::OpenInPlace() {
    if (Channel != 0) {
        // The conversation being replaced would stay open on the server, unseen.
        const runtime::ErrorState kept = runtime::CurrentError();
        client_.CloseConversation(Channel);
        runtime::RestoreError(kept);
    }
    Channel = client_.OpenConversation(kIdeService, "");
}

bool IdeChannel::ReachIde() {
    if (Channel != 0) return true;
    const std::vector<std::string> silent = client_.UnansweredServers();
    if (silent.empty()) return StartIde();
    // One is there but does not answer (stopped or busy): a second one would not help.
    std::string names;
    for (const std::string& name : silent) names += (names.empty() ? "" : ", ") + name;
    Connected = 0;
    SetStatus("Not Connected to Vextor");
    window_.Redisplay();
    FailureReason = "Vextor is running but does not answer: " + names;
    window_.ShowMessage(FailureReason);
    return false;
}

void IdeChannel::ForgetEndedIde() {
    // Whoever answers now, it is not the one that ended.
    if (started_ide_ && !starter_.EndedInFailure().empty()) started_ide_ = false;
}

bool IdeChannel::IdeGone() {
    if (Channel != 0 && !client_.IsOpen(Channel)) return true;
    return started_ide_ && !starter_.EndedInFailure().empty();
}

bool IdeChannel::ConnectToIde() {
    FailureReason.clear();
    OpenInPlace();
    ForgetEndedIde();
    if (!ReachIde()) return false;
    Connected = 1;
    if (runtime::CurrentErrorCode() == runtime::err::NoError) SetStatus("Connected to Vextor");
    window_.Redisplay();
    return true;
}

void IdeChannel::CannotStart(std::string_view reason) {
    Channel = 0;
    Connected = 0;
    SetStatus("Not Connected to Vextor");
    window_.Redisplay();
    FailureReason = std::string("Vextor could not be started: ").append(reason);
    window_.ShowMessage(FailureReason);
}

bool IdeChannel::StartIde() {
    const Started started =
        StartAndAwait([this] { return client_.OpenConversation(kIdeService, ""); });
    if (started.launched) started_ide_ = true;
    if (started.channel != 0) {
        Channel = started.channel;
        return true;
    }
    if (started.cancelled) {
        FailureReason = "given up while Vextor was starting";
        Channel = 0;
        Connected = 0;
        SetStatus("Not Connected to Vextor");
        window_.Redisplay();
        return false;
    }
    CannotStart(started.failure);
    return false;
}

runtime::ChannelHandle IdeChannel::ConnectAnotherIde(bool may_start, std::string* why) {
    const auto open = [this] { return client_.OpenAnotherConversation(kIdeService, ""); };
    if (const runtime::ChannelHandle channel = open(); channel != 0 || !may_start) {
        if (channel == 0 && why) *why = "no other Vextor answers";
        return channel;
    }
    const Started started = StartAndAwait(open);
    // The starter now follows the IDE started last, which is not Channel's partner: that
    // one's going away is still seen on the bus.
    if (started.launched) started_ide_ = false;
    if (started.channel == 0 && why)
        *why = started.cancelled ? "given up while Vextor was starting" : started.failure;
    return started.channel;
}

IdeChannel::Started IdeChannel::StartAndAwait(const std::function<runtime::ChannelHandle()>& open) {
    Started result;
    const std::string command_line(Trim(run_string_ ? run_string_() : std::string()));
    if (command_line.empty()) {
        result.failure = "no command string to start Vextor is set.";
        return result;
    }
    SetStatus("Starting Vextor");
    window_.Redisplay();
    const runtime::StartResult started = starter_.Start(command_line);
    if (!started.started) {
        result.failure = started.reason;
        return result;
    }
    result.launched = true;
    if (const std::string output = starter_.OutputPath(); !output.empty())
        window_.IdeOutputGoesTo(output);
    const runtime::ClockSource& clock = runtime::CurrentClockSource();
    const std::int64_t deadline = clock.MonotonicMs() + limits_.answer_limit_ms;
    std::int64_t pause = limits_.first_pause_ms;
    std::int64_t shown_seconds = -1;
    for (;;) {
        result.channel = open();
        if (result.channel != 0) return result;
        if (std::string failure = starter_.EndedInFailure(); !failure.empty()) {
            result.failure = std::move(failure);
            return result;
        }
        if (window_.StartCancelled()) {
            result.cancelled = true;
            return result;
        }
        const std::int64_t remaining = deadline - clock.MonotonicMs();
        if (remaining <= 0) {
            result.failure = "it did not answer within " +
                             std::to_string((limits_.answer_limit_ms + 999) / 1000) + " seconds.";
            return result;
        }
        const std::int64_t seconds = (remaining + 999) / 1000;
        if (seconds != shown_seconds) {
            shown_seconds = seconds;
            SetStatus("Waiting for Vextor: " + std::to_string(seconds) + " s");
            window_.Redisplay();
        }
        // Woken early when a server appears on the bus.
        client_.Transport().WaitForActivity(std::min(pause, remaining));
        pause = std::min(pause * 2, limits_.longest_pause_ms);
    }
}

void IdeChannel::CheckChannelResult() {
    ErrMsg.clear();
    ErrCode = runtime::CurrentErrorCode();
    if (ErrCode <= 600) return;
    const runtime::CommandFault& fault = client_.LastCommandFault();
    if (ErrCode == runtime::err::DdeExecuteInvalid &&
        fault.kind == runtime::CommandFault::Kind::NotSent) {
        // The IDE never saw it: its error items would tell of an earlier command.
        window_.ShowMessage("Command not sent to Vextor: " + fault.reason);
    } else if (ErrCode == runtime::err::DdeExecuteInvalid &&
               fault.kind == runtime::CommandFault::Kind::Abandoned) {
        // Given up at the user's word (Cancel, a signal): nothing to tell.
    } else if (ErrCode == runtime::err::DdeExecuteInvalid &&
               fault.kind == runtime::CommandFault::Kind::PartnerGone) {
        window_.ShowMessage("Vextor went away before it answered the command");
    } else if (ErrCode == runtime::err::DdeExecuteInvalid) {
        client_.RequestItem(Channel, "GetErrorNum", ErrNum);
        std::string text;
        client_.RequestItem(Channel, "GetErrorMsg", text);
        ErrMsg.assign(std::string_view(text).substr(0, kErrMsgLength));
        window_.ShowMessage("Error " + std::to_string(ErrNum) + " : " +
                            std::string(ClipText(ErrMsg)));
        // The two requests cleared the code; the command was rejected all the same, and a
        // batch that saw 0 here would wait for a result that never comes.
        runtime::PostError(runtime::err::DdeExecuteInvalid);
    } else if (ErrCode == runtime::err::DdeTimedOut) {
        window_.ShowMessage("DDE timeout");
    } else {
        window_.ShowMessage("Unexpected Error: " + std::to_string(ErrCode));
    }
}

void IdeChannel::ConnectButton() {
    FailureReason.clear();
    OpenInPlace();
    ForgetEndedIde();
    if (!ReachIde()) {
        window_.SelectApplicationsList();
        return;
    }
    Connected = 1;
    SetStatus("Connected to Vextor");
    if (runtime::CurrentErrorCode() == runtime::err::NoError) SetStatus("Connected to Vextor.");
    window_.Redisplay();
    window_.SelectApplicationsList();
}

void IdeChannel::DisconnectButton() {
    client_.CloseConversation(Channel);  // the conversation the user means to end
    Channel = client_.OpenConversation(kIdeService, "");
    client_.CloseConversation(Channel);
    Connected = 0;
    Channel = 0;
    SetStatus("Vextor disconnected");
    window_.Redisplay();
    window_.SelectApplicationsList();
}

}  // namespace zelt::app
