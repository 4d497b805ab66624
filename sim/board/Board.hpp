#pragma once
// The virtual board: starts the FS and printer emulators on pseudo-terminals, then the firmware
// in its bubblewrap view, relays the host port, answers `kkt-board ctl` and, on SIGINT or
// SIGTERM, stops everything it started.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board/ChildProcess.hpp"
#include "board/HostRelay.hpp"
#include "board/StateDir.hpp"

namespace kkt::sim {

struct BoardOptions {
    std::string state;
    std::string firmware;  // empty: the kkt-core beside kkt-board
    bool fs = true;
    bool printer = true;
    bool fresh = false;
};

class Board {
  public:
    explicit Board(BoardOptions options);
    ~Board();

    // Runs until SIGINT or SIGTERM; the process's exit status.
    [[nodiscard]] int run();

    // The folder of the running executable (where the emulators and kkt-core are built).
    static std::string ownFolder();

  private:
    struct Emulator {
        std::string name;  // "FS emulator"
        std::string binary;
        std::string link;
        std::vector<std::string> args;  // after the binary
        std::string controlFifo;
        std::string log;
        ChildProcess process;
        std::optional<std::chrono::steady_clock::time_point> restartAt;
    };

    [[nodiscard]] bool setUp(std::string& error);
    [[nodiscard]] bool startEmulator(Emulator& e, std::string& error);
    [[nodiscard]] bool waitForLinks(std::string& error);
    [[nodiscard]] bool startFirmware(std::string& error);
    void killFirmware();
    [[nodiscard]] bool firmwareHasPort() const;
    void reapChildren();
    void loop();
    void acceptControl();
    [[nodiscard]] std::string control(const std::string& line);
    [[nodiscard]] std::string tellEmulator(Emulator* e, const std::string& line);
    void shutdown();
    void say(const std::string& message);

    BoardOptions options_;
    StateDir dir_;
    HostRelay relay_;
    std::unique_ptr<Emulator> fs_, printer_;
    ChildProcess firmware_;
    int statusFd_ = -1;  // bubblewrap's status pipe
    int signalFd_ = -1;
    int controlFd_ = -1;
    bool stopping_ = false;
    bool locked_ = false;
};

}  // namespace kkt::sim
