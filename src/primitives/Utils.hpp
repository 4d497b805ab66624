#pragma once
// Small routines several subsystems share: the hex dump of diagnostic texts, Base64, trimming,
// calendar dates from text and back, fixed-size little-endian integers from byte strings and the
// plausibility checks of buyer contact data.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "primitives/Bytes.hpp"

namespace kkt::util {

// "00 01 02 03 04 05 06 07  08 ... 0F  \n10 ": two upper-case digits and a blank per byte, one
// more blank after every 8th byte and a line feed after every 16th.
[[nodiscard]] std::string hexDump(ByteView bytes);

// Standard alphabet, "=" fill, the length need not be a multiple of 4; blanks and line breaks
// are skipped. nullopt for any other character, data after the fill, or a lone final character.
[[nodiscard]] std::optional<Bytes> base64Decode(std::string_view text);

// Removes white space of the C locale (blank, \t \n \v \f \r) at both ends.
[[nodiscard]] std::string trim(std::string_view text);
// The same, also removing NUL bytes (the FS pads its text fields with them).
[[nodiscard]] std::string trimSpaceAndNul(std::string_view text);

// The trimmed text read with a strptime pattern ("%d.%m.%Y") into a calendar time whose other
// fields are zero, converted as local time. nullopt when the text does not match the pattern
// completely.
[[nodiscard]] std::optional<std::time_t> dateFromText(std::string_view text,
                                                      const std::string& pattern);

// The time as local time with a strftime pattern ("%d.%m.%Y %H:%M").
[[nodiscard]] std::string formatTime(std::time_t seconds, const std::string& pattern);

// Exactly 4 (or 2) little-endian bytes; otherwise 0 and ok false.
[[nodiscard]] std::uint32_t u32FromBytes(ByteView bytes, bool* ok = nullptr);
[[nodiscard]] std::uint16_t u16FromBytes(ByteView bytes, bool* ok = nullptr);

// Empty -> valueForEmpty; otherwise at least minLength long with "@" and ".".
[[nodiscard]] bool isEmailPlausible(std::string_view text, std::size_t minLength,
                                    bool valueForEmpty);
// Empty -> valueForEmpty; otherwise at least minLength long, starting with "+", and once every
// "+", "-", "(" and ")" is gone the leading digits are a number above zero.
[[nodiscard]] bool isPhonePlausible(std::string_view text, std::size_t minLength,
                                    bool valueForEmpty);

}  // namespace kkt::util
