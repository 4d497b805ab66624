#include "printer/PrinterDriver.hpp"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "link/SerialPort.hpp"
#include "printer/PrintLayout.hpp"
#include "printer/PrinterCommands.hpp"
#include "support/Fakes.hpp"
#include "support/Pty.hpp"

namespace kkt {
namespace {

using namespace std::chrono_literals;
namespace result = printer_result;

// Real monotonic time, but long pauses cut short: a printer that answers at once is seen at
// once, and the driver's settling pauses do not slow the tests down.
class QuickClock final : public Clock {
  public:
    std::time_t now() override { return std::time(nullptr); }
    Monotonic monotonic() override { return std::chrono::steady_clock::now(); }
    void sleepFor(std::chrono::milliseconds d) override {
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(d, 2ms));
    }
};

Bytes cat(std::initializer_list<ByteView> parts) {
    Bytes out;
    for (auto p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::size_t countOf(const Bytes& hay, ByteView needle) {
    std::size_t n = 0;
    for (auto it = hay.begin();
         (it = std::search(it, hay.end(), needle.begin(), needle.end())) != hay.end(); ++it) {
        ++n;
    }
    return n;
}

// The printer on the master end of a pseudo-terminal: records every byte the driver sends and
// answers each paper status request with the configured byte (or not at all).
class FakePrinter {
  public:
    static constexpr int kSilent = -1;

    explicit FakePrinter(const test::Pty& pty) : pty_(pty), thread_([this] { run(); }) {}
    ~FakePrinter() {
        stop_ = true;
        thread_.join();
    }

    void setAnswer(int answer) { answer_ = answer; }

    // Everything sent so far, after the driver has also written a marker: all bytes before the
    // marker have then arrived.
    Bytes drain(PrinterDriver& driver) {
        static constexpr std::uint8_t kMarker[] = {0xEE, 0xEF, 0xEE, 0xEF};
        EXPECT_EQ(driver.write(kMarker), 4);
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (received_.size() >= 4 &&
                    std::equal(std::end(kMarker) - 4, std::end(kMarker), received_.end() - 4)) {
                    Bytes out(received_.begin(), received_.end() - 4);
                    received_.clear();
                    scanned_ = 0;
                    return out;
                }
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the printer did not receive the marker";
                return {};
            }
            std::this_thread::sleep_for(1ms);
        }
    }

  private:
    void run() {
        while (!stop_) {
            pollfd p{pty_.master(), POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0 || (p.revents & POLLIN) == 0)
                continue;
            std::uint8_t buf[4096];
            const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
            if (n <= 0)
                continue;
            int answers = 0;
            {
                std::lock_guard lock(mutex_);
                received_.insert(received_.end(), buf, buf + n);
                const auto& req = escpos::kPaperStatusRequest;
                while (received_.size() >= scanned_ + 3) {
                    if (std::equal(std::begin(req), std::end(req),
                                   received_.begin() + static_cast<std::ptrdiff_t>(scanned_))) {
                        ++answers;
                        scanned_ += 3;
                    } else {
                        ++scanned_;
                    }
                }
            }
            const int answer = answer_;
            for (int i = 0; i < answers && answer != kSilent; ++i) {
                (void)pty_.send({static_cast<std::uint8_t>(answer)});
            }
        }
    }

    const test::Pty& pty_;
    std::atomic<int> answer_{0};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Bytes received_;
    std::size_t scanned_ = 0;
    std::thread thread_;
};

class PrinterDriverTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(pty_.ok()); }

    test::Pty pty_;
    FakePrinter printer_{pty_};
    LayoutWord style_;
};

class AnsweringPrinterTest : public PrinterDriverTest {
  protected:
    void SetUp() override {
        PrinterDriverTest::SetUp();
        ASSERT_TRUE(driver_.open());
    }
    QuickClock clock_;
    PrinterDriver driver_{pty_.slavePath(), "/nonexistent/PRINTER_SETTINGS", clock_};
};

TEST_F(PrinterDriverTest, SilentPrinterIsNotAvailableAfterFiveAttempts) {
    printer_.setAnswer(FakePrinter::kSilent);
    test::FakeClock clock;
    PrinterDriver driver(pty_.slavePath(), "/nonexistent/PRINTER_SETTINGS", clock);
    ASSERT_TRUE(driver.open());
    (void)printer_.drain(driver);

    const auto before = clock.monotonic();
    EXPECT_EQ(driver.statusCheck(), result::kNotAvailable);
    // Five times: 100 ms waiting for the answer, then a 100 ms pause.
    EXPECT_EQ(clock.monotonic() - before, 1000ms);
    EXPECT_EQ(printer_.drain(driver), cat({escpos::kPaperStatusRequest, escpos::kPaperStatusRequest,
                                           escpos::kPaperStatusRequest, escpos::kPaperStatusRequest,
                                           escpos::kPaperStatusRequest}));

    // A text print checks, then re-initialises: clear, reset and ten more checks.
    EXPECT_EQ(driver.printText(std::string_view("x\n")), result::kNotAvailable);
    EXPECT_TRUE(driver.isOpen()) << "initialise reopens the port";
    const Bytes sent = printer_.drain(driver);
    EXPECT_EQ(countOf(sent, escpos::kPaperStatusRequest), 5u + 10u * 5u);
    const Bytes head = cat({escpos::kSetUp, escpos::kMotionUnits, escpos::kCodePage, toBytes("x\n"),
                            escpos::kPaperStatusRequest});
    ASSERT_GE(sent.size(), head.size());
    EXPECT_TRUE(std::equal(head.begin(), head.end(), sent.begin()));
    EXPECT_EQ(countOf(sent, cat({escpos::kClearBuffers, escpos::kReset})), 1u);
    EXPECT_EQ(countOf(sent, escpos::kStatusOff), 0u) << "no set-up after a failed initialise";
}

TEST_F(AnsweringPrinterTest, StatusByte) {
    const struct {
        int answer;
        std::uint16_t status;
    } cases[] = {{0x00, result::kOk},       {0x04, result::kOk},       {0x08, result::kOk},
                 {0x0C, result::kPaperOut}, {0x1E, result::kPaperOut}, {0xFF, result::kPaperOut}};
    for (const auto& c : cases) {
        printer_.setAnswer(c.answer);
        EXPECT_EQ(driver_.statusCheck(), c.status) << "answer " << c.answer;
        EXPECT_EQ(printer_.drain(driver_), cat({escpos::kPaperStatusRequest}));
    }
}

TEST_F(AnsweringPrinterTest, LateByteOfAnEarlierRequestIsNotTakenAsTheAnswer) {
    printer_.setAnswer(0x00);
    // A paper-end byte that arrived after an earlier check had given up.
    ASSERT_TRUE(pty_.send({0x0C}));
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    const int probe = ::open(pty_.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(probe, 0);
    while (SerialPort::bytesWaiting(probe) < 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(SerialPort::bytesWaiting(probe), 1);
    EXPECT_EQ(driver_.statusCheck(), result::kOk);
    ::close(probe);
}

TEST_F(AnsweringPrinterTest, InitialiseAndPrintText) {
    printer_.setAnswer(0x00);
    EXPECT_EQ(driver_.initialise(), result::kOk);
    EXPECT_EQ(printer_.drain(driver_),
              cat({escpos::kClearBuffers, escpos::kReset, escpos::kPaperStatusRequest,
                   escpos::kSetUp, escpos::kMotionUnits, escpos::kCodePage, escpos::kStatusOff}));

    EXPECT_EQ(driver_.printText(std::string_view("abc\n")), result::kOk);
    EXPECT_EQ(printer_.drain(driver_), cat({escpos::kSetUp, escpos::kMotionUnits, escpos::kCodePage,
                                            toBytes("abc\n"), escpos::kPaperStatusRequest}));

    EXPECT_EQ(driver_.feedAndCut(), result::kOk);
    static constexpr std::uint8_t kRaw[] = {0x1B, 0x40, 0x00, 0x41};
    EXPECT_EQ(driver_.sendRaw(kRaw), result::kOk);
    EXPECT_EQ(driver_.sendRaw(ByteView{}), result::kOk);
    EXPECT_EQ(printer_.drain(driver_), cat({escpos::kFeedAndCut, kRaw}));

    // Paper out: ten checks, no set-up; a text print reports it and re-initialises.
    printer_.setAnswer(0x0C);
    EXPECT_EQ(driver_.initialise(), result::kPaperOut);
    Bytes sent = printer_.drain(driver_);
    EXPECT_EQ(countOf(sent, escpos::kPaperStatusRequest), 10u);
    EXPECT_EQ(countOf(sent, escpos::kStatusOff), 0u);
    EXPECT_EQ(driver_.printText(std::string_view("abc\n")), result::kPaperOut);
    sent = printer_.drain(driver_);
    EXPECT_EQ(countOf(sent, escpos::kPaperStatusRequest), 11u);
    EXPECT_EQ(countOf(sent, escpos::kClearBuffers), 1u);
}

TEST_F(AnsweringPrinterTest, BarcodeSequences) {
    const Bytes prefix = style_.stylePrefix();
    const struct {
        int type;
        std::string text;
        Bytes code;
    } cases[] = {
        {4,
         "12,5",
         {0x1D, 0x68, 0x60, 0x1D, 0x77, 0x03, 0x1D, 0x6B, 0x49, 0x06, 0x7B, 0x41, 0x31, 0x32, 0x2E,
          0x35}},
        {1, "A1,2B", {0x1D, 0x77, 0x02, 0x1D, 0x6B, 0x06, 'A', '1', '.', '2', 'B', 0x00}},
        {2, "AB,C", {0x1D, 0x77, 0x01, 0x1D, 0x6B, 0x04, 'A', 'B', '.', 'C', 0x00}},
        {3, "1234", {0x1D, 0x77, 0x02, 0x1D, 0x6B, 0x07, '1', '2', '3', '4', 0x00}},
        {10, "a,b",
         cat({escpos::kPdf417RowHeight3, Bytes{0x1D, 0x28, 0x6B, 0x06, 0x00, 0x30, 0x50, 0x30},
              toBytes("a,b"), escpos::kPdf417Print})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(driver_.printBarcode(c.text, c.type, style_), result::kOk) << c.type;
        EXPECT_EQ(printer_.drain(driver_), cat({prefix, escpos::kHriBelow, c.code})) << c.type;
    }

    // CODE128 carries text length + 2 in one byte: 253 characters are the most.
    ASSERT_EQ(driver_.printBarcode(std::string(253, '7'), 4, style_), result::kOk);
    const Bytes sent = printer_.drain(driver_);
    ASSERT_GT(sent.size(), prefix.size() + 12);
    EXPECT_EQ(sent[prefix.size() + 3 + 9], 0xFF);
    EXPECT_EQ(sent.size(), prefix.size() + 3 + 12 + 253);

    const struct {
        int type;
        std::string text;
    } refused[] = {
        {4, std::string(254, '7')},
        {1, std::string("12\0"
                        "34",
                        5)},
        {2, std::string("\0", 1)},
        {3, std::string("12\0", 3)},
        {0, "12"},
        {5, "12"},
        {11, "12"},
        {10, std::string(65533, 'p')},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(driver_.printBarcode(r.text, r.type, style_), result::kRefused) << r.type;
    }
    EXPECT_EQ(driver_.printBarcode("", 77, style_), result::kOk) << "empty text: nothing to do";
    // A NUL is fine where the length is sent instead of a terminator.
    EXPECT_EQ(driver_.printBarcode(std::string("1\0"
                                               "2",
                                               3),
                                   4, style_),
              result::kOk);
    const Bytes last = printer_.drain(driver_);
    EXPECT_EQ(last.size(), prefix.size() + 3 + 12 + 3) << "only the accepted barcode was sent";
}

TEST_F(AnsweringPrinterTest, QrCodeUpTo7000Bytes) {
    const Bytes prefix = style_.stylePrefix();
    const std::string text(7000, 'q');
    EXPECT_EQ(driver_.printQrCode(text, style_), result::kOk);
    EXPECT_EQ(printer_.drain(driver_),
              cat({prefix, escpos::kQrModel2, escpos::kQrModuleSize4, escpos::kQrErrorLevelH,
                   Bytes{0x1D, 0x28, 0x6B, 0x5B, 0x1B, 0x31, 0x50, 0x30}, toBytes(text),
                   escpos::kQrPrint}));
    EXPECT_EQ(driver_.printQrCode(std::string(7001, 'q'), style_), result::kRefused);
    EXPECT_EQ(driver_.printQrCode("", style_), result::kOk);
    EXPECT_TRUE(printer_.drain(driver_).empty());
}

TEST_F(AnsweringPrinterTest, ImageRowsAndBands) {
    printer_.setAnswer(0x00);
    const Bytes prefix = style_.stylePrefix();
    // 48 dots: 8-byte rows in the bitmap, 6 bytes of each sent.
    PrinterImage image{48, 3, {}};
    for (std::uint8_t i = 0; i < 24; ++i)
        image.bitmap.push_back(i);
    EXPECT_EQ(driver_.printImage(image, style_), result::kOk);
    EXPECT_EQ(printer_.drain(driver_),
              cat({prefix, Bytes{0x1D, 0x76, 0x30, 0x30, 6, 0, 3, 0}, Bytes{0, 1, 2, 3, 4, 5},
                   Bytes{8, 9, 10, 11, 12, 13}, Bytes{16, 17, 18, 19, 20, 21},
                   escpos::kPaperStatusRequest, Bytes{0x0A}}));

    // 1030 rows go as a band of 1024 and one of 6, each followed by a status check.
    PrinterImage tall{9, 1030, Bytes(1030 * 4, 0)};
    for (std::size_t r = 0; r < tall.height; ++r)
        tall.bitmap[r * 4] = static_cast<std::uint8_t>(r);
    EXPECT_EQ(driver_.printImage(tall, style_), result::kOk);
    Bytes expected = cat({prefix, Bytes{0x1D, 0x76, 0x30, 0x30, 2, 0, 0x00, 0x04}});
    for (std::size_t r = 0; r < 1024; ++r) {
        expected.insert(expected.end(), {static_cast<std::uint8_t>(r), 0});
    }
    expected =
        cat({expected, escpos::kPaperStatusRequest, Bytes{0x1D, 0x76, 0x30, 0x30, 2, 0, 6, 0}});
    for (std::size_t r = 1024; r < 1030; ++r) {
        expected.insert(expected.end(), {static_cast<std::uint8_t>(r), 0});
    }
    expected = cat({expected, escpos::kPaperStatusRequest, Bytes{0x0A}});
    EXPECT_EQ(printer_.drain(driver_), expected);

    // Never read past the bitmap.
    const PrinterImage bad[] = {{48, 3, Bytes(23, 0)},
                                {0, 3, Bytes(24, 0)},
                                {48, 0, Bytes(24, 0)},
                                {33, 2, Bytes(15, 0)},
                                {0, 0, {}}};
    for (const auto& b : bad) {
        EXPECT_EQ(driver_.printImage(b, style_), result::kBadImage) << b.width << "x" << b.height;
    }
    EXPECT_EQ(driver_.printImage({33, 2, Bytes(16, 0)}, style_), result::kOk);
    const Bytes sent = printer_.drain(driver_);
    EXPECT_EQ(sent.size(), prefix.size() + 8 + 2 * 5 + 3 + 1) << "only the whole bitmap was sent";
}

TEST_F(AnsweringPrinterTest, PrintElementsStopsAtTheFirstFailedPrint) {
    const std::vector<PrintElement> elements = {PrintElement::text("one", style_),
                                                PrintElement::text("two", style_)};
    const Bytes setUp = cat({escpos::kSetUp, escpos::kMotionUnits, escpos::kCodePage});
    printer_.setAnswer(0x00);
    EXPECT_EQ(layout::printElements(driver_, elements), result::kOk);
    EXPECT_EQ(printer_.drain(driver_),
              cat({setUp, layout::render(elements[0]), escpos::kPaperStatusRequest, setUp,
                   layout::render(elements[1]), escpos::kPaperStatusRequest}));

    printer_.setAnswer(0x0C);
    EXPECT_EQ(layout::printElements(driver_, elements), result::kPaperOut);
    const Bytes sent = printer_.drain(driver_);
    EXPECT_EQ(countOf(sent, layout::render(elements[0])), 1u);
    EXPECT_EQ(countOf(sent, layout::render(elements[1])), 0u) << "stopped after the failure";
}

TEST_F(PrinterDriverTest, ClosedPort) {
    test::FakeClock clock;
    PrinterDriver driver("/nonexistent/ttyS0", "/nonexistent/PRINTER_SETTINGS", clock);
    EXPECT_FALSE(driver.open());
    EXPECT_FALSE(driver.isOpen());
    static constexpr std::uint8_t kByte[] = {0x41};
    EXPECT_EQ(driver.write(kByte), -1);
    EXPECT_EQ(driver.sendRaw(kByte), result::kNotAvailable);
    EXPECT_EQ(driver.statusCheck(), result::kNotAvailable);
    EXPECT_EQ(driver.printText(std::string_view("x")), result::kNotAvailable);
    EXPECT_EQ(driver.feedAndCut(), result::kNotAvailable);
    EXPECT_EQ(driver.initialise(), result::kNotAvailable);
    EXPECT_EQ(driver.printImage({8, 1, Bytes(4, 0xFF)}, style_), result::kOk);
    EXPECT_EQ(driver.printQrCode("x", style_), result::kOk);
    EXPECT_EQ(driver.printQrCode(std::string(7001, 'q'), style_), result::kRefused);
    EXPECT_EQ(driver.printBarcode("12", 4, style_), result::kOk);
    EXPECT_EQ(driver.printBarcode("12", 5, style_), result::kRefused);
}

}  // namespace
}  // namespace kkt
