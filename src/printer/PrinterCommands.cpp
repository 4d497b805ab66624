#include "printer/PrinterCommands.hpp"

#include <algorithm>
#include <string>

namespace kkt::escpos {

namespace {

void append(Bytes& out, ByteView bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// The printers take "." where the host sends ",".
std::string commaToDot(std::string_view text) {
    std::string s(text);
    std::replace(s.begin(), s.end(), ',', '.');
    return s;
}

// Store command of a 2D symbol: pL pH = data length + 3.
void appendStore(Bytes& out, std::uint8_t symbol, std::string_view data) {
    append(out, kQrStore);
    le::append16(out, static_cast<std::uint16_t>(data.size() + 3));
    out.push_back(symbol);
    out.push_back(0x50);
    out.push_back(0x30);
    append(out, asBytes(data));
}

// CODE128 sends its length in one byte: the text plus the two bytes of "{A".
constexpr std::size_t kCode128MaxText = 0xFF - 2;
// PDF417 store carries data length + 3 in 16 bits.
constexpr std::size_t kPdf417MaxText = 0xFFFF - 3;

}  // namespace

std::optional<Bytes> barcodeSequence(std::string_view text, int type) {
    Bytes out;
    switch (type) {
        case kBarcodeCodabar:
        case kBarcodeCode39:
        case kBarcodeItf: {
            // A 0x00 would end the barcode and the rest would reach the printer as commands.
            if (text.find('\0') != std::string_view::npos)
                return std::nullopt;
            const std::uint8_t moduleWidth = type == kBarcodeCode39 ? 1 : 2;
            const std::uint8_t m = type == kBarcodeCodabar ? 6 : type == kBarcodeCode39 ? 4 : 7;
            append(out, Bytes{0x1D, 0x77, moduleWidth, 0x1D, 0x6B, m});
            append(out, asBytes(commaToDot(text)));
            out.push_back(0x00);
            return out;
        }
        case kBarcodeCode128: {
            if (text.size() > kCode128MaxText)
                return std::nullopt;
            const auto n = static_cast<std::uint8_t>(text.size() + 2);
            append(out, Bytes{0x1D, 0x68, 0x60, 0x1D, 0x77, 0x03, 0x1D, 0x6B, 0x49, n, 0x7B, 0x41});
            append(out, asBytes(commaToDot(text)));
            return out;
        }
        case kBarcodePdf417:
            if (text.size() > kPdf417MaxText)
                return std::nullopt;
            append(out, kPdf417RowHeight3);
            appendStore(out, 0x30, text);
            append(out, kPdf417Print);
            return out;
        default:
            return std::nullopt;
    }
}

std::optional<Bytes> qrSequence(std::string_view text) {
    if (text.empty() || text.size() > kQrMaxText)
        return std::nullopt;
    Bytes out;
    out.reserve(text.size() + 48);
    append(out, kQrModel2);
    append(out, kQrModuleSize4);
    append(out, kQrErrorLevelH);
    appendStore(out, 0x31, text);
    append(out, kQrPrint);
    return out;
}

Bytes rasterHeader(std::uint16_t bytesPerRow, std::uint16_t rows) {
    Bytes out(std::begin(kRasterImage), std::end(kRasterImage));
    le::append16(out, bytesPerRow);
    le::append16(out, rows);
    return out;
}

}  // namespace kkt::escpos
