#pragma once
// The base of every command worker: it borrows the printer and FS drivers and the shared records
// (WorkerContext) and offers the operations that the command handlers share: the printer ready
// check, the FS status reads that also refresh the cached FsFullStatus, the clock plausibility
// check and clock setting, and the restoring of the cash record.

#include <cstdint>
#include <ctime>
#include <memory>

#include "commands/WorkerContext.hpp"
#include "fs/FsExchangeStatus.hpp"
#include "fs/FsLabelsTransportStatus.hpp"
#include "fs/FsLifetime.hpp"
#include "fs/FsMemoryResource.hpp"
#include "fs/FsShiftState.hpp"
#include "fs/FsStatus.hpp"
#include "queue/CoreApiResult.hpp"
#include "queue/CoreTransaction.hpp"

namespace kkt {

struct FsFullStatus;

class BaseWorker {
  public:
    explicit BaseWorker(const WorkerContext& context);
    virtual ~BaseWorker();
    BaseWorker(const BaseWorker&) = delete;
    BaseWorker& operator=(const BaseWorker&) = delete;

    // 976 without a printer or with its port closed, else the printer's status check; true when
    // the status is 0.
    [[nodiscard]] bool printerReady(std::uint16_t& status);

    // Each read: 1534 without an FS driver or with its port closed; else the FS operation's
    // result. On success the record goes to `out` when given and into the cached FsFullStatus
    // when the shared store holds one.
    [[nodiscard]] std::uint16_t readFsStatus(FsStatus* out = nullptr);
    // With a non-zero registrations count also the lifetime counter for the current time.
    [[nodiscard]] std::uint16_t readFsLifetime(FsLifetime* out = nullptr);
    [[nodiscard]] std::uint16_t readMemoryResource(FsMemoryResource* out = nullptr);
    [[nodiscard]] std::uint16_t readShiftState(FsShiftState* out = nullptr);
    [[nodiscard]] std::uint16_t readExchangeStatus(FsExchangeStatus* out = nullptr);
    [[nodiscard]] std::uint16_t readLabelsTransportStatus(FsLabelsTransportStatus* out = nullptr);

    // Not before the build time, nor, in fiscal mode or later, before the FS's last document
    // (from the cached status, else asked of the FS).
    [[nodiscard]] bool clockPlausible(std::time_t t);
    // Sets the system clock through the shell ("date -s '...' && hwclock -w"), only when t is
    // plausible itself.
    void setClock(std::time_t t);

    // Reads the cash record from the EEPROM, recomputes the cash in the drawer from the FS cash
    // counters (whole FS, plus the current shift when one is open) and the all-time cash-in and
    // cash-out sums, never below 0, and publishes it. 0, an FS result, 1534 or 281.
    [[nodiscard]] std::uint16_t restoreCashStatus();

  protected:
    [[nodiscard]] bool fsReady() const;
    // Copies the cached FsFullStatus (when there is one), lets `update` change the copy and
    // publishes it.
    template <typename Update>
    void storeInCachedStatus(Update update);

    WorkerContext context_;
    PrinterDriver* printer_;
    FsDriver* fs_;
};

}  // namespace kkt
