#include "commands/BaseWorker.hpp"

#include <algorithm>
#include <limits>

#include "commands/BuildTime.hpp"
#include "fs/FsCountersBinary.hpp"
#include "fs/FsDriver.hpp"
#include "fs/FsFullStatus.hpp"
#include "fs/FsResult.hpp"
#include "primitives/Utils.hpp"
#include "printer/PrinterDriver.hpp"
#include "printer/PrinterResult.hpp"
#include "registration/CashStatusData.hpp"
#include "registration/CoreState.hpp"
#include "registration/EepromStore.hpp"
#include "registration/ResultCodes.hpp"

namespace kkt {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t r = 0;
    if (__builtin_add_overflow(a, b, &r))
        return b > 0 ? kMax : kMin;
    return r;
}

// A stored all-time sum (u64 in the record) as a signed amount; sums beyond the signed range
// count as the largest amount.
std::int64_t amount(std::uint64_t sum) {
    return sum > static_cast<std::uint64_t>(kMax) ? kMax : static_cast<std::int64_t>(sum);
}

}  // namespace

BaseWorker::BaseWorker(const WorkerContext& context)
    : context_(context), printer_(context.printer), fs_(context.fs) {
    // A context without seams gets the board's own.
    if (context_.clock == nullptr)
        context_.clock = &realClock();
    if (context_.shell == nullptr)
        context_.shell = &realShell();
}

BaseWorker::~BaseWorker() = default;

bool BaseWorker::printerReady(std::uint16_t& status) {
    if (printer_ == nullptr || !printer_->isOpen()) {
        status = printer_result::kNotAvailable;
        return false;
    }
    status = printer_->statusCheck();
    return status == printer_result::kOk;
}

bool BaseWorker::fsReady() const {
    return fs_ != nullptr && fs_->isOpen();
}

template <typename Update>
void BaseWorker::storeInCachedStatus(Update update) {
    if (context_.state == nullptr)
        return;
    const auto cached = context_.state->fsStatus();
    if (!cached)
        return;
    auto copy = std::make_shared<FsFullStatus>(*cached);
    update(*copy);
    context_.state->setFsStatus(std::move(copy));
}

std::uint16_t BaseWorker::readFsStatus(FsStatus* out) {
    if (!fsReady())
        return fsresult::kNoAnswer;
    FsStatus status;
    const auto result = fs_->readStatus(status);
    if (result != fsresult::kOk)
        return result;
    if (out != nullptr)
        *out = status;
    storeInCachedStatus([&](FsFullStatus& f) { f.status = status; });
    return result;
}

std::uint16_t BaseWorker::readFsLifetime(FsLifetime* out) {
    if (!fsReady())
        return fsresult::kNoAnswer;
    FsLifetime lifetime;
    const auto result = fs_->readLifetime(lifetime);
    if (result != fsresult::kOk)
        return result;
    if (lifetime.registrationsDone != 0) {
        std::int32_t counter = -1;
        if (fs_->readLifetimeCounter(context_.clock->now(), counter) == fsresult::kOk) {
            lifetime.lifetimeCounter = counter;
        }
    }
    if (out != nullptr)
        *out = lifetime;
    storeInCachedStatus([&](FsFullStatus& f) { f.lifetime = lifetime; });
    return result;
}

std::uint16_t BaseWorker::readMemoryResource(FsMemoryResource* out) {
    if (!fsReady())
        return fsresult::kNoAnswer;
    FsMemoryResource resource;
    const auto result = fs_->readMemoryResource(resource);
    if (result != fsresult::kOk)
        return result;
    if (out != nullptr)
        *out = resource;
    storeInCachedStatus([&](FsFullStatus& f) { f.memoryResource = resource; });
    return result;
}

std::uint16_t BaseWorker::readShiftState(FsShiftState* out) {
    if (!fsReady())
        return fsresult::kNoAnswer;
    FsShiftState shift;
    const auto result = fs_->readShiftState(shift);
    if (result != fsresult::kOk)
        return result;
    if (out != nullptr)
        *out = shift;
    storeInCachedStatus([&](FsFullStatus& f) { f.shiftState = shift; });
    return result;
}

std::uint16_t BaseWorker::readExchangeStatus(FsExchangeStatus* out) {
    if (!fsReady())
        return fsresult::kNoAnswer;
    FsExchangeStatus exchange;
    const auto result = fs_->readExchangeStatus(exchange);
    if (result != fsresult::kOk)
        return result;
    if (out != nullptr)
        *out = exchange;
    storeInCachedStatus([&](FsFullStatus& f) { f.exchangeStatus = exchange; });
    return result;
}

std::uint16_t BaseWorker::readLabelsTransportStatus(FsLabelsTransportStatus* out) {
    if (!fsReady())
        return fsresult::kNoAnswer;
    FsLabelsTransportStatus labels;
    const auto result = fs_->readLabelsTransportStatus(labels);
    if (result != fsresult::kOk)
        return result;
    if (out != nullptr)
        *out = labels;
    storeInCachedStatus([&](FsFullStatus& f) { f.labelsTransport = labels; });
    return result;
}

bool BaseWorker::clockPlausible(std::time_t t) {
    std::time_t reference = buildTime();
    std::optional<FsStatus> status;
    if (context_.state != nullptr) {
        if (const auto cached = context_.state->fsStatus(); cached && cached->status) {
            status = cached->status;
        }
    }
    if (!status) {
        FsStatus asked;
        if (readFsStatus(&asked) == fsresult::kOk)
            status = asked;
    }
    if (status && status->fiscalModeReached()) {
        reference = std::max(reference, status->lastDocumentTime);
    }
    return t >= reference;
}

void BaseWorker::setClock(std::time_t t) {
    if (!clockPlausible(t))
        return;
    const std::string text = util::formatTime(t, "'%Y-%m-%d %H:%M:%S'");
    context_.shell->run("date -s " + text + " && hwclock -w");
    (void)clockPlausible(context_.clock->now());
}

std::uint16_t BaseWorker::restoreCashStatus() {
    if (!fsReady())
        return fsresult::kNoAnswer;
    CashStatusData record;
    if (context_.eeprom == nullptr || !context_.eeprom->readCash(record))
        return rc::kEepromFailed;

    FsCountersBinary whole;
    whole.selector = FsCountersBinary::kWholeFs;
    if (const auto r = fs_->readCounters(FsCountersBinary::kWholeFs, whole); r != fsresult::kOk) {
        return r;
    }
    FsStatus status;
    if (const auto r = readFsStatus(&status); r != fsresult::kOk)
        return r;

    std::int64_t cash = whole.cashBalance();
    if (status.shiftOpen) {
        FsCountersBinary shift;
        if (const auto r = fs_->readCounters(FsCountersBinary::kShift, shift); r != fsresult::kOk) {
            return r;
        }
        cash = saturatingAdd(cash, shift.cashBalance());
    }
    cash = saturatingAdd(cash, amount(record.totalCashInSum()));
    cash = saturatingAdd(cash, -amount(record.totalCashOutSum()));
    record.setCash(std::max<std::int64_t>(cash, 0));

    if (context_.state != nullptr) {
        context_.state->setCashStatus(std::make_shared<CashStatusData>(record));
    }
    return rc::kOk;
}

}  // namespace kkt
