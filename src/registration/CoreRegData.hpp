#pragma once
// Registration attributes of the host plus those that the register and its FS supply.

#include <cstdint>
#include <string>

#include "registration/IncomingReg.hpp"

namespace kkt {

class CoreRegData : public IncomingReg {
  public:
    // The format-version code this system writes for FFD 1.2.
    static constexpr std::uint8_t kFfd12 = 4;

    CoreRegData() = default;
    explicit CoreRegData(const IncomingReg& incoming) : IncomingReg(incoming) {}

    void reset() override;
    // Factory number, user INN and registration number present, and the registration number
    // valid for that INN and factory number. The blanks of the FS forms (a 10-digit INN with two
    // blanks, the RN with four) do not count.
    [[nodiscard]] virtual bool isRegistered() const;

    friend bool operator==(const CoreRegData&, const CoreRegData&) = default;

    std::string factoryNumber;      // 1013
    std::uint8_t ffdFs = 0;         // 1190
    std::uint8_t ffdDocuments = 0;  // 1209
    std::uint8_t ffdKkt = 0;        // 1189
    std::string kktVersion;         // 1188
    std::uint16_t keyResource = 0;  // 1213

  protected:
    bool applyTag(const Tlv& tlv) override;
};

}  // namespace kkt
