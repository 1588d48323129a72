// IniStore: one settings file of the INI form, with window places and a small list of named
// entries kept in the file itself.
//
// Values go through the runtime's profile service; the file is named by its path, or is the
// per-user profile when the name is empty. A window's place lives in the section named after
// its procedure ("Maximize", "XPos", "YPos", "Width", "Height"); the `Sectors` list lives in
// section "Sectors" as a count under "__Dont_Touch_Me__" and one "__Dont_Touch_Me___<n>" key
// per entry ("family,item,type").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "framework/window_properties.hpp"

namespace zelt::framework {

struct SectorEntry {
    std::string Family;  // up to 100 characters each
    std::string Item;
    std::string Type;
};

class IniStore {
  public:
    virtual ~IniStore() = default;

    void Init(std::string_view file_name);
    void Kill();

    std::string Fetch(std::string_view section, std::string_view entry);
    std::string FetchRequired(std::string_view section, std::string_view entry);
    // The n-th (from 1) comma-separated part of the stored value; empty when there is none.
    std::string FetchPart(std::string_view section, std::string_view entry, int n);
    bool Update(std::string_view section, std::string_view entry, std::string_view value);

    void SaveWindow(std::string_view procedure_name, const WindowProperties& window);
    void RestoreWindow(std::string_view procedure_name, WindowProperties& window);

    const std::string& FileName() const { return file_name_; }
    std::vector<SectorEntry>& Sectors() { return sectors_; }
    // The text composed for the last required key that was missing (not shown).
    const std::string& LastAssertion() const { return last_assertion_; }

  protected:
    // The read and write primitives (section, entry, default/value, file).
    virtual std::string ReadValue(std::string_view section, std::string_view entry,
                                  std::string_view fallback, std::string_view file);
    virtual bool WriteValue(std::string_view section, std::string_view entry,
                            std::string_view value, std::string_view file);
    // The application's own settings: read at Init, written when it asks for it.
    virtual void InitSettings() {}
    virtual void SaveSettings() {}

  private:
    void LoadSectors();
    void StoreSectors();

    std::string file_name_;
    std::vector<SectorEntry> sectors_;
    std::string last_assertion_;
    bool live_ = false;
};

inline constexpr std::string_view kUnknownSetting = "---Unknown---";

}  // namespace zelt::framework
