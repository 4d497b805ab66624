#include "host/ResultCodes.hpp"

#include <cstdio>

namespace kkt::sim {

std::string resultName(std::uint16_t code) {
    switch (code) {
        case 0:
            return "success";
        case 6:
            return "registration data refused";
        case 11:
            return "answer too long to send (low byte 11)";
        case 14:
            return "the operator lacks the right";
        case 23:
            return "not registered, or the FS is not in fiscal mode";
        case 24:
            return "shift already open";
        case 25:
            return "shift not open";
        case 264:
            return "link: no result (port closed, or nothing serves the queue)";
        case 265:
            return "link: wrong CRC in the request";
        case 266:
            return "unknown command";
        case 267:
            return "link: bad frame length or incomplete frame";
        case 269:
            return "factory record missing or not valid";
        case 273:
            return "no answer sent yet / cashier record not found";
        case 274:
            return "operator check failed";
        case 275:
            return "operator prefix short or cashier number out of range";
        case 276:
            return "unrecognised setting or mode, or value refused";
        case 277:
            return "saving the cashier record failed";
        case 278:
            return "missing or malformed command data";
        case 279:
            return "time not plausible";
        case 280:
            return "a valid factory record is already present";
        case 281:
            return "no device id / writing the EEPROM failed";
        case 284:
            return "the FS has a document open";
        case 285:
            return "no current document of that kind";
        case 286:
            return "current document is not a receipt";
        case 296:
            return "not enough cash in the drawer";
        case 976:
            return "printer not available";
        case 977:
            return "paper out";
        case 1003:
            return "QR text or barcode refused by the printer part";
        case 1289:
            return "command data of wrong length or value";
        case result::kFsMalformed:
            return "FS answer malformed";
        case result::kFsNoAnswer:
            return "no FS answer (FS not connected, refused or time-out)";
        case result::kFsUnknown:
            return "FS answered an unknown code";
        default:
            break;
    }
    if (code > result::kFsErrorBase && code < result::kFsMalformed) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "FS error 0x%02X", code - result::kFsErrorBase);
        return buf;
    }
    return "unknown code";
}

}  // namespace kkt::sim
