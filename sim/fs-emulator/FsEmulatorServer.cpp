#include "fs-emulator/FsEmulatorServer.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>

namespace kkt::sim {
namespace {

using Clock = std::chrono::steady_clock;

std::string sysError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool makeRaw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return false;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, B115200);
    ::cfsetospeed(&t, B115200);
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

// Line noise for the noise fault: anything but the start byte.
constexpr std::uint8_t kNoise[] = {0xFF, 0x55, 0x00, 0xAA, 0x13, 0x7E};

}  // namespace

std::unique_ptr<FsEmulatorServer> FsEmulatorServer::open(const FsServerOptions& options,
                                                         std::string& error) {
    auto s = std::make_unique<FsEmulatorServer>(Key{});
    s->options_ = options;
    if (options.port.empty() == options.ptyLink.empty()) {
        error = "exactly one of a serial port and a pty link is needed";
        return nullptr;
    }
    if (options.statePath.empty()) {
        error = "a state file is needed";
        return nullptr;
    }
    FsStateFile file(options.statePath);
    std::optional<FsState> state;
    struct stat st {};
    const bool exists = ::stat(options.statePath.c_str(), &st) == 0;
    if (!options.fresh && exists) {
        state = file.load(&error);
        if (!state)
            return nullptr;  // never overwrite an FS we cannot read
    } else {
        state = FsEmulator::freshState(options.today);
        if (!file.save(*state, &error))
            return nullptr;
    }
    s->emulator_ = std::make_unique<FsEmulator>(std::move(*state),
                                                [path = options.statePath](const FsState& st2) {
                                                    std::string e;
                                                    if (FsStateFile(path).save(st2, &e))
                                                        return true;
                                                    std::cerr << "kkt-fs-emulator: " << e << "\n";
                                                    return false;
                                                });
    if (!options.tracePath.empty()) {
        s->traceFile_ = std::fopen(options.tracePath.c_str(), "a");
        if (!s->traceFile_) {
            error = sysError("cannot open trace file " + options.tracePath);
            return nullptr;
        }
    }
    if (!(options.port.empty() ? s->openPty(error) : s->openPort(error)))
        return nullptr;
    if (!options.controlFifo.empty() && !s->openControl(error))
        return nullptr;
    return s;
}

FsEmulatorServer::~FsEmulatorServer() {
    if (!options_.ptyLink.empty() && !devicePath_.empty()) {
        // Take the link away only while it still names our pty (a newer emulator may own it).
        char target[4096];
        const ssize_t n = ::readlink(options_.ptyLink.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == devicePath_) {
            ::unlink(options_.ptyLink.c_str());
        }
    }
    for (int fd : {lineFd_, slaveFd_, controlFd_}) {
        if (fd >= 0)
            ::close(fd);
    }
    if (traceFile_)
        std::fclose(traceFile_);
}

bool FsEmulatorServer::openPty(std::string& error) {
    lineFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (lineFd_ < 0 || ::grantpt(lineFd_) != 0 || ::unlockpt(lineFd_) != 0) {
        error = sysError("cannot create a pseudo-terminal");
        return false;
    }
    char name[256];
    if (::ptsname_r(lineFd_, name, sizeof name) != 0) {
        error = sysError("cannot name the pseudo-terminal");
        return false;
    }
    devicePath_ = name;
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd_ < 0 || !makeRaw(slaveFd_)) {
        error = sysError("cannot set up " + devicePath_);
        return false;
    }
    ::fcntl(lineFd_, F_SETFL, ::fcntl(lineFd_, F_GETFL) | O_NONBLOCK);
    const std::string temp = options_.ptyLink + ".tmp" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(name, temp.c_str()) != 0 ||
        ::rename(temp.c_str(), options_.ptyLink.c_str()) != 0) {
        error = sysError("cannot publish " + options_.ptyLink);
        ::unlink(temp.c_str());
        devicePath_.clear();
        return false;
    }
    devicePath_ = name;
    return true;
}

bool FsEmulatorServer::openPort(std::string& error) {
    lineFd_ = ::open(options_.port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (lineFd_ < 0) {
        error = sysError("cannot open serial port " + options_.port);
        return false;
    }
    if (!makeRaw(lineFd_)) {
        error = sysError(options_.port + " is not a usable serial port");
        ::close(lineFd_);
        lineFd_ = -1;
        return false;
    }
    ::tcflush(lineFd_, TCIOFLUSH);
    devicePath_ = options_.port;
    return true;
}

bool FsEmulatorServer::openControl(std::string& error) {
    struct stat st {};
    if (::stat(options_.controlFifo.c_str(), &st) == 0) {
        if (!S_ISFIFO(st.st_mode)) {
            error = options_.controlFifo + " exists and is not a FIFO";
            return false;
        }
    } else if (::mkfifo(options_.controlFifo.c_str(), 0600) != 0) {
        error = sysError("cannot create control FIFO " + options_.controlFifo);
        return false;
    }
    // Read and write end in one: writers never block, and the last writer leaving is no EOF.
    controlFd_ = ::open(options_.controlFifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (controlFd_ < 0) {
        error = sysError("cannot open control FIFO " + options_.controlFifo);
        return false;
    }
    return true;
}

void FsEmulatorServer::trace(std::string_view direction, ByteView bytes, std::string_view note) {
    if (!traceFile_)
        return;
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    // UTC fields by calendar arithmetic: the C library's time conversions take its time-zone
    // lock, which the FS trace never needs.
    const FsDateTime t = FsDateTime::fromUnix(ts.tv_sec);
    char when[64];
    std::snprintf(when, sizeof when, "%04d-%02d-%02dT%02d:%02d:%02d", 2000 + t.year, t.month, t.day,
                  t.hour, t.minute, static_cast<int>(ts.tv_sec % 60));
    std::fprintf(traceFile_, "%s.%03ldZ %.*s", when, ts.tv_nsec / 1000000,
                 static_cast<int>(direction.size()), direction.data());
    for (auto b : bytes)
        std::fprintf(traceFile_, " %02X", b);
    if (!note.empty())
        std::fprintf(traceFile_, " (%.*s)", static_cast<int>(note.size()), note.data());
    std::fputc('\n', traceFile_);
    std::fflush(traceFile_);
}

void FsEmulatorServer::readControl() {
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(controlFd_, buf, sizeof buf);
        if (n <= 0)
            break;
        controlBuffer_.append(buf, static_cast<std::size_t>(n));
    }
    for (std::size_t nl; (nl = controlBuffer_.find('\n')) != std::string::npos;) {
        std::string line = controlBuffer_.substr(0, nl);
        controlBuffer_.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (const auto err = faults_.apply(line)) {
            std::cerr << "kkt-fs-emulator: " << *err << " (ignored)\n";
        } else if (!line.empty()) {
            trace("CTL", {}, line);
            if (line == "disconnect") {
                pending_.reset();
                reader_.reset();
                queue_.clear();
            }
        }
    }
    if (controlBuffer_.size() > 4096)
        controlBuffer_.clear();  // no newline in sight: junk
}

void FsEmulatorServer::readLine() {
    std::uint8_t buf[4096];
    for (;;) {
        const ssize_t n = ::read(lineFd_, buf, sizeof buf);
        if (n <= 0)
            break;
        const ByteView got(buf, static_cast<std::size_t>(n));
        if (!faults_.connected()) {
            trace("KKT>FS", got, "disconnected, discarded");
            reader_.reset();
            continue;
        }
        lastByte_ = Clock::now();
        for (auto b : got) {
            if (auto r = reader_.feed(b))
                queue_.push_back(std::move(*r));
        }
    }
}

void FsEmulatorServer::send(const Bytes& bytes) {
    std::size_t done = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (done < bytes.size() && Clock::now() < deadline) {
        const ssize_t n = ::write(lineFd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        pollfd p{lineFd_, POLLOUT, 0};
        (void)::poll(&p, 1, 20);
    }
}

void FsEmulatorServer::serve(const FsRequest& request) {
    trace("KKT>FS", request.raw, request.crcOk ? std::string_view{} : "bad CRC");
    const FsAnswer answer = request.crcOk
                                ? emulator_->handle(request.code, request.data)
                                : FsAnswer{static_cast<std::uint8_t>(FsError::UnknownCommand), {}};
    Bytes frame = FsFrameReader::frame(answer.code, answer.data);
    const auto fault = faults_.take(request.code);
    if (!fault) {
        trace("FS>KKT", frame);
        send(frame);
        return;
    }
    const std::string note = "fault " + std::string(faultName(*fault));
    switch (*fault) {
        case FsFault::NoAnswer:
            trace("FS>KKT", frame, note + ", withheld");
            return;
        case FsFault::Late:
            trace("FS>KKT", frame, note + ", held back");
            pending_ = std::move(frame);
            pendingDue_ = Clock::now() + options_.lateDelay;
            return;
        case FsFault::BadCrc:
            frame.back() ^= 0x5A;
            break;
        case FsFault::Truncated:
            frame.resize(frame.size() - 3);
            break;
        case FsFault::Noise:
            frame.insert(frame.begin(), std::begin(kNoise), std::end(kNoise));
            break;
    }
    trace("FS>KKT", frame, note);
    send(frame);
}

void FsEmulatorServer::run(const std::atomic<bool>* externalStop) {
    lastByte_ = Clock::now();
    while (!stop_ && !(externalStop && *externalStop)) {
        int timeout = 50;
        if (pending_) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(pendingDue_ - Clock::now());
            timeout = static_cast<int>(std::clamp<long long>(left.count(), 0, 50));
        }
        pollfd fds[2] = {{lineFd_, POLLIN, 0}, {controlFd_, POLLIN, 0}};
        const int n = ::poll(fds, controlFd_ >= 0 ? 2 : 1, timeout);
        if (n < 0 && errno != EINTR)
            break;
        if (controlFd_ >= 0 && (fds[1].revents & POLLIN))
            readControl();
        if (fds[0].revents & POLLIN)
            readLine();
        if (lineFd_ >= 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            // Only a serial device hangs up (the pty's slave is held open): a USB adapter that was
            // pulled. Drop it and open it again once it is back.
            trace("LINE", {}, "device lost");
            std::cerr << "kkt-fs-emulator: lost " << options_.port << ", waiting for it\n";
            ::close(lineFd_);
            lineFd_ = -1;
            reader_.reset();
            reopenAt_ = Clock::now() + std::chrono::milliseconds(500);
        }
        if (lineFd_ < 0 && Clock::now() >= reopenAt_) {
            std::string error;
            if (openPort(error)) {
                trace("LINE", {}, "device back");
                std::cerr << "kkt-fs-emulator: " << options_.port << " is back\n";
            } else {
                lineFd_ = -1;
                reopenAt_ = Clock::now() + std::chrono::milliseconds(500);
            }
        }
        if (pending_ && Clock::now() >= pendingDue_) {
            trace("FS>KKT", *pending_, "late answer");
            send(*pending_);
            pending_.reset();
        }
        while (!pending_ && !queue_.empty()) {
            const FsRequest r = std::move(queue_.front());
            queue_.pop_front();
            if (!faults_.connected()) {
                trace("KKT>FS", r.raw, "disconnected, discarded");
                continue;
            }
            serve(r);
        }
        if (reader_.inFrame() && Clock::now() - lastByte_ > options_.frameGap) {
            trace("KKT>FS", reader_.partial(), "incomplete frame dropped");
            reader_.reset();
        }
    }
}

}  // namespace kkt::sim
