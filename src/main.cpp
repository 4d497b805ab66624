// Entry point of the fiscal core: the command-line modes and the start-up live in ServiceModes.
#include <iostream>
#include <span>

#include "registration/ServiceModes.hpp"

int main(int argc, char** argv) {
    const std::span<const char* const> args(argv, static_cast<std::size_t>(argc));
    return kkt::ServiceModes::run(args, std::cout, std::cerr);
}
