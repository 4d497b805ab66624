#include "host/FrameParser.hpp"

#include "host/Frame.hpp"
#include "primitives/Crc.hpp"

namespace kkt::sim {

void FrameParser::feed(ByteView bytes) {
    buf_.insert(buf_.end(), bytes.begin(), bytes.end());
}

std::optional<FrameParser::Event> FrameParser::next() {
    while (!buf_.empty() && buf_.front() != kStx) {
        buf_.pop_front();
        ++noise_;
    }
    if (buf_.size() < 3)
        return std::nullopt;
    const std::size_t len = static_cast<std::size_t>(buf_[1] | (buf_[2] << 8));
    if (len < 2 || len > maxLen_) {
        buf_.pop_front();
        return Event{Kind::BadLength, {}};
    }
    if (buf_.size() < 3 + len + 2)
        return std::nullopt;
    Bytes body(buf_.begin() + 1, buf_.begin() + 3 + static_cast<std::ptrdiff_t>(len));
    const auto got = static_cast<std::uint16_t>(buf_[3 + len] | (buf_[4 + len] << 8));
    Bytes payload(body.begin() + 2, body.end());
    if (Crc16::compute(body) != got) {
        buf_.pop_front();
        return Event{Kind::BadCrc, std::move(payload)};
    }
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(len + 5));
    return Event{Kind::Frame, std::move(payload)};
}

}  // namespace kkt::sim
