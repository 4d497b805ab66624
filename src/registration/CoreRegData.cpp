#include "registration/CoreRegData.hpp"

#include "primitives/Inn.hpp"

namespace kkt {

void CoreRegData::reset() {
    *this = CoreRegData();
}

bool CoreRegData::isRegistered() const {
    return !factoryNumber.empty() && !userInn.empty() && !registrationNumber.empty() &&
           rn::isValid(registrationNumber, userInn, factoryNumber);
}

bool CoreRegData::applyTag(const Tlv& tlv) {
    switch (tlv.tag()) {
        case 1013:
            factoryNumber = tlv.asText();
            return true;
        case 1190:
            ffdFs = tlv.asByte();
            return true;
        case 1209:
            ffdDocuments = tlv.asByte();
            return true;
        case 1189:
            ffdKkt = tlv.asByte();
            return true;
        case 1188:
            kktVersion = tlv.asText();
            return true;
        case 1213:
            keyResource = tlv.asU16();
            return true;
        default:
            return IncomingReg::applyTag(tlv);
    }
}

}  // namespace kkt
