#include "platform/Shell.hpp"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace kkt {

int RealShell::run(const std::string& command) {
    return std::system(command.c_str());
}

std::optional<std::string> RealShell::capture(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return std::nullopt;
    std::string out;
    // Read in pieces of at most 127 characters, as the output routine expects.
    std::array<char, 128> buf{};
    while (std::fgets(buf.data(), static_cast<int>(buf.size()), pipe) != nullptr)
        out += buf.data();
    ::pclose(pipe);
    return out;
}

Shell& realShell() {
    static RealShell shell;
    return shell;
}

}  // namespace kkt
