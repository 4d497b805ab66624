#pragma once
// Validity rules of the taxpayer number (INN) and of the KKT registration number (RN). Invalid
// values never fail loudly: they yield false, an empty string or kInvalidKind.

#include <cstdint>
#include <string>
#include <string_view>

namespace kkt::inn {

// kind() answers.
inline constexpr std::uint8_t kEmptyKind = 0;
inline constexpr std::uint8_t kPersonKind = 1;        // 12 digits
inline constexpr std::uint8_t kOrganisationKind = 2;  // 10 digits
inline constexpr std::uint8_t kInvalidKind = 255;

// Removes every whitespace character anywhere; a result holding ten zeros in a row is empty.
[[nodiscard]] std::string normalise(std::string_view inn);

enum class Empty { Invalid, Valid };

// 10 or 12 decimal digits, not all zero, with matching check digits.
// Empty::Valid lets an empty string pass.
[[nodiscard]] bool isValid(std::string_view inn, Empty empty = Empty::Invalid);

// kEmptyKind, kPersonKind, kOrganisationKind or kInvalidKind.
[[nodiscard]] std::uint8_t kind(std::string_view inn);

// The 12 characters the FS expects: empty -> twelve zeros, 10 digits -> two blanks appended,
// 12 digits unchanged, invalid -> empty.
[[nodiscard]] std::string fsForm(std::string_view inn);

struct Optional {
    std::string value;
    bool present = false;
};

// Normalised INN kept only when valid.
[[nodiscard]] Optional optional(std::string_view inn);

}  // namespace kkt::inn

namespace kkt::rn {

// 7 to 16 digits; left-padded with '0' to 16 they are a 10-digit order number and a 6-digit
// check value, which modulo 65536 must equal the CRC-16 of order number + INN (12 characters,
// a 10-digit INN preceded by "00") + factory number (left-padded with '0' to 20).
[[nodiscard]] bool isValid(std::string_view rn, std::string_view inn,
                           std::string_view factoryNumber);

// A valid RN left-padded with '0' to 16 digits; invalid -> empty.
[[nodiscard]] std::string normalise(std::string_view rn, std::string_view inn,
                                    std::string_view factoryNumber);

// A valid RN as 16 digits followed by four blanks; invalid -> empty.
[[nodiscard]] std::string fsForm(std::string_view rn, std::string_view inn,
                                 std::string_view factoryNumber);

}  // namespace kkt::rn
