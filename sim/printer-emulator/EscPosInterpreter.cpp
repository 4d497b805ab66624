#include "EscPosInterpreter.hpp"

#include <algorithm>
#include <cstdio>

#include "Symbols.hpp"

namespace kkt::sim {

namespace {

constexpr std::uint8_t kLf = 0x0A;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kHt = 0x09;
constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kGs = 0x1D;
constexpr std::uint8_t kDle = 0x10;
constexpr std::uint8_t kDc4 = 0x14;
constexpr std::uint8_t kEot = 0x04;
constexpr std::uint8_t kEnq = 0x05;

constexpr int kCodePageCp866 = 7;
constexpr int kMaxRasterBytesPerRow = 255;
constexpr int kMaxRasterRows = 4095;
constexpr std::size_t kMaxBarcodeData = 255;
constexpr std::size_t kMaxTabList = 32;
constexpr int kDefaultLineSpacing = 30;
// Real-time status: bits 1 and 4 are always set.
constexpr std::uint8_t kRealTimeFixed = 0x12;

std::string hex(ByteView b, std::size_t max = 12) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < b.size() && i < max; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", b[i]);
        if (!out.empty())
            out += ' ';
        out += buf;
    }
    if (b.size() > max)
        out += " ...";
    return out;
}

std::string hexByte(std::uint8_t b) {
    return hex(ByteView(&b, 1));
}

// ESC/POS takes most selectors both as 0, 1, 2 and as the digits '0', '1', '2'.
int selector(std::uint8_t n) {
    return n >= '0' && n <= '9' ? n - '0' : n;
}

// The text a scanner reads from CODE128 data with its code set characters ("{A" and so on).
bool code128Text(ByteView data, std::string& text, std::string& error) {
    char set = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const std::uint8_t c = data[i];
        if (c == '{') {
            if (i + 1 >= data.size()) {
                error = "CODE128 data ends inside a code set character";
                return false;
            }
            const std::uint8_t d = data[++i];
            if (d == 'A' || d == 'B' || d == 'C') {
                set = static_cast<char>(d);
                continue;
            }
            if (d != '{') {
                error = "CODE128 function character {" + std::string(1, static_cast<char>(d)) +
                        " is not supported";
                return false;
            }
            // "{{" is the brace itself, which only code set B holds.
            if (set != 'B') {
                error = "CODE128 brace outside code set B";
                return false;
            }
            text += '{';
            continue;
        }
        if (set == 0) {
            error = "CODE128 data does not start with a code set character";
            return false;
        }
        if (set == 'A' && c >= 0x60) {
            error = "CODE128 code set A cannot hold byte " + hexByte(c);
            return false;
        }
        if (set == 'B' && (c < 0x20 || c >= 0x80)) {
            error = "CODE128 code set B cannot hold byte " + hexByte(c);
            return false;
        }
        if (set == 'C') {
            if (c > 99) {
                error = "CODE128 code set C cannot hold byte " + hexByte(c);
                return false;
            }
            text += static_cast<char>('0' + c / 10);
            text += static_cast<char>('0' + c % 10);
            continue;
        }
        text += static_cast<char>(c);
    }
    if (text.empty()) {
        error = "CODE128 without data";
        return false;
    }
    return true;
}

}  // namespace

EscPosInterpreter::EscPosInterpreter(PaperWidth paper, const PrinterConditions& conditions)
    : paper_(paper), conditions_(conditions) {}

Bytes EscPosInterpreter::feed(ByteView bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    std::size_t pos = 0;
    while (pos < pending_.size()) {
        if (skip_ > 0) {
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(skip_, pending_.size() - pos));
            skip_ -= n;
            pos += n;
            consumed_ += n;
            continue;
        }
        commandStart_ = consumed_;
        const std::size_t n = step(ByteView(pending_).subspan(pos));
        if (n == 0)
            break;
        pos += n;
        consumed_ += n;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos));
    Bytes out;
    out.swap(answers_);
    return out;
}

void EscPosInterpreter::finish() {
    commandStart_ = consumed_;
    if (skip_ > 0) {
        warn("stream ended " + std::to_string(skip_) +
             " bytes before the end of the data of a refused command");
        skip_ = 0;
    }
    if (!pending_.empty()) {
        warn("truncated command " + hex(pending_) + " (the stream ended after " +
             std::to_string(pending_.size()) + " of its bytes)");
        consumed_ += pending_.size();
        pending_.clear();
    }
    if (lineStarted_ && !line_.runs.empty()) {
        warn(std::to_string(line_.text().size()) +
             " bytes of text never printed: no line feed followed them");
    }
}

std::vector<Receipt> EscPosInterpreter::takeReceipts() {
    std::vector<Receipt> out;
    out.swap(done_);
    return out;
}

std::vector<Warning> EscPosInterpreter::takeWarnings() {
    std::vector<Warning> out;
    out.swap(warnings_);
    return out;
}

std::optional<std::string> EscPosInterpreter::pendingCommand() const {
    if (skip_ > 0) {
        return "dropping the data of a refused command: " + std::to_string(skip_) +
               " bytes still to come";
    }
    if (pending_.empty())
        return std::nullopt;
    return "incomplete command " + hex(pending_) + " at offset " + std::to_string(consumed_) +
           " waits for more bytes (" + std::to_string(pending_.size()) + " so far)";
}

std::size_t EscPosInterpreter::step(ByteView b) {
    const std::uint8_t c = b[0];
    if (c >= 0x20) {
        std::size_t n = 1;
        while (n < b.size() && b[n] >= 0x20)
            ++n;
        text(b.first(n));
        return n;
    }
    switch (c) {
        case kLf:
            printLine(state_.lineSpacing);
            return 1;
        case kCr:
            return 1;
        case kHt:
            tab();
            return 1;
        case kEsc:
            return escape(b);
        case kGs:
            return groupSeparator(b);
        case kDle:
            return dataLinkEscape(b);
        default:
            warn("unknown control byte " + hexByte(c));
            return 1;
    }
}

std::size_t EscPosInterpreter::escape(ByteView b) {
    if (b.size() < 2)
        return 0;
    const std::uint8_t cmd = b[1];
    // Commands with one parameter byte.
    const bool oneParameter = cmd == 't' || cmd == 'a' || cmd == '3' || cmd == '!' || cmd == 'E' ||
                              cmd == 'G' || cmd == '-' || cmd == 'M' || cmd == 'd' || cmd == 'J' ||
                              cmd == 'R';
    if (oneParameter && b.size() < 3)
        return 0;
    const std::uint8_t n = oneParameter ? b[2] : 0;
    auto& style = state_.style;
    switch (cmd) {
        case '@': {
            clearBuffer("reset");
            state_ = PrinterState{};
            return 2;
        }
        case 't':
            state_.codePage = n;
            if (n == kCodePageCp866)
                codePageWarned_ = false;
            return 3;
        case 'a':
            switch (selector(n)) {
                case 0:
                    state_.alignment = Alignment::Left;
                    break;
                case 1:
                    state_.alignment = Alignment::Centre;
                    break;
                case 2:
                    state_.alignment = Alignment::Right;
                    break;
                default:
                    warn("ESC a with invalid alignment " + hexByte(n));
            }
            return 3;
        case '3':
            state_.lineSpacing = n;
            return 3;
        case '2':
            state_.lineSpacing = kDefaultLineSpacing;
            return 2;
        case '!':
            style.font = (n & 0x01) ? Font::B : Font::A;
            style.bold = (n & 0x08) != 0;
            style.doubleHeight = (n & 0x10) != 0;
            style.doubleWidth = (n & 0x20) != 0;
            style.underline = (n & 0x80) != 0;
            return 3;
        case 'E':
        case 'G':
            style.bold = (n & 0x01) != 0;
            return 3;
        case '-':
            style.underline = (n & 0x03) != 0;
            return 3;
        case 'M':
            if (selector(n) == 0) {
                style.font = Font::A;
            } else if (selector(n) == 1) {
                style.font = Font::B;
            } else {
                warn("ESC M with invalid font " + hexByte(n));
            }
            return 3;
        case 'R':
            return 3;  // international character set: CP866 has no national variants
        case 'd':
            for (int i = 0; i < std::max<int>(n, lineStarted_ ? 1 : 0); ++i) {
                printLine(state_.lineSpacing);
            }
            return 3;
        case 'J':
            printLine(n, !lineStarted_);
            return 3;
        case 'i':
        case 'm':
            cut();
            return 2;
        case 'D': {
            for (std::size_t i = 2; i < b.size(); ++i) {
                if (b[i] == 0) {
                    warn("ESC D tab positions are not supported; tabs stay every 8 characters");
                    return i + 1;
                }
                if (i - 2 >= kMaxTabList)
                    break;
            }
            if (b.size() - 2 <= kMaxTabList)
                return 0;
            warn("ESC D without its terminating NUL");
            return 2;
        }
        case 'c':
            if (b.size() < 4)
                return 0;
            return 4;  // panel buttons and paper sensor selection: nothing to emulate
        case 'p':
            if (b.size() < 5)
                return 0;
            return 5;  // cash drawer pulse: there is no drawer
        default:
            warn("unknown command " + hex(b.first(2)));
            return 2;
    }
}

std::size_t EscPosInterpreter::groupSeparator(ByteView b) {
    if (b.size() < 2)
        return 0;
    const std::uint8_t cmd = b[1];
    switch (cmd) {
        case 'k':
            return barcode(b);
        case 'v':
            return raster(b);
        case '(':
            return extended(b);
        default:
            break;
    }
    const bool oneParameter = cmd == 'd' || cmd == 'a' || cmd == 'r' || cmd == 'B' || cmd == 'H' ||
                              cmd == 'f' || cmd == 'h' || cmd == 'w' || cmd == '!' || cmd == 'V';
    if (oneParameter && b.size() < 3)
        return 0;
    const std::uint8_t n = oneParameter ? b[2] : 0;
    switch (cmd) {
        case 'd':
            return 3;  // the set-up command the register sends before text: no effect here
        case 'P':
            return b.size() < 4 ? 0 : 4;  // motion units: the emulator works in dots
        case 'L':
        case 'W':
            if (b.size() < 4)
                return 0;
            warn("left margin and print area width (" + hex(b.first(4)) + ") are not supported");
            return 4;
        case 'a':
            state_.autoStatusBack = n != 0;
            if (n != 0)
                warn("automatic status back " + hexByte(n) + " is not supported");
            return 3;
        case 'r':
            if (selector(n) == 1) {
                answer(conditions_.paperStatus());
            } else if (selector(n) == 2 || selector(n) == 4) {
                // drawer and ink status: there are none, both read 0
                if (!conditions_.silent())
                    answer(std::uint8_t{0});
            } else {
                warn("GS r with invalid status kind " + hexByte(n));
            }
            return 3;
        case 'B':
            state_.style.inverse = (n & 0x01) != 0;
            return 3;
        case 'H':
            if (selector(n) > 3) {
                warn("GS H with invalid position " + hexByte(n));
            } else {
                state_.hri = static_cast<HriPosition>(selector(n));
            }
            return 3;
        case 'f':
            state_.hriFont = selector(n) == 1 ? Font::B : Font::A;
            return 3;
        case 'h':
            if (n == 0) {
                warn("GS h with height 0");
            } else {
                state_.barcodeHeight = n;
            }
            return 3;
        case 'w':
            if (n < 1 || n > 6) {
                warn("GS w with invalid module width " + hexByte(n));
            } else {
                state_.barcodeModuleWidth = n;
            }
            return 3;
        case '!': {
            const int w = (n >> 4) & 0x07;
            const int h = n & 0x07;
            state_.style.doubleWidth = w > 0;
            state_.style.doubleHeight = h > 0;
            if (w > 1 || h > 1)
                warn("character sizes above double are shown as double");
            return 3;
        }
        case 'V':
            if (n == 65 || n == 66) {
                if (b.size() < 4)
                    return 0;
                printLine(b[3], true);
                cut();
                return 4;
            }
            if (n > 1 && n != '0' && n != '1')
                warn("GS V with invalid mode " + hexByte(n));
            cut();
            return 3;
        default:
            warn("unknown command " + hex(b.first(2)));
            return 2;
    }
}

std::size_t EscPosInterpreter::dataLinkEscape(ByteView b) {
    if (b.size() < 2)
        return 0;
    if (b[1] == kDc4) {
        if (b.size() < 3)
            return 0;
        const std::uint8_t fn = b[2];
        if (fn == 8) {
            if (b.size() < 10)
                return 0;
            static constexpr std::uint8_t kClear[] = {0x01, 0x03, 0x14, 0x01, 0x06, 0x02, 0x08};
            if (!std::equal(std::begin(kClear), std::end(kClear), b.begin() + 3)) {
                warn("clear buffers with wrong parameters " + hex(b.first(10)));
                return 10;
            }
            clearBuffer("clear buffers");
            return 10;
        }
        if (fn >= 1 && fn <= 7) {
            if (b.size() < 5)
                return 0;
            warn("real-time request " + hex(b.first(5)) + " is not supported");
            return 5;
        }
        warn("unknown real-time request " + hex(b.first(3)));
        return 3;
    }
    if (b[1] == kEot) {
        if (b.size() < 3)
            return 0;
        if (conditions_.silent())
            return 3;
        const bool out = conditions_.paperOut();
        const bool low = conditions_.paperLow();
        switch (selector(b[2])) {
            case 1:
            case 3:
                answer(kRealTimeFixed);
                break;
            case 2:
                answer(static_cast<std::uint8_t>(kRealTimeFixed | (out ? 0x20 : 0)));
                break;
            case 4:
                answer(static_cast<std::uint8_t>(kRealTimeFixed | (low ? 0x0C : 0) |
                                                 (out ? 0x60 : 0)));
                break;
            default:
                warn("DLE EOT with invalid status kind " + hexByte(b[2]));
        }
        return 3;
    }
    if (b[1] == kEnq) {
        return b.size() < 3 ? 0 : 3;
    }
    warn("unknown command " + hex(b.first(2)));
    return 2;
}

std::size_t EscPosInterpreter::barcode(ByteView b) {
    if (b.size() < 3)
        return 0;
    const std::uint8_t m = b[2];
    ByteView data;
    std::size_t length = 0;
    Symbology symbology = Symbology::Code128;
    if (m <= 7) {
        // Function A: the data ends with NUL. This printer takes 7 as ITF, as 5.
        static constexpr Symbology kFunctionA[] = {
            Symbology::UpcA,   Symbology::UpcE, Symbology::Ean13,   Symbology::Ean8,
            Symbology::Code39, Symbology::Itf,  Symbology::Codabar, Symbology::Itf};
        symbology = kFunctionA[m];
        const auto end = std::find(b.begin() + 3, b.end(), std::uint8_t{0});
        if (end == b.end()) {
            if (b.size() - 3 <= kMaxBarcodeData)
                return 0;
            warn("barcode data without its terminating NUL");
            return 3;
        }
        data = b.subspan(3, static_cast<std::size_t>(end - (b.begin() + 3)));
        length = 3 + data.size() + 1;
    } else if (m >= 65 && m <= 73) {
        if (b.size() < 4)
            return 0;
        const std::size_t n = b[3];
        if (b.size() < 4 + n)
            return 0;
        static constexpr Symbology kFunctionB[] = {
            Symbology::UpcA,    Symbology::UpcE,   Symbology::Ean13,
            Symbology::Ean8,    Symbology::Code39, Symbology::Itf,
            Symbology::Codabar, Symbology::Code93, Symbology::Code128};
        symbology = kFunctionB[m - 65];
        data = b.subspan(4, n);
        length = 4 + n;
    } else {
        warn("GS k with unknown barcode system " + hexByte(m));
        return 3;
    }

    Barcode code;
    code.alignment = state_.alignment;
    code.symbology = symbology;
    code.data = asString(data);
    code.moduleWidth = state_.barcodeModuleWidth;
    code.height = state_.barcodeHeight;
    code.hri = state_.hri;
    code.hriFont = state_.hriFont;
    std::string error;
    if (symbology == Symbology::Code128) {
        if (!code128Text(data, code.text, error)) {
            warn("barcode not printed: " + error);
            return length;
        }
    } else {
        code.text = code.data;
    }
    if (symbology == Symbology::Itf && code.text.size() % 2 != 0) {
        // Interleaved digits come in pairs: the printer drops the odd last one.
        warn("ITF with an odd number of digits: the last one is not printed");
        code.text.pop_back();
    }
    auto encoded = encodeBarcode(code);
    if (!encoded.modules) {
        warn(std::string("barcode not printed: ") + symbologyName(symbology) + ": " +
             encoded.error);
        return length;
    }
    code.modules = std::move(*encoded.modules);
    flushLine();
    emit(std::move(code));
    return length;
}

std::size_t EscPosInterpreter::raster(ByteView b) {
    if (b.size() < 3)
        return 0;
    if (b[2] != '0') {
        warn("unknown command " + hex(b.first(3)));
        return 3;
    }
    if (b.size() < 8)
        return 0;
    const int mode = selector(b[3]);
    const std::uint32_t x = le::load16(&b[4]);
    const std::uint32_t y = le::load16(&b[6]);
    const std::uint64_t size = std::uint64_t{x} * y;
    if (mode > 3 || x == 0 || y == 0 || x > kMaxRasterBytesPerRow || y > kMaxRasterRows) {
        warn("raster image " + hex(b.first(8)) + " refused (" + std::to_string(x) + " bytes by " +
             std::to_string(y) + " rows, mode " + std::to_string(mode) + ")");
        skip_ = size;
        return 8;
    }
    if (b.size() < 8 + size)
        return 0;
    RasterImage image;
    image.alignment = state_.alignment;
    image.bytesPerRow = static_cast<int>(x);
    image.rows = static_cast<int>(y);
    image.scaleX = (mode & 1) ? 2 : 1;
    image.scaleY = (mode & 2) ? 2 : 1;
    image.bits.assign(b.begin() + 8, b.begin() + 8 + static_cast<std::ptrdiff_t>(size));
    if (static_cast<int>(x) * 8 * image.scaleX > paperDots(paper_)) {
        warn("raster image of " + std::to_string(x * 8 * image.scaleX) +
             " dots is wider than the paper; the rest is cut off");
    }
    flushLine();
    emit(std::move(image));
    return 8 + static_cast<std::size_t>(size);
}

std::size_t EscPosInterpreter::extended(ByteView b) {
    if (b.size() < 5)
        return 0;
    const std::size_t length = le::load16(&b[3]);
    if (b.size() < 5 + length)
        return 0;
    const std::size_t total = 5 + length;
    if (b[2] != 'k') {
        warn("unknown command " + hex(b.first(std::min<std::size_t>(total, 8))));
        return total;
    }
    if (length < 2) {
        warn("GS ( k too short: " + hex(b.first(total)));
        return total;
    }
    const std::uint8_t cn = b[5];
    const std::uint8_t fn = b[6];
    const ByteView params = b.subspan(7, length - 2);
    if (cn == 0x31) {
        qrFunction(fn, params);
    } else if (cn == 0x30) {
        pdf417Function(fn, params);
    } else {
        warn("GS ( k for unknown symbol " + hex(b.first(std::min<std::size_t>(total, 8))));
    }
    return total;
}

void EscPosInterpreter::qrFunction(std::uint8_t fn, ByteView p) {
    auto& qr = state_.qr;
    const auto tooShort = [&] { warn("QR function " + hexByte(fn) + " without its parameters"); };
    switch (fn) {
        case 0x41:
            if (p.size() < 2)
                return tooShort();
            if (p[0] == 0x31 || p[0] == 0x33) {
                warn("QR model " + hexByte(p[0]) + " is printed as model 2");
                qr.model = p[0] == 0x31 ? 1 : 3;
            } else if (p[0] == 0x32) {
                qr.model = 2;
            } else {
                warn("QR with invalid model " + hexByte(p[0]));
            }
            return;
        case 0x43:
            if (p.empty())
                return tooShort();
            if (p[0] < 1 || p[0] > 16) {
                warn("QR with invalid module size " + hexByte(p[0]));
            } else {
                qr.moduleSize = p[0];
            }
            return;
        case 0x45:
            if (p.empty())
                return tooShort();
            if (p[0] < 48 || p[0] > 51) {
                warn("QR with invalid error correction level " + hexByte(p[0]));
            } else {
                qr.level = "LMQH"[p[0] - 48];
            }
            return;
        case 0x50:
            if (p.empty())
                return tooShort();
            qr.data = asString(p.subspan(1));
            state_.qrStored = true;
            return;
        case 0x51: {
            if (p.empty())
                return tooShort();
            if (!state_.qrStored || qr.data.empty()) {
                warn("QR print without stored data");
                return;
            }
            QrCode code = qr;
            code.alignment = state_.alignment;
            auto encoded = encodeQr(code);
            if (!encoded.modules) {
                warn("QR code not printed: " + encoded.error);
                return;
            }
            code.modules = std::move(*encoded.modules);
            flushLine();
            emit(std::move(code));
            return;
        }
        default:
            warn("QR function " + hexByte(fn) + " is not supported");
    }
}

void EscPosInterpreter::pdf417Function(std::uint8_t fn, ByteView p) {
    auto& pdf = state_.pdf417;
    const auto tooShort = [&] {
        warn("PDF417 function " + hexByte(fn) + " without its parameters");
    };
    const auto invalid = [&] {
        warn("PDF417 function " + hexByte(fn) + " with invalid parameter " + hex(p));
    };
    switch (fn) {
        case 0x41:
            if (p.empty())
                return tooShort();
            if (p[0] > 30)
                return invalid();
            pdf.columns = p[0];
            return;
        case 0x42:
            if (p.empty())
                return tooShort();
            if (p[0] != 0 && (p[0] < 3 || p[0] > 90))
                return invalid();
            pdf.rows = p[0];
            return;
        case 0x43:
            if (p.empty())
                return tooShort();
            if (p[0] < 2 || p[0] > 8)
                return invalid();
            pdf.moduleWidth = p[0];
            return;
        case 0x44:
            if (p.empty())
                return tooShort();
            if (p[0] < 2 || p[0] > 8)
                return invalid();
            pdf.rowHeight = p[0];
            return;
        case 0x45:
            if (p.size() < 2)
                return tooShort();
            if (p[0] == 0x30 && p[1] >= 0x30 && p[1] <= 0x38) {
                pdf.errorLevel = p[1] - 0x30;
            } else if (p[0] == 0x31 && p[1] >= 1 && p[1] <= 40) {
                pdf.errorLevel = -1;  // a ratio: let the encoder choose
            } else {
                invalid();
            }
            return;
        case 0x46:
            if (p.empty())
                return tooShort();
            if (p[0] != 0)
                warn("truncated PDF417 is printed as standard PDF417");
            return;
        case 0x50:
            if (p.empty())
                return tooShort();
            pdf.data = asString(p.subspan(1));
            state_.pdf417Stored = true;
            return;
        case 0x51: {
            if (p.empty())
                return tooShort();
            if (!state_.pdf417Stored || pdf.data.empty()) {
                warn("PDF417 print without stored data");
                return;
            }
            Pdf417 code = pdf;
            code.alignment = state_.alignment;
            auto encoded = encodePdf417(code);
            if (!encoded.modules) {
                warn("PDF417 not printed: " + encoded.error);
                return;
            }
            code.modules = std::move(*encoded.modules);
            flushLine();
            emit(std::move(code));
            return;
        }
        default:
            warn("PDF417 function " + hexByte(fn) + " is not supported");
    }
}

void EscPosInterpreter::text(ByteView b) {
    for (const std::uint8_t c : b)
        character(c);
}

int EscPosInterpreter::lineWidth() const {
    int dots = 0;
    for (const auto& run : line_.runs) {
        dots += static_cast<int>(run.text.size()) * cellWidth(run.style.font) *
                (run.style.doubleWidth ? 2 : 1);
    }
    return dots;
}

void EscPosInterpreter::character(std::uint8_t c) {
    if (c >= 0x80 && state_.codePage != kCodePageCp866 && !codePageWarned_) {
        warn("text printed with code page " + std::to_string(state_.codePage) +
             " selected; this printer shows CP866 (ESC t 7)");
        codePageWarned_ = true;
    }
    const int width = cellWidth(state_.style.font) * (state_.style.doubleWidth ? 2 : 1);
    if (lineStarted_ && lineWidth() + width > paperDots(paper_)) {
        // The line is full: the printer prints it and goes on with the next one.
        line_.wrapped = true;
        printLine(state_.lineSpacing);
    }
    if (!lineStarted_) {
        line_ = TextLine{};
        line_.alignment = state_.alignment;
        line_.style = state_.style;
        lineStarted_ = true;
    }
    if (line_.runs.empty() || !(line_.runs.back().style == state_.style)) {
        line_.runs.push_back({state_.style, {}});
    }
    line_.runs.back().text += static_cast<char>(c);
}

void EscPosInterpreter::tab() {
    // Tab stops every 8 characters of the current font.
    const int width = cellWidth(state_.style.font) * (state_.style.doubleWidth ? 2 : 1);
    const int stop = (lineWidth() / (8 * width) + 1) * (8 * width);
    if (stop > paperDots(paper_))
        return;  // beyond the last stop: ignored
    while (lineWidth() < stop)
        character(' ');
}

void EscPosInterpreter::printLine(int spacing, bool feedOnly) {
    if (!lineStarted_) {
        line_ = TextLine{};
        line_.alignment = state_.alignment;
        line_.style = state_.style;
    }
    line_.lineSpacing = spacing;
    line_.feedOnly = feedOnly;
    TextLine line = std::move(line_);
    line_ = TextLine{};
    lineStarted_ = false;
    emit(std::move(line));
}

void EscPosInterpreter::flushLine() {
    if (lineStarted_)
        printLine(state_.lineSpacing);
}

void EscPosInterpreter::cut() {
    flushLine();
    if (conditions_.paperOut() && current_.items.empty())
        return;  // nothing to cut
    done_.push_back(std::move(current_));
    current_ = Receipt{};
}

void EscPosInterpreter::clearBuffer(const char* why) {
    if (lineStarted_ && !line_.runs.empty()) {
        warn(std::string(why) + " discarded " + std::to_string(line_.text().size()) +
             " bytes of unprinted text");
    }
    line_ = TextLine{};
    lineStarted_ = false;
}

void EscPosInterpreter::emit(PaperItem item) {
    if (conditions_.paperOut()) {
        if (!lostWhileOut_)
            warn("paper out: nothing is printed until paper is loaded");
        lostWhileOut_ = true;
        return;
    }
    lostWhileOut_ = false;
    current_.items.push_back(std::move(item));
}

void EscPosInterpreter::answer(std::optional<std::uint8_t> status) {
    if (status)
        answers_.push_back(*status);
}

void EscPosInterpreter::warn(std::string text) {
    warnings_.push_back({commandStart_, std::move(text)});
}

}  // namespace kkt::sim
