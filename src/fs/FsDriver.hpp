#pragma once
// The core's single gateway to the fiscal storage. It owns the FS port, runs one request/answer
// exchange per call through exec() and turns every outcome into one 16-bit result code (0, the
// FS error 0x0501-0x053D, or 0x05FD/0x05FE/0x05FF, see FsResult.hpp). The typed operations build
// the request of one FS command, choose its answer time limit and decode its answer.
//
// Every operation resets its outputs first and leaves them reset when it fails; the text of the
// last failed exec() is in log(). The port is opened on first use and retried on every exec().

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "fs/FsExchangeStatus.hpp"
#include "fs/FsFullStatus.hpp"
#include "fs/FsLabelsTransportStatus.hpp"
#include "fs/FsLifetime.hpp"
#include "fs/FsMemoryResource.hpp"
#include "fs/FsRep.hpp"
#include "fs/FsReq.hpp"
#include "fs/FsResult.hpp"
#include "fs/FsShiftState.hpp"
#include "fs/FsStatus.hpp"
#include "platform/Clock.hpp"
#include "platform/Paths.hpp"
#include "primitives/Tlv.hpp"

namespace kkt {

class FsPort;
struct FsCountersBinary;

class FsDriver {
  public:
    // Answer time limits of the FS commands, in milliseconds.
    static constexpr std::uint32_t kStatusTimeoutMs = 2000;
    static constexpr std::uint32_t kLabelsTimeoutMs = 5000;
    static constexpr std::uint32_t kExchangeStatusTimeoutMs = 8000;
    static constexpr std::uint32_t kMarkingTimeoutMs = 10000;
    static constexpr std::uint32_t kPassThroughTimeoutMs = 10000;
    static constexpr std::uint32_t kDocumentPartTimeoutMs = 10000;
    static constexpr std::uint32_t kRegistrationStartTimeoutMs = 20000;
    static constexpr std::uint32_t kDocumentReadTimeoutMs = 20000;
    static constexpr std::uint32_t kDocumentTimeoutMs = 30000;
    static constexpr std::uint32_t kArchiveTimeoutMs = 30000;
    static constexpr std::uint32_t kDocumentDataTimeoutMs = 60000;
    static constexpr std::uint32_t kParameterTimeoutMs = 60000;
    static constexpr std::uint32_t kCountersTimeoutMs = 60000;

    // No cap: every exchange waits as long as its command allows.
    static constexpr std::uint32_t kNoTimeoutCap = 0;

    // The registration data's flags that decide whether readFullStatus asks for the transport
    // state of marking notifications.
    struct RegistrationFlags {
        std::uint32_t modeFlags = 0;        // bit 1: autonomous mode
        std::uint32_t usageConditions = 0;  // bit 8: goods that need marking notifications
    };

    // Decides whether a 0x43 answer makes a registration report (the archive's parser).
    using FiscalReportCheck = std::function<bool(const FsRep& reply)>;

    // The port is the FS serial device at `path`; waits and times go through `clock`. A
    // timeoutCapMs other than kNoTimeoutCap shortens every answer time limit to at most that
    // (for a virtual board whose FS answers at once). Nothing is opened here.
    explicit FsDriver(std::string path = paths::kFsPort, Clock& clock = realClock(),
                      std::uint32_t timeoutCapMs = kNoTimeoutCap);
    ~FsDriver();
    FsDriver(const FsDriver&) = delete;
    FsDriver& operator=(const FsDriver&) = delete;

    // One exchange: 0x05FE when the port cannot be opened or no answer frame came, 0x05FD for a
    // malformed frame, else the answer's result code.
    [[nodiscard]] std::uint16_t exec(const FsReq& request, FsRep& reply, std::uint32_t timeoutMs);
    [[nodiscard]] bool isOpen() const;
    const std::string& log() const { return log_; }

    // --- FS status (0x30-0x3F, 0x10, 0x20, 0xBA) ---
    [[nodiscard]] std::uint16_t readStatus(FsStatus& out);
    [[nodiscard]] std::uint16_t readFsNumber(std::string& out);
    [[nodiscard]] std::uint16_t readLifetime(FsLifetime& out);
    [[nodiscard]] std::uint16_t readVersion(std::string& version, bool& flag);
    // Each code stays only when it is 1, 3 or 4, else it becomes 0.
    [[nodiscard]] std::uint16_t readFfdVersions(std::uint8_t& first, std::uint8_t& second);
    // The lifetime counter for the moment `at`; -1 unless read.
    [[nodiscard]] std::uint16_t readLifetimeCounter(std::time_t at, std::int32_t& counter);
    [[nodiscard]] std::uint16_t readMemoryResource(FsMemoryResource& out);
    [[nodiscard]] std::uint16_t readRelease(std::string& out);
    [[nodiscard]] std::uint16_t readShiftState(FsShiftState& out);
    [[nodiscard]] std::uint16_t readExchangeStatus(FsExchangeStatus& out);
    // An answer of another length than 13 bytes gives 0x05FF.
    [[nodiscard]] std::uint16_t readLabelsTransportStatus(FsLabelsTransportStatus& out);

    // --- documents ---
    [[nodiscard]] std::uint16_t cancelDocument();
    [[nodiscard]] std::uint16_t startFsClose();
    [[nodiscard]] std::uint16_t startShiftOpen(std::time_t at);
    [[nodiscard]] std::uint16_t startShiftClose(std::time_t at);
    [[nodiscard]] std::uint16_t startReceipt(std::time_t at);
    [[nodiscard]] std::uint16_t startCorrection(std::time_t at);
    [[nodiscard]] std::uint16_t startCalcReport(std::time_t at);
    // 0xA2 with the two bytes in order. The whole answer goes to `reply`; when the exchange fails,
    // the reply's code becomes the low byte of the result, so the reply tells the outcome.
    [[nodiscard]] std::uint16_t startRegistrationReport(std::uint8_t first, std::uint8_t second,
                                                        FsRep& reply);
    [[nodiscard]] std::uint16_t resetReceiptMarks();
    // 0xB7 with the mode byte and one encoded element. On 0x050B with more than one answer byte,
    // `markCheck` gets the FS's u16 check result (else 0). The reply is copied when asked.
    [[nodiscard]] std::uint16_t sendMarkedItem(std::uint8_t mode, const Tlv& element,
                                               std::uint16_t& markCheck,
                                               FsRep* replyCopy = nullptr);

    // --- counters (0x36): selector 0 = current shift, 1 = whole FS ---
    [[nodiscard]] std::uint16_t readCounters(std::uint8_t selector, FsCountersBinary& out);

    // --- archive ---
    // 0x40: the raw answer (document type, acknowledged flag, document data); fewer than 3 data
    // bytes give 0x05FF.
    [[nodiscard]] std::uint16_t findDocument(std::uint32_t number, FsRep& reply);
    // 0x41: the raw OFD ticket of a document.
    [[nodiscard]] std::uint16_t readOfdTicket(std::uint32_t number, FsRep& reply);
    // 0x43: the raw registration results of a report (number 0: the last one).
    [[nodiscard]] std::uint16_t readFiscalReport(std::uint8_t reportNumber, FsRep& reply);
    // 0x44: one parameter of a registration report as a TLV element (report 0: the last one).
    [[nodiscard]] std::uint16_t readFiscalParameter(std::uint8_t reportNumber, std::uint16_t tag,
                                                    Tlv& out);
    // 0x45 then 0x46 until the FS reports the end of the document (error 0x08).
    [[nodiscard]] std::uint16_t readDocumentTlv(std::uint32_t number, std::uint16_t& type,
                                                TlvList& elements);
    // The registration parameters of a report, tag by tag; tags the FS does not hold (0x0508)
    // are skipped. The caller applies the elements to its registration data.
    [[nodiscard]] std::uint16_t readRegistrationParameters(std::uint8_t reportNumber,
                                                           TlvList& parameters);
    // Re-reads a registration from the FS: 0x43, which `makesReport` must accept (else 0x05FF),
    // then every parameter as readRegistrationParameters does; the values are not kept.
    [[nodiscard]] std::uint16_t rereadRegistration(std::uint8_t reportNumber,
                                                   const FiscalReportCheck& makesReport);

    // The tags readRegistrationParameters asks for, in order.
    static const std::vector<std::uint16_t>& registrationTags();

    // --- full status ---
    // Fills `status` (made when empty) step by step, reading only what is missing unless the
    // last run failed. A failing step appends "<message><code>\n" to `errors` and returns.
    [[nodiscard]] std::uint16_t readFullStatus(
        std::shared_ptr<FsFullStatus>& status, std::uint32_t modeFlags, std::uint32_t usageFlags,
        std::string& errors, const std::optional<RegistrationFlags>& registration = std::nullopt);

  private:
    std::uint32_t limit(std::uint32_t timeoutMs) const;
    std::uint16_t run(std::uint8_t code, Bytes data, FsRep& reply, std::uint32_t timeoutMs);
    std::uint16_t startDocument(std::uint8_t code, std::time_t at, std::uint32_t timeoutMs);
    std::uint16_t readParameters(std::uint8_t reportNumber, TlvList* parameters);
    // Step 5 of readFullStatus: the counter, and the lifetime kept only while it is valid.
    std::uint16_t refreshLifetimeCounter(FsFullStatus& status, bool refresh);

    Clock& clock_;
    std::uint32_t timeoutCapMs_;
    std::unique_ptr<FsPort> port_;
    std::string log_;
};

}  // namespace kkt
