// kkt-printer-emulator: the register's thermal receipt printer on a serial device or a
// pseudo-terminal, or the offline rendering of a captured byte stream.

#include <signal.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "PrinterEmulator.hpp"
#include "PrinterServer.hpp"

namespace {

constexpr const char* kUsage =
    "usage: kkt-printer-emulator (--port DEVICE | --pty LINK) --out DIR [--control FIFO]\n"
    "                            [--trace FILE] [--paper 58|80]\n"
    "       kkt-printer-emulator --input FILE --out DIR [--trace FILE] [--paper 58|80]\n";

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

kkt::sim::PrinterServer* gServer = nullptr;

extern "C" void onSignal(int) {
    if (gServer != nullptr)
        gServer->stop();
}

struct Arguments {
    std::optional<std::string> port, pty, input, out, control, trace, paper;
};

int usage(const std::string& message) {
    std::cerr << "kkt-printer-emulator: " << message << "\n" << kUsage;
    return kExitUsage;
}

int renderOffline(kkt::sim::PrinterEmulator& emulator, const std::string& input) {
    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::cerr << "kkt-printer-emulator: cannot open " << input << ": " << std::strerror(errno)
                  << "\n";
        return kExitFailure;
    }
    char buf[65536];
    while (in) {
        in.read(buf, sizeof buf);
        const auto n = static_cast<std::size_t>(in.gcount());
        if (n > 0) {
            (void)emulator.receive(kkt::ByteView(reinterpret_cast<const std::uint8_t*>(buf), n));
        }
    }
    if (!in.eof()) {
        std::cerr << "kkt-printer-emulator: cannot read " << input << "\n";
        return kExitFailure;
    }
    emulator.endOfInput();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            std::cout << kUsage;
            return 0;
        }
        std::optional<std::string>* slot = flag == "--port"      ? &args.port
                                           : flag == "--pty"     ? &args.pty
                                           : flag == "--input"   ? &args.input
                                           : flag == "--out"     ? &args.out
                                           : flag == "--control" ? &args.control
                                           : flag == "--trace"   ? &args.trace
                                           : flag == "--paper"   ? &args.paper
                                                                 : nullptr;
        if (slot == nullptr)
            return usage("unknown argument " + flag);
        if (i + 1 >= argc || argv[i + 1][0] == '\0')
            return usage(flag + " needs a value");
        if (*slot)
            return usage(flag + " given twice");
        *slot = argv[++i];
    }
    const int sources = (args.port ? 1 : 0) + (args.pty ? 1 : 0) + (args.input ? 1 : 0);
    if (sources != 1)
        return usage("give exactly one of --port, --pty and --input");
    if (!args.out)
        return usage("--out DIR is required");
    if (args.input && args.control)
        return usage("--control needs --port or --pty");

    kkt::sim::EmulatorOptions options;
    options.outDir = *args.out;
    if (args.trace)
        options.tracePath = *args.trace;
    if (args.paper) {
        if (*args.paper == "58") {
            options.paper = kkt::sim::PaperWidth::Mm58;
        } else if (*args.paper == "80") {
            options.paper = kkt::sim::PaperWidth::Mm80;
        } else {
            return usage("--paper is 58 or 80");
        }
    }
    std::string error;
    auto emulator = kkt::sim::PrinterEmulator::open(options, error);
    if (!emulator) {
        std::cerr << "kkt-printer-emulator: " << error << "\n";
        return kExitFailure;
    }
    if (args.input)
        return renderOffline(*emulator, *args.input);

    kkt::sim::PrinterServer server(*emulator);
    // The control FIFO first: once the port (or its link) exists, every part is ready.
    if (args.control && !server.openControl(*args.control, error)) {
        std::cerr << "kkt-printer-emulator: " << error << "\n";
        return kExitFailure;
    }
    const bool opened =
        args.port ? server.openPort(*args.port, error) : server.openPty(*args.pty, error);
    if (!opened) {
        std::cerr << "kkt-printer-emulator: " << error << "\n";
        return kExitFailure;
    }
    gServer = &server;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    if (args.pty)
        std::cerr << "kkt-printer-emulator: " << *args.pty << " -> " << server.slavePath() << "\n";
    const bool ok = server.run(error);
    gServer = nullptr;
    if (!ok) {
        std::cerr << "kkt-printer-emulator: " << error << "\n";
        return kExitFailure;
    }
    return 0;
}
