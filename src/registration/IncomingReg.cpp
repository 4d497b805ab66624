#include "registration/IncomingReg.hpp"

namespace kkt {

void IncomingReg::reset() {
    *this = IncomingReg();
}

void IncomingReg::apply(const TlvList& list, ResetFirst reset) {
    if (reset == ResetFirst::Yes)
        this->reset();
    for (const auto& tlv : list)
        applyTag(tlv);
}

bool IncomingReg::applyTag(const Tlv& tlv) {
    const auto flag = [&](std::uint32_t bit) {
        if (tlv.asFlag()) {
            modeFlags |= bit;
        } else {
            modeFlags &= ~bit;
        }
    };
    switch (tlv.tag()) {
        case 1001:
            flag(kAutomaticMode);
            return true;
        case 1002:
            flag(kAutonomousMode);
            return true;
        case 1056:
            flag(kEncryption);
            return true;
        case 1009:
            settlementAddress = tlv.asText();
            return true;
        case 1017:
            ofdInn = tlv.asText();
            return true;
        case 1018:
            userInn = tlv.asText();
            return true;
        case 1021:
            cashier = tlv.asText();
            return true;
        case 1036:
            automatNumber = tlv.asText();
            return true;
        case 1037:
            registrationNumber = tlv.asText();
            return true;
        case 1046:
            ofdName = tlv.asText();
            return true;
        case 1048:
            userName = tlv.asText();
            return true;
        case 1060:
            fnsSite = tlv.asText();
            return true;
        case 1062:
            taxSystems = tlv.asByte();
            return true;
        case 1117:
            senderEmail = tlv.asText();
            return true;
        case 1187:
            settlementPlace = tlv.asText();
            return true;
        case 1203:
            cashierInn = tlv.asText();
            return true;
        case 1274:
            additionalAttribute = tlv.asText();
            return true;
        case 1275:
            additionalData = tlv.value();
            return true;
        case 1290:
            usageConditions = tlv.asU32();
            return true;
        case 1205:
            changeReasons = tlv.asU32();
            return true;
        default:
            return false;
    }
}

}  // namespace kkt
