#pragma once
// A pseudo-terminal pair for port tests: the code under test opens the slave path as its serial
// port, the test holds the master end and plays the peer. Header-only; no libutil needed.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kkt::test {

class Pty {
  public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        const char* name = ::ptsname(master_);
        if (name != nullptr)
            slavePath_ = name;
        // Keep one slave descriptor open for the life of the pair, so that the master never sees
        // a hang-up while the code under test closes and reopens the port.
        keeper_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    }
    ~Pty() {
        if (keeper_ >= 0)
            ::close(keeper_);
        if (master_ >= 0)
            ::close(master_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master_ >= 0 && keeper_ >= 0 && !slavePath_.empty(); }
    int master() const { return master_; }
    // A slave descriptor of the pair: FIONREAD on it tells what waits for the code under test.
    int slave() const { return keeper_; }
    const std::string& slavePath() const { return slavePath_; }

    // One write() for the whole buffer, as a host sends a frame.
    bool send(const std::vector<std::uint8_t>& bytes) const {
        return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // The next byte from the slave side within the time limit.
    std::optional<std::uint8_t> readByte(std::chrono::milliseconds limit) const {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0)
            return std::nullopt;
        std::uint8_t b = 0;
        if (::read(master_, &b, 1) != 1)
            return std::nullopt;
        return b;
    }

  private:
    int master_ = -1;
    int keeper_ = -1;
    std::string slavePath_;
};

}  // namespace kkt::test
