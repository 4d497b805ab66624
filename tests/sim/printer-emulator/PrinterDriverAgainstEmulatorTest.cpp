// The register's printer driver and print layout against the emulated printer on a
// pseudo-terminal: status answers, the attempts of a printer that never answers, and a printed
// receipt read back as text and with a barcode scanner.

#include <gtest/gtest.h>

#include <mutex>

#include "PrinterTestSupport.hpp"
#include "primitives/Cp866.hpp"
#include "printer/PrintElement.hpp"
#include "printer/PrintLayout.hpp"
#include "printer/PrinterDriver.hpp"
#include "printer/PrinterResult.hpp"
#include "support/Fakes.hpp"

namespace kkt::sim {
namespace {

using namespace kkt::literals;
using namespace std::chrono_literals;
using test::readFile;
using test::waitFor;

// The driver's short polls (10 ms) take real time but count a fifth of it, so the emulator has
// half a second of real time for the driver's 100 ms answer window even on a loaded machine;
// the driver's longer pauses (retries, settling) pass at once.
class PollingClock final : public Clock {
  public:
    std::time_t now() override { return 1733400000; }
    Monotonic monotonic() override {
        std::lock_guard lock(mutex_);
        return Monotonic{} + elapsed_;
    }
    void sleepFor(std::chrono::milliseconds d) override {
        const bool poll = d <= 10ms;
        if (poll)
            std::this_thread::sleep_for(d);
        std::lock_guard lock(mutex_);
        elapsed_ += poll ? std::max<std::chrono::milliseconds>(d / 5, 1ms) : d;
    }

  private:
    std::mutex mutex_;
    std::chrono::milliseconds elapsed_{0};
};

const std::string kStatusRequest = "\x1D\x72\x01";
const std::string kClearBuffers = "\x10\x14\x08\x01\x03\x14\x01\x06\x02\x08";
const std::string kStatusOff = std::string("\x1D\x61\x00", 3);

class PrinterDriverAgainstEmulatorTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(printer_.ok()) << printer_.error(); }

    // Status requests the printer has received so far.
    std::size_t requests() const {
        return test::count(readFile(printer_.out("raw.bin")), kStatusRequest);
    }

    test::ServedPrinter printer_;
    kkt::test::TempDir settings_;
};

TEST_F(PrinterDriverAgainstEmulatorTest, APrinterThatNeverAnswersGives976AfterEveryAttempt) {
    printer_.conditions().setSilent(true);
    kkt::test::FakeClock clock;  // nothing will answer: no need to wait for real
    PrinterDriver driver(printer_.link(), settings_.file("PRINTER_SETTINGS"), clock);
    ASSERT_TRUE(driver.open());
    EXPECT_EQ(driver.printText("ЧЕК\n"_cp866), printer_result::kNotAvailable);
    // Five attempts of the print's own check, then the re-initialisation's ten checks of five.
    ASSERT_TRUE(waitFor([&] { return requests() >= 55; })) << requests();
    const std::string raw = readFile(printer_.out("raw.bin"));
    EXPECT_EQ(requests(), 55u);
    EXPECT_EQ(test::count(raw, kClearBuffers), 1u);
    EXPECT_EQ(test::count(raw, kStatusOff), 0u) << "a printer that is not ready is not set up";
    EXPECT_EQ(test::count(readFile(printer_.trace()), " out "), 0u);
}

TEST_F(PrinterDriverAgainstEmulatorTest, TheStatusByteDecidesThePrintResult) {
    struct Case {
        const char* name;
        std::uint8_t status;
        std::uint16_t result;
        std::size_t requests;  // a failed print re-initialises: ten more checks
    };
    const Case cases[] = {
        {"paper out", 0x0C, printer_result::kPaperOut, 11},
        {"paper out and low", 0x0F, printer_result::kPaperOut, 11},
        {"one paper-end bit only", 0x04, printer_result::kOk, 1},
        {"paper low", 0x03, printer_result::kOk, 1},
        {"ready", 0x00, printer_result::kOk, 1},
    };
    PollingClock clock;
    PrinterDriver driver(printer_.link(), settings_.file("PRINTER_SETTINGS"), clock);
    ASSERT_TRUE(driver.open());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        printer_.conditions().setStatusOverride(c.status);
        const std::size_t before = requests();
        EXPECT_EQ(driver.printText("ТЕКСТ\n"_cp866), c.result);
        EXPECT_EQ(requests() - before, c.requests);
        EXPECT_TRUE(driver.isOpen());
    }
    printer_.conditions().setStatusOverride(std::nullopt);
    printer_.conditions().setPaperOut(true);
    EXPECT_EQ(driver.printText("ТЕКСТ\n"_cp866), printer_result::kPaperOut);
    printer_.conditions().setPaperOut(false);
    EXPECT_EQ(driver.printText("ТЕКСТ\n"_cp866), printer_result::kOk);
}

TEST_F(PrinterDriverAgainstEmulatorTest, APrintedReceiptReadsBackAsTextAndCodes) {
    const std::string qr = "t=20261211T1530&s=1250.00&fn=9999078900012345&i=42&fp=0123456789&n=1";
    PollingClock clock;
    PrinterDriver driver(printer_.link(), settings_.file("PRINTER_SETTINGS"), clock);
    ASSERT_TRUE(driver.open());
    ASSERT_EQ(driver.initialise(), printer_result::kOk);

    LayoutWord title;
    title.setSize(2);
    title.setTopByte(LayoutWord::kTopCentred);
    std::vector<PrintElement> elements;
    elements.push_back(PrintElement::text("КАССОВЫЙ ЧЕК"_cp866, title));
    PrintElement body = PrintElement::text("ИТОГ\t=1250.00"_cp866);
    body.addText("Кассир\tИванов И.И.\nСПАСИБО ЗА ПОКУПКУ!"_cp866);
    elements.push_back(body);
    elements.push_back(PrintElement::qrCode(qr));
    PrintElement barcode;
    barcode.makeBarcode("4607001234,56", 4);
    elements.push_back(barcode);
    PrintElement pdf;
    pdf.makeBarcode("FN 9999078900012345", 10);
    elements.push_back(pdf);
    ASSERT_EQ(layout::printElements(driver, elements), printer_result::kOk);
    ASSERT_EQ(driver.feedAndCut(), printer_result::kOk);

    const std::string png = printer_.out("receipt-0001.png");
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(png); }));
    EXPECT_EQ(readFile(printer_.out("paper.txt")),
              std::string(11, ' ') + "КАССОВЫЙ ЧЕК\n" +                //
                  "ИТОГ" + std::string(32, ' ') + "=1250.00\n" +       //
                  "Кассир" + std::string(27, ' ') + "Иванов И.И.\n" +  //
                  "СПАСИБО ЗА ПОКУПКУ!\n"
                  "[qr] " +
                  qr + "\n" +
                  "[barcode CODE128] 4607001234.56\n"
                  "[pdf417] FN 9999078900012345\n"
                  "\n"
                  "[cut]\n");
    EXPECT_EQ(readFile(printer_.out("warnings.txt")), "");

    const std::string decoded = test::zbar(png);
    EXPECT_NE(decoded.find("QR-Code:" + qr + "\n"), std::string::npos) << decoded;
    EXPECT_NE(decoded.find("CODE-128:4607001234.56\n"), std::string::npos) << decoded;
    // zbar reads no PDF417; ZXing's reader does, where it is installed.
    if (!test::run("command -v ZXingReader").empty()) {
        const std::string zxing = test::run("ZXingReader -format PDF417 '" + png + "'");
        EXPECT_NE(zxing.find("\"FN 9999078900012345\""), std::string::npos) << zxing;
    }
}

}  // namespace
}  // namespace kkt::sim
