#pragma once
// The printer's command interpreter: takes the byte stream of the port, keeps the paper as
// printed items with their style, and answers status requests. Commands may arrive split over
// any number of reads; a command that never completes is reported when the stream ends.
// Unknown commands and bad parameters are reported as warnings; nothing in the stream can make
// it fail.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Paper.hpp"
#include "PrinterConditions.hpp"
#include "primitives/Bytes.hpp"

namespace kkt::sim {

struct Warning {
    std::uint64_t offset = 0;  // of the command in the stream
    std::string text;
};

// The settings that commands change, as they stand between commands.
struct PrinterState {
    Alignment alignment = Alignment::Left;
    int lineSpacing = 30;
    TextStyle style;
    int codePage = 0;  // 7 is CP866, the only table this printer has glyphs for
    HriPosition hri = HriPosition::None;
    Font hriFont = Font::A;
    int barcodeHeight = 162;
    int barcodeModuleWidth = 3;
    bool autoStatusBack = false;
    QrCode qr;  // model, module size and level; data of the last store
    bool qrStored = false;
    Pdf417 pdf417;
    bool pdf417Stored = false;
};

class EscPosInterpreter {
  public:
    EscPosInterpreter(PaperWidth paper, const PrinterConditions& conditions);

    // Interprets the next bytes of the stream. Returns the answers to the status requests
    // among them (nothing for a printer that is silent).
    [[nodiscard]] Bytes feed(ByteView bytes);
    // The stream has ended: a command still incomplete is reported as truncated and dropped.
    void finish();

    // Receipts completed by a cut since the last call, oldest first.
    [[nodiscard]] std::vector<Receipt> takeReceipts();
    // The paper printed since the last cut.
    const Receipt& current() const { return current_; }
    // Text waiting in the line buffer (not yet printed), CP866.
    std::string pendingText() const { return line_.text(); }
    [[nodiscard]] std::vector<Warning> takeWarnings();

    // Describes the command that waits for more bytes (for diagnostics), if any.
    std::optional<std::string> pendingCommand() const;
    std::uint64_t offset() const { return consumed_; }
    const PrinterState& state() const { return state_; }
    PaperWidth paper() const { return paper_; }

  private:
    // Interprets one command at the start of `b`; returns the bytes it took, 0 when it needs
    // more bytes than `b` holds.
    std::size_t step(ByteView b);
    std::size_t escape(ByteView b);
    std::size_t groupSeparator(ByteView b);
    std::size_t dataLinkEscape(ByteView b);
    std::size_t barcode(ByteView b);
    std::size_t raster(ByteView b);
    std::size_t extended(ByteView b);
    void qrFunction(std::uint8_t fn, ByteView params);
    void pdf417Function(std::uint8_t fn, ByteView params);

    void text(ByteView b);
    void character(std::uint8_t c);
    void tab();
    void printLine(int spacing, bool feedOnly = false);
    void flushLine();
    void cut();
    void clearBuffer(const char* why);
    void emit(PaperItem item);
    void answer(std::optional<std::uint8_t> status);
    void warn(std::string text);
    int lineWidth() const;

    PaperWidth paper_;
    const PrinterConditions& conditions_;
    PrinterState state_;
    Bytes pending_;  // bytes of an incomplete command
    std::uint64_t consumed_ = 0;
    std::uint64_t commandStart_ = 0;
    std::uint64_t skip_ = 0;  // data bytes of a refused command still to be dropped
    TextLine line_;
    bool lineStarted_ = false;
    Receipt current_;
    std::vector<Receipt> done_;
    std::vector<Warning> warnings_;
    Bytes answers_;
    bool lostWhileOut_ = false;
    bool codePageWarned_ = false;
};

}  // namespace kkt::sim
