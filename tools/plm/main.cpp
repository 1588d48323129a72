#include <iostream>

#include "tools/plm/plm.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return zelt::plm::RunPlm(args, std::cin, std::cout, std::cerr);
}
