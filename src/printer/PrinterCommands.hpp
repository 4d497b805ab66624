#pragma once
// ESC/POS command bytes of the receipt printer, and the byte sequences of barcodes and QR codes.
// They are sent exactly as listed, zero bytes included.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "primitives/Bytes.hpp"

namespace kkt::escpos {

// DLE DC4 fn 8: clear the printer's buffers.
inline constexpr std::uint8_t kClearBuffers[] = {0x10, 0x14, 0x08, 0x01, 0x03,
                                                 0x14, 0x01, 0x06, 0x02, 0x08};
inline constexpr std::uint8_t kReset[] = {0x1B, 0x40};
inline constexpr std::uint8_t kSetUp[] = {0x1D, 0x64, 0x00};
inline constexpr std::uint8_t kMotionUnits[] = {0x1D, 0x50, 0x00, 0x00};
// ESC t 7: the CP866 character table.
inline constexpr std::uint8_t kCodePage[] = {0x1B, 0x74, 0x07};
inline constexpr std::uint8_t kStatusOff[] = {0x1D, 0x61, 0x00};
inline constexpr std::uint8_t kPaperStatusRequest[] = {0x1D, 0x72, 0x01};
// Line spacing 255, line feed, cut.
inline constexpr std::uint8_t kFeedAndCut[] = {0x1B, 0x33, 0xFF, 0x0A, 0x1B, 0x69};
inline constexpr std::uint8_t kRasterImage[] = {0x1D, 0x76, 0x30, 0x30};
inline constexpr std::uint8_t kHriBelow[] = {0x1D, 0x48, 0x32};
inline constexpr std::uint8_t kQrModel2[] = {0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x32, 0x00};
inline constexpr std::uint8_t kQrModuleSize4[] = {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, 0x04};
inline constexpr std::uint8_t kQrErrorLevelH[] = {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, 0x33};
inline constexpr std::uint8_t kQrStore[] = {0x1D, 0x28, 0x6B};  // then pL pH 31 50 30, data
inline constexpr std::uint8_t kQrPrint[] = {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30};
inline constexpr std::uint8_t kPdf417RowHeight3[] = {0x1D, 0x28, 0x6B, 0x03,
                                                     0x00, 0x30, 0x44, 0x03};
inline constexpr std::uint8_t kPdf417Print[] = {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x30, 0x51, 0x30};

inline constexpr std::uint8_t kLineFeed = 0x0A;

// The longest QR text the printer stores.
inline constexpr std::size_t kQrMaxText = 7000;
// Rows of one raster image command.
inline constexpr std::uint32_t kImageBandRows = 1024;

// Barcode types of print barcode.
inline constexpr int kBarcodeCodabar = 1;
inline constexpr int kBarcodeCode39 = 2;
inline constexpr int kBarcodeItf = 3;
inline constexpr int kBarcodeCode128 = 4;
inline constexpr int kBarcodePdf417 = 10;

// The bytes of a barcode of the given type, without the HRI command. nullopt when the type is
// unknown or the text cannot be sent: a 0x00 byte in a text that 0x00 terminates, a CODE128 text
// longer than its one length byte allows, a PDF417 text longer than its 16-bit length allows.
std::optional<Bytes> barcodeSequence(std::string_view text, int type);

// Model, module size, error correction, store and print of a QR code. nullopt for an empty text
// or one over kQrMaxText bytes.
std::optional<Bytes> qrSequence(std::string_view text);

// The raster image header for one band.
Bytes rasterHeader(std::uint16_t bytesPerRow, std::uint16_t rows);

}  // namespace kkt::escpos
