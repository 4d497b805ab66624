#pragma once
// Incremental parser of frames arriving on a byte stream. Bytes outside a frame are skipped
// (counted as noise); a frame with a bad CRC or an impossible LEN is reported and the hunt for
// the next STX resumes one byte after the false start, so a corrupted frame never hides the
// next good one.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "primitives/Bytes.hpp"

namespace kkt::sim {

class FrameParser {
  public:
    enum class Kind { Frame, BadCrc, BadLength };
    struct Event {
        Kind kind = Kind::Frame;
        Bytes payload;  // the frame's payload (for Frame and BadCrc)
    };

    // Frames longer than maxLen are reported as BadLength.
    explicit FrameParser(std::size_t maxLen = 8192) : maxLen_(maxLen) {}

    void feed(ByteView bytes);
    // The next complete event, or nullopt when more bytes are needed.
    [[nodiscard]] std::optional<Event> next();

    // Bytes skipped while hunting for STX since construction.
    std::size_t noise() const { return noise_; }
    // True while a frame has started but is not complete.
    bool inFrame() const { return !buf_.empty(); }
    void reset() { buf_.clear(); }

  private:
    std::size_t maxLen_;
    std::deque<std::uint8_t> buf_;
    std::size_t noise_ = 0;
};

}  // namespace kkt::sim
