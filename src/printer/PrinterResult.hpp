#pragma once
// Result codes of the printer operations; the host receives them unchanged.

#include <cstdint>

namespace kkt::printer_result {

inline constexpr std::uint16_t kOk = 0;
// Port not open, or the printer gave no status answer.
inline constexpr std::uint16_t kNotAvailable = 976;
inline constexpr std::uint16_t kPaperOut = 977;
// A QR text, barcode text or barcode type that the printer cannot take.
inline constexpr std::uint16_t kRefused = 1003;
// An image whose bitmap does not hold its rows (the host's "bad data" code).
inline constexpr std::uint16_t kBadImage = 278;

}  // namespace kkt::printer_result
