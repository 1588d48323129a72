// window_demo: shows the demonstration window.
//
//   window_demo              the window on the desktop (Qt)
//   window_demo --headless   the same window played by a short script, its state printed
//   window_demo --help | --version
#include <QApplication>
#include <cstdio>
#include <string>

#include "platform/qt/qt_backend.hpp"
#include "runtime/window/headless_backend.hpp"
#include "tools/window_demo/demo_window.hpp"

using namespace zelt;

namespace {

tools::DemoState Seeded() {
    tools::DemoState state;
    state.items = {{"Catalogue", 10, true},
                   {"Make batch", 20, false},
                   {"Event log", 30, true},
                   {"Project tree", 40, false},
                   {"Settings", 50, false}};
    return state;
}

int RunHeadless() {
    runtime::HeadlessSession session;
    auto& script = session.script;
    script.Type(tools::NameEntry, "Scripted item");
    script.Press(tools::AddItem);
    script.AdvanceMs(1500);
    script.Press(tools::MenuButton);
    script.ChoosePopup("Sort by Name");
    script.Press(tools::CloseButton);
    script.AnswerMessage(runtime::button::Yes);
    tools::DemoState state = Seeded();
    tools::RunDemoWindow(state);
    for (const auto& line : state.log) std::printf("%s\n", line.c_str());
    for (const auto& item : state.items)
        std::printf("item %s %d%s\n", item.name.c_str(), item.priority,
                    item.tagged ? " tagged" : "");
    for (const auto& failure : script.Failures())
        std::fprintf(stderr, "failure: %s\n", failure.c_str());
    return script.Failures().empty() ? 0 : 1;
}

constexpr const char* kUsage =
    "usage: window_demo [--headless]\n"
    "  (no option)   the demonstration window on the desktop\n"
    "  --headless    the same window played by a short script, its state printed\n"
    "  --help        this text\n"
    "  --version     the release of window_demo\n";

}  // namespace

int main(int argc, char** argv) {
    const std::string option = argc > 1 ? argv[1] : "";
    if (argc == 2 && (option == "--help" || option == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && option == "--version") {
        std::printf("window_demo (ZELT) %s\n", ZELT_VERSION);
        return 0;
    }
    if (argc == 2 && option == "--headless") return RunHeadless();
    if (argc > 1) {
        std::fprintf(stderr, "window_demo: unknown option or argument %s\n%s", option.c_str(),
                     kUsage);
        return 64;
    }
    QApplication app(argc, argv);
    platform::QtBackend backend;
    runtime::WindowSystem system(backend);
    runtime::ScopedWindowSystem installed(system);
    tools::DemoState state = Seeded();
    tools::RunDemoWindow(state);
    return 0;
}
