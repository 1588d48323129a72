#include "app/settings/get_config.hpp"

#include "app/catalogue/catalogue_tables.hpp"
#include "app/settings/settings_file.hpp"
#include "app/settings/subset_tags.hpp"
#include "app/settings/table_names.hpp"
#include "framework/window/window_controller.hpp"
#include "runtime/errors/error_state.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::app {
namespace {

using framework::Level;
using framework::LevelNotify;
using framework::LevelOk;
using runtime::ControlNumber;
namespace ev = runtime::event;

constexpr ControlNumber N(GetConfigCtl c) {
    return static_cast<ControlNumber>(c);
}

class GetConfigWindow final : public framework::WindowController {
  public:
    explicit GetConfigWindow(framework::ErrorReporter& errors)
        : WindowController(errors, GetConfigDeclaration(), "GetConfig") {}

    Level Init() override {
        if (Level level = WindowController::Init(); level != LevelOk) return level;
        if (!OpenWindow()) return framework::LevelFatal;
        ReadSettingsFile();
        Window().Display();
        chooser_.title = "Choose a File";
        chooser_.filters = {{"Executables", "*.EXE"}};
        chooser_.start_directory = "/vextor5/bin";
        return LevelOk;
    }

    Level OnAccepted() override {
        if (Level level = WindowController::OnAccepted(); level != LevelOk) return level;
        switch (static_cast<GetConfigCtl>(Window().Field())) {
            case GetConfigCtl::LookupFile:
                Window().Update();
                if (auto chosen = runtime::ChooseFile(chooser_)) GLO.RunString = *chosen;
                Window().Display();
                break;
            case GetConfigCtl::BUTTON4: {
                Window().Update();
                runtime::DirectoryChooserRequest request;
                request.title = "Select FPT Directory";
                request.start_directory = GLO.FilePath.Clip();
                request.keep_directory = true;
                if (auto chosen = runtime::ChooseDirectory(request)) GLO.FilePath = *chosen;
                Window().Display();
                break;
            }
            case GetConfigCtl::OkButton:
                return Confirm();
            case GetConfigCtl::CancelButton:
                SetResponse(framework::ResponseCancelled);
                return LevelNotify;
            default:
                break;
        }
        return LevelOk;
    }

  private:
    Level Confirm() {
        Window().Update();
        const std::string directory = WithTrailingSeparator(GLO.FilePath.View());
        if (std::optional<std::string> problem = FilePathProblem(directory)) {
            runtime::Message(*problem + "||Choose a shorter path.", "Path to ZELT files",
                             runtime::StockIcon::Exclamation);
            Window().Select(N(GetConfigCtl::FilePath));
            return LevelNotify;
        }
        GLO.FilePath = directory;
        Window().Display(N(GetConfigCtl::FilePath));
        runtime::ClearError();
        if (!WriteSettingsFile()) {
            const std::string why = runtime::CurrentErrorText();
            runtime::Message(
                "The settings could not be written to ZELT.INI in the current directory" +
                    (why.empty() ? std::string(".") : ": " + why),
                "Settings not saved", runtime::StockIcon::Exclamation);
            return LevelNotify;
        }
        if (GLO.RetainTags == 1) {
            OpenSavedTags();
        } else if (!RemoveSavedTags()) {
            runtime::Message("The saved subset tags (" + Tf.FileName() + ") could not be deleted.",
                             "Warning", runtime::StockIcon::Exclamation);
        }
        SetResponse(framework::ResponseCompleted);
        return LevelNotify;
    }

    runtime::FileChooserRequest chooser_;
};

}  // namespace

runtime::WindowDeclaration GetConfigDeclaration() {
    using runtime::Use;
    runtime::WindowDeclaration w(kGetConfigTitle);
    w.Modal().Resizable(false);
    w.Prompt("?PROMPT1", "Create a &new activity log each time you start ZELT?");
    w.Option("?GLO:UseNewLog")
        .Use(Use([] { return GLO.UseNewLog.Clip(); },
                 [](std::string_view text) { GLO.UseNewLog = text; }));
    w.Radio("?GLO:UseNewLog:Radio1", "No").Value("N");
    w.Radio("?GLO:UseNewLog:Radio2", "Yes").Value("Y");
    w.End();
    w.Prompt("?GLO:RunString:Prompt", "Command &String to start Vextor:");
    w.Entry("?GLO:RunString", 254)
        .Use(Use([] { return std::string(GLO.RunString.View()); },
                 [](std::string_view text) { GLO.RunString = text; }));
    w.Button("?LookupFile", "...");
    w.Entry("?GLO:FilePath", 64)
        .Use(Use([] { return GLO.FilePath.Clip(); },
                 [](std::string_view text) { GLO.FilePath = text; }));
    w.Prompt("?PROMPT3", "&Path to ZELT files:");
    w.Button("?BUTTON4", " ... ");
    w.Check("?GLO:RetainTags", " Save and restore project subset tags")
        .Use(Use(GLO.RetainTags))
        .Values("1", "0");
    w.Prompt("?GLO:ParallelIDEs:Prompt", "Parallel &IDEs for makes (1 to 16):");
    w.Spin("?GLO:ParallelIDEs", 1, kMaxParallelIDEs)
        .Tip("How many Vextor IDEs make applications of one priority at the same time.")
        .Use(Use(GLO.ParallelIDEs));
    w.Button("?OkButton", "&Ok").Default();
    w.Button("?CancelButton", "&Cancel");
    return w;
}

framework::ResponseCode GetConfig(framework::ErrorReporter& errors) {
    GetConfigWindow window(errors);
    return window.Run();
}

}  // namespace zelt::app
