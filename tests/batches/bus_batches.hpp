// The batches on a private session bus with the stand-in IDE, over real table files.
#pragma once

#include <unistd.h>

#include <memory>

#include "app/ide/ide_channel.hpp"
#include "app/ide/ide_commands.hpp"
#include "platform/dbus/dbus_transport.hpp"
#include "platform/spawn/spawn_process.hpp"
#include "runtime/conversation/conversation_client.hpp"
#include "tests/batches/batch_test_support.hpp"
#include "tests/dbus/process_support.hpp"

namespace zelt::app::testing {

using zelt::testing::kVxidePath;
using zelt::testing::Vxide;

class BusBatches : public BatchCatalogue {
  protected:
    void SetUp() override {
        BatchCatalogue::SetUp();
        ASSERT_TRUE(bus.ready()) << "no private bus";
        std::string reason;
        transport = platform::DbusConversationTransport::ConnectSessionBus(&reason);
        ASSERT_TRUE(transport) << reason;
        client = std::make_unique<runtime::ConversationClient>(transport);
        ide = std::make_unique<IdeChannel>(
            *client, window, starter, [this] { return run_string; },
            IdeStartLimits{10000, 20, 200});
        window.ide = ide.get();
        engine = std::make_unique<BatchEngine>(*ide, window);
        engine->WaitLimitSeconds = 30;  // a safety net: no result here takes that long
    }
    void TearDown() override {
        engine.reset();
        ide.reset();
        client.reset();
        transport.reset();
        BatchCatalogue::TearDown();
    }

    // A stand-in IDE that logs the commands it receives.
    std::unique_ptr<Vxide> StartIde(std::vector<std::string> options) {
        options.insert(options.end(), {"--instance", "batches", "--log", CommandLog()});
        return std::make_unique<Vxide>(std::move(options));
    }
    std::string CommandLog() const { return Path("commands.log"); }
    // The commands received, without their padding.
    std::vector<std::string> Commands() const {
        std::vector<std::string> lines;
        std::istringstream in(Read(CommandLog()));
        for (std::string line; std::getline(in, line);) lines.emplace_back(ClipText(line));
        return lines;
    }
    void ClearCommands() const { std::filesystem::remove(CommandLog()); }
    std::string Make(const std::string& name) const {
        return "[ExecuteProject(\"" + apps_dir + name + "\")]";
    }
    static bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

    zelt::testing::PrivateBus bus;
    RecordingBatchWindow window;
    platform::SpawnServerStarter starter;
    std::string run_string;
    std::shared_ptr<platform::DbusConversationTransport> transport;
    std::unique_ptr<runtime::ConversationClient> client;
    std::unique_ptr<IdeChannel> ide;
    std::unique_ptr<BatchEngine> engine;
};

}  // namespace zelt::app::testing
