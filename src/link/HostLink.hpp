#pragma once
// The host side of the core: framed, checksummed requests from the point-of-sale host on the USB
// device serial port, one framed answer per request. Three codes are answered here; every other
// request goes to the core worker through the transaction queue.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "link/LinkRecords.hpp"
#include "platform/Clock.hpp"
#include "platform/Paths.hpp"
#include "platform/Random.hpp"
#include "platform/Shell.hpp"
#include "queue/CoreApiResult.hpp"
#include "queue/CoreQueue.hpp"
#include "queue/CoreTransaction.hpp"

namespace kkt {

// Result codes the link produces itself.
enum class LinkCode : std::uint16_t {
    Ok = 0,
    AnswerTooLong = 11,  // replaces the low byte of the result code
    NoResult = 264,      // port closed at read, or no result from the core
    BadCrc = 265,
    BadFrame = 267,
    ModelInvalid = 269,
    NoAnswerYet = 273,
    NoDeviceId = 281,
    NoFrame = 506,  // internal: nothing to answer
};

class HostLink {
  public:
    // Whether a core worker serves the queue. Without one (the stand-alone link) forwarded
    // commands are answered with NoResult instead of blocking the link for ever.
    enum class Core { Present, Absent };

    static constexpr std::uint16_t kModelCommand = 305;
    static constexpr std::uint16_t kDeviceCommand = 306;
    static constexpr std::uint16_t kVersionCommand = 307;
    static constexpr std::uint8_t kStx = 0x04;
    static constexpr std::uint8_t kEnq = 0x05;
    static constexpr std::size_t kMaxAcceptedLen = 2048;
    static constexpr std::size_t kMaxLen = 8192;
    static constexpr std::size_t kMaxAnswerBody = 4096;
    static constexpr int kSpeed = 115200;
    static constexpr auto kReenumerateAfter = std::chrono::milliseconds(15000);

    explicit HostLink(LinkRecords& records, Core core = Core::Present,
                      std::string portPath = paths::kHostPort, Shell& shell = realShell(),
                      Clock& clock = realClock(), Random& random = realRandom());
    ~HostLink();
    HostLink(const HostLink&) = delete;
    HostLink& operator=(const HostLink&) = delete;

    // Opens the port at 115200 baud unless already open or the path is empty; whether it is open.
    bool open();
    void close();
    [[nodiscard]] bool isOpen() const { return open_; }

    // Writes all bytes; -1 when closed or empty, the negated errno on failure, else the count.
    int write(ByteView bytes);

    // Reads one request frame; a LinkCode (Ok when a transaction was read).
    [[nodiscard]] LinkCode readFrame(CoreTransaction& out);
    // Answers a request; false when no result could be had.
    [[nodiscard]] bool handle(const CoreTransaction& t, CoreApiResult& out);
    // Frames and writes an answer and keeps it for the ENQ repeat.
    void send(const CoreApiResult& result);

    // The loop of the link thread; returns only after requestStop().
    void run();
    void requestStop() { stop_ = true; }

    // True when the USB device controller reports "configured"; forces a re-enumeration after
    // 15 s without.
    bool usbConfigured();

    // Output of a shell command with empty lines folded away, always ending in a line feed.
    [[nodiscard]] std::string commandOutput(const std::string& command);

    // The answer frame for a result (STX, LEN, payload, CRC).
    [[nodiscard]] static Bytes frame(const CoreApiResult& result);
    // The id given to a transaction that arrived without one: CRC-32 over the code flag, the
    // time, the data and two generator bytes; never 0.
    [[nodiscard]] static std::uint32_t makeId(const CoreTransaction& t, std::time_t now,
                                              Random& random);

    [[nodiscard]] const CoreApiResult& lastAnswer() const { return lastAnswer_; }

  private:
    LinkRecords& records_;
    Core core_;
    std::string portPath_;
    int fd_ = -1;
    bool open_ = false;
    CoreQueue queue_;
    std::atomic<bool> stop_{false};
    CoreApiResult lastAnswer_{static_cast<std::uint16_t>(LinkCode::NoAnswerYet)};
    Shell& shell_;
    Clock& clock_;
    Random& random_;
    // Since when the controller has not been configured.
    std::optional<Clock::Monotonic> unconfiguredSince_;
};

}  // namespace kkt
