#pragma once
// Result codes of the operator check, the service commands and the cash commands. The FS range
// (0x0500 + FS error, 0x05FD to 0x05FF) belongs to the FS driver; the printer's 976 and 977 to the
// printer driver.

#include <cstdint>

namespace kkt::rc {

inline constexpr std::uint16_t kOk = 0;
inline constexpr std::uint16_t kShiftNotOpen = 25;
inline constexpr std::uint16_t kNoRight = 14;
inline constexpr std::uint16_t kUnknownCommand = 266;
inline constexpr std::uint16_t kCashierNotFound = 273;
inline constexpr std::uint16_t kOperatorRefused = 274;
inline constexpr std::uint16_t kOperatorMalformed = 275;
inline constexpr std::uint16_t kBadSetting = 276;
inline constexpr std::uint16_t kCashierSaveFailed = 277;
inline constexpr std::uint16_t kBadData = 278;
inline constexpr std::uint16_t kTimeNotPlausible = 279;
inline constexpr std::uint16_t kFactoryRecordPresent = 280;
inline constexpr std::uint16_t kEepromFailed = 281;
inline constexpr std::uint16_t kNotEnoughCash = 296;
inline constexpr std::uint16_t kBadAmount = 1289;

}  // namespace kkt::rc
