// vxcmd: a command-line client of the IDE conversation (docs/ide-protocol.md).
//
//   vxcmd [--service S] [--topic T] [--timeout H] [--request ITEM]... [COMMAND]...
//
// Opens a conversation (it never starts an IDE), then handles requests and commands in the
// order given. A command prints "OK", or "ERROR <code> <text>" followed by why: after a
// rejected command (603) the IDE's own error as "IDE <number> : <text>" (or "IDE ? : " and
// why the IDE's error items could not be read), after a command that could not be sent
// "NOT SENT : <reason>", after an IDE that went away with it "GONE : <reason>". A request
// prints "DATA <text>" or "NACK". Results go to standard output, everything else to
// standard error. Exit status: 0 when every command was acknowledged, 1 when not, 2 when no
// conversation could be opened (no bus, no server answered, a server refused or answered
// wrongly, or the servers did not answer in time), 64 for a wrong command line.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/dbus/dbus_transport.hpp"
#include "runtime/conversation/conversation_client.hpp"
#include "runtime/conversation/conversation_text.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/program/command_usage.hpp"

namespace {

constexpr int kUsageStatus = zelt::runtime::kUsageExitStatus;
constexpr int kNoConversation = 2;

constexpr const char* kUsage =
    "usage: vxcmd [--service S] [--topic T] [--timeout H] [--request ITEM]... [COMMAND]...\n"
    "  --service S     service to talk to (default VextorWin)\n"
    "  --topic T       topic (default: any)\n"
    "  --timeout H     reply time-out in hundredths of a second (default 18000, at most\n"
    "                  3153600000: 365 days)\n"
    "  --request ITEM  ask for a text item\n"
    "  --help          this text\n"
    "  --version       the release of vxcmd\n"
    "exit status:\n"
    "  0   every command was acknowledged\n"
    "  1   at least one command was not\n"
    "  2   no conversation could be opened (no bus, no server answered or every one refused)\n"
    "  64  wrong usage (an unknown option, a missing or bad value)\n";

struct Step {
    bool request = false;
    std::string text;
};

struct Arguments {
    std::string service = "VextorWin";
    std::string topic;
    std::int64_t timeout = zelt::runtime::kDefaultReplyTimeOutHundredths;
    std::vector<Step> steps;
};

int Usage(const std::string& problem) {
    std::fprintf(stderr, "vxcmd: %s\n%s", problem.c_str(), kUsage);
    return kUsageStatus;
}

// Reads the command line; -1 to go on, else the status to end with.
int Parse(int argc, char** argv, Arguments& args) {
    switch (zelt::runtime::FindStandingRequest(std::vector<std::string>(argv + 1, argv + argc))) {
        case zelt::runtime::StandingRequest::Help:
            std::fputs(kUsage, stdout);
            return 0;
        case zelt::runtime::StandingRequest::Version:
            std::printf("vxcmd (ZELT) %s\n", ZELT_VERSION);
            return 0;
        case zelt::runtime::StandingRequest::None:
            break;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--service" && has_value) {
            args.service = argv[++i];
        } else if (arg == "--topic" && has_value) {
            args.topic = argv[++i];
        } else if (arg == "--request" && has_value) {
            args.steps.push_back({true, argv[++i]});
        } else if (arg == "--timeout" && has_value) {
            const std::string value = argv[++i];
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), args.timeout);
            if (ec != std::errc{} || end != value.data() + value.size() || args.timeout < 0 ||
                args.timeout > zelt::runtime::kMaxReplyTimeOutHundredths) {
                return Usage("--timeout needs hundredths of a second from 0 to " +
                             std::to_string(zelt::runtime::kMaxReplyTimeOutHundredths) +
                             " (365 days), not \"" + value + "\"");
            }
        } else if (arg == "--") {
            for (++i; i < argc; ++i) args.steps.push_back({false, argv[i]});
        } else if (arg.starts_with("-")) {
            return Usage("unknown option or missing value: " + arg);
        } else {
            args.steps.push_back({false, arg});
        }
    }
    return -1;
}

void PrintRequest(zelt::runtime::ConversationClient& client, zelt::runtime::ChannelHandle channel,
                  const std::string& item) {
    using namespace zelt;
    // A negative acknowledgement leaves the variable as it was: a marker that no text answer
    // can be tells the two apart.
    const std::string unanswered = "\x01";
    std::string text = unanswered;
    const runtime::ErrorCode code = client.RequestItem(channel, item, text);
    if (code != 0) {
        std::printf("ERROR %d %s\n", code, runtime::CurrentErrorText().c_str());
    } else if (text == unanswered) {
        std::printf("NACK\n");
    } else {
        std::printf("DATA %s\n", text.c_str());
    }
}

// Asks for one of the IDE's error items; empty when it was answered, else why not.
std::string ReadErrorItem(zelt::runtime::ConversationClient& client,
                          zelt::runtime::ChannelHandle channel, const std::string& item,
                          std::string& text) {
    using namespace zelt;
    const std::string unanswered = "\x01";
    text = unanswered;
    const runtime::ErrorCode code = client.RequestItem(channel, item, text);
    if (code != 0) {
        text.clear();
        return item + " failed with " + std::to_string(code) + " " + runtime::CurrentErrorText();
    }
    if (text == unanswered) {
        text.clear();
        return item + " was refused (NACK)";
    }
    return {};
}

// True when the command was acknowledged.
bool PrintCommand(zelt::runtime::ConversationClient& client, zelt::runtime::ChannelHandle channel,
                  const std::string& command) {
    using namespace zelt;
    const runtime::ErrorCode code = client.ExecuteCommand(channel, command);
    if (code == 0) {
        std::printf("OK\n");
        return true;
    }
    std::printf("ERROR %d %s\n", code, runtime::CurrentErrorText().c_str());
    if (code != runtime::err::DdeExecuteInvalid) return false;
    const runtime::CommandFault& fault = client.LastCommandFault();
    if (fault.kind == runtime::CommandFault::Kind::NotSent) {
        std::printf("NOT SENT : %s\n", fault.reason.c_str());
    } else if (fault.kind == runtime::CommandFault::Kind::PartnerGone) {
        std::printf("GONE : the IDE went away before it answered\n");
    } else {
        std::string number_text;
        std::string message;
        std::string why = ReadErrorItem(client, channel, "GetErrorNum", number_text);
        unsigned number = 0;
        const auto [end, ec] =
            std::from_chars(number_text.data(), number_text.data() + number_text.size(), number);
        if (why.empty() && (number_text.empty() || ec != std::errc{} ||
                            end != number_text.data() + number_text.size() || number > 65535)) {
            why = "GetErrorNum answered \"" + runtime::ShowableText(number_text) +
                  "\", not a number from 0 to 65535";
        }
        const std::string message_why = ReadErrorItem(client, channel, "GetErrorMsg", message);
        if (!message_why.empty()) why += (why.empty() ? "" : "; ") + message_why;
        if (why.empty()) {
            std::printf("IDE %u : %s\n", number, message.c_str());
        } else {
            std::printf("IDE ? : the IDE's error could not be read: %s\n", why.c_str());
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zelt;
    Arguments args;
    if (const int status = Parse(argc, argv, args); status >= 0) return status;

    std::string reason;
    std::shared_ptr<platform::DbusConversationTransport> transport =
        platform::DbusConversationTransport::ConnectSessionBus(&reason);
    if (!transport) {
        std::fprintf(stderr, "vxcmd: %s\n", reason.c_str());
        return kNoConversation;
    }
    runtime::ConversationClient client(transport);
    client.SetChannelTimeOut(args.timeout);
    const runtime::ChannelHandle channel = client.OpenConversation(args.service, args.topic);
    if (channel == 0) {
        const std::vector<std::string> silent = client.UnansweredServers();
        const std::vector<std::string> refusals = client.RefusingServers();
        for (const std::string& refusal : refusals)
            std::fprintf(stderr, "vxcmd: %s\n", refusal.c_str());
        if (silent.empty() && refusals.empty()) {
            std::fprintf(stderr, "vxcmd: no server answered for service %s\n",
                         args.service.c_str());
        }
        const std::int64_t limit_s = (transport->InitiateTimeOut() + 999) / 1000;
        for (const std::string& name : silent) {
            std::fprintf(stderr, "vxcmd: %s did not answer within %lld seconds\n", name.c_str(),
                         static_cast<long long>(limit_s));
        }
        return kNoConversation;
    }

    bool all_acknowledged = true;
    for (const Step& step : args.steps) {
        if (step.request) {
            PrintRequest(client, channel, step.text);
        } else {
            all_acknowledged = PrintCommand(client, channel, step.text) && all_acknowledged;
        }
        std::fflush(stdout);
    }
    client.CloseConversation(channel);
    return all_acknowledged ? 0 : 1;
}
