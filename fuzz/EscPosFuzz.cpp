// The printer emulator's ESC/POS interpreter: any stream is interpreted without failing, and the
// same stream fed whole or one byte at a time puts the same paper out and gives the same answers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "EscPosInterpreter.hpp"

namespace {

using namespace kkt::sim;

void require(bool condition) {
    if (!condition)
        std::abort();
}

void add(std::string& out, long long v) {
    out += std::to_string(v);
    out += ',';
}

void add(std::string& out, const TextStyle& s) {
    add(out, static_cast<int>(s.font));
    add(out,
        s.bold * 1 + s.underline * 2 + s.doubleWidth * 4 + s.doubleHeight * 8 + s.inverse * 16);
}

void add(std::string& out, const ModuleMatrix& m) {
    add(out, m.width);
    add(out, m.height);
    for (const bool c : m.cells)
        out += c ? '1' : '0';
    out += ';';
}

// Everything printed, as text, so that two runs compare as strings.
std::string describe(const Receipt& receipt) {
    std::string out;
    for (const PaperItem& item : receipt.items) {
        std::visit(
            [&out](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                add(out, static_cast<int>(v.alignment));
                if constexpr (std::is_same_v<T, TextLine>) {
                    out += "T";
                    add(out, v.lineSpacing);
                    add(out, v.style);
                    add(out, v.wrapped * 1 + v.feedOnly * 2);
                    for (const TextRun& run : v.runs) {
                        add(out, run.style);
                        out += run.text + "|";
                    }
                } else if constexpr (std::is_same_v<T, RasterImage>) {
                    out += "R";
                    add(out, v.bytesPerRow);
                    add(out, v.rows);
                    add(out, v.scaleX);
                    add(out, v.scaleY);
                    out.append(v.bits.begin(), v.bits.end());
                } else if constexpr (std::is_same_v<T, Barcode>) {
                    out += "B";
                    add(out, static_cast<int>(v.symbology));
                    out += v.data + "|" + v.text + "|";
                    add(out, v.moduleWidth);
                    add(out, v.height);
                    add(out, static_cast<int>(v.hri));
                    add(out, static_cast<int>(v.hriFont));
                    add(out, v.modules);
                } else if constexpr (std::is_same_v<T, QrCode>) {
                    out += "Q";
                    out += v.data + "|";
                    add(out, v.model);
                    add(out, v.moduleSize);
                    out += v.level;
                    add(out, v.modules);
                } else {
                    out += "P";
                    out += v.data + "|";
                    add(out, v.columns);
                    add(out, v.rows);
                    add(out, v.moduleWidth);
                    add(out, v.rowHeight);
                    add(out, v.errorLevel);
                    add(out, v.modules);
                }
                out += '\n';
            },
            item);
    }
    return out;
}

struct Run {
    kkt::Bytes answers;
    std::string paper;
    std::string pending;
};

Run finishRun(EscPosInterpreter& printer, kkt::Bytes answers) {
    Run run{std::move(answers), {}, printer.pendingText()};
    printer.finish();
    for (const Receipt& r : printer.takeReceipts())
        run.paper += describe(r) + "--cut--\n";
    run.paper += describe(printer.current());
    (void)printer.takeWarnings();
    return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Large rasters and codes make single inputs slow without reaching new code.
    if (size > 4096)
        return 0;
    const kkt::ByteView input(data, size);
    PrinterConditions conditions;
    // The first byte picks the roll, so that both widths are covered.
    const PaperWidth width = size > 0 && (data[0] & 1) ? PaperWidth::Mm80 : PaperWidth::Mm58;

    EscPosInterpreter whole(width, conditions);
    const Run a = finishRun(whole, whole.feed(input));

    EscPosInterpreter bytewise(width, conditions);
    kkt::Bytes answers;
    for (std::size_t i = 0; i < size; ++i) {
        const kkt::Bytes part = bytewise.feed(input.subspan(i, 1));
        answers.insert(answers.end(), part.begin(), part.end());
    }
    const Run b = finishRun(bytewise, std::move(answers));

    require(a.answers == b.answers);
    require(a.pending == b.pending);
    require(a.paper == b.paper);
    return 0;
}
