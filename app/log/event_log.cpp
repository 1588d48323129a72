#include "app/log/event_log.hpp"

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

namespace {
// How long Empty Log waits for other stations to let go of the log.
constexpr std::int64_t kLockSeconds = 30;
}  // namespace

std::string RepeatedNameBlanker::Shown(std::string_view apps) {
    const std::string_view name = runtime::ClipText(apps);
    if (name == previous_) return {};
    previous_ = name;
    return previous_;
}

runtime::ErrorCode EmptyEventLog() {
    if (const runtime::ErrorCode code = TempFile.Lock(kLockSeconds); code != runtime::err::NoError)
        return code;
    const runtime::ErrorCode code = TempFile.Empty();
    const runtime::ErrorState emptied = runtime::CurrentError();
    TempFile.Unlock();
    runtime::RestoreError(emptied);
    return code;
}

bool EmptyLogButton(framework::ErrorReporter& errors) {
    if (runtime::Message("Are you entirely sure?", "Best be sure, chaver",
                         runtime::StockIcon::Exclamation,
                         runtime::button::Yes | runtime::button::No) != runtime::button::Yes) {
        return false;
    }
    if (TempFileRelations.OpenAll() != framework::LevelOk) {
        TempFileRelations.CloseAll();
        return false;
    }
    const runtime::ErrorCode code = EmptyEventLog();
    if (code != runtime::err::NoError) {
        errors.SetFile(TempFile.FileName());
        runtime::Message("The activity log could not be emptied: " + runtime::CurrentErrorText() +
                             " (error " + std::to_string(code) + ")",
                         "Empty Log", runtime::StockIcon::Hand);
    }
    TempFileRelations.CloseAll();
    return code == runtime::err::NoError;
}

}  // namespace zelt::app
