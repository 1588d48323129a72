#include "app/program/desktop.hpp"

#include <cstdio>

namespace zelt::app {

int RunMainWindow(Program& program) {
    (void)program;
    std::fputs("zelt: the main window is not built yet; the headless mode runs the batches "
               "(zelt --help)\n",
               stderr);
    return kNoMainWindow;
}

}  // namespace zelt::app
