#pragma once
// The printer as a whole: takes what arrives on the port, interprets it and keeps the paper in
// an output folder:
//   raw.bin          every byte received, appended
//   paper.txt        the printed text as UTF-8, a line per printed line, "[cut]" for each cut,
//                    "[qr] ...", "[barcode CODE128] ...", "[pdf417] ...", "[image WxH]" for codes
//                    and images; flushed after every line
//   receipt-NNNN.png one picture per cut, numbered on from the pictures already there
//   warnings.txt     unknown, malformed and truncated commands, with their stream offset
// With a trace file, every received chunk and every answer is appended with its time.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "Cp866Text.hpp"
#include "EscPosInterpreter.hpp"
#include "PrinterConditions.hpp"
#include "PsfFont.hpp"
#include "ReceiptRenderer.hpp"
#include "primitives/Bytes.hpp"

namespace kkt::sim {

struct EmulatorOptions {
    std::filesystem::path outDir;
    std::filesystem::path tracePath;  // empty: no trace
    PaperWidth paper = PaperWidth::Mm58;
    std::filesystem::path fontPath = kDefaultFontPath;
};

class PrinterEmulator {
  public:
    // Creates the output folder when missing; nullptr with `error` when it cannot work.
    static std::unique_ptr<PrinterEmulator> open(const EmulatorOptions& options,
                                                 std::string& error);

    struct Key {
        explicit Key() = default;
    };
    PrinterEmulator(Key, const EmulatorOptions& options, PsfFont font);  // use open()

    // Bytes that arrived on the port; returns the answers to send back.
    [[nodiscard]] Bytes receive(ByteView chunk);
    // The port was quiet for a while: reports a command that still waits for its bytes (once).
    void idle();
    // The input has ended (offline rendering): reports a truncated command and draws the paper
    // printed after the last cut as one more picture.
    void endOfInput();
    // Answers that could not be delivered are noted in the warnings.
    void undelivered(ByteView answers, const std::string& why);

    PrinterConditions& conditions() { return conditions_; }
    const EscPosInterpreter& interpreter() const { return interpreter_; }
    int picturesWritten() const { return pictures_; }
    std::filesystem::path picturePath(int number) const;
    const std::filesystem::path& outDir() const { return options_.outDir; }

  private:
    struct FileCloser {
        void operator()(FILE* f) const {
            if (f != nullptr)
                std::fclose(f);
        }
    };
    using File = std::unique_ptr<FILE, FileCloser>;

    void collect();
    void writeItem(const PaperItem& item);
    void writePicture(const Receipt& receipt);
    void writeWarning(std::uint64_t offset, const std::string& text);
    void trace(const char* direction, ByteView bytes);

    EmulatorOptions options_;
    PrinterConditions conditions_;
    EscPosInterpreter interpreter_;
    PsfFont font_;
    Cp866Text cp866_;
    ReceiptRenderer renderer_;
    File raw_;
    File paper_;
    File warnings_;
    File trace_;
    std::size_t itemsWritten_ = 0;  // of the receipt not yet cut
    int nextPicture_ = 1;
    int pictures_ = 0;
    std::optional<std::uint64_t> reportedPending_;
};

}  // namespace kkt::sim
