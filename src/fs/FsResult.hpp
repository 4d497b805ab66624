#pragma once
// Core result codes of the FS link. An FS error code e (0x01-0x3D) reaches the host as 0x0500 + e;
// the three codes at the top of that range mark answers the core could not use.

#include <cstdint>

namespace kkt::fsresult {

inline constexpr std::uint16_t kOk = 0x0000;
inline constexpr std::uint16_t kFsErrorBase = 0x0500;
// The FS has no such data (FS error 0x08): a missing fiscal parameter, the end of a document.
inline constexpr std::uint16_t kNoData = 0x0508;
// A marking code that the FS checked and refused (FS error 0x0B).
inline constexpr std::uint16_t kMarkRefused = 0x050B;
// Malformed answer frame, or answer data of the wrong length or content.
inline constexpr std::uint16_t kMalformed = 0x05FD;
// No answer: request refused before sending, port not open, write failure or timeout.
inline constexpr std::uint16_t kNoAnswer = 0x05FE;
// An answer code outside the known set (or 0x3E), or a wrong length where an operation checks it.
inline constexpr std::uint16_t kUnknown = 0x05FF;

}  // namespace kkt::fsresult
