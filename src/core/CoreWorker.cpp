#include "core/CoreWorker.hpp"

#include <algorithm>
#include <cstdio>

#include "commands/BuildTime.hpp"
#include "commands/DocumentsWorker.hpp"
#include "commands/FsFiscalWorker.hpp"
#include "core/ConfigWorker.hpp"
#include "fs/FsDriver.hpp"
#include "fs/FsFullStatus.hpp"
#include "fs/FsResult.hpp"
#include "primitives/Cp866.hpp"
#include "primitives/Decimal.hpp"
#include "primitives/Utils.hpp"
#include "printer/LayoutWord.hpp"
#include "printer/Logo.hpp"
#include "printer/PrintElement.hpp"
#include "printer/PrintLayout.hpp"
#include "printer/PrinterDriver.hpp"
#include "printer/PrinterResult.hpp"
#include "registration/ModelData.hpp"
#include "registration/RegData.hpp"
#include "registration/ResultCodes.hpp"

namespace kkt {

using namespace kkt::literals;

namespace {

constexpr std::uint16_t kFirstNonFiscal = 256;
// Fiscal codes from 256 on: shift times, printed copies of archive documents, marked item.
constexpr std::uint16_t kShiftTimes = 256;
constexpr std::uint16_t kDocumentCopy = 261;
constexpr std::uint16_t kRegistrationCopy = 262;
constexpr std::uint16_t kMarkedItem = 439;

// Flags byte of the image, barcode and QR commands.
constexpr std::uint8_t kFlagCentred = 0x01;
constexpr std::uint8_t kFlagRight = 0x02;

// The formatted-text command (451): alignment byte values and attribute bits.
constexpr std::uint8_t kLineSpacings = 6;
constexpr std::uint8_t kAlignCentred = 1;
constexpr std::uint8_t kAlignRight = 2;
constexpr std::uint8_t kSizeMask = 0x03;
constexpr std::uint8_t kAttrBold = 0x01;
constexpr std::uint8_t kAttrMarked = 0x02;
constexpr std::uint8_t kAttrInverse = 0x04;
constexpr std::uint8_t kAttrDouble = 0x08;

bool isDigits(ByteView v) {
    return std::all_of(v.begin(), v.end(), [](std::uint8_t b) { return b >= '0' && b <= '9'; });
}

// Alignment of the image, barcode and QR commands from their flags byte.
LayoutWord codeLayout(std::uint8_t flags) {
    LayoutWord layout;
    layout.setLineSpacing(0);
    if ((flags & kFlagCentred) != 0) {
        layout.setFlag(LayoutWord::kCentred, true);
    } else if ((flags & kFlagRight) != 0) {
        layout.setFlag(LayoutWord::kRightAligned, true);
    }
    return layout;
}

constexpr std::uint8_t kCutFlag = 0x10;

}  // namespace

CoreWorker::CoreWorker(Paths paths, CoreState& state, Clock& clock, Shell& shell, Random& random,
                       std::uint32_t fsTimeoutCapMs)
    : BaseWorker(WorkerContext{}),
      state_(state),
      clock_(clock),
      printerDriver_(
          std::make_unique<PrinterDriver>(paths.printerPort, paths.printerSettings, clock)),
      fsDriver_(std::make_unique<FsDriver>(paths.fsPort, clock, fsTimeoutCapMs)),
      cashiers_(paths.cashiers),
      settings_(paths.frSettings),
      eeprom_(paths.eeprom, random) {
    context_ = WorkerContext{printerDriver_.get(), fsDriver_.get(), &state_, &cashiers_,
                             &settings_,           &eeprom_,        &clock_, &shell};
    printer_ = printerDriver_.get();
    fs_ = fsDriver_.get();
    setRoundingModeSource(
        [settings = &settings_] { return roundingModeFromSetting(settings->roundingMode()); });
}

CoreWorker::~CoreWorker() {
    setRoundingModeSource({});
}

bool CoreWorker::isFiscal(std::uint16_t code) {
    if (code < kFirstNonFiscal)
        return true;
    switch (code) {
        case kShiftTimes:
        case kDocumentCopy:
        case kRegistrationCopy:
        case FsFiscalWorker::kCashStatus:
        case FsFiscalWorker::kCashIn:
        case FsFiscalWorker::kCashOut:
        case kMarkedItem:
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Start-up

void CoreWorker::initialise() {
    (void)cashiers_.ensureFile();
    (void)eeprom_.load(state_);

    auto status = std::make_shared<FsFullStatus>();
    state_.resetFsStatus();
    std::string errors;  // the start-up prints no FS diagnostics
    (void)fsDriver_->readFullStatus(status, 0, 0, errors);
    FsLabelsTransportStatus labels;
    if (fsDriver_->readLabelsTransportStatus(labels) == fsresult::kOk) {
        status->labelsTransport = labels;
    }
    state_.setFsStatus(status);

    checkClockAtStart();
    readRegistrationAtStart();
    (void)restoreCashStatus();
    printStartupReport();
}

void CoreWorker::checkClockAtStart() {
    if (clockPlausible(clock_.now()))
        return;
    std::time_t target = buildTime();
    if (const auto cached = state_.fsStatus();
        cached && cached->status && cached->status->fiscalModeReached()) {
        // A clock set behind the last document would make every later document implausible.
        target = std::max(target, cached->status->lastDocumentTime);
    }
    setClock(target);
}

void CoreWorker::readRegistrationAtStart() {
    const auto cached = state_.fsStatus();
    if (!cached || !cached->status || !cached->status->fiscalModeReached())
        return;
    const std::uint8_t report =
        cached->lifetime ? static_cast<std::uint8_t>(cached->lifetime->registrationsDone) : 0;
    TlvList parameters;
    if (fsDriver_->readRegistrationParameters(report, parameters) != fsresult::kOk)
        return;
    RegData reg;
    reg.apply(parameters, ResetFirst::Yes);
    state_.setRegData(reg);
}

void CoreWorker::printStartupReport() {
    const auto settings = printerDriver_->loadSettings();
    settings.applyToLayout();
    (void)printerDriver_->open();
    (void)printerDriver_->initialise();
    (void)printerDriver_->statusCheck();

    const auto model = state_.modelData();
    if (!model)
        return;
    LayoutWord layout;
    layout.setSize(3);
    layout.setTopByte(LayoutWord::kTopCentredBold);
    const std::string stars(layout.charactersPerLine(), '*');

    PrintElement element;
    element.layout = layout;
    element.lines.push_back(stars);
    element.lines.push_back(model->modelName() + " " + model->version());
    const auto fs = state_.fsStatus();
    const auto reg = state_.regData();
    if (fs && reg && fs->status && fs->status->fiscalModeReached()) {
        element.lines.push_back(reg->userName);
        element.lines.push_back(reg->settlementAddress);
        element.lines.push_back(reg->settlementPlace);
        element.lines.push_back(std::string("ИНН"_cp866) + "\t" + reg->userInn);
        element.lines.push_back(std::string("РН ККТ"_cp866) + "\t" + reg->registrationNumber);
    }
    element.lines.push_back(std::string("ЗН"_cp866) + "\t" + model->factoryNumber());
    const std::time_t now = clock_.now();
    element.lines.push_back(util::formatTime(now, "%d.%m.%Y") + "\t" +
                            util::formatTime(now, "%H:%M:%S"));
    element.lines.push_back(stars);

    const Bytes text = layout::render(element, layout::Cut::No);
    (void)printerDriver_->printImage(logo(), LayoutWord());
    (void)printerDriver_->printText(text);
    (void)printerDriver_->feedAndCut();
}

// ---------------------------------------------------------------------------------------------
// Main loop and dispatch

bool CoreWorker::step() {
    CoreTransaction t;
    const bool taken = queue_.pop(t);
    if (taken) {
        CoreApiResult result = dispatch(t);
        result.id = t.id;
        queue_.putResult(result);
    }
    clock_.sleepFor(kPause);
    return taken;
}

void CoreWorker::run() {
    for (;;)
        step();
}

CoreApiResult CoreWorker::dispatch(const CoreTransaction& t) {
    if (isFiscal(t.code)) {
        if (DocumentsWorker::handles(t.code)) {
            DocumentsWorker worker(context_);
            return worker.execute(t);
        }
        FsFiscalWorker worker(context_);
        return worker.execute(t);
    }
    if (ConfigWorker::handles(t.code)) {
        ConfigWorker worker(context_);
        return worker.execute(t);
    }
    switch (t.code) {
        case kWriteFactoryRecord:
            return writeFactoryRecord(t);
        case kPrinterStatus:
            return printerStatus();
        case kPrintText:
            return printText(t);
        case kPrintRaw:
            return printRaw(t);
        case kFeedAndCut:
            return feedAndCut();
        case kPrintImage:
        case kPrintBarcode:
        case kPrintQrCode:
            return printCode(t);
        default:
            return refuse(t);
    }
}

CoreApiResult CoreWorker::refuse(const CoreTransaction& t) {
    char line[32];
    const int n = std::snprintf(line, sizeof line, "%d - %u\n", static_cast<int>(t.code),
                                static_cast<unsigned>(t.id));
    (void)printerDriver_->printText(std::string_view(line, static_cast<std::size_t>(n)));
    (void)printerDriver_->feedAndCut();
    return CoreApiResult(rc::kUnknownCommand);
}

// ---------------------------------------------------------------------------------------------
// Service commands of the core worker

CoreApiResult CoreWorker::writeFactoryRecord(const CoreTransaction& t) {
    const auto op = cashiers_.check(t.data);
    if (!op.ok())
        return CoreApiResult(op.code);
    if (const auto current = state_.modelData(); current && current->isValid()) {
        return CoreApiResult(rc::kFactoryRecordPresent);
    }
    const ByteView serial = op.data;
    if (serial.size() > ModelData::kFactoryNumberSize)
        return CoreApiResult(rc::kBadData);
    if (!op.cashier.hasRight(Cashier::kRightFactoryRecord))
        return CoreApiResult(rc::kNoRight);
    if (!isDigits(serial))
        return CoreApiResult(rc::kBadData);

    // The record is built aside and published only once the EEPROM holds it: the host link reads
    // the published record at any time.
    const Bytes deviceId = state_.deviceId();
    if (deviceId.size() != EepromStore::kDeviceIdSize)
        return CoreApiResult(rc::kEepromFailed);
    const ModelData record = ModelData::factory(asString(serial), deviceId);
    if (!record.isValid())
        return CoreApiResult(rc::kBadData);

    // The check value covers the device id, so the id it was made with is stored beside it.
    if (!eeprom_.writeModel(record) || !eeprom_.writeDeviceId(deviceId)) {
        return CoreApiResult(rc::kEepromFailed);
    }
    ModelData stored;
    if (!eeprom_.readModel(stored) || stored != record)
        return CoreApiResult(rc::kEepromFailed);
    state_.setModelData(stored);
    return CoreApiResult(rc::kOk);
}

CoreApiResult CoreWorker::printerStatus() {
    return CoreApiResult(printerDriver_->statusCheck());
}

CoreApiResult CoreWorker::printText(const CoreTransaction& t) {
    constexpr std::size_t kHead = 4;
    if (t.data.size() < kHead)
        return CoreApiResult(rc::kBadData);
    const std::uint8_t spacing = t.data[0];
    const std::uint8_t alignment = t.data[1];
    const std::uint8_t size = t.data[2];
    const std::uint8_t attributes = t.data[3];

    LayoutWord layout;
    layout.setLineSpacing(spacing % kLineSpacings);
    layout.setFlag(LayoutWord::kSetFlag, true);
    if (alignment == kAlignCentred) {
        layout.setFlag(LayoutWord::kCentred, true);
    } else if (alignment == kAlignRight) {
        layout.setFlag(LayoutWord::kRightAligned, true);
    }
    layout.setSize(size & kSizeMask);
    layout.setFlag(LayoutWord::kBold, (attributes & kAttrBold) != 0);
    layout.setFlag(LayoutWord::kAttribute, (attributes & kAttrMarked) != 0);
    layout.setFlag(LayoutWord::kInverse, (attributes & kAttrInverse) != 0);
    layout.setFlag(LayoutWord::kDoubleSize, (attributes & kAttrDouble) != 0);

    const std::string text = asString(ByteView(t.data).subspan(kHead));
    const auto cut = (attributes & kCutFlag) != 0 ? layout::Cut::Yes : layout::Cut::No;
    const Bytes bytes = layout::render(PrintElement::text(text, layout), cut);
    return CoreApiResult(printerDriver_->printText(bytes));
}

CoreApiResult CoreWorker::printRaw(const CoreTransaction& t) {
    if (t.data.empty())
        return CoreApiResult(rc::kBadData);
    return CoreApiResult(printerDriver_->sendRaw(t.data));
}

CoreApiResult CoreWorker::feedAndCut() {
    return CoreApiResult(printerDriver_->feedAndCut());
}

CoreApiResult CoreWorker::printCode(const CoreTransaction& t) {
    constexpr std::size_t kMinSize = 5;
    const ByteView data(t.data);
    if (data.size() < kMinSize)
        return CoreApiResult(rc::kBadData);

    std::uint8_t flags = 0;
    PrinterImage image;
    if (t.code == kPrintImage) {
        image.width = le::load16(data.data());
        image.height = le::load16(data.data() + 2);
        flags = data[4];
        image.bitmap.assign(data.begin() + 5, data.end());
        // A bitmap shorter than its rows is refused before anything is sent.
        if (!image.isValid())
            return CoreApiResult(rc::kBadData);
    } else {
        flags = t.code == kPrintBarcode ? data[1] : data[0];
    }
    if (!printerDriver_->isOpen())
        return CoreApiResult(printer_result::kNotAvailable);

    const LayoutWord layout = codeLayout(flags);
    const std::string text = asString(data.subspan(2));
    std::uint16_t result = printer_result::kOk;
    switch (t.code) {
        case kPrintImage:
            result = printerDriver_->printImage(image, layout);
            break;
        case kPrintBarcode:
            result = printerDriver_->printBarcode(text, data[0], layout);
            break;
        default:
            result = printerDriver_->printQrCode(text, layout);
            break;
    }
    if ((flags & kCutFlag) != 0)
        (void)printerDriver_->feedAndCut();
    return CoreApiResult(result);
}

}  // namespace kkt
