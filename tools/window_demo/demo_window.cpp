#include "tools/window_demo/demo_window.hpp"

#include <algorithm>

#include "runtime/events/event_codes.hpp"
#include "runtime/window/key_codes.hpp"
#include "runtime/window/window.hpp"
#include "runtime/window/window_system.hpp"

namespace zelt::tools {

using namespace zelt::runtime;

WindowDeclaration DemoDeclaration(DemoState& s) {
    WindowDeclaration w("ZELT Window Demonstration");
    w.Icon("zelt").Timer(50);

    ListFormat items;
    items.columns = {ListColumn::IconColumn(), ListColumn("Name", 30),
                     ListColumn("Priority", 8, Align::Right).Colour(0xC00000, 0xFFFF00),
                     ListColumn("Tagged", 6, Align::Centre)};
    items.icons = {"check"};
    ListFormat tree;
    tree.columns = {ListColumn("Items", 40).WithIcon().WithColours()};
    tree.icons = {"folder-open", "folder", "file"};

    w.Sheet("?Sheet");
    w.Tab("?TabItems", "&Items");
    w.List("?ItemList", items)
        .Tip("The items; Insert adds, Delete removes, double click tags.")
        .Status("Insert adds, Delete removes, a double click tags")
        .Hint(50, 10);
    w.Prompt("?Name:Prompt", "&Name:");
    w.Entry("?Name", 30)
        .Use(Use(s.name))
        .Tip("Name of a new item")
        .Status("Type the name of a new item");
    w.Prompt("?Priority:Prompt", "&Priority:");
    w.Spin("?Priority", 1, 255).Use(Use(s.priority)).Tip("1-255");
    w.Check("?Tagged", "&Tagged").Use(Use(s.tagged));
    w.Button("?AddItem", "&Add").Default().Tip("Add the item to the list");
    w.Button("?RemoveItem", "&Remove").Tip("Remove the selected item");
    w.Tab("?TabTree", "T&ree");
    w.Tree("?ItemTree", tree).Hint(50, 10);
    w.Button("?ExpandAll", "&Expand All");
    w.Button("?ContractAll", "Co&ntract All");
    w.End();
    w.String("?Ticks", "").Use(Show([&s] { return s.status; })).Width(30);
    w.Progress("?TickBar", 100).Use(Show([&s] { return std::to_string(s.ticks % 101); }));
    w.Button("?Menu", "&Menu...");
    w.Button("?Report", "&Print Report");
    w.Button("?Wait", "&Wait");
    w.Button("?Close", "&Close").Tip("Bye, and thanks");
    return w;
}

void BuildDemoTree(DemoState& s) {
    s.tree.clear();
    s.tree.push_back({"All items", 1, 1, 0});
    auto group = [&s](const std::string& name, bool tagged, bool open) {
        std::vector<int> members;
        for (std::size_t i = 0; i < s.items.size(); ++i) {
            if (s.items[i].tagged == tagged) members.push_back(static_cast<int>(i + 1));
        }
        const bool expanded = open && !members.empty();
        s.tree.push_back({name + " (" + std::to_string(members.size()) + ")",
                          members.empty() ? 2 : (expanded ? 2 : -2), expanded ? 1 : 2, 0});
        if (!expanded) return;
        for (int m : members)
            s.tree.push_back({s.items[static_cast<std::size_t>(m - 1)].name, 3, 3, m});
    };
    group("Tagged", true, s.tagged_open);
    group("Untagged", false, s.untagged_open);
}

ReportDocument DemoReport(const DemoState& s, int lines) {
    ReportLayout layout;
    layout.title = "ZELT Demonstration Report";
    layout.columns = {{"Line", 5, Align::Right},
                      {"Name", 30, Align::Left},
                      {"Priority", 8, Align::Right},
                      {"Tagged", 6, Align::Left}};
    layout.lines_per_page = 40;
    ReportDocument report(layout);
    for (int i = 0; i < lines; ++i) {
        DemoItem item{"(no items)", 0, false};
        if (!s.items.empty()) item = s.items[static_cast<std::size_t>(i) % s.items.size()];
        report.AddDetail({std::to_string(i + 1), item.name, std::to_string(item.priority),
                          item.tagged ? "Yes" : "No"});
    }
    return report;
}

namespace {

class Demo {
  public:
    explicit Demo(DemoState& s)
        : s_(s),
          window_(DemoDeclaration(s)),
          list_(s.items, {[](const DemoItem& i) { return ListCell::Icon(i.tagged ? 1 : 0); },
                          [](const DemoItem& i) { return ListCell(i.name); },
                          [](const DemoItem& i) { return ListCell(std::to_string(i.priority)); },
                          [](const DemoItem& i) { return ListCell(i.tagged ? "Yes" : "No"); }}),
          tree_(s.tree, {[](const DemoTreeRow& r) { return ListCell(r.display, r.icon); }},
                [](const DemoTreeRow& r) { return r.level; }) {}

    void Run() {
        BuildDemoTree(s_);
        s_.status = "Ticks: 0";
        window_.Open();
        window_.SetListSource(ItemList, &list_);
        window_.SetListSource(ItemTree, &tree_);
        window_.Alert(ItemList, key::Insert);
        window_.Alert(ItemList, key::Delete);
        window_.Alert(ItemList, key::MouseLeft2);
        window_.Alert(ItemTree, key::Right);
        window_.Alert(ItemTree, key::Left);
        while (window_.Accept()) Handle();
    }

  private:
    void Log(std::string what) { s_.log.push_back(std::move(what)); }

    void Handle() {
        switch (window_.Event()) {
            case event::OpenWindow:
                Log("open");
                return;
            case event::Timer:
                Tick();
                return;
            case event::CloseWindow:
                Log("close");
                return;
            case event::Accepted:
                Accepted();
                return;
            case event::AlertKey:
                AlertKey();
                return;
            case event::NewSelection:
                if (window_.Field() == Sheet) Log("tab " + std::to_string(window_.Choice(Sheet)));
                return;
            case event::Expanded:
            case event::Contracted:
                ToggleGroup(window_.Event() == event::Expanded);
                return;
            default:
                return;
        }
    }

    void Tick() {
        ++s_.ticks;
        s_.status = "Ticks: " + std::to_string(s_.ticks);
        window_.Display(Ticks);
        window_.Display(TickBar);
    }

    void Accepted() {
        switch (window_.Field()) {
            case AddItem:
                Add();
                break;
            case RemoveItem:
                Remove();
                break;
            case ExpandAll:
                s_.tagged_open = s_.untagged_open = true;
                Rebuild();
                window_.Select(ItemTree);
                break;
            case ContractAll:
                s_.tagged_open = s_.untagged_open = false;
                Rebuild();
                window_.Select(ItemTree);
                break;
            case MenuButton:
                Menu();
                break;
            case ReportButton:
                Report();
                break;
            case WaitButton:
                Wait();
                break;
            case CloseButton:
                if (Message("Close the demonstration?", "Close", StockIcon::Question,
                            button::Yes | button::No, button::No) == button::Yes)
                    window_.Post(event::CloseWindow);
                break;
            default:
                break;
        }
    }

    void AlertKey() {
        if (window_.Field() == ItemList) {
            switch (window_.Keycode()) {
                case key::Insert:
                    window_.Select(NameEntry);
                    break;
                case key::Delete:
                    Remove();
                    break;
                case key::MouseLeft2:
                    ToggleTag();
                    break;
                default:
                    break;
            }
        } else if (window_.Field() == ItemTree) {
            window_.Post(window_.Keycode() == key::Right ? event::Expanded : event::Contracted,
                         ItemTree);
        }
    }

    void Add() {
        window_.Update();
        if (s_.name.empty()) {
            Message("Please enter a name.|The item needs one.", "Add Item", StockIcon::Exclamation);
            window_.Select(NameEntry);
            return;
        }
        s_.items.push_back({s_.name, s_.priority, s_.tagged != 0});
        Log("add " + s_.name);
        s_.name.clear();
        window_.Display();
        Rebuild();
        window_.Select(ItemList, static_cast<int>(s_.items.size()));
    }

    void Remove() {
        const int row = window_.Choice(ItemList);
        if (row < 1 || row > static_cast<int>(s_.items.size())) {
            Beep();
            return;
        }
        const std::string name = s_.items[static_cast<std::size_t>(row - 1)].name;
        if (Message("Remove \"" + name + "\"?", "Confirm", StockIcon::Exclamation,
                    button::Yes | button::No, button::No) != button::Yes)
            return;
        s_.items.erase(s_.items.begin() + (row - 1));
        Log("remove " + name);
        Rebuild();
        window_.Select(ItemList);
    }

    void ToggleTag() {
        const int row = window_.Choice(ItemList);
        if (row < 1 || row > static_cast<int>(s_.items.size())) return;
        auto& item = s_.items[static_cast<std::size_t>(row - 1)];
        item.tagged = !item.tagged;
        Log(std::string(item.tagged ? "tag " : "untag ") + item.name);
        Rebuild();
    }

    void ToggleGroup(bool open) {
        const int row = window_.Choice(ItemTree);
        if (row < 1 || row > static_cast<int>(s_.tree.size())) return;
        const std::string display = s_.tree[static_cast<std::size_t>(row - 1)].display;
        if (display.rfind("Tagged", 0) == 0)
            s_.tagged_open = open;
        else if (display.rfind("Untagged", 0) == 0)
            s_.untagged_open = open;
        else
            return;
        Log(std::string(open ? "expand " : "contract ") + display.substr(0, display.find(' ')));
        Rebuild();
        window_.SetChoice(ItemTree, row);
    }

    void Rebuild() {
        BuildDemoTree(s_);
        window_.Display(ItemList);
        window_.Display(ItemTree);
    }

    void Menu() {
        const int choice = Popup("Sort by &Name|Sort by &Priority|-|~&Export|Print &Report");
        if (choice == 1 || choice == 2) {
            std::stable_sort(s_.items.begin(), s_.items.end(),
                             [choice](const DemoItem& a, const DemoItem& b) {
                                 return choice == 1 ? a.name < b.name : a.priority < b.priority;
                             });
            Log(choice == 1 ? "sort name" : "sort priority");
            Rebuild();
        } else if (choice == 4) {
            Report();
        }
    }

    void Report() {
        const ReportDocument report = DemoReport(s_, 60);
        BusyCursor busy;
        const bool printed = CurrentWindowSystem()->PreviewReport(report);
        Log(printed ? "report printed" : "report previewed");
    }

    // A nested accept loop of the same window: waits for three timer events; the close
    // box ends the wait and the window.
    void Wait() {
        window_.Disable(WaitButton);
        int seen = 0;
        Log("wait begins");
        while (window_.Accept()) {
            if (window_.Event() == event::Timer) {
                Tick();
                if (++seen == 3) break;
            }
            if (window_.Event() == event::CloseWindow) break;
        }
        if (window_.IsOpen()) window_.Enable(WaitButton);
        ++s_.nested_waits;
        Log("wait ends after " + std::to_string(seen));
    }

    DemoState& s_;
    Window window_;
    QueueList<DemoItem> list_;
    QueueList<DemoTreeRow> tree_;
};

}  // namespace

void RunDemoWindow(DemoState& state) {
    Demo(state).Run();
}

}  // namespace zelt::tools
