#include "fs/FsLabelsTransportStatus.hpp"

#include "fs/FsDateTime.hpp"

namespace kkt {

FsFrameStatus FsLabelsTransportStatus::fromReply(const FsRep& reply, FsLabelsTransportStatus& out) {
    out = FsLabelsTransportStatus{};
    if (!reply.ok())
        return reply.status();
    const ByteView d = reply.data();
    if (d.size() != kAnswerSize)
        return FsFrameStatus::BadLength;
    out.status = d[0];
    out.count = le::load16(d.data() + 1);
    out.documentNumber = le::load32(d.data() + 3);
    out.time = FsDateTime::decode(d.subspan(7, FsDateTime::kSize));
    out.lastByte = d[12];
    return FsFrameStatus::Ok;
}

}  // namespace kkt
