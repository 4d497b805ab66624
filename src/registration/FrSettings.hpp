#pragma once
// The register settings of "/nv/FR_SETTINGS": one byte at offset 0, the rounding mode that
// Decimal uses when it reduces a value to a smaller scale. Settings are addressed by id; id 1 is
// that byte and there are no others. The byte is read once and cached; a write replaces the
// cached value only after the file took it.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Paths.hpp"
#include "primitives/Bytes.hpp"

namespace kkt {

class FrSettings {
  public:
    static constexpr std::uint8_t kRoundingModeId = 1;
    // Mode 1 rounds half to even, any other value half up.
    static constexpr std::uint8_t kHalfToEven = 1;

    enum class Write { Done, Refused, SaveFailed };

    explicit FrSettings(std::string path = paths::kFrSettings);

    // The rounding-mode byte; a missing or empty file reads as 0.
    [[nodiscard]] std::uint8_t roundingMode();
    // The value bytes of a setting; empty for an unknown id.
    [[nodiscard]] Bytes value(std::uint8_t id);
    // Id 1 takes the first value byte and is saved (positioned write, then fsync). An unknown id
    // or an empty value is refused; nothing changes unless the file took the byte.
    [[nodiscard]] Write write(std::uint8_t id, ByteView value);

    const std::string& path() const { return path_; }

  private:
    std::uint8_t loadLocked();

    std::string path_;
    std::mutex mutex_;
    std::optional<std::uint8_t> cached_;
};

}  // namespace kkt
