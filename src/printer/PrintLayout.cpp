#include "printer/PrintLayout.hpp"

#include <algorithm>

#include "printer/PrinterCommands.hpp"
#include "printer/PrinterDriver.hpp"

namespace kkt::layout {

namespace {

// Lays out a line that holds no line feed.
void layoutPiece(std::string_view s, const LayoutWord& layout, std::string& out) {
    const std::size_t c = layout.charactersPerLine();
    // Each round emits one printed line and continues with the rest, so a long text does not
    // deepen the stack.
    for (;;) {
        if (layout.wide() || s.size() <= c) {
            out += alignLine(s, layout);
            return;
        }
        const auto tab = s.find(kColumnSeparator);
        if (tab != std::string_view::npos) {
            layoutPiece(s.substr(0, tab), layout, out);
            out += '\n';
            s.remove_prefix(tab + 1);
            continue;
        }
        const auto firstBlank = s.find(' ');
        if (firstBlank == std::string_view::npos || firstBlank > c) {
            out.append(s.substr(0, c));
            out += '\n';
            s.remove_prefix(c);
            continue;
        }
        const auto blank = s.rfind(' ', c);
        out += alignLine(s.substr(0, blank), layout);
        out += '\n';
        s.remove_prefix(blank + 1);
    }
}

void append(Bytes& out, ByteView bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

std::string alignLine(std::string_view s, const LayoutWord& layout) {
    const std::size_t c = layout.charactersPerLine();
    if (s.size() >= c)
        return std::string(s);
    const auto tab = s.find(kColumnSeparator);
    if (tab != std::string_view::npos) {
        std::string line(s.substr(0, tab));
        line.append(c - (s.size() - 1), ' ');
        line.append(s.substr(tab + 1));
        std::replace(line.begin(), line.end(), kColumnSeparator, ' ');
        return line;
    }
    // Wide paper: the printer aligns (ESC a).
    if (layout.wide())
        return std::string(s);
    if (layout.centred())
        return std::string((c - s.size()) / 2, ' ') + std::string(s);
    if (layout.rightAligned())
        return std::string(c - s.size(), ' ') + std::string(s);
    return std::string(s);
}

std::string layoutLine(std::string_view s, const LayoutWord& layout) {
    std::string out;
    for (;;) {
        const auto lf = s.find('\n');
        layoutPiece(s.substr(0, lf), layout, out);
        if (lf == std::string_view::npos)
            return out;
        out += '\n';
        s.remove_prefix(lf + 1);
    }
}

Bytes render(const PrintElement& element, Cut cut) {
    Bytes out;
    const auto first = [&]() -> std::string_view {
        return element.lines.empty() ? std::string_view{} : std::string_view{element.lines[0]};
    };
    switch (element.kind) {
        case PrintElement::Kind::Text:
            out = element.layout.stylePrefix();
            for (const auto& line : element.lines) {
                append(out, asBytes(layoutLine(line, element.layout)));
                out.push_back(escpos::kLineFeed);
            }
            break;
        case PrintElement::Kind::Barcode:
            out = element.layout.stylePrefix();
            append(out, escpos::kHriBelow);
            if (auto code = escpos::barcodeSequence(first(), element.barcodeType))
                append(out, *code);
            break;
        case PrintElement::Kind::QrCode:
            out = element.layout.stylePrefix();
            if (auto qr = escpos::qrSequence(first()))
                append(out, *qr);
            break;
        case PrintElement::Kind::Image:
            break;
    }
    if (cut == Cut::Yes)
        append(out, escpos::kFeedAndCut);
    return out;
}

std::uint16_t printElements(PrinterDriver& printer, const std::vector<PrintElement>& elements) {
    for (const auto& element : elements) {
        const std::uint16_t status = printer.printText(render(element, Cut::No));
        if (status != printer_result::kOk)
            return status;
    }
    return printer_result::kOk;
}

}  // namespace kkt::layout
