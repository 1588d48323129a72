// The program's settings manager: an IniStore over the per-user profile (empty file name)
// that carries the last values of GLO.UseNewLog, GLO.RunString and GLO.FilePath from one run
// to the next, in section "Preserved" under "GLO:UseNewLog", "GLO:RunString" and
// "GLO:FilePath" (GLO.RetainTags has no key there).
//
// Init loads the three globals (a missing key gives a blank value); Save writes them back
// after the main window has closed. ZELT.INI, read as the main window opens, stays the
// authoritative copy.
#pragma once

#include "framework/ini_store.hpp"

namespace zelt::app {

class ProfileSettings final : public framework::IniStore {
  public:
    // Writes the three globals to the per-user profile.
    void Save() { SaveSettings(); }

  protected:
    void InitSettings() override;
    void SaveSettings() override;
};

}  // namespace zelt::app
