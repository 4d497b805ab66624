#include "fs-emulator/FsCounterSet.hpp"

#include "primitives/Tlv.hpp"

namespace kkt::sim {

namespace {
void put(Bytes& out, const Tlv& t) {
    const Bytes e = t.encode();
    out.insert(out.end(), e.begin(), e.end());
}
}  // namespace
namespace {

constexpr std::uint64_t kSixByteMax = (std::uint64_t{1} << 48) - 1;

void append48(Bytes& out, std::uint64_t v) {
    // The binary counters carry 6-byte sums; a total beyond that saturates instead of wrapping.
    if (v > kSixByteMax)
        v = kSixByteMax;
    for (int i = 0; i < 6; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void appendOperation76(Bytes& out, const FsOperationTotals& t) {
    le::append32(out, t.count);
    for (auto v : {t.total, t.cash, t.electronic, t.advance, t.credit, t.other})
        append48(out, v);
    for (auto v : t.vat)
        append48(out, v);
}

constexpr std::uint16_t kOperationTags[kOperationKinds] = {1129, 1130, 1131, 1132};
constexpr std::uint16_t kShortTags[kOperationKinds] = {1145, 1232, 1146, 1233};
constexpr std::uint16_t kVatTags[6] = {1139, 1140, 1143, 1183, 1141, 1142};

Bytes shortBlock(const FsOperationTotals& t) {
    Bytes v;
    put(v, Tlv().setU32(1135, t.count));
    put(v, Tlv().setVln(1201, t.total));
    put(v, Tlv().setVln(1136, t.cash));
    put(v, Tlv().setVln(1138, t.electronic));
    put(v, Tlv().setVln(1218, t.advance));
    put(v, Tlv().setVln(1219, t.credit));
    put(v, Tlv().setVln(1220, t.other));
    return v;
}

Bytes fullBlock(const FsOperationTotals& t) {
    Bytes v = shortBlock(t);
    for (std::size_t i = 0; i < 6; ++i)
        put(v, Tlv().setVln(kVatTags[i], t.vat[i]));
    return v;
}

Bytes correctionBlock(std::uint32_t count,
                      const std::array<FsOperationTotals, kOperationKinds>& ops) {
    Bytes v;
    put(v, Tlv().setU32(1144, count));
    for (std::size_t k = 0; k < kOperationKinds; ++k) {
        put(v, Tlv().setBytes(kShortTags[k], shortBlock(ops[k])));
    }
    return v;
}

void saveTotals(Bytes& out, const FsOperationTotals& t) {
    le::append32(out, t.count);
    for (auto v : {t.total, t.cash, t.electronic, t.advance, t.credit, t.other}) {
        le::append64(out, v);
    }
    for (auto v : t.vat)
        le::append64(out, v);
}

bool loadTotals(ByteReader& in, FsOperationTotals& t) {
    const auto count = in.u32();
    if (!count)
        return false;
    t.count = *count;
    for (auto* v : {&t.total, &t.cash, &t.electronic, &t.advance, &t.credit, &t.other}) {
        const auto x = in.u64();
        if (!x)
            return false;
        *v = *x;
    }
    for (auto& v : t.vat) {
        const auto x = in.u64();
        if (!x)
            return false;
        v = *x;
    }
    return true;
}

}  // namespace

void FsOperationTotals::add(const FsOperationTotals& o) {
    count += o.count;
    total += o.total;
    cash += o.cash;
    electronic += o.electronic;
    advance += o.advance;
    credit += o.credit;
    other += o.other;
    for (std::size_t i = 0; i < vat.size(); ++i)
        vat[i] += o.vat[i];
}

void FsCounterSet::addReceipt(const FsReceiptSums& receipt) {
    FsOperationTotals one = receipt.sums;
    one.count = 1;
    const std::size_t k = receipt.kind < kOperationKinds ? receipt.kind : 0;
    ++receipts;
    operations[k].add(one);
    if (receipt.correction) {
        ++corrections;
        correctionOperations[k].add(one);
    }
}

void FsCounterSet::add(const FsCounterSet& other) {
    receipts += other.receipts;
    corrections += other.corrections;
    for (std::size_t k = 0; k < kOperationKinds; ++k) {
        operations[k].add(other.operations[k]);
        correctionOperations[k].add(other.correctionOperations[k]);
    }
}

Bytes FsCounterSet::toBinary(std::uint16_t firstValue) const {
    Bytes out;
    out.reserve(354);
    le::append16(out, firstValue);
    le::append32(out, receipts);
    for (const auto& op : operations)
        appendOperation76(out, op);
    le::append32(out, corrections);
    for (const auto& op : correctionOperations) {
        le::append32(out, op.count);
        append48(out, op.total);
    }
    return out;
}

Bytes FsCounterSet::toTlv(std::uint16_t containerTag) const {
    Bytes v;
    put(v, Tlv().setU32(1134, receipts));
    for (std::size_t k = 0; k < kOperationKinds; ++k) {
        put(v, Tlv().setBytes(kOperationTags[k], fullBlock(operations[k])));
    }
    put(v, Tlv().setBytes(1133, correctionBlock(corrections, correctionOperations)));
    Bytes out;
    put(out, Tlv().setBytes(containerTag, v));
    return out;
}

Bytes FsCounterSet::toUnsentTlv() const {
    Bytes out;
    put(out, Tlv().setBytes(1158, correctionBlock(receipts, operations)));
    return out;
}

void FsCounterSet::save(Bytes& out) const {
    le::append32(out, receipts);
    for (const auto& op : operations)
        saveTotals(out, op);
    le::append32(out, corrections);
    for (const auto& op : correctionOperations)
        saveTotals(out, op);
}

bool FsCounterSet::load(ByteReader& in) {
    const auto r = in.u32();
    if (!r)
        return false;
    receipts = *r;
    for (auto& op : operations) {
        if (!loadTotals(in, op))
            return false;
    }
    const auto c = in.u32();
    if (!c)
        return false;
    corrections = *c;
    for (auto& op : correctionOperations) {
        if (!loadTotals(in, op))
            return false;
    }
    return true;
}

}  // namespace kkt::sim
