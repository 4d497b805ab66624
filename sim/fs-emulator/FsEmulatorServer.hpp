#pragma once
// The emulator on a line: a serial device or a pseudo-terminal on one side, the FsEmulator on
// the other, the fault plan in between, an optional control FIFO and an optional trace file.
// One thread runs run(); faults() and stop() may be used from any thread.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "fs-emulator/FsEmulator.hpp"
#include "fs-emulator/FsFaultPlan.hpp"
#include "fs-emulator/FsFrameReader.hpp"

namespace kkt::sim {

struct FsServerOptions {
    std::string port;     // an existing serial device, or
    std::string ptyLink;  // the symbolic link to publish for a new pseudo-terminal
    std::string statePath;
    bool fresh = false;
    std::string controlFifo;  // empty: none
    std::string tracePath;    // empty: none
    FsDateTime today;         // the making date of a fresh FS
    std::chrono::milliseconds lateDelay{2500};
    // A frame that stops for this long is dropped (the register gave up on it).
    std::chrono::milliseconds frameGap{1000};
};

class FsEmulatorServer {
    // Only open() can name the key, so only open() makes a server.
    struct Key {
        explicit Key() = default;
    };

  public:
    explicit FsEmulatorServer(Key) {}
    ~FsEmulatorServer();
    FsEmulatorServer(const FsEmulatorServer&) = delete;
    FsEmulatorServer& operator=(const FsEmulatorServer&) = delete;

    // Loads (or makes) the state and opens the line; nullptr and a message on failure.
    [[nodiscard]] static std::unique_ptr<FsEmulatorServer> open(const FsServerOptions& options,
                                                                std::string& error);

    // Serves exchanges until stop() (or the stop flag) is set.
    void run(const std::atomic<bool>* externalStop = nullptr);
    void stop() { stop_ = true; }

    FsFaultPlan& faults() { return faults_; }
    // The device the register opens (the pty's slave, or the serial device).
    const std::string& devicePath() const { return devicePath_; }
    // The state as last answered; read it only while run() is not running.
    const FsState& state() const { return emulator_->state(); }

  private:
    bool openPty(std::string& error);
    bool openPort(std::string& error);
    bool openControl(std::string& error);
    void readControl();
    void readLine();
    void serve(const FsRequest& request);
    void send(const Bytes& bytes);
    void trace(std::string_view direction, ByteView bytes, std::string_view note = {});

    FsServerOptions options_;
    std::unique_ptr<FsEmulator> emulator_;
    FsFaultPlan faults_;
    FsFrameReader reader_;
    std::deque<FsRequest> queue_;
    std::atomic<bool> stop_{false};

    int lineFd_ = -1;
    int slaveFd_ = -1;  // pty only: held open so that the master never sees the line hang up
    int controlFd_ = -1;
    std::FILE* traceFile_ = nullptr;
    std::string devicePath_;
    std::string controlBuffer_;

    std::optional<Bytes> pending_;  // a late answer
    std::chrono::steady_clock::time_point pendingDue_;
    std::chrono::steady_clock::time_point lastByte_;
    std::chrono::steady_clock::time_point reopenAt_;  // a lost serial device is tried again then
};

}  // namespace kkt::sim
