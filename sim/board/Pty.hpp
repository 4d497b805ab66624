#pragma once
// A pseudo-terminal whose slave side stays open (in raw mode) for as long as the board lives,
// so the master never sees a hang-up while the program on the slave side closes and reopens
// its port, and bytes written before that program has set its own modes are not echoed back.

#include <string>

namespace kkt::sim {

class Pty {
  public:
    Pty() = default;
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Opens a new pty pair; false with a message in `error`.
    [[nodiscard]] bool open(std::string& error);

    int master() const { return master_; }
    int slave() const { return slave_; }
    const std::string& slavePath() const { return slavePath_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace kkt::sim
