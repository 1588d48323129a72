// vxcmd: a command-line client of the IDE conversation (docs/ide-protocol.md).
//
//   vxcmd [--service S] [--topic T] [--timeout H] [--request ITEM]... [COMMAND]...
//
// Opens a conversation (it never starts an IDE), then handles requests and commands in the
// order given. A command prints "OK", or "ERROR <code> <text>"; after a rejected command
// (603) the IDE's own error follows as "IDE <number> : <text>". A request prints
// "DATA <text>" or "NACK". Exit status: 0 when every command was acknowledged, 1 when not,
// 2 when no server answered or the arguments are wrong.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/dbus/dbus_transport.hpp"
#include "runtime/conversation/conversation_client.hpp"
#include "runtime/errors/error_state.hpp"

namespace {

constexpr const char* kUsage =
    "usage: vxcmd [--service S] [--topic T] [--timeout H] [--request ITEM]... [COMMAND]...\n"
    "  --service S     service to talk to (default VextorWin)\n"
    "  --topic T       topic (default: any)\n"
    "  --timeout H     reply time-out in hundredths of a second (default 18000)\n"
    "  --request ITEM  ask for a text item\n";

struct Step {
    bool request = false;
    std::string text;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace zelt;
    std::string service = "VextorWin";
    std::string topic;
    std::int64_t timeout = runtime::kDefaultReplyTimeOutHundredths;
    std::vector<Step> steps;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--service" && has_value) {
            service = argv[++i];
        } else if (arg == "--topic" && has_value) {
            topic = argv[++i];
        } else if (arg == "--request" && has_value) {
            steps.push_back({true, argv[++i]});
        } else if (arg == "--timeout" && has_value) {
            const std::string value = argv[++i];
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), timeout);
            if (ec != std::errc{} || end != value.data() + value.size() || timeout < 0) {
                std::fprintf(stderr, "vxcmd: --timeout needs hundredths of a second\n%s", kUsage);
                return 2;
            }
        } else if (arg == "--") {
            for (++i; i < argc; ++i) steps.push_back({false, argv[i]});
        } else if (arg.starts_with("--")) {
            std::fprintf(stderr, "vxcmd: unknown option or missing value: %s\n%s", arg.c_str(), kUsage);
            return 2;
        } else {
            steps.push_back({false, arg});
        }
    }

    std::string reason;
    std::shared_ptr<platform::DbusConversationTransport> transport =
        platform::DbusConversationTransport::ConnectSessionBus(&reason);
    if (!transport) {
        std::fprintf(stderr, "vxcmd: %s\n", reason.c_str());
        return 2;
    }
    runtime::ConversationClient client(transport);
    client.SetChannelTimeOut(timeout);
    const runtime::ChannelHandle channel = client.OpenConversation(service, topic);
    if (channel == 0) {
        std::printf("no server answered for service %s\n", service.c_str());
        return 2;
    }

    bool all_acknowledged = true;
    for (const Step& step : steps) {
        if (step.request) {
            // A negative acknowledgement leaves the variable as it was: a marker that no
            // text answer can be tells the two apart.
            const std::string unanswered = "\x01";
            std::string text = unanswered;
            const runtime::ErrorCode code = client.RequestItem(channel, step.text, text);
            if (code != 0) {
                std::printf("ERROR %d %s\n", code, runtime::CurrentErrorText().c_str());
            } else if (text == unanswered) {
                std::printf("NACK\n");
            } else {
                std::printf("DATA %s\n", text.c_str());
            }
            std::fflush(stdout);
            continue;
        }
        const runtime::ErrorCode code = client.ExecuteCommand(channel, step.text);
        if (code == 0) {
            std::printf("OK\n");
        } else {
            all_acknowledged = false;
            std::printf("ERROR %d %s\n", code, runtime::CurrentErrorText().c_str());
            if (code == runtime::err::DdeExecuteInvalid) {
                std::uint16_t number = 0;
                std::string message;
                client.RequestItem(channel, "GetErrorNum", number);
                client.RequestItem(channel, "GetErrorMsg", message);
                std::printf("IDE %u : %s\n", static_cast<unsigned>(number), message.c_str());
            }
        }
        std::fflush(stdout);
    }
    client.CloseConversation(channel);
    return all_acknowledged ? 0 : 1;
}
