#include "printer/Logo.hpp"

#include <string_view>

namespace kkt {

namespace {

// A paper receipt with a torn edge, printed lines, a total, a code square and the roll beside it.
// Eight bytes per row, the first six used; two hex digits per byte, high half first.
constexpr std::string_view kLogoHex =
    "00FFFFFFFF00000000FFFFFFFF000000008000000100000000800000010000000080000001000000"
    "008FFFFFF9000000388FFFFFF91C000038800000011C000038800000011C0000388FFFFEF11C0000"
    "388FFFFEF11C000038800000011C000038800000011C0000388FFFFFFF1C0000388FFFFFFF1C0000"
    "38800000011C000038800000011C0000388FFFE0F11C0000388FFFE0F11C000038800000011C0000"
    "38800000011C0000388FFFFFF11C0000388FFFFFF11C000038800000011C000038800000011C0000"
    "388FFFFFF11C000038800000011C000038800000011C0000388FFE0FF11C0000388FFE0FF11C0000"
    "388FFE0FF11C000038800000011C000038800000011C000038803FFC011C000038802004011C0000"
    "38802004011C0000388027E4011C0000388027E4011C0000388027E4011C0000388027E4011C0000"
    "38802004011C0000008020040100000000803FFC0100000000800000010000000080808081000000"
    "00C1C1C1C100000000636363630000000036363636000000001C1C1C1C0000000008080808000000";

static_assert(kLogoHex.size() == 2 * kLogoRowStride * kLogoHeight);

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

}  // namespace

PrinterImage decodeHexImage(std::string_view hex, std::uint32_t width, std::uint32_t height) {
    PrinterImage image;
    image.width = width;
    image.height = height;
    image.bitmap.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        image.bitmap.push_back(
            static_cast<std::uint8_t>(hexDigit(hex[i]) << 4 | hexDigit(hex[i + 1])));
    }
    return image;
}

const PrinterImage& logo() {
    static const PrinterImage image = decodeHexImage(kLogoHex, kLogoWidth, kLogoHeight);
    return image;
}

}  // namespace kkt
