#include "fs/FsStatus.hpp"

#include "fs/FsDateTime.hpp"
#include "primitives/Utils.hpp"

namespace kkt {

bool FsStatus::isKnownPhase(std::uint8_t phase) {
    return phase == kPhaseBlank || phase == kPhaseFiscal || phase == kPhasePostFiscal ||
           phase == kPhaseArchiveRead;
}

bool FsStatus::fiscalModeReached() const {
    return phase == kPhaseFiscal || phase == kPhasePostFiscal || phase == kPhaseArchiveRead;
}

bool FsStatus::fiscalModeClosed() const {
    return phase == kPhasePostFiscal || phase == kPhaseArchiveRead;
}

FsFrameStatus FsStatus::fromReply(const FsRep& reply, FsStatus& out) {
    out = FsStatus{};
    if (!reply.ok())
        return reply.status();
    const ByteView d = reply.data();
    if (d.size() != kAnswerSize)
        return FsFrameStatus::BadLength;

    FsStatus s;
    s.phase = d[0];
    s.currentDocument = d[1];
    s.documentDataReceived = d[2] == 1;
    s.shiftOpen = d[3] == 1;
    s.warnings = d[4];
    s.lastDocumentTime = FsDateTime::decode(d.subspan(5, FsDateTime::kSize));
    s.fsNumber = util::trimSpaceAndNul(asString(d.subspan(10, 16)));
    s.lastDocumentNumber = le::load32(d.data() + 26);
    if (!isKnownPhase(s.phase) || s.fsNumber.empty())
        return FsFrameStatus::BadContent;
    if (s.lastDocumentTime <= 0 && s.lastDocumentNumber != 0)
        return FsFrameStatus::BadContent;
    out = std::move(s);
    return FsFrameStatus::Ok;
}

}  // namespace kkt
