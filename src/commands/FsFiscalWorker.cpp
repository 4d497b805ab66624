#include "commands/FsFiscalWorker.hpp"

#include <limits>

#include "fs/FsDriver.hpp"
#include "fs/FsFullStatus.hpp"
#include "fs/FsResult.hpp"
#include "primitives/Cp866.hpp"
#include "primitives/Decimal.hpp"
#include "primitives/Utils.hpp"
#include "printer/LayoutWord.hpp"
#include "printer/PrintElement.hpp"
#include "printer/PrintLayout.hpp"
#include "printer/PrinterDriver.hpp"
#include "registration/CashStatusData.hpp"
#include "registration/CashierTable.hpp"
#include "registration/CoreState.hpp"
#include "registration/EepromStore.hpp"
#include "registration/RegData.hpp"
#include "registration/ResultCodes.hpp"

namespace kkt {

using namespace kkt::literals;

namespace {

constexpr std::uint16_t kFiscalCodeLimit = 256;
constexpr std::size_t kAmountSize = 8;

std::string money(std::int64_t kopecks) {
    return Decimal(Decimal::kMoneyScale, kopecks).text();
}

}  // namespace

FsFiscalWorker::~FsFiscalWorker() = default;

CoreApiResult FsFiscalWorker::execute(const CoreTransaction& t) {
    switch (t.code) {
        case kCashStatus:
            return cashStatus();
        case kCashIn:
        case kCashOut:
            return cashMove(t);
        default:
            return passThrough(t);
    }
}

CoreApiResult FsFiscalWorker::passThrough(const CoreTransaction& t) {
    // Codes from 256 on have no FS command of their own: their low byte would name an unrelated
    // one (261 would close the fiscal mode), so they get the empty request, which is never sent.
    FsReq request;
    if (t.code < kFiscalCodeLimit) {
        request = FsReq(static_cast<std::uint8_t>(t.code), t.data);
    }
    if (fs_ == nullptr)
        return CoreApiResult(fsresult::kNoAnswer);
    FsRep reply;
    const auto result = fs_->exec(request, reply, FsDriver::kPassThroughTimeoutMs);
    return CoreApiResult(result, 0, reply.data());
}

CoreApiResult FsFiscalWorker::cashStatus() {
    const auto result = restoreCashStatus();
    if (result != rc::kOk)
        return CoreApiResult(result);
    const auto cash = context_.state->cashStatus();
    if (!cash)
        return CoreApiResult(rc::kEepromFailed);
    const auto bytes = cash->bytes();
    return CoreApiResult(rc::kOk, 0, Bytes(bytes.begin(), bytes.end()));
}

CoreApiResult FsFiscalWorker::cashMove(const CoreTransaction& t) {
    const bool cashIn = t.code == kCashIn;
    const auto op = context_.cashiers->check(t.data);
    if (!op.ok())
        return CoreApiResult(op.code);
    if (!op.cashier.hasRight(Cashier::kRightShiftOpen | Cashier::kRightShiftClose)) {
        return CoreApiResult(rc::kNoRight);
    }
    if (op.data.size() != kAmountSize)
        return CoreApiResult(rc::kBadAmount);
    const auto amount = static_cast<std::int64_t>(le::load64(op.data.data()));
    if (amount <= 0)
        return CoreApiResult(rc::kBadAmount);

    if (const auto r = restoreCashStatus(); r != rc::kOk)
        return CoreApiResult(r);
    auto restored = context_.state->cashStatus();
    if (!restored)
        return CoreApiResult(rc::kEepromFailed);
    if (!cashIn && restored->cash() < amount)
        return CoreApiResult(rc::kNotEnoughCash);

    FsShiftState shift;
    if (const auto r = readShiftState(&shift); r != fsresult::kOk)
        return CoreApiResult(r);
    if (!shift.open)
        return CoreApiResult(rc::kShiftNotOpen);

    CashStatusData record = *restored;
    if (cashIn) {
        record.addCashIn(static_cast<std::uint64_t>(amount));
    } else {
        record.addCashOut(static_cast<std::uint64_t>(amount));
    }
    if (context_.eeprom == nullptr || !context_.eeprom->writeCash(record))
        return CoreApiResult(rc::kEepromFailed);

    // The record is written: what follows only reports it, and its failures change nothing.
    std::int64_t drawer = record.cash();
    if (restoreCashStatus() == rc::kOk) {
        if (const auto now = context_.state->cashStatus())
            drawer = now->cash();
    }

    LayoutWord layout;
    layout.setSize(2);
    layout.setTopByte(LayoutWord::kTopCentred);
    PrintElement element;
    element.layout = layout;
    for (const auto& line : headerLines())
        element.lines.push_back(line);
    element.lines.emplace_back(cashIn ? "ВНЕСЕНИЕ"_cp866 : "ВЫПЛАТА"_cp866);
    element.lines.push_back(std::string("СМЕНА"_cp866) + " " + std::to_string(shift.shiftNumber) +
                            "\t" + util::formatTime(context_.clock->now(), "%d.%m.%Y %H:%M"));
    element.lines.push_back(std::string("СУММА"_cp866) + "\t" + money(amount));
    element.lines.push_back(std::string("НАЛИЧНОСТЬ В КАССЕ"_cp866) + "\t" + money(drawer));
    if (printer_ != nullptr)
        (void)printer_->printText(layout::render(element));
    return CoreApiResult(rc::kOk);
}

std::vector<std::string> FsFiscalWorker::headerLines() const {
    std::vector<std::string> lines;
    if (context_.state == nullptr)
        return lines;
    const auto reg = context_.state->regData();
    const auto fs = context_.state->fsStatus();
    if (!reg || !fs)
        return lines;
    lines.push_back(reg->userName);
    lines.push_back(reg->settlementAddress);
    if (!reg->settlementPlace.empty()) {
        lines.push_back(std::string("МЕСТО РАСЧЕТОВ"_cp866) + " " + reg->settlementPlace);
    }
    lines.push_back(std::string("ЗН ККТ"_cp866) + " " + reg->factoryNumber);
    lines.push_back(std::string("РН ККТ"_cp866) + " " + reg->registrationNumber);
    lines.push_back(std::string("ФН"_cp866) + " " + fs->documentFsNumber());
    lines.push_back(std::string("ИНН"_cp866) + " " + reg->userInn);
    return lines;
}

}  // namespace kkt
