// plm: looks into Pelmar table files (tools/plm/plm.hpp, docs/plm.md).
#include <iostream>

#include "runtime/program/command_usage.hpp"
#include "tools/plm/plm.hpp"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    switch (zelt::runtime::FindStandingRequest(args)) {
        case zelt::runtime::StandingRequest::Help:
            std::cout << zelt::plm::PlmUsage();
            return 0;
        case zelt::runtime::StandingRequest::Version:
            std::cout << "plm (ZELT) " << ZELT_VERSION << "\n";
            return 0;
        case zelt::runtime::StandingRequest::None:
            break;
    }
    return zelt::plm::RunPlm(args, std::cin, std::cout, std::cerr);
}
