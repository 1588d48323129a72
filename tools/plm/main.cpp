#include <iostream>

#include "tools/plm/plm.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        zelt::plm::RunPlm({}, std::cin, std::cout, std::cout);  // the usage, asked for
        return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "plm (ZELT) " << ZELT_VERSION << "\n";
        return 0;
    }
    if (!args.empty() && args[0].starts_with("-"))
        std::cerr << "plm: unknown option " << args[0] << "\n";
    return zelt::plm::RunPlm(args, std::cin, std::cout, std::cerr);
}
