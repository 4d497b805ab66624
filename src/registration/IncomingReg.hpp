#pragma once
// Registration attributes that the host supplies when it registers the register. Filled from
// FFD TLVs; texts are the CP866 bytes as they travel in the TLVs.

#include <cstdint>
#include <string>

#include "primitives/Bytes.hpp"
#include "primitives/Tlv.hpp"

namespace kkt {

enum class ResetFirst { No, Yes };

class IncomingReg {
  public:
    // Mode flag bits.
    static constexpr std::uint32_t kAutomaticMode = 1u << 0;   // tag 1001
    static constexpr std::uint32_t kAutonomousMode = 1u << 1;  // tag 1002
    static constexpr std::uint32_t kEncryption = 1u << 2;      // tag 1056

    IncomingReg() = default;
    IncomingReg(const IncomingReg&) = default;
    IncomingReg(IncomingReg&&) = default;
    IncomingReg& operator=(const IncomingReg&) = default;
    IncomingReg& operator=(IncomingReg&&) = default;
    virtual ~IncomingReg() = default;

    // Empties every field of the class (and, overridden, of the derived classes).
    virtual void reset();

    // Takes one element into the field of its tag; other tags are ignored, and a value of the
    // wrong length yields 0 or empty for that field.
    void apply(const Tlv& tlv) { applyTag(tlv); }
    // Every element in list order, so a later element with the same tag wins.
    void apply(const TlvList& list, ResetFirst reset = ResetFirst::No);

    friend bool operator==(const IncomingReg&, const IncomingReg&) = default;

    std::uint32_t modeFlags = 0;
    std::string settlementAddress;      // 1009
    std::string ofdInn;                 // 1017
    std::string userInn;                // 1018
    std::string cashier;                // 1021
    std::string automatNumber;          // 1036
    std::string registrationNumber;     // 1037
    std::string ofdName;                // 1046
    std::string userName;               // 1048
    std::string fnsSite;                // 1060
    std::uint8_t taxSystems = 0;        // 1062
    std::string senderEmail;            // 1117
    std::string settlementPlace;        // 1187
    std::string cashierInn;             // 1203
    std::string additionalAttribute;    // 1274
    Bytes additionalData;               // 1275, raw
    std::uint32_t usageConditions = 0;  // 1290
    std::uint32_t changeReasons = 0;    // 1205

  protected:
    // True when the tag belongs to this class (or a base) and was taken.
    virtual bool applyTag(const Tlv& tlv);
};

}  // namespace kkt
