#pragma once
// The USB serial port of the virtual board: two pseudo-terminals whose masters the board joins,
// one slave being /dev/ttyGS0 in the view, the other the host's port. Until the firmware has
// answered a 307 request the board itself talks on the firmware's side (the readiness probe) and
// holds the host's bytes back; after that bytes pass both ways unchanged, and each direction is
// traced.

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "board/Pty.hpp"
#include "host/FrameParser.hpp"
#include "primitives/Bytes.hpp"

namespace kkt::sim {

class HostRelay {
  public:
    using Clock = std::chrono::steady_clock;

    HostRelay() = default;
    ~HostRelay();
    HostRelay(const HostRelay&) = delete;
    HostRelay& operator=(const HostRelay&) = delete;

    [[nodiscard]] bool open(const std::string& tracePath, std::string& error);

    const std::string& gadgetPath() const { return gadget_.slavePath(); }
    const std::string& hostPath() const { return host_.slavePath(); }

    // The firmware was (re)started: probe until it answers.
    void startProbing();
    // The firmware is gone: hold the host's bytes back, probe nothing.
    void stop();
    bool ready() const { return state_ == State::Relaying; }
    // The USB cable: while unplugged nothing passes either way, and what waited in the
    // firmware's input is gone when it is plugged in again.
    void setPlugged(bool plugged);
    bool plugged() const { return plugged_; }
    // True once after the probe has been answered.
    bool takeBecameReady();

    // Poll integration: append the descriptors, then hand back the same entries.
    void addPollFds(std::vector<pollfd>& fds);
    void handle(const pollfd* fds);
    // Time-outs of the probe; call on every loop pass.
    void tick();

  private:
    enum class State { Stopped, Probing, Relaying };

    void sendProbe();
    void readGadget();
    void readHost();
    void flush(int fd, Bytes& pending);
    void trace(const char* who, ByteView bytes);

    Pty gadget_;  // the firmware's side (/dev/ttyGS0)
    Pty host_;    // the host's side (DIR/host)
    State state_ = State::Stopped;
    bool becameReady_ = false;
    bool plugged_ = true;
    std::uint32_t probeId_ = 0;
    Clock::time_point nextProbe_{};
    FrameParser probeParser_;
    Bytes toGadget_, toHost_;
    std::FILE* trace_ = nullptr;
};

}  // namespace kkt::sim
