#pragma once
// The board's control socket (DIR/run/control.sock): `kkt-board ctl` sends one line and reads
// one reply line, "ok[: detail]" or "error: why". Socket paths are limited to 107 bytes, so a
// long state-directory path is reached through /proc/self/fd.

#include <string>

namespace kkt::sim {

class ControlChannel {
  public:
    // Server side: binds and listens; the descriptor is non-blocking. -1 with a message.
    [[nodiscard]] static int listen(const std::string& socketPath, std::string& error);
    // Client side: sends the line, waits up to `timeoutMs` for the reply. False with a message
    // in `reply` when the board cannot be reached.
    [[nodiscard]] static bool request(const std::string& socketPath, const std::string& line,
                                      int timeoutMs, std::string& reply);
    // Reads one line from a connected peer, waiting up to `timeoutMs`.
    [[nodiscard]] static bool readLine(int fd, int timeoutMs, std::string& line);
    static void writeLine(int fd, const std::string& line);
};

}  // namespace kkt::sim
