#pragma once
// The FS status proper (answer to 0x30): life phase, open document, shift flag, warnings and the
// last fiscal document.

#include <cstdint>
#include <ctime>
#include <string>

#include "fs/FsRep.hpp"

namespace kkt {

struct FsStatus {
    static constexpr std::size_t kAnswerSize = 30;

    // The life phases of an FS; kPhaseUnread is only the value of a status not read yet.
    static constexpr std::uint8_t kPhaseBlank = 1;         // ready for registration
    static constexpr std::uint8_t kPhaseFiscal = 3;        // fiscal mode
    static constexpr std::uint8_t kPhasePostFiscal = 7;    // fiscal mode closed, data still to send
    static constexpr std::uint8_t kPhaseArchiveRead = 15;  // fiscal mode closed, everything sent
    static constexpr std::uint8_t kPhaseUnread = 127;

    std::uint8_t phase = kPhaseUnread;
    std::uint8_t currentDocument = 0;
    bool documentDataReceived = false;
    bool shiftOpen = false;
    std::uint8_t warnings = 0;
    std::time_t lastDocumentTime = 0;
    std::string fsNumber;
    std::uint32_t lastDocumentNumber = 0;

    static bool isKnownPhase(std::uint8_t phase);
    // Fiscal mode or later (3, 7, 15).
    [[nodiscard]] bool fiscalModeReached() const;
    // Fiscal mode closed (7, 15).
    [[nodiscard]] bool fiscalModeClosed() const;

    // Ok and the filled record; BadLength for another size; BadContent for an unknown phase, an
    // empty FS number, or a last document without a time.
    [[nodiscard]] static FsFrameStatus fromReply(const FsRep& reply, FsStatus& out);
};

}  // namespace kkt
