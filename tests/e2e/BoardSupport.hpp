#pragma once
// A virtual register for one scenario: kkt-board started on a fresh temporary state directory,
// stopped (and checked to exit 0) and removed at the end. Waits are bounded by deadlines.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "board/ChildProcess.hpp"
#include "board/StateDir.hpp"
#include "host/HostClient.hpp"
#include "host/HostCommands.hpp"

namespace kkt::e2e {

using namespace std::chrono_literals;

// True as soon as `condition` holds, false when it still does not after `timeout`.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// The sanitizer builds start slower; every start waits this long at most.
inline constexpr std::chrono::milliseconds kStartTimeout = 60s;

class VirtualBoard {
  public:
    struct Options {
        bool fs = true;
        bool printer = true;
    };

    VirtualBoard() : VirtualBoard(Options{}) {}
    explicit VirtualBoard(Options options);
    ~VirtualBoard();
    VirtualBoard(const VirtualBoard&) = delete;
    VirtualBoard& operator=(const VirtualBoard&) = delete;

    // Whether the board started and the firmware answered (DIR/ready) in time; `error` says why
    // not.
    bool started() const { return started_; }
    const std::string& error() const { return error_; }

    const sim::StateDir& dir() const { return dir_; }
    bool waitReady(std::chrono::milliseconds timeout = kStartTimeout) const;
    // A client on the host's end of the USB port.
    std::unique_ptr<sim::HostClient> client() const;
    // `kkt-board ctl` through the control socket; the reply line ("ok", "error: ...").
    std::string ctl(const std::string& action) const;
    // Polls `ctl status` until its reply contains `text`.
    bool waitStatus(const std::string& text, std::chrono::milliseconds timeout = 10s) const;
    // SIGTERM; the board's exit status (expected 0).
    int stop();

    static std::string binDir() { return KKT_E2E_BIN_DIR; }
    static bool hasTool(const std::string& name);

    // The file's content ("" when missing).
    static std::string readFile(const std::string& path);

  private:
    sim::StateDir dir_;
    mutable sim::ChildProcess board_;
    bool started_ = false;
    std::string error_;
};

// The administrator's operator prefix, read from cashier 20 by the service operator.
std::optional<sim::Operator> administrator(sim::HostClient& c);

}  // namespace kkt::e2e
