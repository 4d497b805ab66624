#include "printer/PrinterSettings.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "printer/LayoutWord.hpp"

namespace kkt {

namespace {

constexpr std::size_t kFileSize = 5;

// Reads up to n bytes, retrying after interruptions and short reads.
std::size_t readUpTo(int fd, std::uint8_t* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, buf + got, n - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

}  // namespace

PrinterSettings::PrinterSettings(std::string path) : path_(std::move(path)) {
    const int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return;
    std::uint8_t buf[kFileSize] = {};
    const std::size_t got = readUpTo(fd, buf, kFileSize);
    ::close(fd);
    if (got >= 1)
        paperWidth_ = buf[0];
    if (got == kFileSize)
        extraValue_ = le::load32(buf + 1);
}

std::optional<Bytes> PrinterSettings::value(std::uint8_t id) const {
    switch (id) {
        case kPaperWidthId:
            return Bytes{paperWidth_};
        case kExtraValueId: {
            Bytes out;
            le::append32(out, extraValue_);
            return out;
        }
        default:
            return std::nullopt;
    }
}

bool PrinterSettings::setValue(std::uint8_t id, ByteView value) {
    if (value.empty())
        return false;
    switch (id) {
        case kPaperWidthId:
            paperWidth_ = value[0];
            applyToLayout();
            return true;
        case kExtraValueId:
            if (value.size() < 4)
                return false;
            extraValue_ = le::load32(value.data());
            return true;
        default:
            return false;
    }
}

void PrinterSettings::applyToLayout() const {
    LayoutWord::setCurrentPaperWidth(paperWidth_);
}

bool PrinterSettings::save() const {
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::uint8_t buf[kFileSize];
    buf[0] = paperWidth_;
    le::store32(buf + 1, extraValue_);
    std::size_t done = 0;
    bool ok = true;
    while (done < kFileSize) {
        const ssize_t w = ::pwrite(fd, buf + done, kFileSize - done, static_cast<off_t>(done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(w);
    }
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    return ok;
}

}  // namespace kkt
