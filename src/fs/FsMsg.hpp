#pragma once
// One message of the FS exchange protocol and its frame on the wire:
//   04 | LEN (u16 LE, = data length + 1) | code | data | CRC-16 (LE)
// The CRC (CCITT-FALSE) covers LEN, code and data, not the start byte.

#include <cstddef>
#include <cstdint>

#include "primitives/Bytes.hpp"

namespace kkt {

// Outcome of parsing a received frame (and of the typed answer readers, which add BadContent).
enum class FsFrameStatus : std::uint8_t {
    Ok = 0,
    BadStart = 1,
    TooShort = 2,
    BadLength = 3,
    BadCrc = 4,
    BadContent = 5,  // well framed, but the answer data makes no sense for the record
    Nothing = 255,   // nothing parsed yet
};

class FsMsg {
  public:
    static constexpr std::uint8_t kStartByte = 0x04;
    static constexpr std::uint8_t kNoCode = 0x7F;
    // Start byte, two length bytes, two CRC bytes around code and data.
    static constexpr std::size_t kFrameOverhead = 5;
    static constexpr std::size_t kMinFrameSize = kFrameOverhead + 1;

    FsMsg() = default;
    FsMsg(std::uint8_t code, Bytes data) : code_(code), data_(std::move(data)) {}
    FsMsg(const FsMsg&) = default;
    FsMsg(FsMsg&&) = default;
    FsMsg& operator=(const FsMsg&) = default;
    FsMsg& operator=(FsMsg&&) = default;
    virtual ~FsMsg() = default;

    [[nodiscard]] virtual bool isValid() const = 0;
    [[nodiscard]] virtual Bytes toFrame() const;
    // Parses a whole received frame; code and data are kept even when the CRC fails.
    virtual FsFrameStatus fromFrame(ByteView frame);
    [[nodiscard]] bool hasData() const { return !data_.empty(); }

    std::uint8_t code() const { return code_; }
    const Bytes& data() const { return data_; }
    void setCode(std::uint8_t code) { code_ = code; }
    void setData(Bytes data) { data_ = std::move(data); }

  protected:
    std::uint8_t code_ = kNoCode;
    Bytes data_;
};

}  // namespace kkt
