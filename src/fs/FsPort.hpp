#pragma once
// The byte channel to the fiscal storage on its serial port. The FS answers only when asked: one
// exchange writes one request frame and collects one answer frame within a time limit. Every
// failure leaves a text in the port's log, which FsDriver copies into its own.

#include <cstdint>
#include <optional>
#include <string>

#include "fs/FsRep.hpp"
#include "fs/FsReq.hpp"
#include "platform/Clock.hpp"
#include "platform/Paths.hpp"

namespace kkt {

class FsPort {
  public:
    static constexpr int kSpeed = 115200;
    // The pause between two looks at the input queue while an answer is awaited.
    static constexpr std::chrono::milliseconds kPollInterval{10};

    explicit FsPort(std::string path = paths::kFsPort, Clock& clock = realClock());
    ~FsPort();
    FsPort(const FsPort&) = delete;
    FsPort& operator=(const FsPort&) = delete;

    // True at once when open; otherwise opens the device at 115200 baud, raw 8N1.
    [[nodiscard]] bool open();
    [[nodiscard]] bool isOpen() const { return fd_.has_value(); }
    // The result of close(2) when the port was open, else 0.
    int close();

    // Writes the whole buffer: a positive count on success, -1 for an empty buffer or a closed
    // port, a negated errno on failure.
    [[nodiscard]] int writeAll(ByteView data);

    // Writes the request and collects one answer frame within timeoutMs (counted from the end of
    // the write to the last byte). True when a complete frame reached reply.fromFrame(), whether
    // or not it was well formed; false when no frame came, with the reason in log().
    [[nodiscard]] bool exchange(const FsReq& request, FsRep& reply, std::uint32_t timeoutMs);

    const std::string& log() const { return log_; }
    const std::string& path() const { return path_; }

  private:
    void discardInput();
    bool collect(FsRep& reply, std::uint32_t timeoutMs);
    std::string writeError(int code) const;

    std::string path_;
    Clock& clock_;
    std::optional<int> fd_;
    std::string log_;
};

}  // namespace kkt
