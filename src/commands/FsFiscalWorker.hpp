#pragma once
// The worker of the fiscal command codes that deal with the FS itself: the cash record (418),
// cash-in (419) and cash-out (420) with their printouts, and the transparent pass-through to the
// FS of every fiscal code below 256 that no worker handles.

#include <cstdint>
#include <string>
#include <vector>

#include "commands/BaseWorker.hpp"

namespace kkt {

class FsFiscalWorker : public BaseWorker {
  public:
    static constexpr std::uint16_t kCashStatus = 418;
    static constexpr std::uint16_t kCashIn = 419;
    static constexpr std::uint16_t kCashOut = 420;

    explicit FsFiscalWorker(const WorkerContext& context) : BaseWorker(context) {}
    ~FsFiscalWorker() override;

    [[nodiscard]] virtual CoreApiResult execute(const CoreTransaction& t);

    // The heading of every FS printout: user name, settlement address, settlement place (when
    // there is one), factory number, registration number, FS number and INN; empty without
    // registration data or cached FS status.
    [[nodiscard]] std::vector<std::string> headerLines() const;

  protected:
    // The code's low byte as FS command with the host data, answer time 10 s; the answer data
    // goes back whatever the result. Codes of 256 and above are never sent.
    [[nodiscard]] CoreApiResult passThrough(const CoreTransaction& t);
    [[nodiscard]] CoreApiResult cashStatus();
    [[nodiscard]] CoreApiResult cashMove(const CoreTransaction& t);
};

}  // namespace kkt
