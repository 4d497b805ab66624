#include "board/Board.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "board/ControlChannel.hpp"
#include "board/SandboxView.hpp"

namespace kkt::sim {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kLinkWait = 10s;
constexpr auto kViewWait = 10s;
constexpr auto kEmulatorRestartDelay = 1s;
constexpr auto kStopGrace = 3000ms;

bool executable(const std::string& p) {
    return ::access(p.c_str(), X_OK) == 0;
}

bool symlinkTo(const std::string& target, const std::string& link, std::string& error) {
    const std::string temp = link + ".new";
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0 || ::rename(temp.c_str(), link.c_str()) != 0) {
        error = "cannot link " + link + " to " + target + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string lastLines(const std::string& path, std::size_t n) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    std::string out;
    for (std::size_t i = lines.size() > n ? lines.size() - n : 0; i < lines.size(); ++i) {
        out += (out.empty() ? "" : "\n") + lines[i];
    }
    return out;
}

std::vector<std::string> words(const std::string& line) {
    std::istringstream is(line);
    std::vector<std::string> w;
    for (std::string s; is >> s;)
        w.push_back(s);
    return w;
}

}  // namespace

Board::Board(BoardOptions options) : options_(std::move(options)), dir_(options_.state) {}

Board::~Board() {
    if (signalFd_ >= 0)
        ::close(signalFd_);
    if (controlFd_ >= 0)
        ::close(controlFd_);
    if (statusFd_ >= 0)
        ::close(statusFd_);
}

std::string Board::ownFolder() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

void Board::say(const std::string& message) {
    std::cerr << "kkt-board: " << message << std::endl;
    if (!locked_)
        return;
    std::ofstream log(dir_.log("board.log"), std::ios::app);
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    log << when << " " << message << "\n";
}

int Board::run() {
    std::string error;
    // Signals arrive through a descriptor; children get them unblocked again.
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGCHLD})
        sigaddset(&set, s);
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    // Processes orphaned inside the view (bubblewrap's init after a kill) come to the board.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);

    if (!setUp(error)) {
        std::cerr << "kkt-board: " << error << std::endl;
        shutdown();
        return 1;
    }
    loop();
    shutdown();
    return 0;
}

bool Board::setUp(std::string& error) {
    const std::string bin = ownFolder();
    if (options_.firmware.empty())
        options_.firmware = bin + "/kkt-core";
    {
        std::error_code ec;
        auto abs = std::filesystem::absolute(options_.firmware, ec);
        if (!ec)
            options_.firmware = abs.string();
    }
    if (!executable(options_.firmware)) {
        error = "no firmware to run: " + options_.firmware + " is not an executable file";
        return false;
    }
    if (!executable("/usr/bin/bwrap")) {
        error = "bubblewrap (/usr/bin/bwrap) is not installed: run scripts/bootstrap";
        return false;
    }
    if (!executable("/usr/bin/busybox")) {
        error = "busybox (/usr/bin/busybox) is not installed: run scripts/bootstrap";
        return false;
    }
    {
        std::error_code ec;
        std::filesystem::create_directories(dir_.root(), ec);
        auto abs = std::filesystem::absolute(dir_.root(), ec);
        dir_ = StateDir(abs.lexically_normal().string());
        // The lock comes first: a second board must not touch a running board's files.
        std::filesystem::create_directories(dir_.run(), ec);
        if (ec) {
            error = "cannot create " + dir_.run() + ": " + ec.message();
            return false;
        }
    }
    if (!dir_.lock(error))
        return false;
    locked_ = true;
    if (!dir_.prepare(options_.fresh, error))
        return false;
    dir_.cleanRunFiles();
    if (!dir_.writeStubs(std::string(kViewLog) + "/clock.log", error))
        return false;
    if (!relay_.open(dir_.trace("host.trace"), error))
        return false;
    if (!symlinkTo(relay_.gadgetPath(), dir_.link("gadget"), error))
        return false;
    controlFd_ = ControlChannel::listen(dir_.controlSocket(), error);
    if (controlFd_ < 0)
        return false;

    if (options_.fs) {
        fs_ = std::make_unique<Emulator>();
        fs_->name = "FS emulator";
        fs_->binary = bin + "/kkt-fs-emulator";
        fs_->link = dir_.link("fs");
        fs_->controlFifo = dir_.fsControl();
        fs_->log = dir_.log("fs-emulator.log");
        fs_->args = {"--pty",     fs_->link,        "--state", dir_.fsState(),
                     "--control", fs_->controlFifo, "--trace", dir_.trace("fs.trace")};
        if (options_.fresh)
            fs_->args.push_back("--fresh");
    }
    if (options_.printer) {
        printer_ = std::make_unique<Emulator>();
        printer_->name = "printer emulator";
        printer_->binary = bin + "/kkt-printer-emulator";
        printer_->link = dir_.link("printer");
        printer_->controlFifo = dir_.printerControl();
        printer_->log = dir_.log("printer-emulator.log");
        printer_->args = {
            "--pty",     printer_->link,        "--out",   dir_.printerOut(),
            "--control", printer_->controlFifo, "--trace", dir_.trace("printer.trace")};
    }
    for (Emulator* e : {fs_.get(), printer_.get()}) {
        if (e && !startEmulator(*e, error))
            return false;
    }
    // A later restart of the FS emulator must keep its state.
    if (fs_)
        std::erase(fs_->args, std::string("--fresh"));
    if (!waitForLinks(error))
        return false;
    if (!symlinkTo(relay_.hostPath(), dir_.hostLink(), error))
        return false;
    if (!startFirmware(error))
        return false;
    say("started; host port " + dir_.hostLink() + " -> " + relay_.hostPath() +
        "; waiting for the firmware to answer");
    return true;
}

bool Board::startEmulator(Emulator& e, std::string& error) {
    if (!executable(e.binary)) {
        error = "the " + e.name + " is missing: " + e.binary +
                " is not built (build it, or run without it: --no-fs / --no-printer)";
        return false;
    }
    ::unlink(e.link.c_str());
    if (::mkfifo(e.controlFifo.c_str(), 0600) != 0 && errno != EEXIST) {
        error = "cannot make " + e.controlFifo + ": " + std::strerror(errno);
        return false;
    }
    std::vector<std::string> argv{e.binary};
    argv.insert(argv.end(), e.args.begin(), e.args.end());
    if (!e.process.start(argv, e.log, e.log, error))
        return false;
    e.restartAt.reset();
    return true;
}

bool Board::waitForLinks(std::string& error) {
    const auto deadline = Clock::now() + kLinkWait;
    for (;;) {
        bool all = true;
        for (Emulator* e : {fs_.get(), printer_.get()}) {
            if (!e)
                continue;
            if (auto st = e->process.reap()) {
                error = "the " + e->name + " " + ChildProcess::describe(*st) + " at start:\n" +
                        lastLines(e->log, 10);
                return false;
            }
            struct stat s {};
            if (::stat(e->link.c_str(), &s) != 0)
                all = false;
        }
        if (all)
            return true;
        if (Clock::now() > deadline) {
            error = "the emulators did not publish their pseudo-terminals within 10 s";
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
}

bool Board::startFirmware(std::string& error) {
    ::unlink(dir_.ready().c_str());
    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    SandboxSetup setup;
    setup.firmware = options_.firmware;
    setup.statusFd = pipefd[1];
    const auto argv = sandboxArguments(setup, dir_);
    const bool started =
        firmware_.start(argv, dir_.firmwareStdout(), dir_.firmwareStderr(), error, pipefd[1]);
    ::close(pipefd[1]);
    if (!started) {
        ::close(pipefd[0]);
        return false;
    }
    // bubblewrap reports the child's pid once the view stands; an end of the pipe before that
    // means it could not build the view, and its reason is in the firmware's stderr.
    std::string status;
    const auto deadline = Clock::now() + kViewWait;
    while (status.find("child-pid") == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{pipefd[0], POLLIN, 0};
        const int r = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            ::close(pipefd[0]);
            firmware_.kill();
            error = "bubblewrap did not build the view within 10 s";
            return false;
        }
        char buf[512];
        const auto n = ::read(pipefd[0], buf, sizeof buf);
        if (n <= 0) {
            ::close(pipefd[0]);
            firmware_.kill();
            error = "bubblewrap could not create the board's view:\n" +
                    lastLines(dir_.firmwareStderr(), 5);
            return false;
        }
        status.append(buf, static_cast<std::size_t>(n));
    }
    statusFd_ = pipefd[0];
    relay_.startProbing();
    return true;
}

bool Board::firmwareHasPort() const {
    // Whether a process of the firmware's group holds the gadget pty open: the link closes it
    // while the USB controller is not configured.
    if (!firmware_.running())
        return false;
    std::error_code ec;
    for (const auto& proc : std::filesystem::directory_iterator("/proc", ec)) {
        const auto name = proc.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(proc.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        if (close == std::string::npos || close + 2 > line.size())
            continue;
        std::istringstream rest(line.substr(close + 2));
        std::string state;
        long ppid = 0, pgrp = 0;
        rest >> state >> ppid >> pgrp;
        if (pgrp != firmware_.pid())
            continue;
        std::error_code e2;
        for (const auto& fd : std::filesystem::directory_iterator(proc.path() / "fd", e2)) {
            std::error_code e3;
            if (std::filesystem::read_symlink(fd.path(), e3).string() == relay_.gadgetPath()) {
                return true;
            }
        }
    }
    return false;
}

void Board::killFirmware() {
    relay_.stop();
    ::unlink(dir_.ready().c_str());
    firmware_.kill();
    if (statusFd_ >= 0) {
        ::close(statusFd_);
        statusFd_ = -1;
    }
}

void Board::reapChildren() {
    // The board is the subreaper of everything it started, so processes orphaned inside the
    // view end here too and are collected.
    int st = 0;
    pid_t pid;
    while ((pid = ::waitpid(-1, &st, WNOHANG)) > 0) {
        if (pid == firmware_.pid()) {
            firmware_.collected();
            relay_.stop();
            ::unlink(dir_.ready().c_str());
            if (statusFd_ >= 0) {
                ::close(statusFd_);
                statusFd_ = -1;
            }
            say("the firmware " + ChildProcess::describe(st) + "; see " + dir_.firmwareStderr() +
                "; `kkt-board ctl --state " + dir_.root() + " restart` starts it again");
            continue;
        }
        for (Emulator* e : {fs_.get(), printer_.get()}) {
            if (!e || pid != e->process.pid())
                continue;
            e->process.collected();
            if (stopping_)
                continue;
            say("the " + e->name + " " + ChildProcess::describe(st) +
                "; restarting it in 1 s (see " + e->log + ")");
            e->restartAt = Clock::now() + kEmulatorRestartDelay;
        }
    }
}

void Board::loop() {
    while (!stopping_) {
        std::vector<pollfd> fds{{signalFd_, POLLIN, 0}, {controlFd_, POLLIN, 0}};
        const bool watchStatus = statusFd_ >= 0;
        if (watchStatus)
            fds.push_back({statusFd_, POLLIN, 0});
        const std::size_t relayAt = fds.size();
        relay_.addPollFds(fds);
        const int r = ::poll(fds.data(), fds.size(), 50);
        if (r < 0 && errno != EINTR) {
            say(std::string("poll failed: ") + std::strerror(errno));
            return;
        }
        if (r > 0) {
            if (fds[0].revents & POLLIN) {
                signalfd_siginfo si{};
                while (::read(signalFd_, &si, sizeof si) == sizeof si) {
                    if (si.ssi_signo == SIGCHLD) {
                        reapChildren();
                    } else {
                        say(std::string("stopping on ") +
                            strsignal(static_cast<int>(si.ssi_signo)));
                        stopping_ = true;
                    }
                }
            }
            if (fds[1].revents & POLLIN)
                acceptControl();
            if (watchStatus && statusFd_ >= 0 && (fds[2].revents & (POLLIN | POLLHUP))) {
                char buf[512];
                if (::read(statusFd_, buf, sizeof buf) <= 0) {
                    ::close(statusFd_);
                    statusFd_ = -1;
                }
            }
            relay_.handle(&fds[relayAt]);
        }
        relay_.tick();
        if (relay_.takeBecameReady()) {
            std::ofstream(dir_.ready()) << firmware_.pid() << "\n";
            say("the firmware answers; host port " + dir_.hostLink() + " -> " + relay_.hostPath());
        }
        reapChildren();
        for (Emulator* e : {fs_.get(), printer_.get()}) {
            if (e && e->restartAt && Clock::now() >= *e->restartAt) {
                std::string error;
                if (!startEmulator(*e, error)) {
                    say("cannot restart the " + e->name + ": " + error);
                    e->restartAt = Clock::now() + 5s;
                }
            }
        }
    }
}

void Board::acceptControl() {
    for (;;) {
        const int c = ::accept4(controlFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            return;
        std::string line;
        if (ControlChannel::readLine(c, 2000, line))
            ControlChannel::writeLine(c, control(line));
        ::close(c);
    }
}

std::string Board::tellEmulator(Emulator* e, const std::string& line) {
    if (!e)
        return "error: this board runs without that emulator (--no-fs / --no-printer)";
    if (!e->process.running())
        return "error: the " + e->name + " is not running";
    const int fd = ::open(e->controlFifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "error: the " + e->name + " does not listen on " + e->controlFifo;
    const std::string l = line + "\n";
    const bool ok = ::write(fd, l.data(), l.size()) == static_cast<ssize_t>(l.size());
    ::close(fd);
    return ok ? "ok" : "error: cannot write to " + e->controlFifo;
}

std::string Board::control(const std::string& line) {
    const auto w = words(line);
    if (w.empty())
        return "error: empty request";
    const std::string& a = w[0];
    if (a != "status")
        say("ctl " + line);
    const bool noArgs = w.size() == 1;
    if (a == "fs-disconnect" && noArgs)
        return tellEmulator(fs_.get(), "disconnect");
    if (a == "fs-connect" && noArgs)
        return tellEmulator(fs_.get(), "connect");
    if (a == "fs-fault") {
        static const std::vector<std::string> kinds{"no-answer", "late",  "bad-crc",
                                                    "truncated", "noise", "clear"};
        if (w.size() < 2 || std::find(kinds.begin(), kinds.end(), w[1]) == kinds.end() ||
            (w[1] == "clear" && w.size() > 2) || w.size() > 4) {
            return "error: fs-fault KIND [N] [cmd=0xHH], KIND one of no-answer, late, bad-crc, "
                   "truncated, noise, clear";
        }
        std::string out = "fault";
        for (std::size_t i = 1; i < w.size(); ++i)
            out += " " + w[i];
        return tellEmulator(fs_.get(), out);
    }
    if (a == "paper-out" && noArgs)
        return tellEmulator(printer_.get(), "paper-out");
    if (a == "paper-in" && noArgs)
        return tellEmulator(printer_.get(), "paper-in");
    if (a == "paper-low" && noArgs)
        return tellEmulator(printer_.get(), "paper-low");
    if (a == "printer-silent" && noArgs)
        return tellEmulator(printer_.get(), "silent");
    if (a == "printer-back" && noArgs)
        return tellEmulator(printer_.get(), "back");
    if ((a == "usb-unplug" || a == "usb-plug") && noArgs) {
        std::string error;
        if (!dir_.setUsbState(a == "usb-plug", error))
            return "error: " + error;
        relay_.setPlugged(a == "usb-plug");
        return "ok";
    }
    if (a == "kill" && noArgs) {
        if (!firmware_.running())
            return "ok: the firmware was not running";
        killFirmware();
        say("the firmware was killed (power loss)");
        return "ok";
    }
    if (a == "restart" && noArgs) {
        killFirmware();
        std::string error;
        if (!startFirmware(error))
            return "error: " + error;
        say("the firmware was restarted");
        return "ok";
    }
    if (a == "status" && noArgs) {
        std::string s = "ok: firmware ";
        s += firmware_.running() ? (relay_.ready() ? "answering" : "starting") : "stopped";
        s += firmwareHasPort() ? ", host port open" : ", host port closed";
        s += relay_.plugged() ? ", usb plugged" : ", usb unplugged";
        for (Emulator* e : {fs_.get(), printer_.get()}) {
            if (e)
                s += ", " + e->name + (e->process.running() ? " running" : " stopped");
        }
        return s;
    }
    return "error: unknown action '" + line +
           "' (fs-disconnect, fs-connect, fs-fault KIND [N] [cmd=0xHH], paper-out, paper-in, "
           "paper-low, printer-silent, printer-back, usb-unplug, usb-plug, kill, restart, status)";
}

void Board::shutdown() {
    stopping_ = true;
    relay_.stop();
    if (firmware_.running())
        firmware_.stop(kStopGrace);
    for (Emulator* e : {fs_.get(), printer_.get()}) {
        if (e && e->process.running()) {
            const auto st = e->process.stop(kStopGrace);
            if (st && WIFSIGNALED(*st) && WTERMSIG(*st) == SIGKILL) {
                say("the " + e->name + " did not stop on SIGTERM and was killed");
            }
        }
    }
    if (!locked_)
        return;
    dir_.cleanRunFiles();
    say("stopped");
}

}  // namespace kkt::sim
