#include "registration/FrSettings.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kkt {

FrSettings::FrSettings(std::string path) : path_(std::move(path)) {}

std::uint8_t FrSettings::loadLocked() {
    if (cached_)
        return *cached_;
    std::uint8_t mode = 0;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        std::uint8_t b = 0;
        ssize_t n;
        do {
            n = ::pread(fd, &b, 1, 0);
        } while (n < 0 && errno == EINTR);
        if (n == 1)
            mode = b;
        ::close(fd);
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
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return Write::SaveFailed;
    ssize_t n;
    do {
        n = ::pwrite(fd, &b, 1, 0);
    } while (n < 0 && errno == EINTR);
    const bool synced = n == 1 && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!synced || !closed) {
        cached_.reset();  // read the file again next time
        return Write::SaveFailed;
    }
    cached_ = b;
    return Write::Done;
}

}  // namespace kkt
