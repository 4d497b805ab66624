#include "fs/FsExchangeStatus.hpp"

#include "fs/FsDateTime.hpp"

namespace kkt {

FsFrameStatus FsExchangeStatus::fromReply(const FsRep& reply, FsExchangeStatus& out) {
    out = FsExchangeStatus{};
    if (!reply.ok())
        return reply.status();
    const ByteView d = reply.data();
    if (d.size() < kMinAnswerSize)
        return FsFrameStatus::BadLength;
    out.status = d[0];
    out.messageBeingRead = d[1] != 0;
    out.messagesWaiting = le::load16(d.data() + 2);
    out.firstUnsentNumber = le::load32(d.data() + 4);
    // The time is taken from the rest of the answer, which is a date-time field only when the
    // answer has exactly 13 bytes.
    out.firstUnsentTime = FsDateTime::decode(d.subspan(8));
    return FsFrameStatus::Ok;
}

}  // namespace kkt
