// The program's side of the IDE command channel: the connection state that the main
// window shows and the batches use, connecting (and starting the IDE when it does not
// answer), the check after every command, and the connect and disconnect buttons.
//
// The main window implements IdeWindow (or uses WindowIdeView), binds its status fields to
// StatusMsg and its spin ?Timeout to DDETimeOutMinutes, and lets the conversation layer
// handle what arrives from the bus: it calls Client().ProcessPending() when
// Client().Transport().EventDescriptor() becomes readable, or at least on every timer tick,
// so that a server ending the conversation raises EVENT:DDEclosed. The batches send with
// Client().ExecuteCommand(Channel, ...) and the commands of ide_commands.hpp.
//
// The fields carry the names the main window and the batches use. StatusMsg holds at most
// 30 characters and ErrMsg at most 299 (set them through SetStatus; the routines here cut
// what they store).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ide/ide_window.hpp"
#include "runtime/conversation/conversation_client.hpp"
#include "runtime/conversation/server_starter.hpp"

namespace zelt::app {

inline constexpr std::string_view kIdeService = "VextorWin";
inline constexpr std::size_t kStatusMsgLength = 30;
inline constexpr std::size_t kErrMsgLength = 299;

struct IdeStartLimits {
    std::int64_t answer_limit_ms = 30000;  // how long a started IDE has to answer
    std::int64_t first_pause_ms = 50;      // pause after the first unanswered attempt
    std::int64_t longest_pause_ms = 1000;  // the pauses double up to this
};

class IdeChannel {
  public:
    // `run_string` gives the command line that starts the IDE (GLO:RunString) when needed.
    IdeChannel(runtime::ConversationClient& client, IdeWindow& window,
               runtime::ServerStarter& starter, std::function<std::string()> run_string,
               IdeStartLimits limits = {});
    IdeChannel(const IdeChannel&) = delete;
    IdeChannel& operator=(const IdeChannel&) = delete;
    ~IdeChannel();

    runtime::ChannelHandle Channel = 0;
    std::uint8_t Connected = 0;
    std::string StatusMsg;
    std::uint8_t DDETimeOutMinutes = 3;
    std::int32_t ErrCode = 0;
    std::uint16_t ErrNum = 0;
    std::string ErrMsg;

    void SetStatus(std::string_view text);
    // SetChannelTimeOut(DDETimeOutMinutes x 6000), the minutes of the spin in hundredths.
    void ApplyTimeOut();

    // The main window's opening step: one attempt to reach the IDE, without starting it.
    // Connected and StatusMsg ("Connected to Vextor" / "Not Connected to Vextor") follow the
    // result; false means the program warns that the IDE is not running.
    bool ConnectAtOpening();
    // Opens the conversation with "VextorWin" in place of the one in Channel (which is
    // closed), starting the IDE with the run string when no server answers. True with
    // Connected = 1 once Channel is non-zero. When a running IDE does not answer (stopped or
    // busy; no second one is started), or the IDE cannot be started or does not answer within
    // the limit, the user is told why once, and the result is false with Channel 0 and
    // Connected 0: the batch should end.
    bool ConnectToIde();
    // For a make that drives several IDEs at once: a new conversation with an IDE that is
    // not yet the partner of an open conversation of Client(). When none answers and
    // `may_start`, one more IDE is started from the run string and awaited as ConnectToIde
    // awaits one (the same limit; the window's StartCancelled gives up), without telling the
    // user: 0 then, with `why` saying what went wrong (why no IDE could be started). Channel and
    // Connected are left alone. Each IDE started so must take a bus name of its own (vxide does,
    // unless --instance names one).
    runtime::ChannelHandle ConnectAnotherIde(bool may_start, std::string* why);
    // Why the latest ConnectToIde or ConnectButton failed, as told to the user; empty after
    // a success.
    std::string FailureReason;
    // True when the IDE has gone away from the conversation in Channel: it ended the
    // conversation, its name vanished from the bus (both seen once Client().ProcessPending()
    // has run), or the IDE process that this channel started ended in failure.
    bool IdeGone();

    // Run after every command: reports a conversation error (code above 600) to the user and
    // keeps the code in ErrCode. After a rejected command (603) it shows the IDE's own error
    // number and message, and leaves the runtime's error code at 603 so that the batch
    // takes its error path. A 603 the IDE had no part in (the command could not be sent, or
    // the IDE went away with it) is shown with its own reason, without asking the IDE; one
    // whose wait was given up (Cancel, a signal) is not shown.
    void CheckChannelResult();
    // The buttons ?ConnectToVX and ?DisconnectFromVX. Connecting replaces the conversation in
    // Channel as ConnectToIde does; disconnecting also closes it.
    void ConnectButton();
    void DisconnectButton();

    runtime::ConversationClient& Client() { return client_; }

  private:
    // Channel = a new conversation with the IDE, after closing the one it held, keeping the
    // runtime's error code as it was.
    void OpenInPlace();
    // After OpenInPlace: true when Channel is open, else tells why no IDE answers, or starts
    // one and waits for it.
    bool ReachIde();
    // Starts the IDE and waits for it to answer; true once Channel is non-zero.
    bool StartIde();
    struct Started {
        runtime::ChannelHandle channel = 0;
        bool launched = false;  // the run string was started
        bool cancelled = false;
        std::string failure;  // why it did not start or answer
    };
    // Starts an IDE from the run string and repeats `open` until it gives a conversation, the
    // IDE ends in failure, the limit passes or the window gives up.
    Started StartAndAwait(const std::function<runtime::ChannelHandle()>& open);
    void CannotStart(std::string_view reason);
    void ForgetEndedIde();

    runtime::ConversationClient& client_;
    IdeWindow& window_;
    runtime::ServerStarter& starter_;
    std::function<std::string()> run_string_;
    IdeStartLimits limits_;
    bool started_ide_ = false;  // the IDE answering now is the one this channel started
};

}  // namespace zelt::app
