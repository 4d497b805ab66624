#include "PrinterEmulator.hpp"

#include <sys/time.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <regex>

namespace kkt::sim {

namespace {

// Control characters inside code texts would break the one-item-per-line form of paper.txt.
std::string printable(const std::string& utf8) {
    std::string out;
    char buf[8];
    for (const char c : utf8) {
        if (static_cast<unsigned char>(c) < 0x20) {
            std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

int highestPicture(const std::filesystem::path& dir) {
    static const std::regex kName("receipt-([0-9]{4,})\\.png");
    int highest = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        std::smatch m;
        const std::string name = entry.path().filename().string();
        if (std::regex_match(name, m, kName))
            highest = std::max(highest, std::stoi(m[1]));
    }
    return highest;
}

}  // namespace

std::unique_ptr<PrinterEmulator> PrinterEmulator::open(const EmulatorOptions& options,
                                                       std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(options.outDir, ec);
    if (ec || !std::filesystem::is_directory(options.outDir)) {
        error = "cannot create the output folder " + options.outDir.string() +
                (ec ? ": " + ec.message() : "");
        return nullptr;
    }
    auto font = PsfFont::load(options.fontPath, error);
    if (!font)
        return nullptr;
    auto emulator = std::make_unique<PrinterEmulator>(Key{}, options, std::move(*font));
    if (!emulator->cp866_.ok()) {
        error = "iconv cannot convert CP866";
        return nullptr;
    }
    const auto openFile = [&](const std::filesystem::path& path, const char* mode, File& file) {
        file.reset(std::fopen(path.c_str(), mode));
        if (!file)
            error = "cannot open " + path.string() + ": " + std::strerror(errno);
        return static_cast<bool>(file);
    };
    if (!openFile(options.outDir / "raw.bin", "ab", emulator->raw_) ||
        !openFile(options.outDir / "paper.txt", "a", emulator->paper_) ||
        !openFile(options.outDir / "warnings.txt", "a", emulator->warnings_)) {
        return nullptr;
    }
    if (!options.tracePath.empty() && !openFile(options.tracePath, "a", emulator->trace_)) {
        return nullptr;
    }
    emulator->nextPicture_ = highestPicture(options.outDir) + 1;
    return emulator;
}

PrinterEmulator::PrinterEmulator(Key, const EmulatorOptions& options, PsfFont font)
    : options_(options),
      interpreter_(options.paper, conditions_),
      font_(std::move(font)),
      renderer_(font_, cp866_, options.paper) {}

Bytes PrinterEmulator::receive(ByteView chunk) {
    if (chunk.empty())
        return {};
    std::fwrite(chunk.data(), 1, chunk.size(), raw_.get());
    std::fflush(raw_.get());
    trace("in ", chunk);
    Bytes answers = interpreter_.feed(chunk);
    if (!answers.empty())
        trace("out", answers);
    reportedPending_.reset();
    collect();
    return answers;
}

void PrinterEmulator::idle() {
    const auto pending = interpreter_.pendingCommand();
    if (!pending || reportedPending_ == interpreter_.offset())
        return;
    reportedPending_ = interpreter_.offset();
    writeWarning(interpreter_.offset(), *pending);
}

void PrinterEmulator::endOfInput() {
    interpreter_.finish();
    collect();
    if (!interpreter_.current().items.empty())
        writePicture(interpreter_.current());
}

void PrinterEmulator::undelivered(ByteView answers, const std::string& why) {
    writeWarning(interpreter_.offset(),
                 "answer " + std::to_string(answers.size()) + " byte(s) not delivered: " + why);
}

std::filesystem::path PrinterEmulator::picturePath(int number) const {
    char name[32];
    std::snprintf(name, sizeof name, "receipt-%04d.png", number);
    return options_.outDir / name;
}

void PrinterEmulator::collect() {
    for (const auto& w : interpreter_.takeWarnings())
        writeWarning(w.offset, w.text);
    for (auto& receipt : interpreter_.takeReceipts()) {
        for (std::size_t i = itemsWritten_; i < receipt.items.size(); ++i) {
            writeItem(receipt.items[i]);
        }
        itemsWritten_ = 0;
        std::fputs("[cut]\n", paper_.get());
        std::fflush(paper_.get());
        writePicture(receipt);
    }
    const auto& items = interpreter_.current().items;
    for (; itemsWritten_ < items.size(); ++itemsWritten_)
        writeItem(items[itemsWritten_]);
}

void PrinterEmulator::writeItem(const PaperItem& item) {
    std::string line;
    if (const auto* text = std::get_if<TextLine>(&item)) {
        if (text->feedOnly)
            return;
        line = cp866_.toUtf8(text->text());
    } else if (const auto* image = std::get_if<RasterImage>(&item)) {
        line = "[image " + std::to_string(image->bytesPerRow * 8 * image->scaleX) + "x" +
               std::to_string(image->rows * image->scaleY) + "]";
    } else if (const auto* code = std::get_if<Barcode>(&item)) {
        line = std::string("[barcode ") + symbologyName(code->symbology) + "] " +
               printable(cp866_.toUtf8(code->text));
    } else if (const auto* qr = std::get_if<QrCode>(&item)) {
        line = "[qr] " + printable(cp866_.toUtf8(qr->data));
    } else if (const auto* pdf = std::get_if<Pdf417>(&item)) {
        line = "[pdf417] " + printable(cp866_.toUtf8(pdf->data));
    }
    line += '\n';
    std::fputs(line.c_str(), paper_.get());
    std::fflush(paper_.get());
}

void PrinterEmulator::writePicture(const Receipt& receipt) {
    std::string error;
    const auto path = picturePath(nextPicture_);
    if (!writePng(renderer_.render(receipt), path, error)) {
        writeWarning(interpreter_.offset(), "picture not written: " + error);
        return;
    }
    ++nextPicture_;
    ++pictures_;
}

void PrinterEmulator::writeWarning(std::uint64_t offset, const std::string& text) {
    std::fprintf(warnings_.get(), "offset %llu: %s\n", static_cast<unsigned long long>(offset),
                 text.c_str());
    std::fflush(warnings_.get());
}

void PrinterEmulator::trace(const char* direction, ByteView bytes) {
    if (!trace_)
        return;
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    gmtime_r(&tv.tv_sec, &tm);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
    std::fprintf(trace_.get(), "%s.%03ldZ %s", stamp, static_cast<long>(tv.tv_usec / 1000),
                 direction);
    for (const auto b : bytes)
        std::fprintf(trace_.get(), " %02X", b);
    std::fputc('\n', trace_.get());
    std::fflush(trace_.get());
}

}  // namespace kkt::sim
