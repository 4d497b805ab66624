#include "fs/FsDriver.hpp"

#include <algorithm>
#include <array>

#include "fs/FsCountersBinary.hpp"
#include "fs/FsDateTime.hpp"
#include "fs/FsPort.hpp"
#include "primitives/Utils.hpp"

namespace kkt {

namespace {

// FS command codes.
constexpr std::uint8_t kStartFsClose = 0x04;
constexpr std::uint8_t kCancelDocument = 0x06;
constexpr std::uint8_t kShiftState = 0x10;
constexpr std::uint8_t kStartShiftOpen = 0x11;
constexpr std::uint8_t kStartShiftClose = 0x13;
constexpr std::uint8_t kStartReceipt = 0x15;
constexpr std::uint8_t kStartCorrection = 0x17;
constexpr std::uint8_t kStartCalcReport = 0x18;
constexpr std::uint8_t kExchangeStatus = 0x20;
constexpr std::uint8_t kStatus = 0x30;
constexpr std::uint8_t kFsNumber = 0x31;
constexpr std::uint8_t kLifetime = 0x32;
constexpr std::uint8_t kVersion = 0x33;
constexpr std::uint8_t kCounters = 0x36;
constexpr std::uint8_t kFfdVersions = 0x3A;
constexpr std::uint8_t kLifetimeCounter = 0x3B;
constexpr std::uint8_t kMemoryResource = 0x3D;
constexpr std::uint8_t kRelease = 0x3F;
constexpr std::uint8_t kFindDocument = 0x40;
constexpr std::uint8_t kOfdTicket = 0x41;
constexpr std::uint8_t kFiscalReport = 0x43;
constexpr std::uint8_t kFiscalParameter = 0x44;
constexpr std::uint8_t kDocumentStart = 0x45;
constexpr std::uint8_t kDocumentPart = 0x46;
constexpr std::uint8_t kResetMarks = 0xB3;
constexpr std::uint8_t kMarkedItem = 0xB7;
constexpr std::uint8_t kLabelsTransport = 0xBA;

// The FS error code that ends a document being read back.
constexpr std::uint8_t kEndOfData = 0x08;

constexpr std::size_t kFsNumberSize = 16;
constexpr std::size_t kVersionSize = 17;
constexpr std::size_t kVersionTextSize = 16;
constexpr std::size_t kFfdVersionsSize = 2;
constexpr std::size_t kLifetimeCounterSize = 2;
constexpr std::size_t kReleaseSize = 48;
constexpr std::size_t kMinFindDocumentSize = 3;
constexpr std::size_t kDocumentTypeSize = 2;

// A document is one element whose length field is 16 bits wide, so no document is larger; each
// 0x46 answer carries at least one element header, which bounds the number of reads.
constexpr std::size_t kMaxDocumentBytes = 0xFFFF;
constexpr std::size_t kMaxDocumentReads = kMaxDocumentBytes / Tlv::kHeaderSize + 1;

constexpr std::uint16_t kSerialNumberTag = 1013;

// Bits of the mode and usage-condition words that decide the marking transport read.
constexpr std::uint32_t kAutonomousMode = 0x2;
constexpr std::uint32_t kMarkedGoods = 0x100;

std::uint8_t ffdCode(std::uint8_t code) {
    return code == 1 || code == 3 || code == 4 ? code : 0;
}

Bytes u32Data(std::uint32_t v) {
    Bytes data;
    le::append32(data, v);
    return data;
}

}  // namespace

FsDriver::FsDriver(std::string path, Clock& clock, std::uint32_t timeoutCapMs)
    : clock_(clock),
      timeoutCapMs_(timeoutCapMs),
      port_(std::make_unique<FsPort>(std::move(path), clock)) {}

FsDriver::~FsDriver() = default;

bool FsDriver::isOpen() const {
    return port_ && port_->isOpen();
}

std::uint32_t FsDriver::limit(std::uint32_t timeoutMs) const {
    return timeoutCapMs_ == kNoTimeoutCap ? timeoutMs : std::min(timeoutMs, timeoutCapMs_);
}

std::uint16_t FsDriver::exec(const FsReq& request, FsRep& reply, std::uint32_t timeoutMs) {
    log_.clear();
    if (!port_ || (!port_->isOpen() && !port_->open())) {
        reply = FsRep{};
        log_ = "IN:\n" + util::hexDump(request.toFrame()) + "\n" + "PORT IS NOT OPEN in exec";
        return fsresult::kNoAnswer;
    }
    if (!port_->exchange(request, reply, limit(timeoutMs))) {
        log_ = "IN:\n" + util::hexDump(request.toFrame()) + "\nAPI EXEC ERROR\n" + port_->log();
        return fsresult::kNoAnswer;
    }
    if (!reply.ok())
        return fsresult::kMalformed;
    return reply.resultCode();
}

std::uint16_t FsDriver::run(std::uint8_t code, Bytes data, FsRep& reply, std::uint32_t timeoutMs) {
    return exec(FsReq(code, std::move(data)), reply, timeoutMs);
}

// --- FS status ---

std::uint16_t FsDriver::readStatus(FsStatus& out) {
    out = FsStatus{};
    FsRep reply;
    if (const auto r = run(kStatus, {}, reply, kStatusTimeoutMs))
        return r;
    return FsStatus::fromReply(reply, out) == FsFrameStatus::Ok ? fsresult::kOk
                                                                : fsresult::kMalformed;
}

std::uint16_t FsDriver::readFsNumber(std::string& out) {
    out.clear();
    FsRep reply;
    if (const auto r = run(kFsNumber, {}, reply, kStatusTimeoutMs))
        return r;
    if (reply.data().size() != kFsNumberSize)
        return fsresult::kMalformed;
    out = util::trimSpaceAndNul(asString(reply.data()));
    return fsresult::kOk;
}

std::uint16_t FsDriver::readLifetime(FsLifetime& out) {
    out = FsLifetime{};
    FsRep reply;
    if (const auto r = run(kLifetime, {}, reply, kStatusTimeoutMs))
        return r;
    return FsLifetime::fromReply(reply, out) == FsFrameStatus::Ok ? fsresult::kOk
                                                                  : fsresult::kMalformed;
}

std::uint16_t FsDriver::readVersion(std::string& version, bool& flag) {
    version.clear();
    flag = true;
    FsRep reply;
    if (const auto r = run(kVersion, {}, reply, kStatusTimeoutMs))
        return r;
    const ByteView d = reply.data();
    if (d.size() != kVersionSize)
        return fsresult::kMalformed;
    version = util::trimSpaceAndNul(asString(d.subspan(0, kVersionTextSize)));
    flag = d[kVersionTextSize] != 0;
    return fsresult::kOk;
}

std::uint16_t FsDriver::readFfdVersions(std::uint8_t& first, std::uint8_t& second) {
    first = second = 0;
    FsRep reply;
    if (const auto r = run(kFfdVersions, {}, reply, kStatusTimeoutMs))
        return r;
    const ByteView d = reply.data();
    if (d.size() != kFfdVersionsSize)
        return fsresult::kMalformed;
    first = ffdCode(d[0]);
    second = ffdCode(d[1]);
    return fsresult::kOk;
}

std::uint16_t FsDriver::readLifetimeCounter(std::time_t at, std::int32_t& counter) {
    counter = -1;
    Bytes data;
    FsDateTime::append(data, at);
    FsRep reply;
    if (const auto r = run(kLifetimeCounter, std::move(data), reply, kStatusTimeoutMs))
        return r;
    if (reply.data().size() != kLifetimeCounterSize)
        return fsresult::kMalformed;
    counter = le::load16(reply.data().data());
    return fsresult::kOk;
}

std::uint16_t FsDriver::readMemoryResource(FsMemoryResource& out) {
    out = FsMemoryResource{};
    FsRep reply;
    if (const auto r = run(kMemoryResource, {}, reply, kStatusTimeoutMs))
        return r;
    return FsMemoryResource::fromReply(reply, out) == FsFrameStatus::Ok ? fsresult::kOk
                                                                        : fsresult::kMalformed;
}

std::uint16_t FsDriver::readRelease(std::string& out) {
    out.clear();
    FsRep reply;
    if (const auto r = run(kRelease, {}, reply, kStatusTimeoutMs))
        return r;
    if (reply.data().size() != kReleaseSize)
        return fsresult::kMalformed;
    out = util::trimSpaceAndNul(asString(reply.data()));
    return fsresult::kOk;
}

std::uint16_t FsDriver::readShiftState(FsShiftState& out) {
    out = FsShiftState{};
    FsRep reply;
    if (const auto r = run(kShiftState, {}, reply, kStatusTimeoutMs))
        return r;
    return FsShiftState::fromReply(reply, out) == FsFrameStatus::Ok ? fsresult::kOk
                                                                    : fsresult::kMalformed;
}

std::uint16_t FsDriver::readExchangeStatus(FsExchangeStatus& out) {
    out = FsExchangeStatus{};
    FsRep reply;
    if (const auto r = run(kExchangeStatus, {}, reply, kExchangeStatusTimeoutMs))
        return r;
    return FsExchangeStatus::fromReply(reply, out) == FsFrameStatus::Ok ? fsresult::kOk
                                                                        : fsresult::kMalformed;
}

std::uint16_t FsDriver::readLabelsTransportStatus(FsLabelsTransportStatus& out) {
    out = FsLabelsTransportStatus{};
    FsRep reply;
    if (const auto r = run(kLabelsTransport, {}, reply, kLabelsTimeoutMs))
        return r;
    // This command checks the length itself.
    if (FsLabelsTransportStatus::fromReply(reply, out) != FsFrameStatus::Ok) {
        return fsresult::kUnknown;
    }
    return fsresult::kOk;
}

// --- documents ---

std::uint16_t FsDriver::cancelDocument() {
    FsRep reply;
    return run(kCancelDocument, {}, reply, kStatusTimeoutMs);
}

std::uint16_t FsDriver::startFsClose() {
    FsRep reply;
    return run(kStartFsClose, {}, reply, kDocumentTimeoutMs);
}

std::uint16_t FsDriver::startDocument(std::uint8_t code, std::time_t at, std::uint32_t timeoutMs) {
    Bytes data;
    FsDateTime::append(data, at);
    FsRep reply;
    return run(code, std::move(data), reply, timeoutMs);
}

std::uint16_t FsDriver::startShiftOpen(std::time_t at) {
    return startDocument(kStartShiftOpen, at, kDocumentTimeoutMs);
}

std::uint16_t FsDriver::startShiftClose(std::time_t at) {
    return startDocument(kStartShiftClose, at, kDocumentTimeoutMs);
}

std::uint16_t FsDriver::startReceipt(std::time_t at) {
    return startDocument(kStartReceipt, at, kDocumentTimeoutMs);
}

std::uint16_t FsDriver::startCorrection(std::time_t at) {
    return startDocument(kStartCorrection, at, kDocumentTimeoutMs);
}

std::uint16_t FsDriver::startCalcReport(std::time_t at) {
    return startDocument(kStartCalcReport, at, kDocumentTimeoutMs);
}

std::uint16_t FsDriver::startRegistrationReport(std::uint8_t first, std::uint8_t second,
                                                FsRep& reply) {
    const auto r =
        exec(FsReq::beginRegistration(first, second), reply, kRegistrationStartTimeoutMs);
    if (r != fsresult::kOk)
        reply.setCode(static_cast<std::uint8_t>(r & 0xFF));
    return r;
}

std::uint16_t FsDriver::resetReceiptMarks() {
    FsRep reply;
    return run(kResetMarks, {}, reply, kMarkingTimeoutMs);
}

std::uint16_t FsDriver::sendMarkedItem(std::uint8_t mode, const Tlv& element,
                                       std::uint16_t& markCheck, FsRep* replyCopy) {
    markCheck = 0;
    Bytes data{mode};
    const auto encoded = element.encode();
    data.insert(data.end(), encoded.begin(), encoded.end());
    FsRep reply;
    const auto r = run(kMarkedItem, std::move(data), reply, kMarkingTimeoutMs);
    if (r == fsresult::kMarkRefused && reply.data().size() > 1) {
        markCheck = le::load16(reply.data().data());
    }
    if (replyCopy != nullptr)
        *replyCopy = reply;
    return r;
}

// --- counters ---

std::uint16_t FsDriver::readCounters(std::uint8_t selector, FsCountersBinary& out) {
    out = FsCountersBinary{};
    out.selector = selector;
    FsRep reply;
    if (const auto r = run(kCounters, Bytes{selector}, reply, kCountersTimeoutMs))
        return r;
    return out.fromBinary(reply.data()) ? fsresult::kOk : fsresult::kMalformed;
}

// --- archive ---

std::uint16_t FsDriver::findDocument(std::uint32_t number, FsRep& reply) {
    if (const auto r = run(kFindDocument, u32Data(number), reply, kArchiveTimeoutMs))
        return r;
    return reply.data().size() < kMinFindDocumentSize ? fsresult::kUnknown : fsresult::kOk;
}

std::uint16_t FsDriver::readOfdTicket(std::uint32_t number, FsRep& reply) {
    return run(kOfdTicket, u32Data(number), reply, kArchiveTimeoutMs);
}

std::uint16_t FsDriver::readFiscalReport(std::uint8_t reportNumber, FsRep& reply) {
    Bytes data;
    if (reportNumber != 0)
        data.push_back(reportNumber);
    return run(kFiscalReport, std::move(data), reply, kArchiveTimeoutMs);
}

std::uint16_t FsDriver::readFiscalParameter(std::uint8_t reportNumber, std::uint16_t tag,
                                            Tlv& out) {
    out.clear();
    Bytes data;
    if (reportNumber != 0)
        data.push_back(reportNumber);
    le::append16(data, tag);
    FsRep reply;
    if (const auto r = run(kFiscalParameter, std::move(data), reply, kParameterTimeoutMs)) {
        return r;
    }
    if (!out.readOne(reply.data())) {
        out.clear();
        return fsresult::kMalformed;
    }
    return fsresult::kOk;
}

std::uint16_t FsDriver::readDocumentTlv(std::uint32_t number, std::uint16_t& type,
                                        TlvList& elements) {
    type = 0;
    elements.clear();
    FsRep head;
    if (const auto r = run(kDocumentStart, u32Data(number), head, kDocumentReadTimeoutMs)) {
        return r;
    }
    if (head.data().size() < kDocumentTypeSize)
        return fsresult::kMalformed;

    TlvList read;
    std::size_t bytes = 0;
    auto fail = [&](std::uint16_t r) {
        type = 0;
        elements.clear();
        return r;
    };
    // Appends the elements of one answer; false when an element is cut short.
    auto take = [&read, &bytes](ByteView data) {
        bytes += data.size();
        while (!data.empty()) {
            Tlv element;
            if (!Tlv::takeOne(data, element))
                return false;
            if (element.isValid())
                read.push_back(std::move(element));
        }
        return true;
    };

    for (std::size_t reads = 0; reads < kMaxDocumentReads; ++reads) {
        FsRep part;
        (void)run(kDocumentPart, {}, part, kDocumentPartTimeoutMs);
        // A frame that failed its checks carries nothing that can be trusted.
        if (part.status() != FsFrameStatus::Ok && part.status() != FsFrameStatus::Nothing) {
            return fail(fsresult::kMalformed);
        }
        const auto error = part.errorCode();
        if (error == 0) {
            if (!take(part.data()) || bytes > kMaxDocumentBytes)
                return fail(fsresult::kMalformed);
            continue;
        }
        if (error != kEndOfData)
            return fail(part.resultCode());
        // The end of the document; its last answer may still carry elements.
        if (part.data().size() >= Tlv::kHeaderSize - 1 && !take(part.data())) {
            return fail(fsresult::kMalformed);
        }
        type = le::load16(head.data().data());
        elements = std::move(read);
        return fsresult::kOk;
    }
    return fail(fsresult::kMalformed);
}

const std::vector<std::uint16_t>& FsDriver::registrationTags() {
    static const std::vector<std::uint16_t> tags{1001, 1002, 1009, 1012, 1013, 1017, 1018, 1021,
                                                 1036, 1037, 1040, 1041, 1046, 1048, 1056, 1060,
                                                 1062, 1077, 1117, 1187, 1188, 1189, 1190, 1203,
                                                 1209, 1213, 1274, 1275, 1290, 1205, 1157};
    return tags;
}

std::uint16_t FsDriver::readParameters(std::uint8_t reportNumber, TlvList* parameters) {
    for (const auto tag : registrationTags()) {
        Tlv element;
        const auto r = readFiscalParameter(reportNumber, tag, element);
        if (r == fsresult::kNoData)
            continue;
        if (r != fsresult::kOk)
            return r;
        if (parameters != nullptr)
            parameters->push_back(std::move(element));
    }
    return fsresult::kOk;
}

std::uint16_t FsDriver::readRegistrationParameters(std::uint8_t reportNumber, TlvList& parameters) {
    parameters.clear();
    TlvList read;
    if (const auto r = readParameters(reportNumber, &read))
        return r;
    parameters = std::move(read);
    return fsresult::kOk;
}

std::uint16_t FsDriver::rereadRegistration(std::uint8_t reportNumber,
                                           const FiscalReportCheck& makesReport) {
    FsRep reply;
    if (const auto r = readFiscalReport(reportNumber, reply))
        return r;
    if (!makesReport || !makesReport(reply))
        return fsresult::kUnknown;
    return readParameters(reportNumber, nullptr);
}

// --- full status ---

std::uint16_t FsDriver::refreshLifetimeCounter(FsFullStatus& s, bool refresh) {
    if (!(s.lifetime && s.lifetime->lifetimeCounter == -1) && !refresh)
        return fsresult::kOk;
    std::uint16_t result = fsresult::kOk;
    if (!s.lifetime || s.lifetime->registrationsDone != 0) {
        std::int32_t counter = -1;
        result = readLifetimeCounter(clock_.now(), counter);
        if (s.lifetime)
            s.lifetime->lifetimeCounter = counter;
    }
    // A lifetime without an end date or registrations left is read again next time.
    if (s.lifetime && !s.lifetime->isValid())
        s.lifetime.reset();
    return result;
}

std::uint16_t FsDriver::readFullStatus(std::shared_ptr<FsFullStatus>& status,
                                       std::uint32_t modeFlags, std::uint32_t usageFlags,
                                       std::string& errors,
                                       const std::optional<RegistrationFlags>& registration) {
    if (!status)
        status = std::make_shared<FsFullStatus>();
    FsFullStatus& s = *status;
    const bool refresh = s.lastResult != fsresult::kOk;

    enum class Store { Yes, No };
    auto fail = [&](const char* message, std::uint16_t r, Store store) {
        errors += message + std::to_string(r) + "\n";
        if (store == Store::Yes)
            s.lastResult = r;
        return r;
    };

    if (s.documentFsNumber().empty() || refresh) {
        std::string number;
        if (const auto r = readFsNumber(number))
            return fail("fs number reading error ", r, Store::Yes);
        s.fsNumber = std::move(number);
    }
    if (s.ffdVersionSecond == 0 || refresh) {
        std::uint8_t first = 0;
        std::uint8_t second = 0;
        if (const auto r = readFfdVersions(first, second)) {
            return fail("supported ffd reading error ", r, Store::Yes);
        }
        s.ffdVersion = first;
        s.ffdVersionSecond = second;
    }
    if (!s.status || refresh) {
        FsStatus record;
        if (const auto r = readStatus(record))
            return fail("fs status reading error ", r, Store::Yes);
        s.status = std::move(record);
    }
    if (!s.lifetime || refresh) {
        FsLifetime record;
        if (const auto r = readLifetime(record)) {
            return fail("fs lifetime reading error ", r, Store::Yes);
        }
        s.lifetime = record;
    }

    // The most recent result of the later steps; the counter's failure does not stop the read.
    std::uint16_t late = refreshLifetimeCounter(s, refresh);

    if (s.version.empty() || refresh) {
        std::string version;
        bool flag = true;
        if (const auto r = readVersion(version, flag)) {
            return fail("fs version reading error ", r, Store::No);
        }
        s.version = std::move(version);
        s.versionFlag = flag;
        late = fsresult::kOk;
    }
    if (s.release.empty() || refresh) {
        std::string release;
        if (const auto r = readRelease(release))
            return fail("fs release reading error ", r, Store::No);
        s.release = std::move(release);
        late = fsresult::kOk;
    }
    if (!s.memoryResource || refresh) {
        FsMemoryResource record;
        if (const auto r = readMemoryResource(record)) {
            return fail("fs memory resource reading error ", r, Store::Yes);
        }
        s.memoryResource = record;
        late = fsresult::kOk;
    }
    if (!s.shiftState || refresh) {
        FsShiftState record;
        if (const auto r = readShiftState(record)) {
            return fail("fs cycle status reading error ", r, Store::Yes);
        }
        s.shiftState = record;
        late = fsresult::kOk;
    }

    const bool fiscal = s.status && s.status->fiscalModeReached();
    if (fiscal && !s.exchangeStatus) {
        FsExchangeStatus record;
        if (const auto r = readExchangeStatus(record)) {
            return fail("fs transport status reading error ", r, Store::Yes);
        }
        s.exchangeStatus = record;
        late = fsresult::kOk;
    }
    if (fiscal && s.registerSerialNumber.empty()) {
        const auto report =
            s.lifetime ? static_cast<std::uint8_t>(s.lifetime->registrationsDone & 0xFF) : 0;
        Tlv element;
        if (const auto r = readFiscalParameter(report, kSerialNumberTag, element)) {
            return fail("cashbox serial reading error ", r, Store::Yes);
        }
        s.registerSerialNumber = util::trimSpaceAndNul(asString(element.value()));
        late = fsresult::kOk;
    }
    const bool wantsLabels = fiscal && (modeFlags & kAutonomousMode) == 0 &&
                             (usageFlags & kMarkedGoods) != 0 && registration &&
                             (registration->modeFlags & kAutonomousMode) == 0 &&
                             (registration->usageConditions & kMarkedGoods) != 0;
    if (!s.labelsTransport && wantsLabels) {
        FsLabelsTransportStatus record;
        if (const auto r = readLabelsTransportStatus(record)) {
            return fail("fs labels transport reading error ", r, Store::Yes);
        }
        s.labelsTransport = record;
        late = fsresult::kOk;
    }

    s.lastResult = fsresult::kOk;
    return late;
}

}  // namespace kkt
