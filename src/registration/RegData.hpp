#pragma once
// The registration data of the register: host and register attributes plus the fiscal data of
// the registration report. Its only persistent home is the FS; it is read back at every start.

#include <cstdint>
#include <string>

#include "registration/CoreRegData.hpp"

namespace kkt {

class RegData : public CoreRegData {
  public:
    RegData() = default;
    explicit RegData(const CoreRegData& core) : CoreRegData(core) {}

    void reset() override;
    // As CoreRegData, and the FS number is known.
    [[nodiscard]] bool isRegistered() const override;

    friend bool operator==(const RegData&, const RegData&) = default;

    std::uint32_t registrationTime = 0;  // 1012, Unix time
    std::uint32_t documentNumber = 0;    // 1040
    std::string fsNumber;                // 1041, without leading and trailing blanks
    std::uint32_t fiscalSign = 0;        // 1077

  protected:
    bool applyTag(const Tlv& tlv) override;
};

}  // namespace kkt
