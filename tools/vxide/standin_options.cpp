#include <charconv>

#include "tools/vxide/standin_ide.hpp"

namespace zelt::vxide {

std::string StandinUsage() {
    return "usage: vxide [options]\n"
           "  --service NAME       service to answer for (default VextorWin)\n"
           "  --topic NAME         the only topic served (default: any topic)\n"
           "  --instance NAME      bus name org.zelt.Dde.Server.NAME (default vxide_<pid>)\n"
           "  --ack-delay MS       wait before each acknowledgement\n"
           "  --result-delay MS    wait before each result file is written\n"
           "  --build-delay MS     each make builds for MS, one build at a time\n"
           "  --reject-all         acknowledge every command negatively\n"
           "  --never-ack          never acknowledge a command\n"
           "  --end-after N        end the conversation after N commands\n"
           "  --exit-after N       exit after N commands\n"
           "  --log FILE           append every command received to FILE, one line each\n"
           "  --client-limit N     conversations one client may hold (default 1000)\n"
           "  --conversation-limit N  conversations held in all (default 10000)\n"
           "  --help               this text\n"
           "  --version            the release of vxide\n"
           "exit status:\n"
           "  0   ended by SIGTERM, SIGINT or --exit-after\n"
           "  1   the bus could not be used or went away\n"
           "  64  wrong usage (an unknown option, a missing or bad value)\n";
}

std::optional<StandinOptions> ParseStandinOptions(const std::vector<std::string>& args,
                                                  std::string* message) {
    StandinOptions options;
    auto fail = [&](std::string why) -> std::optional<StandinOptions> {
        if (message) *message = std::move(why);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string* {
            return i + 1 < args.size() ? &args[++i] : nullptr;
        };
        auto number = [&](std::int64_t& out) -> bool {
            const std::string* v = value();
            if (!v) return false;
            const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), out);
            return ec == std::errc{} && end == v->data() + v->size() && out >= 0;
        };
        std::int64_t n = 0;
        if (arg == "--service" || arg == "--topic" || arg == "--instance" || arg == "--log") {
            const std::string* v = value();
            if (!v) return fail(arg + " needs a value");
            if (arg == "--service")
                options.service = *v;
            else if (arg == "--topic")
                options.topic = *v;
            else if (arg == "--instance")
                options.instance = *v;
            else
                options.log_path = *v;
        } else if (arg == "--ack-delay") {
            if (!number(options.ack_delay_ms)) return fail("--ack-delay needs milliseconds");
        } else if (arg == "--result-delay") {
            if (!number(options.result_delay_ms)) return fail("--result-delay needs milliseconds");
        } else if (arg == "--build-delay") {
            if (!number(options.build_delay_ms)) return fail("--build-delay needs milliseconds");
        } else if (arg == "--end-after" || arg == "--exit-after") {
            if (!number(n) || n == 0 || n > 1000000)
                return fail(arg + " needs a count of at least 1");
            (arg == "--end-after" ? options.end_after : options.exit_after) = static_cast<int>(n);
        } else if (arg == "--client-limit" || arg == "--conversation-limit") {
            if (!number(n) || n == 0 || n > 1000000)
                return fail(arg + " needs a count from 1 to 1000000");
            (arg == "--client-limit" ? options.client_limit : options.conversation_limit) =
                static_cast<std::size_t>(n);
        } else if (arg == "--reject-all") {
            options.reject_all = true;
        } else if (arg == "--never-ack") {
            options.never_ack = true;
        } else {
            return fail("unknown option " + arg);
        }
    }
    return options;
}

}  // namespace zelt::vxide
