#pragma once
// Serves the emulated printer on a serial device or on a pseudo-terminal, with an optional
// control FIFO for the conditions, until stop() is called.

#include <filesystem>
#include <string>

#include "PrinterEmulator.hpp"

namespace kkt::sim {

class PrinterServer {
  public:
    explicit PrinterServer(PrinterEmulator& emulator);
    ~PrinterServer();
    PrinterServer(const PrinterServer&) = delete;
    PrinterServer& operator=(const PrinterServer&) = delete;

    // A serial device, set to raw 8N1 at 57600 baud.
    [[nodiscard]] bool openPort(const std::filesystem::path& device, std::string& error);
    // A new pseudo-terminal whose slave path is published as the symbolic link `link`
    // (replaced atomically). The server keeps the slave open itself, so a client that closes
    // and reopens it never makes the master see a hang-up.
    [[nodiscard]] bool openPty(const std::filesystem::path& link, std::string& error);
    // A FIFO of control lines (created when missing), kept open for reading and writing so
    // that writers never block and no writer closing ends it.
    [[nodiscard]] bool openControl(const std::filesystem::path& fifo, std::string& error);

    // Serves until stop(); false with `error` on a failure it cannot ride out.
    [[nodiscard]] bool run(std::string& error);
    // Safe from a signal handler and from any thread.
    void stop();

    const std::string& slavePath() const { return slavePath_; }

  private:
    bool reopenPort(std::string& error);
    void readPort();
    void readControl();
    void sendAnswers(const Bytes& answers);

    PrinterEmulator& emulator_;
    int fd_ = -1;
    int slaveFd_ = -1;
    int controlFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    bool pty_ = false;
    bool portFailed_ = false;
    std::filesystem::path device_;
    std::string slavePath_;
    std::string controlLine_;
};

}  // namespace kkt::sim
