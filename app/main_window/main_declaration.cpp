// The main window as declared: every control in its order, with its texts, tips, formats
// and colours, and where it sits (the tabs on the left, the groups of buttons on the right,
// the status area along the bottom).
#include "app/main_window/main_controls.hpp"

#include <string>

namespace zelt::app {

namespace {

using runtime::Align;
using runtime::ListColumn;
using runtime::ListFormat;

// A tip of two lines.
std::string Lines(std::string_view first, std::string_view second) {
    return std::string(first) + "\n" + std::string(second);
}

ListFormat ApplicationsFormat() {
    ListFormat f;
    f.columns = {ListColumn::IconColumn(),
                 ListColumn({}, 3, Align::Right, "@n3").Colour(kRed, kYellow),
                 ListColumn("Path", 80), ListColumn(".App", 50)};
    f.icons = {std::string(kCheckIcon)};
    return f;
}

ListFormat ProjectsFormat() {
    ListFormat f;
    f.columns = {ListColumn("Project ID", 14, Align::Right, "@n-14"),
                 ListColumn("Project Name", 50)};
    return f;
}

ListFormat SubsetFormat() {
    ListFormat f;
    f.columns = {ListColumn::IconColumn().Colour(kPurple, kYellow),
                 ListColumn({}, 3, Align::Right, "@n3").Colour(kRed, kYellow),
                 ListColumn("Path", 80), ListColumn("Application", 50)};
    f.icons = {std::string(kCheckIcon)};
    return f;
}

ListFormat TreeFormat() {
    ListFormat f;
    f.columns = {ListColumn({}, 200).WithIcon().WithColours()};
    f.icons = {"~open.ico", "~pick.ico", "~shutfold.ico"};
    f.headers = false;
    return f;
}

}  // namespace

runtime::WindowDeclaration MainWindowDeclaration(runtime::Binding status,
                                                 runtime::Binding timeout_minutes) {
    runtime::WindowDeclaration w{std::string(kMainTitle)};
    w.Icon("zelt").Resizable().Timer(kMainTimerHundredths);
    w.Sheet("?Sheet1").At(0, 0, 5, 6);
    w.Tab("?Tab1", "&Applications");
    w.List("?List", ApplicationsFormat()).Immediate().Hint(60, 14);
    w.Button("?BUTTON13", "&Tag").Tip("Tag/Untag application for processing.");
    w.Button("?Insert", "&Insert").Tip("Add an application to the list.");
    w.Button("?Change", "Chan&ge").Tip("Change application information.");
    w.Button("?Delete", "&Delete").Tip("Remove application from list.");
    w.Button("?UntagAllButton", "&Untag All");
    w.Tab("?Tab2", "&Projects");
    w.Tree("?RelTree", TreeFormat()).Hint(40, 14);
    w.Button("?Expand", "&Expand All");
    w.Button("?Contract", "Co&ntract All");
    w.Button("?Insert:2", "&Insert");
    w.Button("?Change:2", "Chan&ge");
    w.Button("?Delete:2", "&Delete");
    w.Tab("?Tab3", "Imports");
    w.String("?STRING4", "Have you backed up?");
    w.Group("?GROUP5");
    w.String("?STRING5", "Importing will destroy the .APP or .DCT file.");
    w.String("?STRING6", "Any errors can result in the loss of a file.");
    w.End();
    w.Button("?BUTTON23", "I'm Sure");
    w.Button("?ImportDCT", "Import DCT")
        .Tip("Import .TXD to .DCT with same name, from same directory")
        .Disabled();
    w.Button("?ImportApp", "Import APP")
        .Tip("Import .TXA from same directory and name.")
        .Disabled();
    w.Tab("?Tab4", "Project &Subsets");
    w.List("?List:2", ProjectsFormat()).Immediate().Hint(60, 5);
    w.List("?List:3", SubsetFormat()).Immediate().Hint(60, 8);
    w.Button("?ClearSubTags", "Untag All");
    w.Button("?GenerateSubset", "Gen && &Make  (Project Subset)")
        .Tip(Lines("Generate, make ", " and compile a .DLL"));
    w.Button("?Insert:3", "&Insert");
    w.Button("?Change:3", "Edit Project");
    w.Button("?Delete:3", "&Delete");
    w.Button("?Toggle", "&Toggle");
    w.End();  // the sheet

    w.Group("?GROUP1", " Applications ").At(0, 6, 1, 2);
    w.Button("?ExecuteApp", "&Gen && Make    (.APP)")
        .Tip(Lines("Generate, compile ", " and link an .EXE."))
        .At(0, 0);
    w.Button("?Generate", "Gen && &Make  (Project)")
        .Tip(Lines("Generate, make ", " and compile a .DLL"))
        .Disabled()  // as on the Applications tab, which shows first
        .At(1, 0);
    w.Button("?ExportApp", "Export APP")
        .Tip(Lines("Export to .TXA in same ", " directory and with same name."))
        .At(2, 0);
    w.Button("?ExportDCT", "Export DCT")
        .Tip(Lines("Export Dictionary to .TXD ", " with same name and directory"))
        .At(3, 0);
    w.End();
    w.Group("?GROUP4", " Zeltery Menu ").At(1, 6, 1, 2);
    w.Button("?BUTTON16", "Configure ZELT").At(0, 0);
    w.Button("?BUTTON17", "Empty Log").At(1, 0);
    w.Button("?Event", "View &Log").Tip("List of actions completed.").At(2, 0);
    w.Button("?BUTTON21", "&Print Log").At(3, 0);
    w.End();
    w.Group("?GROUP3").At(2, 6, 1, 2);
    w.String("?StatusMsg:2").Width(30).Use(status).At(0, 0, 1, 2);
    w.Button("?ConnectToVX", "Start Vextor")
        .Tip(Lines("Establish DDE session,", " starting Vextor if necessary."))
        .Icon("vextor.ico")
        .At(1, 0);
    w.Button("?DisconnectFromVX", "Disconnect")
        .Tip(Lines("Disconnect from Vextor,", " ending DDE session."))
        .At(1, 1);
    w.End();
    w.Button("?BUTTON7", "Close").Tip("Bye bye").At(5, 7);
    w.Spin("?Timeout", 0, 255)
        .Picture("@n3")
        .Tip(Lines("DDE time out period - set higher", " for slower machines and/or large .Apps."))
        .Use(timeout_minutes)
        .At(3, 7);
    w.Prompt("?Timeout:Prompt", "DDE Time Out (in minutes):").At(3, 6);
    w.String("?StatusMsg").Width(30).Use(status).At(5, 2);
    w.Image("?IMAGE1", "zelt").At(5, 0);
    w.Prompt("?PROMPT1", "Last Action:").At(5, 1);
    w.String("?STRING1").At(5, 3);
    w.Progress("?BatchProgress").Hidden().At(5, 4);
    w.Button("?CancelBatch", "Cancel").Tip("Stop the batch at its next step.").Hidden().At(5, 5);
    w.Stretch(0, {{4}, {2}});
    return w;
}

}  // namespace zelt::app
