#include "registration/FrSettings.hpp"

#include <fcntl.h>
#include <unistd.h>

#include "platform/FileIo.hpp"

namespace kkt {

FrSettings::FrSettings(std::string path) : path_(std::move(path)) {}

std::uint8_t FrSettings::loadLocked() {
    if (cached_)
        return *cached_;
    std::uint8_t mode = 0;
    const UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.valid()) {
        std::uint8_t b = 0;
        if (readAllAt(fd.get(), std::span(&b, 1), 0))
            mode = b;
    }
    cached_ = mode;
    return mode;
}

std::uint8_t FrSettings::roundingMode() {
    std::lock_guard lock(mutex_);
    return loadLocked();
}

Bytes FrSettings::value(std::uint8_t id) {
    if (id != kRoundingModeId)
        return {};
    std::lock_guard lock(mutex_);
    return {loadLocked()};
}

FrSettings::Write FrSettings::write(std::uint8_t id, ByteView value) {
    if (id != kRoundingModeId || value.empty())
        return Write::Refused;
    const std::uint8_t b = value[0];
    std::lock_guard lock(mutex_);
    UniqueFd fd(::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.valid())
        return Write::SaveFailed;
    const bool synced = writeAllAt(fd.get(), std::span(&b, 1), 0) && ::fsync(fd.get()) == 0;
    const bool closed = fd.close();
    if (!synced || !closed) {
        cached_.reset();  // read the file again next time
        return Write::SaveFailed;
    }
    cached_ = b;
    return Write::Done;
}

}  // namespace kkt
