// Entry point of the fiscal core: the command-line modes live in ServiceModes, the normal start
// (core worker, host-link thread, core loop) in the core.
#include <iostream>
#include <span>

#include "core/NormalStart.hpp"
#include "registration/ServiceModes.hpp"

int main(int argc, char** argv) {
    const std::span<const char* const> args(argv, static_cast<std::size_t>(argc));
    return kkt::ServiceModes::run(args, std::cout, std::cerr, kkt::ServiceBoard{},
                                  []() -> int { kkt::runNormalStart(); });
}
