#pragma once
// Host protocol frames as the point-of-sale host sees them: 0x04, LEN (u16), payload, CRC-16
// over LEN and payload (low byte first). A request payload is the command code, optionally the
// transaction id, then the data; an answer payload is the result code, the id and the data.

#include <cstdint>
#include <optional>

#include "primitives/Bytes.hpp"

namespace kkt::sim {

inline constexpr std::uint8_t kStx = 0x04;
inline constexpr std::uint8_t kEnq = 0x05;
// The largest LEN the link accepts in a request; LEN up to kMaxFrameLen is framed but refused.
inline constexpr std::size_t kMaxAcceptedLen = 2048;
inline constexpr std::size_t kMaxFrameLen = 8192;

// One decoded answer (or request, for a test peer): code, id and data.
struct Answer {
    std::uint16_t code = 0;
    std::uint32_t id = 0;
    Bytes data;
    // False when the payload carried the code alone (LEN 2 to 5).
    bool hasId = false;
};

// Wraps a payload into a frame: STX, LEN, payload, CRC.
[[nodiscard]] Bytes encodeFrame(ByteView payload);

// Request payload: code, id, data. Without an id (std::nullopt) the payload is the code alone
// and the data is dropped, as the link would drop it.
[[nodiscard]] Bytes requestPayload(std::uint16_t code, std::optional<std::uint32_t> id,
                                   ByteView data);

// Answer payload, as the core's link frames it: code, id, data.
[[nodiscard]] Bytes answerPayload(std::uint16_t code, std::uint32_t id, ByteView data);

// Splits a payload into code, id and data: the id is present when at least 4 bytes follow the
// code; 1 to 3 trailing bytes are ignored. nullopt for a payload shorter than the code.
[[nodiscard]] std::optional<Answer> splitPayload(ByteView payload);

}  // namespace kkt::sim
