#include "printer/PrinterSettings.hpp"

#include <fcntl.h>
#include <unistd.h>

#include "platform/FileIo.hpp"
#include "printer/LayoutWord.hpp"

namespace kkt {

namespace {

constexpr std::size_t kFileSize = 5;

}  // namespace

PrinterSettings::PrinterSettings(std::string path) : path_(std::move(path)) {
    const UniqueFd fd(::open(path_.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.valid())
        return;
    std::uint8_t buf[kFileSize] = {};
    const std::size_t got = readUpToAt(fd.get(), buf, 0);
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
    UniqueFd fd(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.valid())
        return false;
    std::uint8_t buf[kFileSize];
    buf[0] = paperWidth_;
    le::store32(buf + 1, extraValue_);
    const bool synced = writeAllAt(fd.get(), buf, 0) && ::fsync(fd.get()) == 0;
    const bool closed = fd.close();
    return synced && closed;
}

}  // namespace kkt
