#pragma once
// One operator of the register, as held in memory and as its 345-byte record of the cashier file.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "primitives/Bytes.hpp"

namespace kkt {

struct Cashier {
    // Rights bits; a command that names two bits accepts either.
    static constexpr std::uint32_t kRightReceipt = 0x0001;
    static constexpr std::uint32_t kRightArchive = 0x0002;
    static constexpr std::uint32_t kRightSettings = 0x0004;
    static constexpr std::uint32_t kRightRegistration = 0x0008;
    static constexpr std::uint32_t kRightReceiptAlt = 0x0010;
    static constexpr std::uint32_t kRightFactoryRecord = 0x0020;
    static constexpr std::uint32_t kRightShiftOpen = 0x0040;
    static constexpr std::uint32_t kRightShiftClose = 0x0080;
    static constexpr std::uint32_t kRightCorrection = 0x0100;
    static constexpr std::uint32_t kRightCorrectionAlt = 0x0200;
    static constexpr std::uint32_t kRightCashiersOwn = 0x0800;
    static constexpr std::uint32_t kRightCashiersAll = 0x1000;
    // Every right of the table: what the system administrator always holds.
    static constexpr std::uint32_t kAllRights = 0x1FFF;

    static constexpr std::uint8_t kFirstNumber = 1;
    static constexpr std::uint8_t kAdministrator = 20;
    static constexpr std::uint8_t kLastNumber = 20;
    static constexpr std::size_t kRecordSize = 345;

    static constexpr std::size_t kNameCapacity = 256;
    static constexpr std::size_t kLoginCapacity = 32;
    static constexpr std::size_t kPasswordTextCapacity = 32;
    static constexpr std::size_t kInnCapacity = 12;

    std::uint8_t number = 0;
    std::uint32_t rights = 0;
    std::uint32_t password = 0;
    std::string name;          // CP866, at most 255 bytes
    std::string login;         // at most 31 bytes
    std::string passwordText;  // at most 31 bytes
    std::string inn;           // at most 12 bytes

    static bool isNumberInRange(unsigned n) { return n >= kFirstNumber && n <= kLastNumber; }

    // Decodes one file record; nullopt unless exactly kRecordSize bytes. The texts end at their
    // first NUL and never run past their field (the last byte of each NUL-padded field is taken
    // as NUL).
    [[nodiscard]] static std::optional<Cashier> fromRecord(ByteView record);
    // The 345-byte file form; over-long texts are cut to their field.
    [[nodiscard]] Bytes toRecord() const;

    // Number 1-20, password and rights non-zero, name, login and password text non-empty.
    [[nodiscard]] bool isValid() const;
    [[nodiscard]] bool hasRight(std::uint32_t right) const { return (rights & right) != 0; }

    // The record a new cashier file holds for number n: all zero but the number, except the
    // administrator (20) with all rights, its name, login "su" and the default password.
    [[nodiscard]] static Cashier defaultRecord(std::uint8_t n);
    static constexpr std::uint32_t kDefaultAdminPassword = 30;

    friend bool operator==(const Cashier&, const Cashier&) = default;
};

}  // namespace kkt
