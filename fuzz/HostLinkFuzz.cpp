// Host request frames as the point-of-sale host sends them: the bytes go into a pseudo-terminal
// whose other side the host link has opened as its port, and the link reads and answers frames
// as its loop does until nothing is waiting. The answers are drained from the terminal's master.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "link/HostLink.hpp"
#include "support/Fakes.hpp"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "host link fuzz: %s\n", what);
        std::abort();
    }
}

class FixedRecords final : public kkt::LinkRecords {
  public:
    std::optional<kkt::Bytes> modelAnswer() const override { return kkt::Bytes(66, 0x31); }
    kkt::Bytes deviceId() const override { return kkt::Bytes(16, 0xA5); }
};

class FixedRandom final : public kkt::Random {
  public:
    int rand() override { return ++draws_; }
    kkt::Bytes deviceBytes(std::size_t n) override { return kkt::Bytes(n, 0x5A); }

  private:
    int draws_ = 0;
};

// The pseudo-terminal, made once: the master we write requests to, the slave path the link
// opens, and a descriptor of our own on the slave that shows how many bytes wait there.
struct Terminal {
    int master = -1;
    int watch = -1;
    std::string slavePath;

    Terminal() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        require(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0,
                "no pseudo-terminal");
        slavePath = ::ptsname(master);
        watch = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        require(watch >= 0, "cannot open the slave");
        termios tio{};
        require(::tcgetattr(watch, &tio) == 0, "slave is no terminal");
        ::cfmakeraw(&tio);
        require(::tcsetattr(watch, TCSANOW, &tio) == 0, "cannot make the slave raw");
    }

    int waiting() const {
        int n = 0;
        return ::ioctl(watch, FIONREAD, &n) == 0 ? n : -1;
    }

    // Answers of the link are read and dropped, so that its writes never block.
    void drain() const {
        std::uint8_t buf[4096];
        while (::read(master, buf, sizeof buf) > 0) {
        }
    }

    // Writes all bytes and waits until the slave has them all queued.
    void put(kkt::ByteView bytes) const {
        std::size_t done = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (done < bytes.size()) {
            const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            require(std::chrono::steady_clock::now() < deadline, "master write stuck");
        }
        while (waiting() < static_cast<int>(bytes.size())) {
            require(std::chrono::steady_clock::now() < deadline, "bytes never reached the slave");
            std::this_thread::yield();
        }
    }

    void flush() const {
        drain();
        (void)::tcflush(watch, TCIFLUSH);
        while (waiting() > 0) {
            std::uint8_t buf[4096];
            (void)::read(watch, buf, sizeof buf);
        }
    }
};

// Well below the terminal's 4 KiB input queue, and small enough that the answers to a chunk of
// nothing but ENQ fit the master's buffer.
constexpr std::size_t kChunk = 512;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Terminal terminal;
    if (size > 8 * kChunk)
        return 0;
    terminal.flush();

    FixedRecords records;
    kkt::test::RecordingShell shell;
    shell.setAnswer([](const std::string&) { return std::optional<std::string>{"configured\n"}; });
    kkt::test::FakeClock clock;
    FixedRandom random;
    kkt::HostLink link(records, kkt::HostLink::Core::Absent, terminal.slavePath, shell, clock,
                       random);
    require(link.open(), "link cannot open the slave");

    const kkt::ByteView input(data, size);
    for (std::size_t at = 0; at < size; at += kChunk) {
        terminal.put(input.subspan(at, std::min(kChunk, size - at)));
        // The link's own loop, one frame after another while bytes wait.
        for (int rounds = 0; terminal.waiting() > 0; ++rounds) {
            require(rounds <= static_cast<int>(kChunk), "a read consumed nothing");
            kkt::CoreTransaction t;
            const kkt::LinkCode code = link.readFrame(t);
            if (code == kkt::LinkCode::Ok) {
                require(t.id != 0, "transaction without an id");
                kkt::CoreApiResult result;
                if (!link.handle(t, result))
                    result =
                        kkt::CoreApiResult(static_cast<std::uint16_t>(kkt::LinkCode::NoResult));
                link.send(result);
            } else if (code != kkt::LinkCode::NoFrame) {
                link.send(kkt::CoreApiResult(static_cast<std::uint16_t>(code)));
            }
            terminal.drain();
        }
    }
    link.close();
    return 0;
}
