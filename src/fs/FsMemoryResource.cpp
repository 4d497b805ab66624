#include "fs/FsMemoryResource.hpp"

namespace kkt {

FsFrameStatus FsMemoryResource::fromReply(const FsRep& reply, FsMemoryResource& out) {
    out = FsMemoryResource{};
    if (!reply.ok())
        return reply.status();
    const ByteView d = reply.data();
    if (d.size() < kMinAnswerSize)
        return FsFrameStatus::BadLength;
    out.first = le::load32(d.data());
    out.second = le::load32(d.data() + 4);
    if (d.size() == kLongAnswerSize)
        out.third = d[8];
    return FsFrameStatus::Ok;
}

}  // namespace kkt
