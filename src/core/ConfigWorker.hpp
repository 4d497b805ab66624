#pragma once
// The service commands that configure the register: cashier records (257, 258), the time (259,
// 260), the register settings (320, 321) and the printer settings (449, 450). Made for one
// transaction.

#include <cstdint>

#include "commands/BaseWorker.hpp"

namespace kkt {

class ConfigWorker : public BaseWorker {
  public:
    static constexpr std::uint16_t kReadCashier = 257;
    static constexpr std::uint16_t kWriteCashier = 258;
    static constexpr std::uint16_t kReadTime = 259;
    static constexpr std::uint16_t kSetTime = 260;
    static constexpr std::uint16_t kReadSetting = 320;
    static constexpr std::uint16_t kWriteSetting = 321;
    static constexpr std::uint16_t kReadPrinterSetting = 449;
    static constexpr std::uint16_t kWritePrinterSetting = 450;

    explicit ConfigWorker(const WorkerContext& context) : BaseWorker(context) {}
    ~ConfigWorker() override;

    [[nodiscard]] static bool handles(std::uint16_t code);
    // 266 for a code that is not one of the above.
    [[nodiscard]] CoreApiResult execute(const CoreTransaction& t);

  private:
    CoreApiResult readCashier(const CoreTransaction& t);
    CoreApiResult writeCashier(const CoreTransaction& t);
    CoreApiResult readTime();
    CoreApiResult setTime(const CoreTransaction& t);
    CoreApiResult readSetting(const CoreTransaction& t);
    CoreApiResult writeSetting(const CoreTransaction& t);
    CoreApiResult readPrinterSetting(const CoreTransaction& t);
    CoreApiResult writePrinterSetting(const CoreTransaction& t);
};

}  // namespace kkt
