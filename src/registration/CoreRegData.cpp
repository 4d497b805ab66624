#include "registration/CoreRegData.hpp"

#include "primitives/Inn.hpp"
#include "primitives/Utils.hpp"

namespace kkt {

void CoreRegData::reset() {
    *this = CoreRegData();
}

bool CoreRegData::isRegistered() const {
    // Read back from the FS the INN and the RN come in their FS forms, padded with blanks.
    const std::string inn = inn::normalise(userInn);
    const std::string number = util::trim(registrationNumber);
    const std::string factory = util::trim(factoryNumber);
    return !factory.empty() && !inn.empty() && !number.empty() && rn::isValid(number, inn, factory);
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
