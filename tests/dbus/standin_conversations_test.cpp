// Several conversations with one stand-in IDE at once: each has its own error, one ended by
// the IDE leaves the others working, a flood from one client is refused past the limits
// without costing the others their service, and servers that answer wrongly are named.
#include <gtest/gtest.h>

#include <systemd/sd-bus.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <thread>

#include "app/ide/ide_commands.hpp"
#include "platform/dbus/dbus_server.hpp"
#include "platform/dbus/session_bus.hpp"
#include "tests/dbus/own_conversation.hpp"
#include "tests/dbus/process_support.hpp"

namespace zelt::testing {
namespace {

ProgramRun Vxcmd(std::vector<std::string> args) {
    args.insert(args.begin(), kVxcmdPath);
    return RunProgram(args);
}

TEST(StandinConversations, EachHasItsOwnErrorAndOneEndedLeavesTheOtherWorking) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    TempFolder folder;
    std::ofstream(folder / "A.APP") << "Target=A.EXE\n";
    Vxide server({"--instance", "two", "--end-after", "2"});
    ASSERT_TRUE(server.ready());
    OwnConversation first;
    ASSERT_TRUE(first.open());
    const runtime::ChannelHandle second = first.client().OpenConversation("VextorWin", "");
    ASSERT_NE(second, 0);

    EXPECT_NE(first.Execute("[Other(\"" + (folder / "secret") + "\")]"), 0);
    EXPECT_EQ(first.Request("GetErrorMsg"), "Unknown command: Other");
    std::string text;
    EXPECT_EQ(first.client().RequestItem(second, "GetErrorMsg", text), 0);
    EXPECT_EQ(text, "No error");  // not the other conversation's error, nor its path

    // The second command ends the first conversation on the IDE's side; the other one
    // still executes.
    EXPECT_EQ(first.Execute(app::MakeCommand(folder / "A.APP")), 0);
    EXPECT_EQ(first.client().ExecuteCommand(second, app::MakeCommand(folder / "A.APP")), 0);
    EXPECT_NE(first.Execute(app::MakeCommand(folder / "A.APP")), 0);
    EXPECT_EQ(first.client().ExecuteCommand(second, app::MakeCommand(folder / "A.APP")), 0);
}

// Offers a conversation with a plain call; the error's name when it is refused.
std::string Offer(sd_bus* bus, const char* server, std::string* message) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call_method(bus, server, "/org/zelt/Dde", "org.zelt.Dde.Server1",
                                     "Initiate", &error, &reply, "ss", "VextorWin", "");
    std::string name = r < 0 && error.name ? error.name : "";
    if (message && error.message) *message = error.message;
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    return name;
}

// One client opens conversations past the bus's limit of match rules (lowered here to 40,
// from 50,000) while another keeps making: the second is served throughout, the flood is
// refused past the client limit with the reason, and its conversations end with it.
TEST(StandinConversations, AFloodFromOneClientIsRefusedWhileAnotherIsServed) {
    TempFolder folder;
    const std::string config = folder / "bus.conf";
    std::ofstream(config) << R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <include>/usr/share/dbus-1/session.conf</include>
  <limit name="max_match_rules_per_connection">40</limit>
</busconfig>
)";
    PrivateBus bus(config);
    ASSERT_TRUE(bus.ready());
    std::ofstream(folder / "A.APP") << "Target=A.EXE\n";
    Vxide server({"--instance", "flood", "--client-limit", "100"});
    ASSERT_TRUE(server.ready());
    OwnConversation maker;
    ASSERT_TRUE(maker.open());

    std::string reason;
    sd_bus* flood = platform::OpenSessionBus(&reason).release();
    ASSERT_TRUE(flood) << reason;
    int accepted = 0;
    int refused = 0;
    std::string refusal;
    for (int i = 0; i < 150; ++i) {
        const std::string error = Offer(flood, "org.zelt.Dde.Server.flood", &refusal);
        if (error.empty()) {
            ++accepted;
        } else {
            EXPECT_EQ(error, platform::kTooManyConversationsError);
            ++refused;
        }
        if (i % 10 == 0) {
            ASSERT_EQ(maker.Execute(app::MakeCommand(folder / "A.APP")), 0) << "offer " << i;
        }
    }
    EXPECT_EQ(accepted, 100);
    EXPECT_EQ(refused, 50);
    EXPECT_EQ(refusal,
              "this client already holds the limit of 100 conversations that one client may "
              "open; end some first");
    EXPECT_EQ(maker.Request("Conversations"), "101");
    sd_bus_flush_close_unref(flood);  // the flooding client leaves: its conversations end
    EXPECT_TRUE(WaitUntil([&] { return maker.Request("Conversations") == "1"; }));
    EXPECT_EQ(maker.Execute(app::MakeCommand(folder / "A.APP")), 0);
}

TEST(StandinConversations, AnOfferPastTheServersLimitIsRefusedWithTheReason) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    Vxide server({"--instance", "full", "--conversation-limit", "1"});
    ASSERT_TRUE(server.ready());
    OwnConversation holder;
    ASSERT_TRUE(holder.open());
    const ProgramRun run = Vxcmd({"[A]"});
    EXPECT_EQ(run.err,
              "vxcmd: org.zelt.Dde.Server.full refused the conversation: the server already "
              "holds its limit of 1 conversations; try again when some have ended\n");
    EXPECT_EQ(run.exit_code, 2);
}

// A server written by hand on the bus, to answer as vxide never does: an offer with a reply
// of the wrong form, or a rejected command whose error items are broken.
class HandServer {
  public:
    enum class Mode { MalformedOffer, BrokenErrorItems };
    explicit HandServer(Mode mode) : mode_(mode) {
        std::string reason;
        bus_ = platform::OpenSessionBus(&reason).release();
        if (!bus_) return;
        static const sd_bus_vtable malformed[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_METHOD("Initiate", "ss", "s", &Reply, SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_VTABLE_END};
        static const sd_bus_vtable broken[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_METHOD("Initiate", "ss", "bsso", &Reply, SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_METHOD("Execute", "os", "b", &Reply, SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_METHOD("Request", "osu", "bs", &Reply, SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_METHOD("Terminate", "o", "", &Reply, SD_BUS_VTABLE_UNPRIVILEGED),
            SD_BUS_VTABLE_END};
        sd_bus_add_object_vtable(bus_, nullptr, "/org/zelt/Dde", "org.zelt.Dde.Server1",
                                 mode == Mode::MalformedOffer ? malformed : broken, this);
        ready_ = sd_bus_request_name(bus_, "org.zelt.Dde.Server.hand", 0) >= 0;
        thread_ = std::thread([this] {
            while (!stop_) {
                if (sd_bus_process(bus_, nullptr) > 0) continue;
                sd_bus_wait(bus_, 50000);
            }
        });
    }
    ~HandServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (bus_) sd_bus_flush_close_unref(bus_);
    }
    bool ready() const { return ready_; }

  private:
    static int Reply(sd_bus_message* m, void* userdata, sd_bus_error*) {
        const Mode mode = static_cast<HandServer*>(userdata)->mode_;
        const std::string member = sd_bus_message_get_member(m);
        if (member == "Initiate" && mode == Mode::MalformedOffer)
            return sd_bus_reply_method_return(m, "s", "yes");
        if (member == "Initiate") {
            return sd_bus_reply_method_return(m, "bsso", 1, "VextorWin", "System",
                                              "/org/zelt/Dde/conversation/1");
        }
        if (member == "Execute") return sd_bus_reply_method_return(m, "b", 0);
        if (member == "Terminate") return sd_bus_reply_method_return(m, "");
        const char* path = nullptr;
        const char* item = nullptr;
        std::uint32_t format = 0;
        if (sd_bus_message_read(m, "osu", &path, &item, &format) < 0) return -EINVAL;
        if (std::string(item) == "GetErrorNum")
            return sd_bus_reply_method_return(m, "bs", 1, "seven");
        return sd_bus_reply_method_return(m, "bs", 0, "");  // GetErrorMsg: refused
    }

    Mode mode_;
    sd_bus* bus_ = nullptr;
    bool ready_ = false;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

TEST(ServersThatAnswerWrongly, AreNamedWithWhatWentWrong) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    {
        HandServer server(HandServer::Mode::MalformedOffer);
        ASSERT_TRUE(server.ready());
        const ProgramRun run = Vxcmd({"[A]"});
        EXPECT_EQ(run.err,
                  "vxcmd: org.zelt.Dde.Server.hand answered the offer of a conversation with a "
                  "malformed reply (s where bsso belongs)\n");
        EXPECT_EQ(run.exit_code, 2);
    }
    HandServer server(HandServer::Mode::BrokenErrorItems);
    ASSERT_TRUE(server.ready());
    const ProgramRun run = Vxcmd({"[A]"});
    EXPECT_EQ(run.out,
              "ERROR 603 DDEexecute - invalid command\n"
              "IDE ? : the IDE's error could not be read: GetErrorNum answered \"seven\", not a "
              "number from 0 to 65535; GetErrorMsg was refused (NACK)\n");
    EXPECT_EQ(run.exit_code, 1);
}

}  // namespace
}  // namespace zelt::testing
