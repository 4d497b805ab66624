#include "fs/FsShiftState.hpp"

namespace kkt {

FsFrameStatus FsShiftState::fromReply(const FsRep& reply, FsShiftState& out) {
    out = FsShiftState{};
    if (!reply.ok())
        return reply.status();
    const ByteView d = reply.data();
    if (d.size() < kMinAnswerSize)
        return FsFrameStatus::BadLength;
    out.open = d[0] != 0;
    out.shiftNumber = le::load16(d.data() + 1);
    out.lastReceipt = le::load16(d.data() + 3);
    return FsFrameStatus::Ok;
}

}  // namespace kkt
