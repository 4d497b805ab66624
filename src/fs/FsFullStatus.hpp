#pragma once
// Everything the core knows about its FS, filled by FsDriver::readFullStatus and published in the
// core's shared store. A new object has nothing read and last result 30, so its first read is a
// complete one.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "fs/FsExchangeStatus.hpp"
#include "fs/FsLabelsTransportStatus.hpp"
#include "fs/FsLifetime.hpp"
#include "fs/FsMemoryResource.hpp"
#include "fs/FsShiftState.hpp"
#include "fs/FsStatus.hpp"

namespace kkt {

struct FsFullStatus {
    // The last result of a fresh object: anything but 0 makes the next read refresh everything.
    static constexpr std::uint16_t kNotRead = 30;

    std::optional<FsStatus> status;
    std::optional<FsLifetime> lifetime;
    std::string version;
    bool versionFlag = true;
    std::string release;
    std::string fsNumber;  // from 0x31
    std::uint8_t ffdVersion = 0;
    std::uint8_t ffdVersionSecond = 0;
    std::optional<FsMemoryResource> memoryResource;
    std::optional<FsShiftState> shiftState;
    std::optional<FsExchangeStatus> exchangeStatus;
    std::optional<FsLabelsTransportStatus> labelsTransport;
    std::string registerSerialNumber;  // tag 1013 of the last registration
    std::time_t shiftOpenTime = 0;
    std::time_t shiftCloseTime = 0;
    std::uint16_t lastResult = kNotRead;

    // The FS number documents use: the one of 0x31, else the one inside the status.
    [[nodiscard]] std::string documentFsNumber() const {
        if (!fsNumber.empty())
            return fsNumber;
        return status ? status->fsNumber : std::string{};
    }
    // Phase of the status; FsStatus::kPhaseUnread when there is none.
    [[nodiscard]] std::uint8_t phase() const {
        return status ? status->phase : FsStatus::kPhaseUnread;
    }
};

}  // namespace kkt
