#include "host/Frame.hpp"

#include "primitives/Crc.hpp"

namespace kkt::sim {

Bytes encodeFrame(ByteView payload) {
    Bytes frame;
    frame.reserve(payload.size() + 5);
    frame.push_back(kStx);
    le::append16(frame, static_cast<std::uint16_t>(payload.size()));
    frame.insert(frame.end(), payload.begin(), payload.end());
    // The CRC covers the two LEN bytes and the payload.
    const auto crc = Crc16::compute(ByteView(frame).subspan(1));
    le::append16(frame, crc);
    return frame;
}

Bytes requestPayload(std::uint16_t code, std::optional<std::uint32_t> id, ByteView data) {
    ByteWriter w(6 + data.size());
    w.u16(code);
    if (id)
        w.u32(*id).bytes(data);
    return w.take();
}

Bytes answerPayload(std::uint16_t code, std::uint32_t id, ByteView data) {
    ByteWriter w(6 + data.size());
    w.u16(code).u32(id).bytes(data);
    return w.take();
}

std::optional<Answer> splitPayload(ByteView payload) {
    ByteReader r(payload);
    const auto code = r.u16();
    if (!code)
        return std::nullopt;
    Answer a;
    a.code = *code;
    if (r.remaining() >= 4) {
        a.id = *r.u32();
        a.hasId = true;
        const auto rest = r.rest();
        a.data.assign(rest.begin(), rest.end());
    }
    return a;
}

}  // namespace kkt::sim
