#include "board/HostRelay.hpp"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <random>

#include "host/Frame.hpp"
#include "host/HostCommands.hpp"

namespace kkt::sim {

namespace {

constexpr std::uint16_t kVersionCode = 307;
constexpr auto kProbeInterval = std::chrono::milliseconds(500);
// A host's single write may reach the master in 2048-byte pieces; the firmware wants a whole
// frame in its input when it starts reading, so the pieces are gathered before forwarding.
constexpr auto kGatherWindow = std::chrono::milliseconds(3);
constexpr std::size_t kMaxPending = 1 << 20;

Bytes drain(int fd) {
    Bytes out;
    std::uint8_t buf[8192];
    for (;;) {
        const auto n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            out.insert(out.end(), buf, buf + n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return out;  // EAGAIN, or EIO while no slave is open
    }
}

}  // namespace

HostRelay::~HostRelay() {
    if (trace_)
        std::fclose(trace_);
}

bool HostRelay::open(const std::string& tracePath, std::string& error) {
    if (!gadget_.open(error) || !host_.open(error))
        return false;
    trace_ = std::fopen(tracePath.c_str(), "a");
    if (!trace_) {
        error = "cannot write " + tracePath;
        return false;
    }
    return true;
}

void HostRelay::startProbing() {
    state_ = State::Probing;
    becameReady_ = false;
    toGadget_.clear();
    nextProbe_ = Clock::now();
    probeParser_.reset();
}

void HostRelay::stop() {
    state_ = State::Stopped;
    becameReady_ = false;
    toGadget_.clear();
}

void HostRelay::setPlugged(bool plugged) {
    if (plugged && !plugged_)
        ::tcflush(gadget_.slave(), TCIOFLUSH);
    plugged_ = plugged;
    toGadget_.clear();
    toHost_.clear();
}

bool HostRelay::takeBecameReady() {
    const bool r = becameReady_;
    becameReady_ = false;
    return r;
}

void HostRelay::sendProbe() {
    // Old probes the firmware has not read yet go, so it answers one, not a backlog.
    ::tcflush(gadget_.slave(), TCIFLUSH);
    static std::mt19937 rng{std::random_device{}()};
    do {
        probeId_ = static_cast<std::uint32_t>(rng());
    } while (probeId_ == 0);
    const auto frame = encodeFrame(requestPayload(kVersionCode, probeId_, {}));
    trace("probe>", frame);
    [[maybe_unused]] auto n = ::write(gadget_.master(), frame.data(), frame.size());
    nextProbe_ = Clock::now() + kProbeInterval;
}

void HostRelay::tick() {
    if (state_ == State::Probing && Clock::now() >= nextProbe_)
        sendProbe();
}

void HostRelay::addPollFds(std::vector<pollfd>& fds) {
    short g = POLLIN, h = 0;
    if (!toGadget_.empty())
        g |= POLLOUT;
    // While the firmware starts the host's bytes wait in their pty; while it is dead they are
    // read and dropped, as a board without power takes nothing in.
    if (state_ != State::Probing)
        h |= POLLIN;
    if (!toHost_.empty())
        h |= POLLOUT;
    fds.push_back({gadget_.master(), g, 0});
    fds.push_back({host_.master(), h, 0});
}

void HostRelay::handle(const pollfd* fds) {
    if (fds[0].revents & POLLIN)
        readGadget();
    if (fds[1].revents & POLLIN)
        readHost();
    if (fds[0].revents & POLLOUT)
        flush(gadget_.master(), toGadget_);
    if (fds[1].revents & POLLOUT)
        flush(host_.master(), toHost_);
}

void HostRelay::readGadget() {
    const Bytes got = drain(gadget_.master());
    if (got.empty())
        return;
    trace("core>", got);
    if (state_ == State::Probing) {
        probeParser_.feed(got);
        while (auto ev = probeParser_.next()) {
            if (ev->kind != FrameParser::Kind::Frame)
                continue;
            auto a = splitPayload(ev->payload);
            if (a && a->code == 0 && a->id == probeId_) {
                state_ = State::Relaying;
                becameReady_ = true;
                probeParser_.reset();
                return;  // what followed the answer in the same read belongs to nobody
            }
        }
        return;
    }
    if (state_ == State::Stopped)
        return;
    if (toHost_.size() + got.size() > kMaxPending)
        toHost_.clear();  // nobody reads the host side
    toHost_.insert(toHost_.end(), got.begin(), got.end());
    flush(host_.master(), toHost_);
}

void HostRelay::readHost() {
    Bytes got = drain(host_.master());
    const auto until = Clock::now() + kGatherWindow * 20;
    while (!got.empty() && Clock::now() < until) {
        pollfd p{host_.master(), POLLIN, 0};
        const int ms = static_cast<int>(kGatherWindow.count());
        if (::poll(&p, 1, ms) <= 0 || !(p.revents & POLLIN))
            break;
        const Bytes more = drain(host_.master());
        if (more.empty())
            break;
        got.insert(got.end(), more.begin(), more.end());
    }
    if (got.empty())
        return;
    if (state_ == State::Stopped || !plugged_) {
        trace("lost>", got);
        return;
    }
    trace("host>", got);
    if (toGadget_.size() + got.size() > kMaxPending)
        toGadget_.clear();
    toGadget_.insert(toGadget_.end(), got.begin(), got.end());
    flush(gadget_.master(), toGadget_);
}

void HostRelay::flush(int fd, Bytes& pending) {
    while (!pending.empty()) {
        const auto n = ::write(fd, pending.data(), pending.size());
        if (n > 0) {
            pending.erase(pending.begin(), pending.begin() + n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return;  // full: POLLOUT resumes
    }
}

void HostRelay::trace(const char* who, ByteView bytes) {
    if (!trace_)
        return;
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    ::localtime_r(&ts.tv_sec, &tm);
    std::fprintf(trace_, "%02d:%02d:%02d.%03ld %-6s %s\n", tm.tm_hour, tm.tm_min, tm.tm_sec,
                 ts.tv_nsec / 1000000, who, toHex(bytes).c_str());
    std::fflush(trace_);
}

}  // namespace kkt::sim
