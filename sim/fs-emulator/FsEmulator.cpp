#include "fs-emulator/FsEmulator.hpp"

#include <algorithm>
#include <random>
#include <set>

#include "primitives/Crc.hpp"
#include "primitives/Tlv.hpp"

namespace kkt::sim {

namespace {

void put(Bytes& out, const Tlv& t) {
    const Bytes e = t.encode();
    out.insert(out.end(), e.begin(), e.end());
}

// Tags the FS puts into documents itself and never takes from the register.
constexpr std::uint16_t kTagDateTime = 1012;
constexpr std::uint16_t kTagDocNumber = 1040;
constexpr std::uint16_t kTagFsNumber = 1041;
constexpr std::uint16_t kTagFiscalSign = 1077;
constexpr std::uint16_t kTagShiftNumber = 1038;
constexpr std::uint16_t kTagReceiptNumber = 1042;
constexpr std::uint16_t kTagTotal = 1020;
constexpr std::uint16_t kTagCalcSign = 1054;
constexpr std::uint16_t kTagMarking = 2007;
constexpr std::uint16_t kTagItem = 1059;

constexpr std::uint8_t kFfd12 = 4;

std::optional<TlvList> elementsOf(ByteView data) {
    if (data.empty())
        return TlvList{};
    bool ok = false;
    TlvList list = Tlv::parseSequence(data, &ok);
    // Elements that the parse skips (tag 0, an over-long value) would be stored unreadable.
    if (!ok || Tlv::encodeList(list).size() != data.size())
        return std::nullopt;
    return list;
}

std::uint64_t vln(ByteView value) {
    return Tlv(0, Bytes(value.begin(), value.end())).asVln();
}

// The sums a receipt adds to the counters, from its top-level payment and VAT tags and the
// total of its closing command. A receipt without payment tags is settled in cash. Payments must
// add up to the total, and no payment or VAT sum may exceed it (which also keeps the counters far
// from wrapping); nullopt otherwise.
std::optional<FsReceiptSums> receiptSums(const TlvList& elements, std::uint8_t operation,
                                         std::uint64_t total, bool correction) {
    FsReceiptSums r;
    r.kind = operation - 1u;
    r.correction = correction;
    r.sums.total = total;
    bool anyPayment = false;
    for (const auto& e : elements) {
        const std::uint64_t v = e.asVln();
        std::uint64_t* slot = nullptr;
        bool payment = false;
        switch (e.tag()) {
            case 1031:
                slot = &r.sums.cash;
                payment = true;
                break;
            case 1081:
                slot = &r.sums.electronic;
                payment = true;
                break;
            case 1215:
                slot = &r.sums.advance;
                payment = true;
                break;
            case 1216:
                slot = &r.sums.credit;
                payment = true;
                break;
            case 1217:
                slot = &r.sums.other;
                payment = true;
                break;
            case 1102:
                slot = &r.sums.vat[0];
                break;
            case 1103:
                slot = &r.sums.vat[1];
                break;
            case 1104:
                slot = &r.sums.vat[2];
                break;
            case 1105:
                slot = &r.sums.vat[3];
                break;
            case 1106:
                slot = &r.sums.vat[4];
                break;
            case 1107:
                slot = &r.sums.vat[5];
                break;
            default:
                break;
        }
        if (!slot)
            continue;
        if (v > total || *slot + v > total)
            return std::nullopt;
        *slot += v;
        anyPayment = anyPayment || payment;
    }
    if (!anyPayment) {
        r.sums.cash = total;
    } else if (r.sums.cash + r.sums.electronic + r.sums.advance + r.sums.credit + r.sums.other !=
               total) {
        return std::nullopt;
    }
    return r;
}

FsAnswer ok(Bytes data = {}) {
    return {0, std::move(data)};
}
FsAnswer fail(FsError e, Bytes data = {}) {
    return {static_cast<std::uint8_t>(e), std::move(data)};
}
FsAnswer forbiddenTag(std::uint16_t tag) {
    Bytes d;
    le::append16(d, tag);
    return fail(FsError::ForbiddenTag, std::move(d));
}

bool isReceiptType(FsDocType t) {
    return t == FsDocType::Receipt || t == FsDocType::Bso || t == FsDocType::Correction ||
           t == FsDocType::CorrectionBso;
}

std::string trimmed(ByteView b) {
    std::string s = asString(b);
    const auto notBlank = [](char c) { return c != ' ' && c != '\0'; };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notBlank));
    s.erase(std::find_if(s.rbegin(), s.rend(), notBlank).base(), s.end());
    return s;
}

// The fixed-width text field of an answer, padded with blanks.
Bytes padded(std::string_view text, std::size_t width) {
    Bytes b(width, ' ');
    std::copy_n(text.begin(), std::min(width, text.size()), b.begin());
    return b;
}

void appendU48(Bytes& out, std::uint64_t v, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Fiscal sign as FFD carries it: 6 bytes, the 32-bit sign big-endian in the last four.
Bytes fiscalSignValue(std::uint32_t sign) {
    return {0,
            0,
            static_cast<std::uint8_t>(sign >> 24),
            static_cast<std::uint8_t>(sign >> 16),
            static_cast<std::uint8_t>(sign >> 8),
            static_cast<std::uint8_t>(sign)};
}

// Registration record (after the date-time) offsets.
constexpr std::size_t kRegInn = 0;
constexpr std::size_t kRegNumber = 12;
constexpr std::size_t kRegTax = 32;
constexpr std::size_t kRegMode = 33;
constexpr std::size_t kRegExt = 34;
constexpr std::size_t kRegOfdInn = 35;
constexpr std::size_t kRegShort = 47;
constexpr std::size_t kRegReasons = 47;

// Usage conditions word from the record's mode byte d and extended mode byte e.
std::uint32_t usageConditions(std::uint8_t d, std::uint8_t e) {
    struct Bit {
        std::uint32_t value;
        bool fromD;
        int bit;
    };
    static constexpr Bit kBits[] = {
        {0x2, false, 3},    {0x4, true, 4},     {0x20, true, 5},    {0x40, false, 0},
        {0x100, false, 4},  {0x200, true, 3},   {0x400, false, 1},  {0x800, false, 2},
        {0x1000, false, 5}, {0x2000, false, 6}, {0x4000, false, 7}, {0x8000, true, 6},
        {0x10000, true, 7},
    };
    std::uint32_t w = 0;
    for (const auto& b : kBits) {
        if (((b.fromD ? d : e) >> b.bit) & 1)
            w |= b.value;
    }
    return w;
}

}  // namespace

FsEmulator::FsEmulator(FsState state, Persist persist)
    : state_(std::move(state)), persist_(std::move(persist)) {}

FsState FsEmulator::freshState(std::string fsNumber, const std::array<std::uint8_t, 16>& key,
                               FsDateTime made) {
    FsState s;
    s.fsNumber = std::move(fsNumber);
    s.fsNumber.resize(16, ' ');
    s.key = key;
    s.made = made;
    return s;
}

FsState FsEmulator::freshState(FsDateTime made) {
    std::random_device rd;
    std::array<std::uint8_t, 16> key{};
    for (auto& k : key)
        k = static_cast<std::uint8_t>(rd());
    std::string number = "99990789";
    for (int i = 0; i < 8; ++i)
        number += static_cast<char>('0' + rd() % 10);
    return freshState(number, key, made);
}

bool FsEmulator::requestAllowed(std::uint8_t code, std::size_t n) {
    switch (code) {
        case 0x04:
        case 0x06:
        case 0x10:
        case 0x12:
        case 0x14:
        case 0x19:
        case 0x20:
        case 0x22:
        case 0x24:
        case 0x25:
        case 0x30:
        case 0x31:
        case 0x32:
        case 0x33:
        case 0x35:
        case 0x3A:
        case 0x3D:
        case 0x3F:
        case 0x42:
        case 0x43:
        case 0x44:
        case 0x46:
        case 0xB0:
        case 0xB3:
        case 0xBA:
        case 0xBB:
        case 0xBD:
        case 0xBE:
            return true;
        case 0x21:
        case 0x36:
        case 0x60:
        case 0xB2:
        case 0xD3:
        case 0xD4:
        case 0xD7:
            return n == 1;
        case 0xA2:
            return n == 2;
        case 0x23:
        case 0x40:
        case 0x41:
        case 0x45:
        case 0xBC:
        case 0xD5:
            return n == 4;
        case 0x11:
        case 0x13:
        case 0x15:
        case 0x17:
        case 0x18:
        case 0x3B:
        case 0xD0:
            return n == 5;
        case 0x16:
            return n == 11;
        case 0x05:
            return n == 25;
        case 0xA3:
            return n == 52 || n == 56;
        case 0x07:
        case 0x26:
        case 0xB1:
        case 0xB5:
        case 0xB6:
        case 0xB7:
        case 0xBF:
        case 0xD1:
        case 0xD6:
            return n >= 1;
        default:
            return false;
    }
}

FsAnswer FsEmulator::handle(std::uint8_t code, ByteView data) {
    if (!requestAllowed(code, data.size()))
        return fail(FsError::UnknownCommand);
    // Commands that may change what the FS keeps run on the live state; a failed persist
    // restores the copy, so an answer never describes a change that was not made durable.
    static const std::set<std::uint8_t> kChanging = {0x04, 0x05, 0x06, 0x07, 0x11, 0x12, 0x13,
                                                     0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x21,
                                                     0x26, 0xA2, 0xA3, 0xB3, 0xB7};
    if (!kChanging.contains(code))
        return dispatch(code, data);
    FsState before = state_;
    FsAnswer answer = dispatch(code, data);
    if (state_ == before)
        return answer;
    if (persist_ && !persist_(state_)) {
        state_ = std::move(before);
        return fail(FsError::Failure);
    }
    return answer;
}

FsAnswer FsEmulator::dispatch(std::uint8_t code, ByteView data) {
    switch (code) {
        case 0x04:
        case 0x11:
        case 0x13:
        case 0x15:
        case 0x17:
        case 0x18:
            return beginDocument(code, data);
        case 0xA2:
            return beginRegistration(data);
        case 0x07:
            return documentData(data);
        case 0x06:
            // Nothing open is nothing to cancel: the register cancels blindly after errors.
            state_.open = {};
            return ok();
        case 0xB7:
            return markedItem(data);
        case 0xB3:
            state_.open.pendingMark.clear();
            return ok();
        case 0x12:
            return finishShiftOpen();
        case 0x14:
            return finishShiftClose();
        case 0x16:
            return finishReceipt(data);
        case 0x19:
            return finishSettlementReport();
        case 0x05:
            return finishFsClose(data);
        case 0xA3:
            return finishRegistration(data);
        case 0x30:
            return status();
        case 0x31:
            return ok(padded(state_.fsNumber, 16));
        case 0x32:
            return lifetime();
        case 0x33: {
            Bytes v = padded("kkt-fs-emu 1.0", 16);
            v.push_back(1);  // a production FS, not a debug one
            return ok(std::move(v));
        }
        case 0x3A:
            return ok({kFfd12, kFfd12});
        case 0x3B:
            return lifetimeCounter(data);
        case 0x3D: {
            Bytes v;
            le::append32(v, static_cast<std::uint32_t>(kDocumentLimit - state_.documents.size()));
            le::append32(v, daysLeft(state_.lastTime));
            return ok(std::move(v));
        }
        case 0x3F:
            return ok(padded("KKT FS EMULATOR RELEASE 1.0 FFD 1.2", 48));
        case 0x10:
            return shiftState();
        case 0x20:
            return exchangeStatus();
        case 0x21:
            state_.transportConnected = data[0] != 0;
            return ok();
        case 0x22:
            return startMessage();
        case 0x23:
            return readMessage(data);
        case 0x24:
            messageReading_.reset();
            return ok();
        case 0x25:
            return finishMessage();
        case 0x26:
            return messageTicket(data);
        case 0x42: {
            Bytes v;
            le::append16(
                v, static_cast<std::uint16_t>(std::min<std::uint32_t>(unsentCount(), 0xFFFF)));
            return ok(std::move(v));
        }
        case 0xBA: {
            // This FS forms no marking notifications, so none is waiting.
            Bytes v(13, 0);
            return ok(std::move(v));
        }
        case 0x36:
            return counters(data);
        case 0x40:
            return findDocument(data);
        case 0x41:
            return ofdTicket(data);
        case 0x43:
            return registrationResults(data);
        case 0x44:
            return registrationParameter(data);
        case 0x45:
            return startDocumentTlv(data);
        case 0x46:
            return nextDocumentTlv();
        default:
            // The rest of the request table (key updates, marking-code checks with the
            // operator, notification reads) needs an OFD or a key server that this FS never
            // meets: it holds no such data.
            return fail(FsError::NoData);
    }
}

std::optional<FsError> FsEmulator::needFiscalAndNoDocument() const {
    if (state_.phase != FsPhase::Fiscal)
        return FsError::WrongState;
    if (state_.open.type != FsDocType::None)
        return FsError::WrongState;
    if (state_.documents.size() >= kDocumentLimit)
        return FsError::WrongState;
    return std::nullopt;
}

std::optional<FsError> FsEmulator::needOpen(FsDocType a, FsDocType b) const {
    if (state_.open.type == FsDocType::None)
        return FsError::WrongState;
    if (state_.open.type != a && (b == FsDocType::None || state_.open.type != b)) {
        return FsError::OutOfSequence;
    }
    return std::nullopt;
}

std::optional<FsError> FsEmulator::checkTime(const FsDateTime& t) const {
    if (t.minutes() < state_.lastTime.minutes())
        return FsError::BadDateTime;
    return std::nullopt;
}

FsAnswer FsEmulator::beginDocument(std::uint8_t code, ByteView data) {
    if (auto e = needFiscalAndNoDocument())
        return fail(*e);
    FsDateTime time = state_.lastTime;
    if (code != 0x04) {
        const auto t = FsDateTime::fromBytes(data);
        if (!t)
            return fail(FsError::BadDateTime);
        if (auto e = checkTime(*t))
            return fail(*e);
        time = *t;
    }
    const bool bso = [&] {
        if (state_.registrations.empty())
            return false;
        const auto& rec = state_.documents[state_.registrations.back() - 1].regRecord;
        return (usageConditions(rec[kRegMode], rec[kRegExt]) & 0x4) != 0;
    }();
    FsDocType type = FsDocType::None;
    switch (code) {
        case 0x11:
            if (state_.shiftOpen)
                return fail(FsError::WrongState);
            type = FsDocType::ShiftOpen;
            break;
        case 0x13:
            if (!state_.shiftOpen)
                return fail(FsError::WrongState);
            type = FsDocType::ShiftClose;
            break;
        case 0x15:
        case 0x17:
            if (!state_.shiftOpen)
                return fail(FsError::WrongState);
            if (time.minutes() - state_.shiftOpenTime.minutes() > 24 * 60) {
                return fail(FsError::ShiftOver24h);
            }
            type = code == 0x15 ? (bso ? FsDocType::Bso : FsDocType::Receipt)
                                : (bso ? FsDocType::CorrectionBso : FsDocType::Correction);
            break;
        case 0x18:
            type = FsDocType::SettlementReport;
            break;
        case 0x04:
            if (state_.shiftOpen)
                return fail(FsError::WrongState);
            type = FsDocType::FsClose;
            break;
        default:
            return fail(FsError::UnknownCommand);
    }
    state_.open = {type, time, {}, {}};
    return ok();
}

FsAnswer FsEmulator::beginRegistration(ByteView data) {
    if (data[1] != kFfd12)
        return fail(FsError::BadParameter);
    if (state_.open.type != FsDocType::None)
        return fail(FsError::WrongState);
    const bool first = data[0] == 0;
    if (first) {
        if (state_.phase != FsPhase::ReadyForRegistration)
            return fail(FsError::WrongState);
    } else {
        if (state_.phase != FsPhase::Fiscal || state_.shiftOpen)
            return fail(FsError::WrongState);
        if (state_.registrations.size() >= kRegistrationsAllowed) {
            return fail(FsError::WrongState);
        }
    }
    state_.open = {
        first ? FsDocType::Registration : FsDocType::ReRegistration, state_.lastTime, {}, {}};
    return ok();
}

FsAnswer FsEmulator::documentData(ByteView data) {
    if (state_.open.type == FsDocType::None)
        return fail(FsError::WrongState);
    const auto elements = elementsOf(data);
    if (!elements)
        return fail(FsError::BadParameter);
    for (const auto& e : *elements) {
        if (e.tag() == kTagDocNumber || e.tag() == kTagFsNumber || e.tag() == kTagFiscalSign) {
            return forbiddenTag(e.tag());
        }
    }
    if (state_.open.data.size() + data.size() > kDocumentDataLimit) {
        return fail(FsError::TlvTooLarge);
    }
    state_.open.data.insert(state_.open.data.end(), data.begin(), data.end());
    return ok();
}

FsAnswer FsEmulator::markedItem(ByteView data) {
    if (state_.open.type == FsDocType::None)
        return fail(FsError::WrongState);
    if (!isReceiptType(state_.open.type))
        return fail(FsError::OutOfSequence);
    const std::uint8_t mode = data[0];
    if (mode != 1 && mode != 2)
        return fail(FsError::BadParameter);
    const auto elements = elementsOf(data.subspan(1));
    if (!elements || elements->size() != 1)
        return fail(FsError::BadParameter);
    const std::uint16_t want = mode == 1 ? kTagMarking : kTagItem;
    if ((*elements)[0].tag() != want)
        return forbiddenTag((*elements)[0].tag());
    if (mode == 1) {
        state_.open.pendingMark.assign(data.begin() + 1, data.end());
        return ok();
    }
    if (state_.open.pendingMark.empty())
        return fail(FsError::OutOfSequence);
    const std::size_t add = state_.open.pendingMark.size() + data.size() - 1;
    if (state_.open.data.size() + add > kDocumentDataLimit)
        return fail(FsError::TlvTooLarge);
    auto& d = state_.open.data;
    d.insert(d.end(), state_.open.pendingMark.begin(), state_.open.pendingMark.end());
    d.insert(d.end(), data.begin() + 1, data.end());
    state_.open.pendingMark.clear();
    return ok();
}

std::uint32_t FsEmulator::fiscalSign(std::uint32_t number, FsDocType type, const FsDateTime& time,
                                     ByteView tlv) const {
    // A keyed checksum over the document's content: the same state always signs the same way,
    // another FS (another key) signs differently.
    Bytes m(state_.key.begin(), state_.key.end());
    le::append32(m, number);
    m.push_back(static_cast<std::uint8_t>(type));
    time.append(m);
    m.insert(m.end(), tlv.begin(), tlv.end());
    m.insert(m.end(), state_.key.rbegin(), state_.key.rend());
    const std::uint32_t sign = Crc32::compute(m);
    return sign == 0 ? 1 : sign;
}

const FsDocument& FsEmulator::store(
    FsDocType type, const FsDateTime& time, Bytes tlv,
    const std::function<Bytes(std::uint32_t, std::uint32_t)>& archive, Bytes regRecord) {
    FsDocument d;
    d.number = state_.lastNumber + 1;
    d.type = type;
    d.time = time;
    put(tlv, Tlv().setU32(kTagDateTime, static_cast<std::uint32_t>(time.unixTime())));
    put(tlv, Tlv().setU32(kTagDocNumber, d.number));
    put(tlv, Tlv().setBytes(kTagFsNumber, asBytes(state_.fsNumber)));
    d.fiscalSign = fiscalSign(d.number, type, time, tlv);
    put(tlv, Tlv().setBytes(kTagFiscalSign, fiscalSignValue(d.fiscalSign)));
    d.tlv = std::move(tlv);
    d.archive = archive(d.number, d.fiscalSign);
    d.regRecord = std::move(regRecord);
    state_.documents.push_back(std::move(d));
    state_.lastNumber = state_.documents.back().number;
    state_.lastTime = time;
    state_.open = {};
    if (state_.shiftOpen || type == FsDocType::ShiftClose)
        ++state_.documentsInShift;
    return state_.documents.back();
}

namespace {

Bytes archiveHead(const FsDateTime& t, std::uint32_t number, std::uint32_t sign) {
    Bytes a;
    t.append(a);
    le::append32(a, number);
    le::append32(a, sign);
    return a;
}

Bytes numberAndSign(const FsDocument& d) {
    Bytes v;
    le::append32(v, d.number);
    le::append32(v, d.fiscalSign);
    return v;
}

}  // namespace

FsAnswer FsEmulator::finishShiftOpen() {
    if (auto e = needOpen(FsDocType::ShiftOpen))
        return fail(*e);
    const std::uint16_t shift = static_cast<std::uint16_t>(state_.shiftNumber + 1);
    Bytes tlv = state_.open.data;
    put(tlv, Tlv().setU32(kTagShiftNumber, shift));
    put(tlv, Tlv().setU16(1213, daysLeft(state_.open.time)));
    state_.shiftOpen = true;
    state_.shiftNumber = shift;
    state_.receiptsInShift = 0;
    state_.documentsInShift = 0;
    state_.shiftOpenTime = state_.open.time;
    state_.shift.reset();
    const auto& d = store(FsDocType::ShiftOpen, state_.open.time, std::move(tlv),
                          [&](std::uint32_t n, std::uint32_t s) {
                              Bytes a = archiveHead(state_.open.time, n, s);
                              le::append16(a, shift);
                              return a;
                          });
    Bytes v;
    le::append16(v, shift);
    const Bytes ns = numberAndSign(d);
    v.insert(v.end(), ns.begin(), ns.end());
    return ok(std::move(v));
}

FsAnswer FsEmulator::finishShiftClose() {
    if (auto e = needOpen(FsDocType::ShiftClose))
        return fail(*e);
    const FsDateTime time = state_.open.time;
    FsCounterSet total = state_.fsTotals;
    total.add(state_.shift);
    const FsDocument* unsent = firstUnsent();
    Bytes tlv = state_.open.data;
    put(tlv, Tlv().setU32(kTagShiftNumber, state_.shiftNumber));
    put(tlv, Tlv().setU32(1111, state_.documentsInShift + 1));
    put(tlv, Tlv().setU32(1118, state_.receiptsInShift));
    put(tlv, Tlv().setU32(1097, unsentCount()));
    put(tlv, Tlv().setU32(1098, unsent ? static_cast<std::uint32_t>(unsent->time.unixTime()) : 0));
    put(tlv, Tlv().setU16(1213, daysLeft(time)));
    const Bytes shiftTlv = state_.shift.toTlv(1194);
    const Bytes fsTlv = total.toTlv(1157);
    tlv.insert(tlv.end(), shiftTlv.begin(), shiftTlv.end());
    tlv.insert(tlv.end(), fsTlv.begin(), fsTlv.end());
    const std::uint16_t shift = state_.shiftNumber;
    state_.fsTotals = total;
    state_.shift.reset();
    const std::uint8_t warn = warnings();
    const auto& d =
        store(FsDocType::ShiftClose, time, std::move(tlv), [&](std::uint32_t n, std::uint32_t s) {
            Bytes a = archiveHead(time, n, s);
            le::append16(a, shift);
            return a;
        });
    state_.shiftOpen = false;
    Bytes v;
    le::append16(v, shift);
    const Bytes ns = numberAndSign(d);
    v.insert(v.end(), ns.begin(), ns.end());
    v.push_back(warn);
    return ok(std::move(v));
}

FsAnswer FsEmulator::finishReceipt(ByteView data) {
    if (state_.open.type == FsDocType::None)
        return fail(FsError::WrongState);
    if (!isReceiptType(state_.open.type))
        return fail(FsError::OutOfSequence);
    const auto time = FsDateTime::fromBytes(data.first(5));
    if (!time)
        return fail(FsError::BadDateTime);
    if (auto e = checkTime(*time))
        return fail(*e);
    if (!state_.shiftOpen)
        return fail(FsError::WrongState);
    if (time->minutes() - state_.shiftOpenTime.minutes() > 24 * 60) {
        return fail(FsError::ShiftOver24h);
    }
    const std::uint8_t operation = data[5];
    if (operation < 1 || operation > 4)
        return fail(FsError::BadParameter);
    const std::uint64_t total = vln(data.subspan(6, 5));
    if (state_.receiptsInShift == 0xFFFF)
        return fail(FsError::WrongState);

    const auto elements = elementsOf(state_.open.data);
    if (!elements)
        return fail(FsError::BadParameter);
    const bool correction =
        state_.open.type == FsDocType::Correction || state_.open.type == FsDocType::CorrectionBso;
    const auto r = receiptSums(*elements, operation, total, correction);
    if (!r)
        return fail(FsError::BadParameter);
    const bool hasTotal = std::any_of(elements->begin(), elements->end(),
                                      [](const Tlv& e) { return e.tag() == kTagTotal; });
    const bool hasCalcSign = std::any_of(elements->begin(), elements->end(),
                                         [](const Tlv& e) { return e.tag() == kTagCalcSign; });

    const std::uint16_t receiptNumber = static_cast<std::uint16_t>(state_.receiptsInShift + 1);
    Bytes tlv = state_.open.data;
    put(tlv, Tlv().setU32(kTagReceiptNumber, receiptNumber));
    put(tlv, Tlv().setU32(kTagShiftNumber, state_.shiftNumber));
    if (!hasCalcSign)
        put(tlv, Tlv().setByte(kTagCalcSign, operation));
    if (!hasTotal)
        put(tlv, Tlv().setVln(kTagTotal, total));
    state_.receiptsInShift = receiptNumber;
    state_.shift.addReceipt(*r);
    const FsDateTime t = *time;
    const auto& d =
        store(state_.open.type, t, std::move(tlv), [&](std::uint32_t n, std::uint32_t s) {
            Bytes a = archiveHead(t, n, s);
            a.push_back(operation);
            appendU48(a, total, 5);
            return a;
        });
    Bytes v;
    le::append16(v, receiptNumber);
    const Bytes ns = numberAndSign(d);
    v.insert(v.end(), ns.begin(), ns.end());
    return ok(std::move(v));
}

FsAnswer FsEmulator::finishSettlementReport() {
    if (auto e = needOpen(FsDocType::SettlementReport))
        return fail(*e);
    const FsDateTime time = state_.open.time;
    FsCounterSet total = state_.fsTotals;
    total.add(state_.shift);
    FsCounterSet unsentSums;
    for (const auto& doc : state_.documents) {
        if (doc.acknowledged || !isReceiptType(doc.type))
            continue;
        // The archive keeps operation type and total; the TLV data the rest.
        const std::uint8_t operation = doc.archive[13];
        const std::uint64_t sum = vln(ByteView(doc.archive).subspan(14, 5));
        const auto sums =
            receiptSums(Tlv::parseSequence(doc.tlv), operation, sum,
                        doc.type == FsDocType::Correction || doc.type == FsDocType::CorrectionBso);
        if (sums)
            unsentSums.addReceipt(*sums);
    }
    const FsDocument* unsent = firstUnsent();
    const std::uint32_t unsentN = unsentCount();
    const FsDateTime unsentDate = unsent ? unsent->time : FsDateTime{};
    Bytes tlv = state_.open.data;
    if (state_.shiftOpen)
        put(tlv, Tlv().setU32(kTagShiftNumber, state_.shiftNumber));
    put(tlv, Tlv().setU32(1097, unsentN));
    put(tlv, Tlv().setU32(1116, unsent ? unsent->number : 0));
    put(tlv, Tlv().setU32(1098, static_cast<std::uint32_t>(unsentDate.unixTime())));
    put(tlv, Tlv().setU16(1213, daysLeft(time)));
    const Bytes fsTlv = total.toTlv(1157);
    const Bytes unsentTlv = unsentSums.toUnsentTlv();
    tlv.insert(tlv.end(), fsTlv.begin(), fsTlv.end());
    tlv.insert(tlv.end(), unsentTlv.begin(), unsentTlv.end());
    const auto& d = store(FsDocType::SettlementReport, time, std::move(tlv),
                          [&](std::uint32_t n, std::uint32_t s) {
                              Bytes a = archiveHead(time, n, s);
                              le::append32(a, unsentN);
                              unsentDate.appendDate(a);
                              return a;
                          });
    Bytes v = numberAndSign(d);
    le::append32(v, unsentN);
    unsentDate.appendDate(v);
    return ok(std::move(v));
}

FsAnswer FsEmulator::finishFsClose(ByteView data) {
    if (auto e = needOpen(FsDocType::FsClose))
        return fail(*e);
    const auto time = FsDateTime::fromBytes(data.first(5));
    if (!time)
        return fail(FsError::BadDateTime);
    if (auto e = checkTime(*time))
        return fail(*e);
    // A copy: storing the new document may move the archive.
    const Bytes reg = state_.documents[state_.registrations.back() - 1].regRecord;
    const ByteView regView(reg);
    const std::string registered = trimmed(regView.subspan(kRegNumber, 20));
    if (trimmed(data.subspan(5, 20)) != registered)
        return fail(FsError::BadParameter);
    FsCounterSet total = state_.fsTotals;
    Bytes tlv = state_.open.data;
    put(tlv, Tlv().setBytes(1018, regView.subspan(kRegInn, 12)));
    put(tlv, Tlv().setBytes(1037, regView.subspan(kRegNumber, 20)));
    put(tlv, Tlv().setU16(1213, daysLeft(*time)));
    const Bytes fsTlv = total.toTlv(1157);
    tlv.insert(tlv.end(), fsTlv.begin(), fsTlv.end());
    const FsDateTime t = *time;
    const auto& d =
        store(FsDocType::FsClose, t, std::move(tlv), [&](std::uint32_t n, std::uint32_t s) {
            Bytes a = archiveHead(t, n, s);
            a.insert(a.end(), regView.begin() + kRegInn, regView.begin() + kRegInn + 12);
            a.insert(a.end(), data.begin() + 5, data.begin() + 25);
            return a;
        });
    Bytes v = numberAndSign(d);
    state_.phase = unsentCount() == 0 ? FsPhase::Archive : FsPhase::PostFiscal;
    return ok(std::move(v));
}

FsAnswer FsEmulator::finishRegistration(ByteView data) {
    if (auto e = needOpen(FsDocType::Registration, FsDocType::ReRegistration))
        return fail(*e);
    const auto time = FsDateTime::fromBytes(data.first(5));
    if (!time)
        return fail(FsError::BadDateTime);
    if (auto e = checkTime(*time))
        return fail(*e);
    const ByteView rec = data.subspan(5);
    const std::string inn = trimmed(rec.subspan(kRegInn, 12));
    const std::string rn = trimmed(rec.subspan(kRegNumber, 20));
    if (inn.empty() || inn.find_first_not_of('0') == std::string::npos || rn.empty()) {
        return fail(FsError::BadParameter);
    }
    const bool re = state_.open.type == FsDocType::ReRegistration;
    const std::uint8_t d = rec[kRegMode];
    const std::uint8_t e = rec[kRegExt];
    const std::uint32_t reasons = re && rec.size() > kRegShort ? le::load32(&rec[kRegReasons]) : 0;

    // The register's TLV data, without the tags that the record itself sets, then the record's
    // values and the FS's own.
    static const std::set<std::uint16_t> kFromRecord = {1018, 1037, 1062, 1001, 1002, 1056,
                                                        1290, 1017, 1205, 1190, 1213, 1157};
    const auto elements = elementsOf(state_.open.data);
    if (!elements)
        return fail(FsError::BadParameter);
    Bytes tlv;
    bool hasDocFfd = false;
    for (const auto& el : *elements) {
        if (kFromRecord.contains(el.tag()))
            continue;
        if (el.tag() == 1209)
            hasDocFfd = true;
        put(tlv, Tlv().setBytes(el.tag(), el.value()));
    }
    put(tlv, Tlv().setBytes(1018, rec.subspan(kRegInn, 12)));
    put(tlv, Tlv().setBytes(1037, rec.subspan(kRegNumber, 20)));
    put(tlv, Tlv().setByte(1062, rec[kRegTax]));
    put(tlv, Tlv().setByte(1001, (d >> 2) & 1));
    put(tlv, Tlv().setByte(1002, (d >> 1) & 1));
    put(tlv, Tlv().setByte(1056, d & 1));
    put(tlv, Tlv().setU32(1290, usageConditions(d, e)));
    put(tlv, Tlv().setBytes(1017, rec.subspan(kRegOfdInn, 12)));
    if (re)
        put(tlv, Tlv().setU32(1205, reasons));
    put(tlv, Tlv().setByte(1190, kFfd12));
    if (!hasDocFfd)
        put(tlv, Tlv().setByte(1209, kFfd12));
    if (re) {
        FsCounterSet total = state_.fsTotals;
        const Bytes fsTlv = total.toTlv(1157);
        tlv.insert(tlv.end(), fsTlv.begin(), fsTlv.end());
    }
    const FsDateTime t = *time;
    const bool firstRegistration = state_.registrations.empty();
    // The validity runs from the first registration; the key resource follows from it.
    const FsDateTime validity = firstRegistration ? t.plusMonths(kValidityMonths) : validUntil();
    const std::int64_t days = std::max<std::int64_t>(0, (validity.minutes() - t.minutes()) / 1440);
    put(tlv, Tlv().setU16(1213, static_cast<std::uint16_t>(std::min<std::int64_t>(days, 0xFFFF))));
    Bytes record(rec.begin(), rec.end());
    if (re && record.size() == kRegShort)
        le::append32(record, 0);
    const FsDocType type = state_.open.type;
    const auto& doc = store(
        type, t, std::move(tlv),
        [&](std::uint32_t n, std::uint32_t s) {
            Bytes a = archiveHead(t, n, s);
            a.insert(a.end(), rec.begin(), rec.begin() + kRegShort);
            if (re)
                le::append32(a, reasons);
            return a;
        },
        std::move(record));
    state_.registrations.push_back(doc.number);
    state_.phase = FsPhase::Fiscal;
    return ok(numberAndSign(doc));
}

FsDateTime FsEmulator::validUntil() const {
    if (state_.registrations.empty())
        return state_.made.plusMonths(kValidityMonths);
    return state_.documents[state_.registrations.front() - 1].time.plusMonths(kValidityMonths);
}

std::uint16_t FsEmulator::daysLeft(const FsDateTime& at) const {
    const std::int64_t from = at.isZero() ? state_.made.minutes() : at.minutes();
    const std::int64_t days = (validUntil().minutes() - from) / 1440;
    return static_cast<std::uint16_t>(std::clamp<std::int64_t>(days, 0, 0xFFFF));
}

std::uint8_t FsEmulator::warnings() const {
    std::uint8_t w = 0;
    const auto days = daysLeft(state_.lastTime);
    if (days < 3)
        w |= 0x01;
    if (days < 30)
        w |= 0x02;
    if (state_.documents.size() * 100 >= kDocumentLimit * 99)
        w |= 0x04;
    if (const auto* u = firstUnsent();
        u && state_.lastTime.minutes() - u->time.minutes() > 30 * 1440) {
        w |= 0x08;
    }
    return w;
}

std::uint32_t FsEmulator::unsentCount() const {
    return static_cast<std::uint32_t>(std::count_if(state_.documents.begin(),
                                                    state_.documents.end(),
                                                    [](const auto& d) { return !d.acknowledged; }));
}

const FsDocument* FsEmulator::firstUnsent() const {
    for (const auto& d : state_.documents) {
        if (!d.acknowledged)
            return &d;
    }
    return nullptr;
}

const FsDocument* FsEmulator::document(std::uint32_t number) const {
    if (number == 0 || number > state_.documents.size())
        return nullptr;
    return &state_.documents[number - 1];
}

FsAnswer FsEmulator::status() const {
    Bytes v;
    v.push_back(static_cast<std::uint8_t>(state_.phase));
    v.push_back(static_cast<std::uint8_t>(state_.open.type));
    v.push_back(state_.open.data.empty() ? 0 : 1);
    v.push_back(state_.shiftOpen ? 1 : 0);
    v.push_back(warnings());
    state_.lastTime.append(v);
    const Bytes number = padded(state_.fsNumber, 16);
    v.insert(v.end(), number.begin(), number.end());
    le::append32(v, state_.lastNumber);
    return ok(std::move(v));
}

FsAnswer FsEmulator::lifetime() const {
    Bytes v;
    validUntil().appendDate(v);
    v.push_back(static_cast<std::uint8_t>(kRegistrationsAllowed - state_.registrations.size()));
    v.push_back(static_cast<std::uint8_t>(state_.registrations.size()));
    return ok(std::move(v));
}

FsAnswer FsEmulator::lifetimeCounter(ByteView data) const {
    const auto t = FsDateTime::fromBytes(data);
    if (!t)
        return fail(FsError::BadDateTime);
    Bytes v;
    le::append16(v, daysLeft(*t));
    return ok(std::move(v));
}

FsAnswer FsEmulator::shiftState() const {
    Bytes v;
    v.push_back(state_.shiftOpen ? 1 : 0);
    le::append16(v, state_.shiftNumber);
    le::append16(v, state_.receiptsInShift);
    return ok(std::move(v));
}

FsAnswer FsEmulator::exchangeStatus() const {
    const FsDocument* u = firstUnsent();
    std::uint8_t flags = 0;
    if (state_.transportConnected)
        flags |= 0x01;
    if (u)
        flags |= 0x02;
    if (awaitingTicket_)
        flags |= 0x04;
    Bytes v;
    v.push_back(flags);
    v.push_back(messageReading_ ? 1 : 0);
    le::append16(v, static_cast<std::uint16_t>(std::min<std::uint32_t>(unsentCount(), 0xFFFF)));
    le::append32(v, u ? u->number : 0);
    (u ? u->time : FsDateTime{}).append(v);
    return ok(std::move(v));
}

FsAnswer FsEmulator::counters(ByteView data) const {
    switch (data[0]) {
        case 0:
            if (!state_.shiftOpen)
                return fail(FsError::WrongState);
            return ok(state_.shift.toBinary(state_.shiftNumber));
        case 1:
            return ok(state_.fsTotals.toBinary(state_.shiftNumber));
        default:
            return fail(FsError::BadParameter);
    }
}

FsAnswer FsEmulator::findDocument(ByteView data) const {
    const FsDocument* d = document(le::load32(data.data()));
    if (!d)
        return fail(FsError::NoData);
    Bytes v;
    v.push_back(static_cast<std::uint8_t>(d->type));
    v.push_back(d->acknowledged ? 1 : 0);
    v.insert(v.end(), d->archive.begin(), d->archive.end());
    return ok(std::move(v));
}

FsAnswer FsEmulator::ofdTicket(ByteView data) const {
    const FsDocument* d = document(le::load32(data.data()));
    if (!d || !d->acknowledged)
        return fail(FsError::NoData);
    return ok(d->ticket);
}

const FsDocument* FsEmulator::registrationReport(ByteView data, std::size_t numberBytes) const {
    if (state_.registrations.empty())
        return nullptr;
    std::size_t k = state_.registrations.size();
    if (data.size() > numberBytes) {
        k = data[0];
        if (k == 0)
            k = state_.registrations.size();
    }
    if (k > state_.registrations.size())
        return nullptr;
    return document(state_.registrations[k - 1]);
}

FsAnswer FsEmulator::registrationResults(ByteView data) const {
    if (data.size() > 1)
        return fail(FsError::BadParameter);
    const FsDocument* d = registrationReport(data, 0);
    if (!d)
        return fail(FsError::NoData);
    Bytes v;
    d->time.append(v);
    v.insert(v.end(), d->regRecord.begin(), d->regRecord.begin() + kRegShort);
    if (d->type == FsDocType::ReRegistration) {
        v.insert(v.end(), d->regRecord.begin() + kRegShort, d->regRecord.begin() + kRegShort + 4);
    }
    le::append32(v, d->number);
    le::append32(v, d->fiscalSign);
    return ok(std::move(v));
}

FsAnswer FsEmulator::registrationParameter(ByteView data) const {
    if (data.size() != 2 && data.size() != 3)
        return fail(FsError::BadParameter);
    const FsDocument* d = registrationReport(data, 2);
    if (!d)
        return fail(FsError::NoData);
    const std::uint16_t tag = le::load16(data.data() + data.size() - 2);
    const auto elements = elementsOf(d->tlv);
    if (elements) {
        for (const auto& e : *elements) {
            if (e.tag() != tag)
                continue;
            Bytes v;
            put(v, Tlv().setBytes(e.tag(), e.value()));
            return ok(std::move(v));
        }
    }
    return fail(FsError::NoData);
}

FsAnswer FsEmulator::startDocumentTlv(ByteView data) {
    const FsDocument* d = document(le::load32(data.data()));
    tlvCursor_.reset();
    if (!d)
        return fail(FsError::NoData);
    tlvCursor_ = std::make_pair(d->number, std::size_t{0});
    Bytes v;
    le::append16(v, static_cast<std::uint16_t>(d->type));
    le::append16(v, static_cast<std::uint16_t>(std::min<std::size_t>(d->tlv.size(), 0xFFFF)));
    return ok(std::move(v));
}

FsAnswer FsEmulator::nextDocumentTlv() {
    if (!tlvCursor_)
        return fail(FsError::OutOfSequence);
    const FsDocument* d = document(tlvCursor_->first);
    const std::size_t at = tlvCursor_->second;
    if (!d || at + 4 > d->tlv.size()) {
        tlvCursor_.reset();
        return fail(FsError::NoData);
    }
    // One element per answer: the register parses each answer as whole elements.
    const std::size_t len = 4 + le::load16(d->tlv.data() + at + 2);
    tlvCursor_->second = at + len;
    return ok(Bytes(d->tlv.begin() + static_cast<std::ptrdiff_t>(at),
                    d->tlv.begin() + static_cast<std::ptrdiff_t>(at + len)));
}

FsAnswer FsEmulator::startMessage() {
    const FsDocument* u = firstUnsent();
    if (!u)
        return fail(FsError::NoData);
    messageReading_ = u->number;
    Bytes v;
    le::append16(v, static_cast<std::uint16_t>(std::min<std::size_t>(8 + u->tlv.size(), 0xFFFF)));
    return ok(std::move(v));
}

FsAnswer FsEmulator::readMessage(ByteView data) const {
    if (!messageReading_)
        return fail(FsError::OutOfSequence);
    const FsDocument* d = document(*messageReading_);
    Bytes message = numberAndSign(*d);
    message.insert(message.end(), d->tlv.begin(), d->tlv.end());
    if (message.size() > 0xFFFF)
        message.resize(0xFFFF);
    const std::size_t offset = le::load16(data.data());
    const std::size_t length = le::load16(data.data() + 2);
    if (offset + length > message.size())
        return fail(FsError::BadParameter);
    return ok(Bytes(message.begin() + static_cast<std::ptrdiff_t>(offset),
                    message.begin() + static_cast<std::ptrdiff_t>(offset + length)));
}

FsAnswer FsEmulator::finishMessage() {
    if (!messageReading_)
        return fail(FsError::OutOfSequence);
    awaitingTicket_ = messageReading_;
    messageReading_.reset();
    return ok();
}

FsAnswer FsEmulator::messageTicket(ByteView data) {
    if (!awaitingTicket_)
        return fail(FsError::OutOfSequence);
    auto& d = state_.documents[*awaitingTicket_ - 1];
    // The operator's ticket: its date-time (when given and valid) and its 18-byte sign.
    const auto t = data.size() >= 5 ? FsDateTime::fromBytes(data.first(5)) : std::nullopt;
    Bytes ticket;
    (t ? *t : d.time).append(ticket);
    Bytes sign(18, 0);
    if (data.size() > 5) {
        std::copy_n(data.begin() + 5, std::min<std::size_t>(18, data.size() - 5), sign.begin());
    }
    ticket.insert(ticket.end(), sign.begin(), sign.end());
    le::append32(ticket, d.number);
    d.acknowledged = true;
    d.ticket = std::move(ticket);
    awaitingTicket_.reset();
    if (state_.phase == FsPhase::PostFiscal && unsentCount() == 0)
        state_.phase = FsPhase::Archive;
    return ok();
}

}  // namespace kkt::sim
