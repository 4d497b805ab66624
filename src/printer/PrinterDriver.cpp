#include "printer/PrinterDriver.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "link/SerialPort.hpp"
#include "printer/PrinterCommands.hpp"

namespace kkt {

namespace {

using namespace std::chrono_literals;
namespace result = printer_result;

constexpr int kStatusAttempts = 5;
constexpr auto kStatusPoll = 10ms;
constexpr auto kStatusWait = 100ms;
constexpr auto kStatusRetryPause = 100ms;

constexpr int kInitialiseChecks = 10;
constexpr auto kInitialiseSettle = 500ms;
constexpr auto kInitialiseRetryPause = 200ms;

// Paper-end sensor bits of the paper status answer.
constexpr int kPaperEnd = 0x0C;

// Bound on the stale bytes dropped before a status request, so a printer that keeps talking
// cannot hold the check up.
constexpr int kMaxDiscard = 4096;

Bytes concat(std::initializer_list<ByteView> parts) {
    Bytes out;
    for (auto p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

PrinterDriver::PrinterDriver(std::string portPath, std::string settingsPath, Clock& clock)
    : portPath_(std::move(portPath)), settingsPath_(std::move(settingsPath)), clock_(clock) {}

PrinterDriver::~PrinterDriver() {
    close();
}

bool PrinterDriver::open() {
    if (open_)
        return true;
    const int fd = SerialPort::open(portPath_, kSpeed, clock_);
    if (fd > 0) {
        fd_ = fd;
        open_ = true;
    } else if (fd == 0) {
        // Descriptor 0 is not taken as a port; do not leak it.
        SerialPort::close(fd);
    }
    return open_;
}

void PrinterDriver::close() {
    if (!open_)
        return;
    SerialPort::close(fd_);
    fd_ = -1;
    open_ = false;
}

int PrinterDriver::write(ByteView bytes) {
    if (!open_ || bytes.empty())
        return -1;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        if (w == 0)
            return -EIO;
        done += static_cast<std::size_t>(w);
    }
    return static_cast<int>(std::min<std::size_t>(done, 0x7FFFFFFF));
}

std::uint16_t PrinterDriver::sendRaw(ByteView bytes) {
    if (!open_)
        return result::kNotAvailable;
    if (bytes.empty())
        return result::kOk;
    (void)write(bytes);
    return result::kOk;
}

void PrinterDriver::discardInput() {
    for (int i = 0; i < kMaxDiscard && SerialPort::bytesWaiting(fd_) > 0; ++i) {
        if (SerialPort::readByte(fd_) < 0)
            break;
    }
}

std::uint16_t PrinterDriver::statusCheck() {
    if (!open_)
        return result::kNotAvailable;
    int answer = -1;
    for (int attempt = 0; attempt < kStatusAttempts && answer < 0; ++attempt) {
        discardInput();
        (void)write(escpos::kPaperStatusRequest);
        const auto start = clock_.monotonic();
        while (SerialPort::bytesWaiting(fd_) <= 0 && clock_.monotonic() - start < kStatusWait) {
            clock_.sleepFor(kStatusPoll);
        }
        if (SerialPort::bytesWaiting(fd_) > 0) {
            answer = SerialPort::readByte(fd_);
            if (answer >= 0)
                break;
        }
        clock_.sleepFor(kStatusRetryPause);
    }
    if (answer < 0)
        return result::kNotAvailable;
    if ((answer & kPaperEnd) == kPaperEnd)
        return result::kPaperOut;
    return result::kOk;
}

std::uint16_t PrinterDriver::initialise() {
    close();
    // Without a port there is nothing to wait for.
    if (!open())
        return result::kNotAvailable;
    (void)sendRaw(escpos::kClearBuffers);
    (void)sendRaw(escpos::kReset);
    clock_.sleepFor(kInitialiseSettle);
    std::uint16_t status = statusCheck();
    for (int checks = 1; status != result::kOk && checks < kInitialiseChecks; ++checks) {
        clock_.sleepFor(kInitialiseRetryPause);
        status = statusCheck();
    }
    if (status == result::kOk) {
        (void)sendRaw(
            concat({escpos::kSetUp, escpos::kMotionUnits, escpos::kCodePage, escpos::kStatusOff}));
    }
    return status;
}

std::uint16_t PrinterDriver::printText(ByteView text) {
    if (!open_)
        return result::kNotAvailable;
    // The code page is re-asserted on every print: a printer that was switched off and on has
    // lost it.
    (void)sendRaw(concat({escpos::kSetUp, escpos::kMotionUnits, escpos::kCodePage}));
    (void)sendRaw(text);
    const std::uint16_t status = statusCheck();
    if (status != result::kOk)
        (void)initialise();
    return status;
}

std::uint16_t PrinterDriver::feedAndCut() {
    return sendRaw(escpos::kFeedAndCut);
}

std::uint16_t PrinterDriver::printImage(const PrinterImage& image, const LayoutWord& style) {
    // Never read past the bitmap: it must hold every row it claims.
    if (!image.isValid())
        return result::kBadImage;
    if (!open_)
        return result::kOk;
    (void)sendRaw(style.stylePrefix());
    const std::size_t stride = image.rowStride();
    const std::size_t rowBytes = image.printedRowBytes();
    for (std::uint32_t first = 0; first < image.height; first += escpos::kImageBandRows) {
        const std::uint32_t rows = std::min(escpos::kImageBandRows, image.height - first);
        Bytes band = escpos::rasterHeader(static_cast<std::uint16_t>(rowBytes),
                                          static_cast<std::uint16_t>(rows));
        band.reserve(band.size() + rows * rowBytes);
        for (std::uint32_t r = first; r < first + rows; ++r) {
            const auto row = image.bitmap.begin() + static_cast<std::ptrdiff_t>(r * stride);
            band.insert(band.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
        }
        (void)sendRaw(band);
        // The band's check only paces the printer; its result does not fail the image.
        (void)statusCheck();
    }
    const std::uint8_t lf = escpos::kLineFeed;
    (void)sendRaw(ByteView(&lf, 1));
    return result::kOk;
}

std::uint16_t PrinterDriver::printQrCode(std::string_view text, const LayoutWord& style) {
    if (text.empty())
        return result::kOk;
    const auto qr = escpos::qrSequence(text);
    if (!qr)
        return result::kRefused;
    if (!open_)
        return result::kOk;
    (void)sendRaw(concat({style.stylePrefix(), *qr}));
    return result::kOk;
}

std::uint16_t PrinterDriver::printBarcode(std::string_view text, int type,
                                          const LayoutWord& style) {
    if (text.empty())
        return result::kOk;
    const auto code = escpos::barcodeSequence(text, type);
    if (!code)
        return result::kRefused;
    if (!open_)
        return result::kOk;
    (void)sendRaw(concat({style.stylePrefix(), escpos::kHriBelow, *code}));
    return result::kOk;
}

}  // namespace kkt
