#include "app/settings/profile_settings.hpp"

#include "app/catalogue/catalogue_tables.hpp"
#include "app/settings/settings_file.hpp"

namespace zelt::app {

void ProfileSettings::InitSettings() {
    GLO.UseNewLog = Fetch(kSettingsSection, "GLO:UseNewLog");
    GLO.RunString = Fetch(kSettingsSection, "GLO:RunString");
    GLO.FilePath = Fetch(kSettingsSection, "GLO:FilePath");
}

void ProfileSettings::SaveSettings() {
    Update(kSettingsSection, "GLO:UseNewLog", GLO.UseNewLog.Clip());
    Update(kSettingsSection, "GLO:RunString", GLO.RunString.View());
    Update(kSettingsSection, "GLO:FilePath", GLO.FilePath.Clip());
}

}  // namespace zelt::app
