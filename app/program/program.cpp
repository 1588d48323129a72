#include "app/program/program.hpp"

#include "app/catalogue/dictionary.hpp"
#include "framework/browse/record_filter_compiler.hpp"
#include "framework/relation_tracker.hpp"
#include "framework/window/window_message_presenter.hpp"
#include "storage/driver/pelmar_driver.hpp"

namespace zelt::app {

Program::Program(runtime::WindowBackend& backend, framework::MessagePresenter* presenter)
    : windows_(backend), presenter_(presenter) {
    if (!presenter_) {
        own_presenter_ = std::make_unique<framework::WindowMessagePresenter>();
        presenter_ = own_presenter_.get();
    }
}

Program::~Program() = default;

int Program::Run(const std::function<int(Program&)>& work) {
    storage::RegisterPelmarDriver();
    framework::InstallRecordFilterCompiler();

    runtime::ScopedWindowSystem installed(windows_);
    windows_.SetDefaultIcon("zelt");
    errors_.Init();
    errors_.SetPresenter(presenter_);
    framework::RelationTracker::SetBusyHook([this](bool busy) {
        if (busy) {
            windows_.PushBusy();
        } else {
            windows_.PopBusy();
        }
    });
    InitDictionary(errors_);
    settings_.Init("");

    const int status = work(*this);

    settings_.Save();
    settings_.Kill();
    KillDictionary();
    framework::RelationTracker::SetBusyHook(nullptr);
    errors_.SetPresenter(nullptr);
    errors_.Kill();
    return status;
}

}  // namespace zelt::app
