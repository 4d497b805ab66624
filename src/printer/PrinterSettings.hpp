#pragma once
// The printer settings record and its file: byte 0 the paper-width value, bytes 1 to 4 the extra
// value (little-endian). The extra value is kept for the host but no print operation uses it.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Paths.hpp"
#include "primitives/Bytes.hpp"

namespace kkt {

class PrinterSettings {
  public:
    static constexpr std::uint8_t kPaperWidthId = 1;
    static constexpr std::uint8_t kExtraValueId = 2;
    static constexpr std::uint8_t kDefaultPaperWidth = 60;

    // Loads the file when it exists; what the file lacks keeps its default.
    explicit PrinterSettings(std::string path = paths::kPrinterSettings);

    std::uint8_t paperWidth() const { return paperWidth_; }
    std::uint32_t extraValue() const { return extraValue_; }

    // The value of a setting as the host reads it: id 1 one byte, id 2 four bytes little-endian;
    // nullopt for another id.
    [[nodiscard]] std::optional<Bytes> value(std::uint8_t id) const;
    // Id 1 takes the first byte and applies it to the layout at once; id 2 takes the first four
    // bytes. False (nothing changed) for another id, an empty value or a short id 2 value.
    [[nodiscard]] bool setValue(std::uint8_t id, ByteView value);

    // Makes the layout use this paper width.
    void applyToLayout() const;

    // Writes the five bytes, creating the file when it does not exist.
    [[nodiscard]] bool save() const;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::uint8_t paperWidth_ = kDefaultPaperWidth;
    std::uint32_t extraValue_ = 0;
};

}  // namespace kkt
