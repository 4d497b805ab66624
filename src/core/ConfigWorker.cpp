#include "core/ConfigWorker.hpp"

#include "printer/PrinterDriver.hpp"
#include "printer/PrinterResult.hpp"
#include "printer/PrinterSettings.hpp"
#include "registration/CashierTable.hpp"
#include "registration/FrSettings.hpp"
#include "registration/ResultCodes.hpp"

namespace kkt {

namespace {

constexpr std::uint8_t kOwnMode = 1;
constexpr std::size_t kTimeSize = 4;

// Mode 1 is the cashier's own access, every other mode needs the wider right.
std::uint32_t rightForMode(std::uint8_t mode) {
    return mode == kOwnMode ? Cashier::kRightCashiersOwn : Cashier::kRightCashiersAll;
}

Bytes copy(ByteView v) {
    return {v.begin(), v.end()};
}

}  // namespace

ConfigWorker::~ConfigWorker() = default;

bool ConfigWorker::handles(std::uint16_t code) {
    switch (code) {
        case kReadCashier:
        case kWriteCashier:
        case kReadTime:
        case kSetTime:
        case kReadSetting:
        case kWriteSetting:
        case kReadPrinterSetting:
        case kWritePrinterSetting:
            return true;
        default:
            return false;
    }
}

CoreApiResult ConfigWorker::execute(const CoreTransaction& t) {
    switch (t.code) {
        case kReadCashier:
            return readCashier(t);
        case kWriteCashier:
            return writeCashier(t);
        case kReadTime:
            return readTime();
        case kSetTime:
            return setTime(t);
        case kReadSetting:
            return readSetting(t);
        case kWriteSetting:
            return writeSetting(t);
        case kReadPrinterSetting:
            return readPrinterSetting(t);
        case kWritePrinterSetting:
            return writePrinterSetting(t);
        default:
            return CoreApiResult(rc::kUnknownCommand);
    }
}

CoreApiResult ConfigWorker::readCashier(const CoreTransaction& t) {
    const auto op = context_.cashiers->check(t.data);
    const std::uint8_t mode = op.ok() && !op.data.empty() ? op.data[0] : 0;
    // An operator that failed its check has no rights, so this answers 14 before its error.
    if (!op.hasRight(rightForMode(mode)))
        return CoreApiResult(rc::kNoRight);
    if (!op.ok())
        return CoreApiResult(op.code);
    if (op.data.size() < 2)
        return CoreApiResult(rc::kOperatorMalformed);
    if (mode != kOwnMode)
        return CoreApiResult(rc::kBadSetting);
    const auto cashier = context_.cashiers->read(op.data[1]);
    if (!cashier)
        return CoreApiResult(rc::kCashierNotFound);
    return CoreApiResult(rc::kOk, 0, cashier->toRecord());
}

CoreApiResult ConfigWorker::writeCashier(const CoreTransaction& t) {
    const auto op = context_.cashiers->check(t.data);
    if (!op.ok())
        return CoreApiResult(op.code);
    if (op.data.empty())
        return CoreApiResult(rc::kOperatorMalformed);
    const std::uint8_t mode = op.data[0];
    if (!op.hasRight(rightForMode(mode)))
        return CoreApiResult(rc::kNoRight);
    if (mode != kOwnMode)
        return CoreApiResult(rc::kBadSetting);

    // From here on every answer carries the command data after the mode byte.
    const ByteView record = op.data.subspan(1);
    const auto answer = [&](std::uint16_t code) { return CoreApiResult(code, 0, copy(record)); };
    auto cashier = Cashier::fromRecord(record);
    if (!cashier || !Cashier::isNumberInRange(cashier->number))
        return answer(rc::kBadData);
    if (cashier->number == Cashier::kAdministrator) {
        if (op.cashier.number != Cashier::kAdministrator)
            return answer(rc::kNoRight);
        if (cashier->name.empty())
            cashier->name = op.cashier.name;
        if (cashier->password == 0)
            cashier->password = op.cashier.password;
        cashier->rights = Cashier::kAllRights;
    }
    if (!context_.cashiers->write(*cashier))
        return answer(rc::kCashierSaveFailed);
    return answer(rc::kOk);
}

CoreApiResult ConfigWorker::readTime() {
    ByteWriter w;
    w.u32(static_cast<std::uint32_t>(context_.clock->now()));
    return CoreApiResult(rc::kOk, 0, w.take());
}

CoreApiResult ConfigWorker::setTime(const CoreTransaction& t) {
    const auto op = context_.cashiers->check(t.data);
    if (!op.ok())
        return CoreApiResult(op.code);
    if (!op.cashier.hasRight(Cashier::kRightSettings))
        return CoreApiResult(rc::kNoRight);
    if (op.data.size() != kTimeSize)
        return CoreApiResult(rc::kBadData);
    const std::time_t target = le::load32(op.data.data());
    if (!clockPlausible(target))
        return CoreApiResult(rc::kTimeNotPlausible);
    setClock(target);
    return CoreApiResult(rc::kOk, 0, copy(op.data));
}

CoreApiResult ConfigWorker::readSetting(const CoreTransaction& t) {
    const auto op = context_.cashiers->check(t.data);
    if (!op.ok())
        return CoreApiResult(op.code);
    if (op.data.empty())
        return CoreApiResult(rc::kBadData);
    Bytes value = context_.settings->value(op.data[0]);
    if (value.empty())
        return CoreApiResult(rc::kBadSetting);
    return CoreApiResult(rc::kOk, 0, std::move(value));
}

CoreApiResult ConfigWorker::writeSetting(const CoreTransaction& t) {
    const auto op = context_.cashiers->check(t.data);
    if (!op.ok())
        return CoreApiResult(op.code);
    if (!op.cashier.hasRight(Cashier::kRightSettings))
        return CoreApiResult(rc::kNoRight);
    if (op.data.size() < 2)
        return CoreApiResult(rc::kBadData);
    // A value the file did not take is not the register's setting either.
    if (context_.settings->write(op.data[0], op.data.subspan(1)) != FrSettings::Write::Done) {
        return CoreApiResult(rc::kBadSetting);
    }
    return CoreApiResult(rc::kOk);
}

CoreApiResult ConfigWorker::readPrinterSetting(const CoreTransaction& t) {
    const auto op = context_.cashiers->check(t.data);
    if (!op.ok())
        return CoreApiResult(op.code);
    if (op.data.empty())
        return CoreApiResult(rc::kBadData);
    if (printer_ == nullptr)
        return CoreApiResult(printer_result::kNotAvailable);
    auto value = printer_->loadSettings().value(op.data[0]);
    if (!value)
        return CoreApiResult(rc::kBadSetting);
    return CoreApiResult(rc::kOk, 0, std::move(*value));
}

CoreApiResult ConfigWorker::writePrinterSetting(const CoreTransaction& t) {
    const auto op = context_.cashiers->check(t.data);
    if (!op.ok())
        return CoreApiResult(op.code);
    if (!op.cashier.hasRight(Cashier::kRightSettings))
        return CoreApiResult(rc::kNoRight);
    if (op.data.size() < 2)
        return CoreApiResult(rc::kBadData);
    if (printer_ == nullptr)
        return CoreApiResult(printer_result::kNotAvailable);
    auto settings = printer_->loadSettings();
    if (!settings.setValue(op.data[0], op.data.subspan(1)) || !settings.save()) {
        return CoreApiResult(rc::kBadSetting);
    }
    return CoreApiResult(rc::kOk);
}

}  // namespace kkt
