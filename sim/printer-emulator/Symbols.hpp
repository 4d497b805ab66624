#pragma once
// Encoding of the printed codes into modules: QR codes with libqrencode, one-dimensional
// barcodes and PDF417 with libzint. The printer encodes when it is told to print, so a text a
// symbology cannot hold prints nothing (and is reported) as on a real printer.

#include <optional>
#include <string>
#include <vector>

#include "Paper.hpp"

namespace kkt::sim {

struct EncodedSymbol {
    std::optional<ModuleMatrix> modules;
    std::string error;  // why it could not be encoded
};

[[nodiscard]] EncodedSymbol encodeQr(const QrCode& qr);
[[nodiscard]] EncodedSymbol encodeBarcode(const Barcode& barcode);
[[nodiscard]] EncodedSymbol encodePdf417(const Pdf417& pdf);

}  // namespace kkt::sim
