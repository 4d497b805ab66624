#pragma once
// The logo printed at the top of the start-up report: 48 x 50 dots, kept as hex text and decoded
// once, on first use.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "printer/PrinterImage.hpp"

namespace kkt {

inline constexpr std::uint32_t kLogoWidth = 48;
inline constexpr std::uint32_t kLogoHeight = 50;
inline constexpr std::size_t kLogoRowStride = 8;

// Two hex digits per byte, first digit the high half.
PrinterImage decodeHexImage(std::string_view hex, std::uint32_t width, std::uint32_t height);

const PrinterImage& logo();

}  // namespace kkt
