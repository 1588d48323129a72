#include "app/forms/update_apps.hpp"

#include <filesystem>
#include <optional>
#include <string>

#include "app/catalogue/catalogue_tables.hpp"
#include "app/catalogue/dictionary.hpp"
#include "app/forms/app_columns.hpp"
#include "app/forms/catalogue_form.hpp"
#include "framework/browse/table_view.hpp"
#include "framework/window/tracked_record.hpp"
#include "runtime/text/stored_text.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {

namespace {

using framework::Level;
using framework::LevelFatal;
using framework::LevelNotify;
using framework::LevelOk;
using Ctl = UpdateAppsCtl;
namespace button = runtime::button;

bool FileExists(const std::string& name) {
    std::error_code ec;
    return !name.empty() && std::filesystem::is_regular_file(name, ec);
}

std::string Clip(std::string_view text) {
    return std::string(runtime::ClipText(text));
}

// A priority as typed: a whole number from 1 to 255, blanks around it allowed.
std::optional<std::uint8_t> ParsePriority(std::string_view text) {
    const std::string t = Clip(text.substr(std::min(text.find_first_not_of(' '), text.size())));
    if (t.empty() || t.size() > 3 || t.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int value = std::stoi(t);
    if (value < 1 || value > 255) return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

// Text the table cannot hold, refused where it comes in; false after telling the user.
bool Storable(std::string_view utf8) {
    const std::optional<std::string> refusal = runtime::StoredTextRefusal(utf8);
    if (!refusal) return true;
    runtime::Beep();
    runtime::Message(*refusal, "Invalid Input", runtime::StockIcon::Exclamation, button::Ok);
    return false;
}

// The form's own variables, made before the window that binds them. The full name is shown
// text (UTF-8); the record's fields hold stored text.
struct AppFormState {
    std::string full_name;
    std::string priority_text;  // as typed; APP:Priority takes it only when it is valid
    bool target_questioned = false;
};

runtime::WindowDeclaration Declaration(AppFormState& s) {
    using framework::FieldBinding;
    runtime::WindowDeclaration w("Application Information");
    w.Modal().Resizable(false);
    w.Prompt("?FullName:Prompt", "App. &Name:");
    w.Entry("?FullName", 130)
        .Use(runtime::Use(s.full_name).Checked(runtime::StoredTextRefusal))
        .Tip("Enter full path and name of .APP or .PRJ")
        .Status("Enter or select full path and name of .APP or .PRJ");
    w.Button("?LookupFile", " ...").Tip("Select .APP or .PRJ");
    w.Prompt("?APP:DrivenPath:Prompt", "Drive N Path:");
    w.Entry("?APP:DrivenPath", 80)
        .Use(FieldBinding(Apps, apps_field::DrivenPath))
        .ReadOnly()
        .Tip("I'm read-only. Leave me alone.");
    w.Prompt("?APP:Application:Prompt", "Application:");
    w.Entry("?APP:Application", 50)
        .Use(FieldBinding(Apps, apps_field::Application))
        .ReadOnly()
        .Tip("This is a read-only field; leave it alone.")
        .Status("I'm read-only. Leave me alone.");
    w.Prompt("?APP:Target:Prompt", "Target:");
    w.Entry("?APP:Target", 250)
        .Use(FieldBinding(Apps, apps_field::Target))
        .Tip("Enter full path and name of target")
        .Status("Enter or select full path and name of target");
    w.Button("?LookupFile:2", "...").Tip("Select target.");
    w.String("?STRING1", "\"Target\" must include path, file name and extension");
    w.Prompt("?APP:Priority:Prompt", "Priority:");
    w.Entry("?APP:Priority", 3)
        .Use(runtime::Use([&s] { return s.priority_text; },
                          [&s](std::string_view text) {
                              s.priority_text = std::string(text);
                              if (const auto p = ParsePriority(text)) APP.Priority = *p;
                          }))
        .Tip("This is a Byte variable. 1-255 only, please.");
    w.String("?STRING2", "and match Project settings.");
    w.Check("?APP:Tag", "Tag")
        .Use(FieldBinding(Apps, apps_field::Tag))
        .Values("1", "0")
        .Tip("Mark for making.");
    w.Button("?OK", "&Ok").Default().Tip("Looks good; save it.");
    w.Button("?Cancel", "&Cancel").Tip("Forget it.");
    return w;
}

class UpdateAppsWindow final : private AppFormState, public CatalogueForm {
  public:
    explicit UpdateAppsWindow(framework::ErrorReporter& errors)
        : CatalogueForm(errors, Declaration(*this), "UpdateApps", AppsRelations),
          record_(AppsRelations) {}

    Level Init() override;
    Level OnAccepted() override;

  private:
    void SplitFullName();
    void LookupApplication();
    void LookupTarget();
    void MakeReadOnly();
    // The checks of Ok; false when the form stays open.
    bool ReadyToSave();
    void QuestionTarget();

    framework::TrackedRecord record_;
};

Level UpdateAppsWindow::Init() {
    if (Level l = CatalogueForm::Init(); l != LevelOk) return l;
    FirstField = Ctl::FullName;
    OKControl = Ctl::Ok;
    AddButton(Ctl::Cancel, framework::ResponseCancelled);
    Primary = &record_;
    if (!OpenTables()) return LevelFatal;
    full_name = runtime::StoredToUtf8(APP.DrivenPath.Clip() + APP.Application.Clip());
    if (Request != framework::RequestView) {
        if (PrimeForm() != LevelOk) return LevelFatal;  // the delete was done (or refused) at once
    }
    priority_text = APP.Priority == 0 ? std::string() : std::to_string(APP.Priority);
    ShowAction("View Record", "Record will be Added", "Record will be Changed");
    if (Request == framework::RequestView) MakeReadOnly();
    if (!OpenWindow()) return LevelFatal;
    return LevelOk;
}

void UpdateAppsWindow::MakeReadOnly() {
    auto& w = Window();
    for (int n : {Ctl::FullName, Ctl::Target, Ctl::Priority, Ctl::Tag}) w.SetReadOnly(n);
    w.Disable(Ctl::LookupFile);
    w.Disable(Ctl::LookupFile2);
}

Level UpdateAppsWindow::OnAccepted() {
    auto& w = Window();
    switch (w.Field()) {
        case Ctl::FullName:
            SplitFullName();
            w.Select(Ctl::DrivenPath);  // past the lookup button
            break;
        case Ctl::DrivenPath:
            if (const std::string dir = APP.DrivenPath.Clip(); !dir.empty() && dir.back() != '/') {
                APP.DrivenPath = dir + "/";
                w.Display(Ctl::DrivenPath);
            }
            break;
        case Ctl::LookupFile:
            LookupApplication();
            return LevelNotify;
        case Ctl::LookupFile2:
            LookupTarget();
            return LevelNotify;
        case Ctl::Ok:
            if ((OriginalRequest == framework::RequestInsert ||
                 OriginalRequest == framework::RequestChange) &&
                !ReadyToSave())
                return LevelNotify;
            break;
        default:
            break;
    }
    return CatalogueForm::OnAccepted();
}

void UpdateAppsWindow::SplitFullName() {
    // Typed and chosen names were checked as they came in.
    const std::string name = runtime::Utf8ToStored(Clip(full_name)).value_or(std::string());
    const std::size_t slash = name.rfind('/');
    const std::size_t cut = slash == std::string::npos ? 0 : slash + 1;
    APP.Application = std::string_view(name).substr(cut);
    APP.DrivenPath = std::string_view(name).substr(0, cut);
    Window().Display();
}

void UpdateAppsWindow::LookupApplication() {
    Window().Update();
    runtime::FileChooserRequest request;
    request.title = "Choose a File";
    request.filters = {
        {"Application files", "*.app"}, {"Dictionary Files", "*.dct"}, {"Projects", "*.prj"}};
    request.start_directory = runtime::StoredToUtf8(APP.DrivenPath.Clip());
    if (const auto chosen = runtime::ChooseFile(request); chosen && Storable(*chosen))
        full_name = *chosen;
    Window().Display();
    SplitFullName();
    Window().Select(Ctl::Target);
}

void UpdateAppsWindow::LookupTarget() {
    Window().Update();
    runtime::FileChooserRequest request;
    request.title = "Set Target";
    request.filters = {{"Executable files", "*.EXE"}, {"DLLs", "*.DLL"}, {"Libraries", "*.LIB"}};
    const std::string target = APP.Target.Clip();
    const std::size_t slash = target.rfind('/');
    request.start_directory = runtime::StoredToUtf8(
        slash == std::string::npos ? APP.DrivenPath.Clip() : target.substr(0, slash + 1));
    if (const auto chosen = runtime::ChooseFile(request); chosen && Storable(*chosen))
        APP.Target = *runtime::Utf8ToStored(*chosen);
    Window().Display();
}

bool UpdateAppsWindow::ReadyToSave() {
    auto& w = Window();
    w.Update();
    // The record must name the file checked below, even when the name was never accepted.
    if (!Storable(Clip(full_name))) {
        w.Select(Ctl::FullName);
        return false;
    }
    SplitFullName();
    const std::string name = *runtime::Utf8ToStored(Clip(full_name));  // stored text
    const std::size_t cut = name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1;
    if (cut > decltype(APP.DrivenPath)::Size() ||
        name.size() - cut > decltype(APP.Application)::Size()) {
        runtime::Beep();
        runtime::Message("The directory may have up to 80 characters and the file name up to 50.|" +
                             Clip(full_name),
                         "Name Too Long", runtime::StockIcon::Exclamation, button::Ok);
        w.Select(Ctl::FullName);
        return false;
    }
    if (!ParsePriority(priority_text)) {
        runtime::Beep();
        runtime::Message("The priority must be a whole number from 1 to 255.", "Priority",
                         runtime::StockIcon::Exclamation, button::Ok);
        w.Select(Ctl::Priority);
        return false;
    }
    if (!FileExists(Clip(full_name))) {
        runtime::Beep();
        runtime::Message(
            "Source file not found, fool. Press DosFileLookUp button to call File Lookup Dialog.",
            "Don't Do That!", runtime::StockIcon::Question, button::Ok);
        w.Select(Ctl::LookupFile);
        return false;
    }
    if (!FileExists(runtime::StoredToUtf8(APP.Target.Clip())) && !target_questioned) {
        QuestionTarget();
        return false;
    }
    return true;
}

// A missing target is questioned once per form; the user confirms it with a second Ok.
void UpdateAppsWindow::QuestionTarget() {
    target_questioned = true;
    runtime::Beep();
    const std::string target = APP.Target.Clip();
    if (target.find('/') != std::string::npos) {
        // Nothing is offered for a target given with its directory: the user is told why
        // the form stays open.
        runtime::Message("The target " + target +
                             " was not found.|Press Ok again to keep it as it is, or correct it.",
                         "Target Not Found", runtime::StockIcon::Exclamation, button::Ok);
    } else if (runtime::Message("Well, I couldn't find the target you entered. Use .APP directory "
                                "for target also?",
                                "Confirm", runtime::StockIcon::Exclamation,
                                button::Yes | button::No) == button::Yes) {
        const std::string joined = APP.DrivenPath.Clip() + target;
        if (joined.size() > decltype(APP.Target)::Size()) {
            runtime::Message("The target would be longer than 250 characters; it stays as it was.",
                             "Target", runtime::StockIcon::Exclamation, button::Ok);
        } else {
            APP.Target = joined;
            Window().Display(Ctl::Target);
        }
    }
    Window().Select(Ctl::Target);
}

}  // namespace

framework::ResponseCode UpdateApps(framework::ErrorReporter& errors) {
    UpdateAppsWindow window(errors);
    return window.Run();
}

}  // namespace zelt::app
