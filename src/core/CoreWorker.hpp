#pragma once
// The core worker of the main thread. It owns the printer and FS drivers, the cashier table, the
// register settings, the EEPROM store and its queue object; it brings the shared records into a
// known state at start-up (initialise), then takes one transaction at a time from the queue,
// dispatches it by command code and puts the result back, pausing 20 ms after every turn.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "commands/BaseWorker.hpp"
#include "platform/Clock.hpp"
#include "platform/Paths.hpp"
#include "platform/Random.hpp"
#include "platform/Shell.hpp"
#include "queue/CoreQueue.hpp"
#include "registration/CashierTable.hpp"
#include "registration/CoreState.hpp"
#include "registration/EepromStore.hpp"
#include "registration/FrSettings.hpp"

namespace kkt {

class FsDriver;
class PrinterDriver;

// Where the core's devices and files are; the board's fixed paths by default.
struct CorePaths {
    std::string fsPort = paths::kFsPort;
    std::string printerPort = paths::kPrinterPort;
    std::string printerSettings = paths::kPrinterSettings;
    std::string frSettings = paths::kFrSettings;
    std::string cashiers = paths::kCashiers;
    std::string eeprom = paths::kEeprom;
};

class CoreWorker final : public BaseWorker {
  public:
    static constexpr auto kPause = std::chrono::milliseconds(20);

    // Service codes the core worker executes itself.
    static constexpr std::uint16_t kWriteFactoryRecord = 319;
    static constexpr std::uint16_t kPrinterStatus = 448;
    static constexpr std::uint16_t kPrintText = 451;
    static constexpr std::uint16_t kPrintRaw = 452;
    static constexpr std::uint16_t kFeedAndCut = 453;
    static constexpr std::uint16_t kPrintImage = 454;
    static constexpr std::uint16_t kPrintBarcode = 455;
    static constexpr std::uint16_t kPrintQrCode = 456;

    using Paths = CorePaths;

    // Opens nothing. The register settings become the rounding-mode source of Decimal.
    explicit CoreWorker(Paths paths = {}, CoreState& state = coreState(),
                        Clock& clock = realClock(), Shell& shell = realShell(),
                        Random& random = realRandom(), std::uint32_t fsTimeoutCapMs = 0);
    ~CoreWorker() override;

    // Start-up: cashier file, EEPROM records, full FS status, clock check, registration data from
    // the FS, cash record, start-up report. No step stops the sequence.
    void initialise();

    // One turn of the main loop: pop, dispatch, put the result, pause. True when a transaction
    // was executed.
    bool step();
    // The main loop; never returns.
    [[noreturn]] void run();

    [[nodiscard]] CoreApiResult dispatch(const CoreTransaction& t);

    // Fiscal codes: below 256, or one of 256, 261, 262, 418, 419, 420, 439.
    [[nodiscard]] static bool isFiscal(std::uint16_t code);

    PrinterDriver& printer() { return *printerDriver_; }
    FsDriver& fs() { return *fsDriver_; }
    CashierTable& cashiers() { return cashiers_; }
    FrSettings& settings() { return settings_; }
    EepromStore& eeprom() { return eeprom_; }
    CoreQueue& queue() { return queue_; }

  private:
    void checkClockAtStart();
    void readRegistrationAtStart();
    void printStartupReport();

    CoreApiResult refuse(const CoreTransaction& t);
    CoreApiResult writeFactoryRecord(const CoreTransaction& t);
    CoreApiResult printerStatus();
    CoreApiResult printText(const CoreTransaction& t);
    CoreApiResult printRaw(const CoreTransaction& t);
    CoreApiResult feedAndCut();
    CoreApiResult printCode(const CoreTransaction& t);

    CoreState& state_;
    Clock& clock_;
    std::unique_ptr<PrinterDriver> printerDriver_;
    std::unique_ptr<FsDriver> fsDriver_;
    CashierTable cashiers_;
    FrSettings settings_;
    EepromStore eeprom_;
    CoreQueue queue_;
};

}  // namespace kkt
