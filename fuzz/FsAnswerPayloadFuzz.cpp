// FS answer payloads: the input is an answer code and its data, framed here with a correct CRC so
// that every input reaches the typed answer readers (status, counters, lifetime and the rest).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fs/FsCorrectionCountersTlv.hpp"
#include "fs/FsCountersBinary.hpp"
#include "fs/FsCountersTlv.hpp"
#include "fs/FsDateTime.hpp"
#include "fs/FsExchangeStatus.hpp"
#include "fs/FsLabelsTransportStatus.hpp"
#include "fs/FsLifetime.hpp"
#include "fs/FsMemoryResource.hpp"
#include "fs/FsOperationCounters.hpp"
#include "fs/FsRep.hpp"
#include "fs/FsShiftState.hpp"
#include "fs/FsStatus.hpp"
#include "primitives/Crc.hpp"
#include "primitives/Tlv.hpp"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

// The counter records that read TLV containers.
void readCounters(const kkt::Tlv& element) {
    kkt::FsCountersTlv totals;
    (void)totals.fromTlv(element);
    kkt::FsCorrectionCountersTlv corrections;
    (void)corrections.fromTlv(element);
    kkt::FsOperationCounters operation;
    (void)operation.fromTlv(element);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // LEN is 16 bits and counts the code too.
    const std::size_t dataSize = std::min<std::size_t>(size - 1, 0xFFFE);

    kkt::Bytes frame;
    frame.push_back(kkt::FsMsg::kStartByte);
    kkt::le::append16(frame, static_cast<std::uint16_t>(dataSize + 1));
    frame.insert(frame.end(), data, data + 1 + dataSize);
    kkt::le::append16(frame, kkt::Crc16::compute(kkt::ByteView(frame).subspan(1)));

    kkt::FsRep reply;
    require(reply.fromFrame(frame) == kkt::FsFrameStatus::Ok);
    require(reply.code() == data[0] && reply.data().size() == dataSize);
    const kkt::ByteView payload = reply.data();

    kkt::FsStatus status;
    (void)kkt::FsStatus::fromReply(reply, status);
    kkt::FsShiftState shift;
    (void)kkt::FsShiftState::fromReply(reply, shift);
    kkt::FsExchangeStatus exchange;
    (void)kkt::FsExchangeStatus::fromReply(reply, exchange);
    kkt::FsLabelsTransportStatus labels;
    (void)kkt::FsLabelsTransportStatus::fromReply(reply, labels);
    kkt::FsLifetime lifetime;
    (void)kkt::FsLifetime::fromReply(reply, lifetime);
    kkt::FsMemoryResource memory;
    (void)kkt::FsMemoryResource::fromReply(reply, memory);

    kkt::FsCountersBinary binary;
    if (binary.fromBinary(payload))
        (void)binary.cashBalance();
    kkt::FsOperationCounters block;
    (void)block.fromBinary(payload);

    (void)kkt::FsDateTime::decode(payload.first(std::min<std::size_t>(payload.size(), 5)));
    (void)kkt::FsDateTime::decodeDate(payload.first(std::min<std::size_t>(payload.size(), 3)));

    // The data as the counters containers the FS sends, and each element it holds.
    for (const std::uint16_t tag :
         {kkt::FsCountersTlv::kFsTotalsTag, kkt::FsCountersTlv::kShiftTotalsTag,
          kkt::FsCorrectionCountersTlv::kUnsentTag, kkt::FsCorrectionCountersTlv::kCorrectionTag}) {
        readCounters(kkt::Tlv(tag, kkt::Bytes(payload.begin(), payload.end())));
    }
    for (const kkt::Tlv& element : kkt::Tlv::parseSequence(payload))
        readCounters(element);
    return 0;
}
