#pragma once
// The build stamp of the firmware as a time value. No clock set by the core goes before it, and
// documents refuse a clock that is behind it.

#include <ctime>
#include <string_view>

namespace kkt {

inline constexpr std::string_view kBuildStamp = "Dec  5 2024 15:46:18";

// The stamp read with "%b %d %Y %H:%M:%S" as local time; computed once.
[[nodiscard]] std::time_t buildTime();

}  // namespace kkt
