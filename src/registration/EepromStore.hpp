#pragma once
// The board's I2C EEPROM, a 4096-byte file: the factory record at 0, the cash record at 70 and
// the device id at 4080; every other byte stays 0xFF. Each operation opens the file ("r+") for
// itself and closes it again; a file that cannot be opened fails the operation and nothing is
// written. Used by the core thread only, so no lock here.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Paths.hpp"
#include "platform/Random.hpp"
#include "registration/CashStatusData.hpp"
#include "registration/CoreState.hpp"
#include "registration/ModelData.hpp"

namespace kkt {

class EepromStore {
  public:
    static constexpr std::size_t kSize = 4096;
    static constexpr long kModelAt = 0;
    static constexpr long kCashAt = 70;
    static constexpr long kDeviceIdAt = 4080;
    static constexpr std::size_t kDeviceIdSize = 16;
    static constexpr std::size_t kDumpRow = 64;

    explicit EepromStore(std::string path = paths::kEeprom, Random& random = realRandom());

    // 70 bytes at 0; 0xFF in the texts and the check value (bytes 6..65) reads as 0.
    [[nodiscard]] bool readModel(ModelData& out) const;
    [[nodiscard]] bool writeModel(const ModelData& m) const;
    // 48 bytes at 70; an erased record reads as all zero.
    [[nodiscard]] bool readCash(CashStatusData& out) const;
    [[nodiscard]] bool writeCash(const CashStatusData& c) const;
    [[nodiscard]] bool zeroCash() const;

    // The device id at 4080, made from the random device when erased and written back either
    // way; the 16 bytes read back, or nullopt on any short read or write.
    [[nodiscard]] std::optional<Bytes> ensureDeviceId() const;

    // Writes these 16 bytes at 4080: the id a factory record's check value was made with is
    // stored beside the record.
    [[nodiscard]] bool writeDeviceId(ByteView id) const;

    // 4096 bytes of 0xFF in 8 writes of 512, each flushed. False when the file cannot be opened
    // or a write falls short.
    bool clear() const;

    // 64 rows of 64 bytes as upper-case hex in eight groups of 16 digits separated by two spaces;
    // bytes that cannot be read show as FF. nullopt when the file cannot be opened.
    [[nodiscard]] std::optional<std::vector<std::string>> dump() const;

    struct LoadOutcome {
        bool deviceId = false;  // ensured and published
        bool modelRead = false;
        bool modelPublished = false;
        bool cleared = false;  // markers did not match: the whole EEPROM was erased
    };
    // Start-up: ensure the device id, then publish the factory record when its markers read as
    // 2001 and 65, else erase the whole EEPROM (which also drops the id just written, so such a
    // board gets a new id at every start).
    LoadOutcome load(CoreState& state) const;

  private:
    std::string path_;
    Random& random_;
};

}  // namespace kkt
