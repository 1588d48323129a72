// The life of the process: what comes up before the program's work and goes down after it,
// in this order (the shutdown in reverse):
//   the table driver and the filter compiler registered;
//   the window system over the given backend, installed for the run;
//   the error reporter, with its presenter (the window system's message boxes unless another
//   is given) and the relation trackers' busy feedback;
//   the dictionary (the catalogue's file managers and relation trackers);
//   the settings manager over the per-user profile, loading GLO.UseNewLog, GLO.RunString
//   and GLO.FilePath;
//   the work: the main window, or a headless run;
//   the settings manager saving those three globals to the profile, then the settings
//   manager, the dictionary and the error reporter killed.
//
// The runtime's profile service (the INI files) is installed by the program's main before
// Run. Both the desktop program and the headless mode start through this class.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/settings/profile_settings.hpp"
#include "framework/error_reporter.hpp"
#include "framework/message_presenter.hpp"
#include "runtime/conversation/conversation_transport.hpp"
#include "runtime/conversation/server_starter.hpp"
#include "runtime/window/window_backend.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

// How the program reaches the IDE; main wires the platform's transport and starter in.
struct IdeServices {
    // Connects to the bus the IDE serves on; nothing, and the reason, when it cannot.
    std::function<std::shared_ptr<runtime::ConversationTransport>(std::string* reason)> connect;
    // Starts the IDE from GLO.RunString (not owned).
    runtime::ServerStarter* starter = nullptr;
};

class Program {
  public:
    // `presenter` shows the reporter's messages (not owned); null: the window system's boxes.
    explicit Program(runtime::WindowBackend& backend,
                     framework::MessagePresenter* presenter = nullptr);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Brings everything up, runs `work`, takes everything down; `work`'s exit status.
    int Run(const std::function<int(Program&)>& work);

    framework::ErrorReporter& Errors() { return errors_; }
    ProfileSettings& Settings() { return settings_; }
    // The IDE's transport and starter, for the main window and the headless batches.
    const IdeServices& Ide() const { return ide_; }
    void SetIdeServices(IdeServices services) { ide_ = std::move(services); }
    runtime::WindowSystem& Windows() { return windows_; }
    // How the program ends after a fatal message (kFatalExitStatus by default).
    void SetHalt(framework::HaltFunction halt) { errors_.SetHalt(std::move(halt)); }

  private:
    runtime::WindowSystem windows_;
    std::unique_ptr<framework::MessagePresenter> own_presenter_;
    framework::MessagePresenter* presenter_;
    framework::ErrorReporter errors_;
    ProfileSettings settings_;
    IdeServices ide_;
};

}  // namespace zelt::app
