// kkt-board: the virtual board.
//   kkt-board run --state DIR [--firmware PATH] [--no-fs] [--no-printer] [--fresh]
//   kkt-board ctl --state DIR ACTION [ARGS]

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "board/Board.hpp"
#include "board/ControlChannel.hpp"
#include "board/StateDir.hpp"

namespace {

void usage(std::ostream& out) {
    out << "usage: kkt-board run --state DIR [--firmware PATH] [--no-fs] [--no-printer] [--fresh]\n"
           "       kkt-board ctl --state DIR ACTION\n"
           "  run   starts the FS and printer emulators and the firmware in the board's view;\n"
           "        runs until SIGINT or SIGTERM. The host's port is DIR/host; DIR/ready appears\n"
           "        once the firmware answers.\n"
           "  ctl   ACTION: fs-disconnect, fs-connect, fs-fault KIND [N] [cmd=0xHH] (KIND:\n"
           "        no-answer, late, bad-crc, truncated, noise, clear), paper-out, paper-in,\n"
           "        paper-low, printer-silent, printer-back, usb-unplug, usb-plug, kill (power\n"
           "        loss), restart, status\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> av(argv + 1, argv + argc);
    if (av.empty() || av[0] == "--help" || av[0] == "-h") {
        usage(av.empty() ? std::cerr : std::cout);
        return av.empty() ? 2 : 0;
    }
    const std::string mode = av[0];
    kkt::sim::BoardOptions o;
    std::vector<std::string> rest;
    for (std::size_t i = 1; i < av.size(); ++i) {
        const auto& a = av[i];
        if (a == "--state" || a == "--firmware") {
            if (i + 1 >= av.size()) {
                std::cerr << "kkt-board: " << a << " needs a value\n";
                return 2;
            }
            (a == "--state" ? o.state : o.firmware) = av[++i];
        } else if (mode == "run" && a == "--no-fs") {
            o.fs = false;
        } else if (mode == "run" && a == "--no-printer") {
            o.printer = false;
        } else if (mode == "run" && a == "--fresh") {
            o.fresh = true;
        } else if (mode == "ctl" && (rest.empty() ? a.rfind("--", 0) != 0 : true)) {
            rest.push_back(a);
        } else {
            std::cerr << "kkt-board: unknown argument '" << a << "' for " << mode << "\n";
            usage(std::cerr);
            return 2;
        }
    }
    if (mode != "run" && mode != "ctl") {
        std::cerr << "kkt-board: unknown mode '" << mode << "'\n";
        usage(std::cerr);
        return 2;
    }
    if (o.state.empty()) {
        std::cerr << "kkt-board: --state DIR is required\n";
        return 2;
    }
    if (mode == "run") {
        kkt::sim::Board board(o);
        return board.run();
    }
    if (rest.empty()) {
        std::cerr << "kkt-board: ctl needs an ACTION\n";
        usage(std::cerr);
        return 2;
    }
    std::string line;
    for (const auto& w : rest)
        line += (line.empty() ? "" : " ") + w;
    std::error_code ec;
    const auto abs = std::filesystem::absolute(o.state, ec).lexically_normal().string();
    kkt::sim::StateDir dir(abs);
    std::string reply;
    // restart waits for bubblewrap to build the view (up to 10 s) before it replies.
    if (!kkt::sim::ControlChannel::request(dir.controlSocket(), line, 20000, reply)) {
        std::cerr << "kkt-board: " << reply << "\n";
        return 1;
    }
    if (reply.rfind("ok", 0) == 0) {
        if (reply.size() > 2)
            std::cout << reply.substr(reply.find(':') + 2) << "\n";
        return 0;
    }
    std::cerr << "kkt-board: " << reply << "\n";
    return 1;
}
