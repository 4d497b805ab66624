#pragma once
// The receipt printer on its serial port: opening and initialising it, text that the layout has
// rendered, raster images, QR codes, PDF417 and one-dimensional barcodes, feed and cut, and the
// paper status. Only the core worker thread uses it.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Clock.hpp"
#include "platform/Paths.hpp"
#include "primitives/Bytes.hpp"
#include "printer/LayoutWord.hpp"
#include "printer/PrinterImage.hpp"
#include "printer/PrinterResult.hpp"
#include "printer/PrinterSettings.hpp"

namespace kkt {

class PrinterDriver {
  public:
    static constexpr int kSpeed = 57600;

    // Opens nothing; the port is opened by open() or initialise().
    explicit PrinterDriver(std::string portPath = paths::kPrinterPort,
                           std::string settingsPath = paths::kPrinterSettings,
                           Clock& clock = realClock());
    ~PrinterDriver();
    PrinterDriver(const PrinterDriver&) = delete;
    PrinterDriver& operator=(const PrinterDriver&) = delete;

    // Opens the port when it is closed; true when it is open afterwards.
    bool open();
    void close();
    bool isOpen() const { return open_; }

    // Writes all bytes: their count, -1 when closed or empty, -errno on an error (-EIO when the
    // port takes nothing).
    int write(ByteView bytes);
    // 976 when closed; otherwise 0 whatever the write did.
    [[nodiscard]] std::uint16_t sendRaw(ByteView bytes);

    // The paper status: 0, 976 (closed or no answer) or 977 (paper end).
    [[nodiscard]] std::uint16_t statusCheck();
    // Reopens the port, clears and resets the printer and waits for it to become ready.
    [[nodiscard]] std::uint16_t initialise();

    // Text already rendered by the layout; a failed print re-initialises the printer.
    [[nodiscard]] std::uint16_t printText(ByteView text);
    [[nodiscard]] std::uint16_t printText(std::string_view text) {
        return printText(asBytes(text));
    }
    [[nodiscard]] std::uint16_t feedAndCut();

    // 278 for an image whose bitmap does not hold its rows; otherwise 0.
    [[nodiscard]] std::uint16_t printImage(const PrinterImage& image, const LayoutWord& style);
    // 1003 for a text over 7000 bytes; otherwise 0.
    [[nodiscard]] std::uint16_t printQrCode(std::string_view text, const LayoutWord& style);
    // 1003 for an unknown type or a text the type cannot carry; otherwise 0.
    [[nodiscard]] std::uint16_t printBarcode(std::string_view text, int type,
                                             const LayoutWord& style);

    // A settings record loaded from this printer's settings file.
    PrinterSettings loadSettings() const { return PrinterSettings(settingsPath_); }
    const std::string& settingsPath() const { return settingsPath_; }
    const std::string& portPath() const { return portPath_; }

  private:
    // Drops bytes that a previous request left waiting, so they are not taken as this answer.
    void discardInput();

    std::string portPath_;
    std::string settingsPath_;
    Clock& clock_;
    int fd_ = -1;
    bool open_ = false;
};

}  // namespace kkt
