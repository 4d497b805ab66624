#pragma once
// The factory record of the register (70 bytes at EEPROM offset 0): two format markers, the
// factory number, the model name, the KKT version and a check value. Empty fields read as their
// defaults, so an erased record still names the model.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "primitives/Bytes.hpp"

namespace kkt {

class ModelData {
  public:
    static constexpr std::size_t kSize = 70;
    // What the host's model command sends: everything before the check value.
    static constexpr std::size_t kAnswerSize = 66;
    static constexpr std::uint16_t kMarker1 = 2001;
    static constexpr std::uint32_t kMarker2 = 65;
    static constexpr std::size_t kFactoryNumberSize = 20;
    static constexpr std::string_view kDefaultModelName = "KALINOR ZX-7000";
    static constexpr std::string_view kDefaultVersion = "012";

    // The default record: every byte zero, so every field reads as its default.
    ModelData() = default;
    explicit ModelData(ByteView raw);

    // A fresh factory record for the number (at most 20 digits) and the device id.
    [[nodiscard]] static ModelData factory(std::string_view factoryNumber, ByteView deviceId);
    // CRC-32 over the decimal text of marker 1, the factory number and the device id.
    [[nodiscard]] static std::uint32_t checksumFor(std::uint16_t marker1,
                                                   std::string_view factoryNumber,
                                                   ByteView deviceId);

    // Replaces the record by the given bytes (short input leaves the tail zero).
    void assign(ByteView raw);

    // Format markers as read: a stored 0 (or, for marker 2, bit 31 set) reads as the fixed value.
    [[nodiscard]] std::uint16_t marker1() const;
    [[nodiscard]] std::uint32_t marker2() const;
    [[nodiscard]] std::string factoryNumber() const;
    [[nodiscard]] std::string modelName() const;
    [[nodiscard]] std::string version() const;
    [[nodiscard]] std::uint32_t checksum() const;

    // Marker 1 set, a factory number of digits only, a model name, and a check value that is
    // neither 0 nor all ones. The check value is not recomputed.
    [[nodiscard]] bool isValid() const;

    [[nodiscard]] ByteView bytes() const { return raw_; }
    [[nodiscard]] Bytes answer() const { return Bytes(raw_.begin(), raw_.begin() + kAnswerSize); }

    friend bool operator==(const ModelData&, const ModelData&) = default;

  private:
    static constexpr std::size_t kFactoryNumberAt = 6;
    static constexpr std::size_t kModelNameAt = 26;
    static constexpr std::size_t kModelNameSize = 32;
    static constexpr std::size_t kVersionAt = 58;
    static constexpr std::size_t kVersionSize = 8;
    static constexpr std::size_t kChecksumAt = 66;

    [[nodiscard]] std::string text(std::size_t at, std::size_t size) const;
    void putText(std::size_t at, std::size_t size, std::string_view s);

    std::array<std::uint8_t, kSize> raw_{};
};

}  // namespace kkt
