#include "registration/RegData.hpp"

namespace kkt {

namespace {

std::string withoutBlanks(std::string s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

}  // namespace

void RegData::reset() {
    *this = RegData();
}

bool RegData::isRegistered() const {
    return CoreRegData::isRegistered() && !fsNumber.empty();
}

bool RegData::applyTag(const Tlv& tlv) {
    switch (tlv.tag()) {
        case 1012:
            registrationTime = tlv.asU32();
            return true;
        case 1040:
            documentNumber = tlv.asU32();
            return true;
        case 1041:
            fsNumber = withoutBlanks(tlv.asText());
            return true;
        case 1077:
            fiscalSign = tlv.asU32();
            return true;
        default:
            return CoreRegData::applyTag(tlv);
    }
}

}  // namespace kkt
