// Where the main window was, which tab was in front and how wide the lists' columns were,
// kept in the settings store from one run to the next (section "Main").
#include <charconv>
#include <string>
#include <vector>

#include "app/main_window/main_window.hpp"
#include "framework/window_properties.hpp"

namespace zelt::app {

namespace {

constexpr std::string_view kSection = "Main";

// The window model's place of a window, as the settings store reads and sets it.
class WindowPlace final : public framework::WindowProperties {
  public:
    explicit WindowPlace(runtime::Window& window) : window_(window), g_(window.Geometry()) {}
    bool Iconised() const override { return g_.iconised; }
    bool Maximised() const override { return g_.maximised; }
    bool Resizable() const override { return true; }
    int X() const override { return g_.x; }
    int Y() const override { return g_.y; }
    int Width() const override { return g_.width; }
    int Height() const override { return g_.height; }
    void SetPosition(int x, int y) override { g_.x = x, g_.y = y, Apply(); }
    void SetSize(int width, int height) override { g_.width = width, g_.height = height, Apply(); }
    void SetMaximised(bool maximised) override { g_.maximised = maximised, Apply(); }

  private:
    void Apply() { window_.SetGeometry(g_); }
    runtime::Window& window_;
    runtime::WindowGeometry g_;
};

std::optional<int> Number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "120,40,300": the widths of a list's columns in pixels.
std::vector<int> Widths(std::string_view text) {
    std::vector<int> widths;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const auto w = Number(text.substr(0, comma));
        if (!w || *w <= 0 || *w > 10000) return {};  // a damaged entry keeps the designed widths
        widths.push_back(*w);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return widths;
}

std::string WidthsText(const std::vector<int>& widths) {
    std::string text;
    for (int w : widths) text += (text.empty() ? "" : ",") + std::to_string(w);
    return text;
}

constexpr MainCtl kLists[] = {MainCtl::List, MainCtl::List2, MainCtl::List3};

std::string ColumnsKey(MainCtl list) {
    return "Columns" + std::to_string(+list);
}

}  // namespace

void MainWindow::RestorePlaces() {
    framework::IniStore* store = services_.places;
    if (!store) return;
    WindowPlace place(Window());
    store->RestoreWindow(kSection, place);
    if (const auto tab = Number(store->Fetch(kSection, "Tab")); tab && *tab >= 1 && *tab <= 4)
        restore_tab_ = *tab;
    for (MainCtl list : kLists) {
        const std::vector<int> widths = Widths(store->Fetch(kSection, ColumnsKey(list)));
        if (!widths.empty()) Window().SetColumnWidths(+list, widths);
    }
}

void MainWindow::SavePlaces() {
    framework::IniStore* store = services_.places;
    if (!store || Window().Geometry().width <= 0) return;  // never shown: nothing to keep
    store->SaveWindow(kSection, WindowPlace(Window()));
    store->Update(kSection, "Tab", std::to_string(Window().Choice(+MainCtl::Sheet1)));
    for (MainCtl list : kLists) {
        const std::vector<int>& widths = Window().Control(+list).column_widths;
        if (!widths.empty()) store->Update(kSection, ColumnsKey(list), WidthsText(widths));
    }
}

bool MainWindow::RestoreTab() {
    if (restore_tab_ <= 1) return false;
    Window().SetChoice(+MainCtl::Sheet1, restore_tab_);
    TabChanged();
    return true;
}

}  // namespace zelt::app
