#pragma once
// Everything the FS keeps between two commands, and across power losses: its identity and key,
// the life phase, the shift, the counters, the open document and the archive of signed
// documents. FsStateFile makes it durable.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fs-emulator/FsCounterSet.hpp"
#include "fs-emulator/FsDateTime.hpp"
#include "primitives/Bytes.hpp"

namespace kkt::sim {

// FS life phases as the status answer reports them.
enum class FsPhase : std::uint8_t {
    ReadyForRegistration = 1,
    Fiscal = 3,
    PostFiscal = 7,  // fiscal mode closed, documents still to be passed to the OFD
    Archive = 15,    // fiscal mode closed, everything passed
};

// FFD document types, also used as the "current document" byte of the status answer.
enum class FsDocType : std::uint8_t {
    None = 0,
    Registration = 1,
    ShiftOpen = 2,
    Receipt = 3,
    Bso = 4,
    ShiftClose = 5,
    FsClose = 6,
    ReRegistration = 11,
    SettlementReport = 21,
    Correction = 31,
    CorrectionBso = 41,
};

struct FsDocument {
    std::uint32_t number = 0;
    FsDocType type = FsDocType::None;
    FsDateTime time;
    std::uint32_t fiscalSign = 0;
    Bytes archive;    // the document's part of the find-document answer (after type and ack)
    Bytes tlv;        // the TLV data as the FS stores it: what it received plus its own tags
    Bytes regRecord;  // registration reports: the record of 47 or 51 bytes after the date-time
    bool acknowledged = false;
    Bytes ticket;  // the OFD ticket once acknowledged: date-time, operator sign (18), number

    friend bool operator==(const FsDocument&, const FsDocument&) = default;
};

// The document between its begin command and its finishing command.
struct FsOpenDocument {
    FsDocType type = FsDocType::None;
    FsDateTime time;
    Bytes data;         // TLV data received so far
    Bytes pendingMark;  // marking data (2007) waiting for its item (1059)

    friend bool operator==(const FsOpenDocument&, const FsOpenDocument&) = default;
};

struct FsState {
    std::string fsNumber;  // 16 characters
    std::array<std::uint8_t, 16> key{};
    FsDateTime made;  // the date the FS was made, start of its validity before registration

    FsPhase phase = FsPhase::ReadyForRegistration;
    FsDateTime lastTime;  // date-time of the last document
    std::uint32_t lastNumber = 0;

    bool shiftOpen = false;
    std::uint16_t shiftNumber = 0;      // current or last shift
    std::uint16_t receiptsInShift = 0;  // receipt number of the last receipt of the shift
    std::uint32_t documentsInShift = 0;
    FsDateTime shiftOpenTime;

    FsCounterSet shift;     // the open shift
    FsCounterSet fsTotals;  // every closed shift

    std::vector<std::uint32_t> registrations;  // document numbers of the registration reports
    FsOpenDocument open;
    std::vector<FsDocument> documents;  // documents[i].number == i + 1

    bool transportConnected = false;

    friend bool operator==(const FsState&, const FsState&) = default;
};

// Durable storage of the state: one file, replaced atomically (temporary file, fsync, rename).
class FsStateFile {
  public:
    explicit FsStateFile(std::string path) : path_(std::move(path)) {}

    [[nodiscard]] bool save(const FsState& state, std::string* error = nullptr) const;
    // nullopt when the file is missing, unreadable or damaged; error says which.
    [[nodiscard]] std::optional<FsState> load(std::string* error = nullptr) const;

    [[nodiscard]] static Bytes encode(const FsState& state);
    [[nodiscard]] static std::optional<FsState> decode(ByteView data);

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace kkt::sim
