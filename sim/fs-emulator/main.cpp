// kkt-fs-emulator: the fiscal storage on a serial line or a pseudo-terminal.
//   kkt-fs-emulator (--port DEVICE | --pty LINK) --state FILE [--fresh] [--control FIFO]
//                   [--trace FILE]

#include <csignal>
#include <ctime>
#include <iostream>
#include <string>

#include "fs-emulator/FsEmulatorServer.hpp"

namespace {

std::atomic<bool> gStop{false};

void onSignal(int) {
    gStop = true;
}

int usage(const std::string& problem) {
    std::cerr << "kkt-fs-emulator: " << problem << "\n"
              << "usage: kkt-fs-emulator (--port DEVICE | --pty LINK) --state FILE [--fresh]\n"
              << "                       [--control FIFO] [--trace FILE]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    kkt::sim::FsServerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return !out.empty();
        };
        bool good = true;
        if (arg == "--port") {
            good = value(options.port);
        } else if (arg == "--pty") {
            good = value(options.ptyLink);
        } else if (arg == "--state") {
            good = value(options.statePath);
        } else if (arg == "--control") {
            good = value(options.controlFifo);
        } else if (arg == "--trace") {
            good = value(options.tracePath);
        } else if (arg == "--fresh") {
            options.fresh = true;
        } else {
            return usage("unknown argument " + arg);
        }
        if (!good)
            return usage(arg + " needs a value");
    }
    if (options.port.empty() == options.ptyLink.empty()) {
        return usage("give exactly one of --port and --pty");
    }
    if (options.statePath.empty())
        return usage("--state is required");

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    options.today = {static_cast<std::uint8_t>(local.tm_year - 100),
                     static_cast<std::uint8_t>(local.tm_mon + 1),
                     static_cast<std::uint8_t>(local.tm_mday), 0, 0};

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::string error;
    auto server = kkt::sim::FsEmulatorServer::open(options, error);
    if (!server) {
        std::cerr << "kkt-fs-emulator: " << error << "\n";
        return 1;
    }
    std::cerr << "kkt-fs-emulator: FS " << server->state().fsNumber << " on "
              << server->devicePath() << "\n";
    server->run(&gStop);
    return 0;
}
