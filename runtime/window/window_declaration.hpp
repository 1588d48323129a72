// A window declared as data: its attributes and its controls in declaration order.
//
// Controls are numbered from 1 in the order they are declared, and handlers test these
// numbers (give each window an enum whose values are the numbers). Containers nest: a sheet
// holds tabs, a tab, group or option group holds the controls declared after it until End()
// closes it; declaring a tab closes the tab before it. Layout is the backend's business; a
// control may carry a size hint.
//
//   WindowDeclaration w("Settings");
//   w.Option("?GLO:UseNewLog").Use(Use(glo.use_new_log));
//     w.Radio("?Radio1", "No").Value("N");
//     w.Radio("?Radio2", "Yes").Value("Y");
//   w.End();
//   w.Button("?OkButton", "&Ok").Default();
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/window/binding.hpp"

namespace zelt::runtime {

using ControlNumber = int;  // 1-based declaration number; 0 = none (the window)

enum class ControlKind : std::uint8_t {
    Sheet,   // a set of tabs
    Tab,     // one page of a sheet
    Group,   // a frame around controls
    Option,  // an option group: its radios choose one value
    Radio,   // one choice of an option group
    Prompt,  // a label
    String,  // text shown, not edited
    Text,    // multi-line edited text
    Entry,   // one line edited, with a width and a picture
    Spin,    // a number with up and down arrows
    Check,   // a check box
    Button,
    List,  // rows from a queue, in columns
    Tree,  // a list whose rows carry levels
    Image,
    Progress,  // a progress bar, value 0..high
    Region,    // an area without contents of its own
    Chart,     // a chart of values (chart_data.hpp), drawn from the program's data
};

std::string_view ControlKindName(ControlKind kind);

enum class Align : std::uint8_t { Left, Centre, Right };

// One column of a list: header, width in characters, alignment, picture, and whether its
// cells carry an icon or colours.
struct ListColumn {
    ListColumn() = default;
    ListColumn(std::string h, int w, Align a = Align::Left, std::string p = {})
        : header(std::move(h)), width(w), align(a), picture(std::move(p)) {}
    // An icon column (its cells carry an icon, and text if any).
    static ListColumn IconColumn(int w = 2) {
        ListColumn c({}, w);
        c.icon = true;
        return c;
    }
    ListColumn& WithIcon() {
        icon = true;
        return *this;
    }
    ListColumn& WithColours() {
        colours = true;
        return *this;
    }
    ListColumn& Colour(int fg, int selected_fg = -1, int bg = -1, int selected_bg = -1) {
        foreground = fg;
        selected_foreground = selected_fg;
        background = bg;
        selected_background = selected_bg;
        return *this;
    }

    std::string header;
    int width = 10;
    Align align = Align::Left;
    std::string picture;  // "@D1", "@T4", "@n3"...; empty = the text as it is
    bool icon = false;
    bool colours = false;
    // The format's colours for the whole column (0xRRGGBB, -1 = default).
    int foreground = -1;
    int background = -1;
    int selected_foreground = -1;
    int selected_background = -1;
};

struct ListFormat {
    std::vector<ListColumn> columns;
    std::vector<std::string> icons;  // icon names, numbered from 1
    bool headers = true;
};

struct SizeHint {
    int width = 0;   // in characters; 0 = the backend decides
    int height = 0;  // in lines
};

// Where a control sits in the grid of its container, when the window arranges a container's
// controls in a grid rather than one under another (a container is a grid as soon as one of
// its controls has a place). Rows and columns count from 0.
struct GridPlace {
    int row = -1;  // -1: no place (the container's controls follow one another)
    int column = 0;
    int rows = 1;
    int columns = 1;
};

struct ControlDeclaration {
    ControlKind kind = ControlKind::Region;
    std::string name;  // "?Insert:2"
    std::string text;  // caption, prompt text, tab title
    std::string tip;
    std::string status;  // status-bar text while the control has the focus
    ControlNumber parent = 0;
    bool hidden = false;
    bool disabled = false;
    bool read_only = false;
    bool default_button = false;
    bool immediate = false;  // lists: scroll keys become scroll events for the program
    int width = 0;           // entries and strings: characters the value may hold (0 = any)
    std::string picture;
    Binding use;
    std::string true_value = "1";  // check box ticked
    std::string false_value = "0";
    std::string radio_value;  // the value a radio gives its option group
    int low = 0;              // spin and progress range
    int high = 100;
    int step = 1;
    std::string icon;   // button or image icon name
    ListFormat format;  // lists and trees
    SizeHint hint;
    GridPlace place;

    ControlDeclaration& Tip(std::string t) {
        tip = std::move(t);
        return *this;
    }
    ControlDeclaration& Status(std::string s) {
        status = std::move(s);
        return *this;
    }
    ControlDeclaration& Hidden() {
        hidden = true;
        return *this;
    }
    ControlDeclaration& Disabled() {
        disabled = true;
        return *this;
    }
    ControlDeclaration& ReadOnly() {
        read_only = true;
        return *this;
    }
    ControlDeclaration& Default() {
        default_button = true;
        return *this;
    }
    ControlDeclaration& Immediate() {
        immediate = true;
        return *this;
    }
    ControlDeclaration& Width(int w) {
        width = w;
        return *this;
    }
    ControlDeclaration& Picture(std::string p) {
        picture = std::move(p);
        return *this;
    }
    ControlDeclaration& Use(Binding b) {
        use = std::move(b);
        return *this;
    }
    ControlDeclaration& Values(std::string on, std::string off) {
        true_value = std::move(on);
        false_value = std::move(off);
        return *this;
    }
    ControlDeclaration& Value(std::string v) {
        radio_value = std::move(v);
        return *this;
    }
    ControlDeclaration& Range(int lo, int hi, int st = 1) {
        low = lo;
        high = hi;
        step = st;
        return *this;
    }
    ControlDeclaration& Icon(std::string i) {
        icon = std::move(i);
        return *this;
    }
    ControlDeclaration& Hint(int w, int h = 0) {
        hint = {w, h};
        return *this;
    }
    ControlDeclaration& At(int row, int column, int row_span = 1, int column_span = 1) {
        place = {row, column, row_span, column_span};
        return *this;
    }
};

// Which rows and columns of a container's grid take the room left over.
struct GridStretch {
    std::vector<int> rows;
    std::vector<int> columns;
};

struct WindowAttributes {
    std::string title;
    std::string icon;
    bool modal = false;
    bool resizable = true;
    bool maximised = false;
    int timer = 0;  // hundredths of a second between timer events; 0 = none
};

class WindowDeclaration {
  public:
    explicit WindowDeclaration(std::string title = {}) { attributes.title = std::move(title); }

    WindowDeclaration& Icon(std::string name) {
        attributes.icon = std::move(name);
        return *this;
    }
    WindowDeclaration& Modal(bool on = true) {
        attributes.modal = on;
        return *this;
    }
    WindowDeclaration& Resizable(bool on = true) {
        attributes.resizable = on;
        return *this;
    }
    WindowDeclaration& Maximised(bool on = true) {
        attributes.maximised = on;
        return *this;
    }
    WindowDeclaration& Timer(int hundredths) {
        attributes.timer = hundredths;
        return *this;
    }
    // The rows and columns of a container's grid (0: the window's top level) that grow with
    // the window.
    WindowDeclaration& Stretch(ControlNumber container, GridStretch stretch) {
        stretches_.emplace_back(container, std::move(stretch));
        return *this;
    }
    const GridStretch* StretchOf(ControlNumber container) const {
        for (const auto& [c, s] : stretches_)
            if (c == container) return &s;
        return nullptr;
    }

    // Containers (closed by End; a tab also closes the tab before it).
    ControlDeclaration& Sheet(std::string name);
    ControlDeclaration& Tab(std::string name, std::string text);
    ControlDeclaration& Group(std::string name, std::string text = {});
    ControlDeclaration& Option(std::string name, std::string text = {});
    WindowDeclaration& End();

    ControlDeclaration& Radio(std::string name, std::string text);
    ControlDeclaration& Prompt(std::string name, std::string text);
    ControlDeclaration& String(std::string name, std::string text = {});
    ControlDeclaration& Text(std::string name);
    ControlDeclaration& Entry(std::string name, int width, std::string picture = {});
    ControlDeclaration& Spin(std::string name, int low, int high, int step = 1);
    ControlDeclaration& Check(std::string name, std::string text);
    ControlDeclaration& Button(std::string name, std::string text);
    ControlDeclaration& List(std::string name, ListFormat format);
    ControlDeclaration& Tree(std::string name, ListFormat format);
    ControlDeclaration& Image(std::string name, std::string icon = {});
    ControlDeclaration& Progress(std::string name, int high = 100);
    ControlDeclaration& Region(std::string name);
    ControlDeclaration& Chart(std::string name);

    const std::vector<ControlDeclaration>& Controls() const { return controls_; }
    int ControlCount() const { return static_cast<int>(controls_.size()); }
    // The control with that number, or nullptr.
    const ControlDeclaration* Control(ControlNumber n) const;
    ControlDeclaration* Control(ControlNumber n) {
        return const_cast<ControlDeclaration*>(std::as_const(*this).Control(n));
    }
    // The number of the control with that name (exact), 0 when there is none.
    ControlNumber Find(std::string_view name) const;
    // The children of a control (0 = the window's top level), in declaration order.
    std::vector<ControlNumber> Children(ControlNumber parent) const;
    bool IsContainer(ControlNumber n) const;

    WindowAttributes attributes;

  private:
    ControlDeclaration& Add(ControlKind kind, std::string name, std::string text);
    void Push(ControlNumber n) { open_.push_back(n); }

    std::vector<ControlDeclaration> controls_;
    std::vector<ControlNumber> open_;  // containers still open, innermost last
    std::vector<std::pair<ControlNumber, GridStretch>> stretches_;
};

}  // namespace zelt::runtime
