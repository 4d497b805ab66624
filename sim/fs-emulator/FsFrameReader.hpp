#pragma once
// The FS side of the exchange framing: collects request frames (0x04, LEN, code, data, CRC-16
// over LEN, code and data) from a byte stream, and builds answer frames in the same layout.

#include <cstdint>
#include <optional>

#include "primitives/Bytes.hpp"

namespace kkt::sim {

struct FsRequest {
    std::uint8_t code = 0;
    Bytes data;
    bool crcOk = true;  // false: the frame was complete but its CRC did not match
    Bytes raw;          // the frame as received, start byte to CRC
};

class FsFrameReader {
  public:
    // Feeds one byte; a complete frame comes back once its last CRC byte is in. Bytes before a
    // start byte are dropped (line noise, the tail of a frame cut short).
    [[nodiscard]] std::optional<FsRequest> feed(std::uint8_t byte);
    // Forgets a partial frame (after a pause on the line).
    void reset() { buf_.clear(); }
    [[nodiscard]] bool inFrame() const { return !buf_.empty(); }
    // The bytes of the partial frame so far.
    [[nodiscard]] const Bytes& partial() const { return buf_; }

    // 04, LEN (= data length + 1), code, data, CRC; all little-endian.
    [[nodiscard]] static Bytes frame(std::uint8_t code, ByteView data);

  private:
    Bytes buf_;
};

}  // namespace kkt::sim
