#include "Symbols.hpp"

#include <qrencode.h>
#include <zint.h>

#include <memory>

namespace kkt::sim {

EncodedSymbol encodeQr(const QrCode& qr) {
    QRecLevel level = QR_ECLEVEL_L;
    switch (qr.level) {
        case 'M':
            level = QR_ECLEVEL_M;
            break;
        case 'Q':
            level = QR_ECLEVEL_Q;
            break;
        case 'H':
            level = QR_ECLEVEL_H;
            break;
        default:
            break;
    }
    if (qr.data.empty())
        return {std::nullopt, "no QR data"};
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(static_cast<int>(qr.data.size()),
                          reinterpret_cast<const unsigned char*>(qr.data.data()), 0, level),
        &QRcode_free);
    if (!code) {
        return {std::nullopt, "QR data of " + std::to_string(qr.data.size()) +
                                  " bytes does not fit a QR code at level " + qr.level};
    }
    ModuleMatrix m;
    m.width = code->width;
    m.height = code->width;
    m.cells.resize(static_cast<std::size_t>(m.width) * m.height);
    for (std::size_t i = 0; i < m.cells.size(); ++i)
        m.cells[i] = (code->data[i] & 1) != 0;
    return {m, {}};
}

namespace {

using ZintSymbol = std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)>;

EncodedSymbol encodeZint(int symbology, const std::string& data, int option1, int option2,
                         int option3) {
    if (data.empty())
        return {std::nullopt, "no data"};
    ZintSymbol symbol(ZBarcode_Create(), &ZBarcode_Delete);
    if (!symbol)
        return {std::nullopt, "out of memory"};
    symbol->symbology = symbology;
    symbol->input_mode = DATA_MODE;
    symbol->option_1 = option1;
    symbol->option_2 = option2;
    symbol->option_3 = option3;
    const int rc =
        ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(data.data()),
                        static_cast<int>(data.size()));
    if (rc >= ZINT_ERROR)
        return {std::nullopt, symbol->errtxt};
    ModuleMatrix m;
    m.width = symbol->width;
    m.height = symbol->rows;
    m.cells.resize(static_cast<std::size_t>(m.width) * m.height);
    for (int y = 0; y < m.height; ++y) {
        for (int x = 0; x < m.width; ++x) {
            // zint keeps each row as a bit field, least significant bit first.
            m.cells[static_cast<std::size_t>(y) * m.width + x] =
                ((symbol->encoded_data[y][x >> 3] >> (x & 7)) & 1) != 0;
        }
    }
    return {m, {}};
}

int zintSymbology(Symbology s, std::size_t length) {
    switch (s) {
        case Symbology::UpcA:
            return BARCODE_UPCA;
        case Symbology::UpcE:
            return BARCODE_UPCE;
        case Symbology::Ean13:
        case Symbology::Ean8:
            (void)length;
            return BARCODE_EANX;
        case Symbology::Code39:
            return BARCODE_CODE39;
        case Symbology::Itf:
            return BARCODE_C25INTER;
        case Symbology::Codabar:
            return BARCODE_CODABAR;
        case Symbology::Code93:
            return BARCODE_CODE93;
        case Symbology::Code128:
            return BARCODE_CODE128;
    }
    return BARCODE_CODE128;
}

}  // namespace

EncodedSymbol encodeBarcode(const Barcode& barcode) {
    std::string text = barcode.text;
    if (barcode.symbology == Symbology::Code39 && text.size() >= 2 && text.front() == '*' &&
        text.back() == '*') {
        // The start and stop characters may be sent; zint adds its own.
        text = text.substr(1, text.size() - 2);
    }
    return encodeZint(zintSymbology(barcode.symbology, text.size()), text, -1, 0, 0);
}

EncodedSymbol encodePdf417(const Pdf417& pdf) {
    return encodeZint(BARCODE_PDF417, pdf.data, pdf.errorLevel, pdf.columns, pdf.rows);
}

}  // namespace kkt::sim
