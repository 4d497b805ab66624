#pragma once
// The fiscal storage itself, as the register sees it through the exchange protocol: one request
// (command code and data) in, one answer (answer code and data) out. It keeps its state in an
// FsState and hands every changed state to the persist function before it answers, so that a
// document the register was told about is never lost.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "fs-emulator/FsState.hpp"
#include "primitives/Bytes.hpp"

namespace kkt::sim {

// The error codes this FS answers, one per reason (the answer code of a refused command).
enum class FsError : std::uint8_t {
    None = 0x00,
    UnknownCommand = 0x01,  // code outside the request table, or a data length it does not allow
    WrongState = 0x02,      // phase, shift or open document do not allow the command
    Failure = 0x03,         // the FS could not make the change durable
    BadDateTime = 0x07,     // not a date-time, or earlier than the last document
    NoData = 0x08,          // no such document, parameter or ticket; end of a document's data
    BadParameter = 0x09,    // a value of the request is not acceptable
    OutOfSequence = 0x0A,   // data or a finishing command that does not belong to the open
                            // document, a read step without the command that starts it
    ForbiddenTag = 0x0B,    // a tag the FS sets itself or a marking step does not take; the
                            // answer data is the tag (u16)
    TlvTooLarge = 0x10,     // document data beyond the document limit
    ShiftOver24h = 0x16,    // the shift was opened more than 24 hours before
};

struct FsAnswer {
    std::uint8_t code = 0;
    Bytes data;

    [[nodiscard]] FsError error() const { return static_cast<FsError>(code); }
};

class FsEmulator {
  public:
    // Called with the new state before an answer that follows a change; false makes the
    // command fail with FsError::Failure and leaves the state as it was.
    using Persist = std::function<bool(const FsState&)>;

    static constexpr std::size_t kDocumentDataLimit = 32768;
    static constexpr int kValidityMonths = 36;
    static constexpr std::size_t kRegistrationsAllowed = 30;
    static constexpr std::size_t kDocumentLimit = 250000;

    explicit FsEmulator(FsState state, Persist persist = {});

    // A new FS in phase 1: given number (16 digits) and key, made on the given date.
    [[nodiscard]] static FsState freshState(std::string fsNumber,
                                            const std::array<std::uint8_t, 16>& key,
                                            FsDateTime made);
    // A new FS with a random number and key.
    [[nodiscard]] static FsState freshState(FsDateTime made);

    // One exchange: the request's command code and data, the FS's answer.
    [[nodiscard]] FsAnswer handle(std::uint8_t code, ByteView data);

    const FsState& state() const { return state_; }

    // Whether the request table accepts this data length for this code.
    [[nodiscard]] static bool requestAllowed(std::uint8_t code, std::size_t length);

  private:
    FsAnswer dispatch(std::uint8_t code, ByteView data);

    FsAnswer beginDocument(std::uint8_t code, ByteView data);
    FsAnswer beginRegistration(ByteView data);
    FsAnswer documentData(ByteView data);
    FsAnswer markedItem(ByteView data);
    FsAnswer finishShiftOpen();
    FsAnswer finishShiftClose();
    FsAnswer finishReceipt(ByteView data);
    FsAnswer finishSettlementReport();
    FsAnswer finishFsClose(ByteView data);
    FsAnswer finishRegistration(ByteView data);

    FsAnswer status() const;
    FsAnswer lifetime() const;
    FsAnswer lifetimeCounter(ByteView data) const;
    FsAnswer shiftState() const;
    FsAnswer exchangeStatus() const;
    FsAnswer counters(ByteView data) const;
    FsAnswer findDocument(ByteView data) const;
    FsAnswer ofdTicket(ByteView data) const;
    FsAnswer registrationResults(ByteView data) const;
    FsAnswer registrationParameter(ByteView data) const;
    FsAnswer startDocumentTlv(ByteView data);
    FsAnswer nextDocumentTlv();
    FsAnswer startMessage();
    FsAnswer readMessage(ByteView data) const;
    FsAnswer finishMessage();
    FsAnswer messageTicket(ByteView data);

    // Checks shared by the commands that open a document.
    std::optional<FsError> needFiscalAndNoDocument() const;
    std::optional<FsError> needOpen(FsDocType a, FsDocType b = FsDocType::None) const;
    std::optional<FsError> checkTime(const FsDateTime& t) const;

    // Signs and stores a finished document; returns it.
    const FsDocument& store(FsDocType type, const FsDateTime& time, Bytes tlv,
                            const std::function<Bytes(std::uint32_t, std::uint32_t)>& archive,
                            Bytes regRecord = {});
    std::uint32_t fiscalSign(std::uint32_t number, FsDocType type, const FsDateTime& time,
                             ByteView tlv) const;
    FsDateTime validUntil() const;
    std::uint16_t daysLeft(const FsDateTime& at) const;
    std::uint8_t warnings() const;
    std::uint32_t unsentCount() const;
    const FsDocument* firstUnsent() const;
    const FsDocument* document(std::uint32_t number) const;
    const FsDocument* registrationReport(ByteView data, std::size_t numberBytes) const;

    FsState state_;
    Persist persist_;

    // Transient read cursors: a restart ends them, as a power loss ends them in a real FS.
    std::optional<std::pair<std::uint32_t, std::size_t>> tlvCursor_;  // document, offset
    std::optional<std::uint32_t> messageReading_;                     // document being read
    std::optional<std::uint32_t> awaitingTicket_;                     // document sent
};

}  // namespace kkt::sim
