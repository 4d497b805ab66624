#include "fs/FsMsg.hpp"

#include "primitives/Crc.hpp"

namespace kkt {

Bytes FsMsg::toFrame() const {
    Bytes frame;
    frame.reserve(data_.size() + kMinFrameSize);
    frame.push_back(kStartByte);
    le::append16(frame, static_cast<std::uint16_t>(data_.size() + 1));
    frame.push_back(code_);
    frame.insert(frame.end(), data_.begin(), data_.end());
    const auto crc = Crc16::compute(ByteView(frame).subspan(1));
    le::append16(frame, crc);
    return frame;
}

FsFrameStatus FsMsg::fromFrame(ByteView frame) {
    data_.clear();
    if (frame.size() < kMinFrameSize)
        return FsFrameStatus::TooShort;
    if (frame[0] != kStartByte)
        return FsFrameStatus::BadStart;
    const std::size_t len = le::load16(frame.data() + 1);
    if (len + kFrameOverhead != frame.size())
        return FsFrameStatus::BadLength;
    const auto computed = Crc16::compute(frame.subspan(1, frame.size() - 3));
    code_ = frame[3];
    if (len > 1)
        data_.assign(frame.begin() + 4, frame.begin() + 4 + (len - 1));
    const auto received = le::load16(frame.data() + frame.size() - 2);
    return received == computed ? FsFrameStatus::Ok : FsFrameStatus::BadCrc;
}

}  // namespace kkt
