#include "fs-emulator/FsFrameReader.hpp"

#include "primitives/Crc.hpp"

namespace kkt::sim {

namespace {
constexpr std::uint8_t kStart = 0x04;
}

std::optional<FsRequest> FsFrameReader::feed(std::uint8_t byte) {
    if (buf_.empty()) {
        if (byte == kStart)
            buf_.push_back(byte);
        return std::nullopt;
    }
    buf_.push_back(byte);
    if (buf_.size() < 3)
        return std::nullopt;
    const std::size_t len = le::load16(buf_.data() + 1);
    if (len == 0) {
        // No room for a code: not a frame. Look for the next start byte in what came after.
        buf_.clear();
        if (byte == kStart)
            buf_.push_back(byte);
        return std::nullopt;
    }
    if (buf_.size() < len + 5)
        return std::nullopt;
    FsRequest r;
    r.code = buf_[3];
    r.data.assign(buf_.begin() + 4, buf_.begin() + 4 + static_cast<std::ptrdiff_t>(len - 1));
    const std::uint16_t crc = Crc16::compute(ByteView(buf_).subspan(1, len + 2));
    r.crcOk = crc == le::load16(buf_.data() + 3 + len);
    r.raw = std::move(buf_);
    buf_.clear();
    return r;
}

Bytes FsFrameReader::frame(std::uint8_t code, ByteView data) {
    Bytes f;
    f.reserve(data.size() + 6);
    f.push_back(kStart);
    le::append16(f, static_cast<std::uint16_t>(data.size() + 1));
    f.push_back(code);
    f.insert(f.end(), data.begin(), data.end());
    le::append16(f, Crc16::compute(ByteView(f).subspan(1)));
    return f;
}

}  // namespace kkt::sim
