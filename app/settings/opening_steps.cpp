#include "app/settings/opening_steps.hpp"

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/settings/settings_file.hpp"
#include "app/settings/table_names.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {
namespace {

void Tell(framework::ErrorReporter& errors, const std::string& text, std::string_view caption) {
    errors.PlainMessage(text, caption, static_cast<std::uint32_t>(runtime::StockIcon::Exclamation),
                        framework::button::Ok, framework::button::Ok);
}

}  // namespace

void WarnIdeNotRunning() {
    runtime::PlaySoundFile("ir_inter.wav");
    runtime::Message(
        "Vextor is not currently running. How you expect to compile anything is a "
        "mystery to me.||Press \"Start Vextor\" now, will ya'?",
        "Warning", runtime::StockIcon::Question);
}

bool LoadSettingsAtOpening(framework::ErrorReporter& errors, const SettingsOpening& opening) {
    // A settings file that is there but cannot be read is not taken for a missing one.
    if (std::optional<std::string> unreadable = SettingsFileUnreadable()) {
        Tell(errors, *unreadable, "ZELT.INI");
        return false;
    }
    ReadSettingsFile();
    // A directory too long for TF's name leaves TF where it was; the settings window follows.
    if (PrefixTfName() && GLO.RetainTags == 1 && opening.subset_tags) {
        RestoreSubsetTags(*opening.subset_tags);
    }
    bool fits = !FilePathProblem(GLO.FilePath.View());
    if ((!SettingsComplete() || !fits) && opening.run_settings_window) {
        if (!fits) Tell(errors, *FilePathProblem(GLO.FilePath.View()), "Path to ZELT files");
        opening.run_settings_window();
        fits = !FilePathProblem(GLO.FilePath.View());
    }
    if (!fits || !PrefixCatalogueNames()) {
        Tell(errors,
             FilePathProblem(GLO.FilePath.View()).value_or("The table names do not fit.") +
                 "||The tables cannot be opened under that path.",
             "Path to ZELT files");
        return false;
    }
    if (opening.new_log && GLO.UseNewLog.Clip() == "Y" && !CreateNewLog()) {
        Tell(errors,
             "The activity log " + TempFile.FileName() +
                 " could not be emptied: " + runtime::CurrentErrorText() + " (" +
                 std::to_string(runtime::CurrentErrorCode()) + ").",
             "Activity Log");
        return false;
    }
    return true;
}

void SaveSettingsAtClosing(const SubsetTagQueue& subset_tags) {
    if (GLO.RetainTags == 1) SaveSubsetTags(subset_tags);
}

bool CreateNewLog() {
    return TempFile.Create() == runtime::err::NoError;
}

}  // namespace zelt::app
