#pragma once
// Readable names of the result codes a host sees, for the client's output. Some codes mean
// different things for different commands (273 is "no answer yet" from the link and "cashier
// not found" from 257); the name then lists both.

#include <cstdint>
#include <string>

namespace kkt::sim {

namespace result {
inline constexpr std::uint16_t kOk = 0;
inline constexpr std::uint16_t kOversizeAnswer = 11;  // low byte of an answer too long to send
inline constexpr std::uint16_t kNoRight = 14;
inline constexpr std::uint16_t kLinkNoResult = 264;
inline constexpr std::uint16_t kBadCrc = 265;
inline constexpr std::uint16_t kUnknownCommand = 266;
inline constexpr std::uint16_t kBadLength = 267;
inline constexpr std::uint16_t kModelInvalid = 269;
inline constexpr std::uint16_t kNoAnswerYet = 273;
inline constexpr std::uint16_t kOperatorFailed = 274;
inline constexpr std::uint16_t kNoDeviceId = 281;
inline constexpr std::uint16_t kFsErrorBase = 0x0500;
inline constexpr std::uint16_t kFsMalformed = 0x05FD;
inline constexpr std::uint16_t kFsNoAnswer = 0x05FE;
inline constexpr std::uint16_t kFsUnknown = 0x05FF;
}  // namespace result

// "success", "FS error 0x08", ... or "unknown code" for codes without a name.
[[nodiscard]] std::string resultName(std::uint16_t code);

}  // namespace kkt::sim
