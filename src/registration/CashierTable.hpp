#pragma once
// The cashier file ("/nv/CASHIERS": 20 records of 345 bytes) with its in-memory cache and the
// operator check that every command with an operator prefix begins with. One mutex guards the
// cache and serialises every access to the file.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Paths.hpp"
#include "primitives/Bytes.hpp"
#include "registration/Cashier.hpp"

namespace kkt {

// Outcome of the operator check: the code (0, 274 or 275), the operator, and the command data
// after the 5-byte prefix (a view into the checked bytes; empty on failure).
struct OperatorCheck {
    std::uint16_t code = 0;
    Cashier cashier;
    ByteView data;

    bool ok() const { return code == 0; }
    // An operator that failed its check has no rights.
    bool hasRight(std::uint32_t right) const { return ok() && cashier.hasRight(right); }
};

class CashierTable {
  public:
    static constexpr std::size_t kPrefixSize = 5;
    static constexpr std::uint8_t kServiceNumber = 255;
    static constexpr std::uint32_t kServicePassword = 0x5B1C0E47;
    static constexpr std::uint32_t kServiceRights =
        Cashier::kRightArchive | Cashier::kRightSettings | Cashier::kRightCashiersOwn;
    static constexpr std::size_t kFileSize = Cashier::kRecordSize * Cashier::kLastNumber;

    explicit CashierTable(std::string path = paths::kCashiers);

    // Creates the file with the default records when it is missing (through a temporary file,
    // fsync and rename, so a power cut never leaves a half-made file under the real name), and
    // completes with default records a file that is shorter than 20 records. False when the file
    // cannot be made usable.
    [[nodiscard]] bool ensureFile();

    // Cashier number (u8) and password (u32 LE) from the front of the data; see OperatorCheck.
    [[nodiscard]] OperatorCheck check(ByteView data);

    // Record n (1-20) as stored in the file; nullopt when n is out of range, the file cannot be
    // read, or the record's number byte is not n. The cache takes the record read.
    [[nodiscard]] std::optional<Cashier> read(std::uint8_t n);

    // Writes the record at its place (its number 1-20) and syncs it; the cache takes it too.
    [[nodiscard]] bool write(const Cashier& cashier);

    // The operator of the service password: rights 0x0806 only.
    [[nodiscard]] static Cashier serviceOperator(std::uint32_t password);

    const std::string& path() const { return path_; }

  private:
    std::optional<Cashier> readLocked(std::uint8_t n);

    std::string path_;
    std::mutex mutex_;
    std::map<std::uint8_t, Cashier> cache_;
};

}  // namespace kkt
