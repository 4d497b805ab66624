#include "fs/FsLifetime.hpp"

#include "fs/FsDateTime.hpp"

namespace kkt {

FsFrameStatus FsLifetime::fromReply(const FsRep& reply, FsLifetime& out) {
    out = FsLifetime{};
    if (!reply.ok())
        return reply.status();
    const ByteView d = reply.data();
    if (d.size() != kAnswerSize)
        return FsFrameStatus::BadLength;
    out.validUntil = FsDateTime::decodeDate(d.subspan(0, FsDateTime::kDateSize));
    out.registrationsLeft = d[3];
    out.registrationsDone = d[4];
    return FsFrameStatus::Ok;
}

}  // namespace kkt
