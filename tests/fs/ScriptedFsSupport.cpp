#include "ScriptedFsSupport.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <thread>

#include "fs/FsRep.hpp"
#include "primitives/Crc.hpp"

namespace kkt::test {

namespace {

constexpr int kGraceSleeps = 50;

}  // namespace

ScriptedFs::ScriptedFs(std::time_t wall) : wall_(wall) {
    // Answers go out without blocking: the pseudo-terminal holds only a few kilobytes, and the
    // port reads them only after the next sleep.
    if (pty_.ok())
        (void)::fcntl(pty_.master(), F_SETFL, ::fcntl(pty_.master(), F_GETFL) | O_NONBLOCK);
}

Bytes ScriptedFs::frame(std::uint8_t code, const Bytes& data) {
    Bytes f{0x04};
    le::append16(f, static_cast<std::uint16_t>(data.size() + 1));
    f.push_back(code);
    f.insert(f.end(), data.begin(), data.end());
    le::append16(f, Crc16::compute(ByteView(f).subspan(1)));
    return f;
}

void ScriptedFs::answerRaw(Bytes bytes) {
    script_.push_back({std::move(bytes)});
}
void ScriptedFs::answerInPieces(std::vector<Bytes> pieces) {
    script_.push_back(std::move(pieces));
}
void ScriptedFs::answer(std::uint8_t code, Bytes data) {
    answerRaw(frame(code, data));
}
void ScriptedFs::silence() {
    script_.push_back({});
}

bool ScriptedFs::inject(const Bytes& bytes) {
    return pty_.send(bytes);
}

bool ScriptedFs::waitUntilQueued(std::size_t n) {
    // A second descriptor on the slave side sees the same input queue as the port.
    const int fd = ::open(path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    bool queued = false;
    while (!queued && std::chrono::steady_clock::now() < deadline) {
        int count = 0;
        queued = ::ioctl(fd, FIONREAD, &count) == 0 && static_cast<std::size_t>(count) >= n;
        if (!queued)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::close(fd);
    return queued;
}

void ScriptedFs::parseRequests() {
    for (;;) {
        // Whatever stands before a start byte is not a request.
        std::size_t start = 0;
        while (start < received_.size() && received_[start] != 0x04)
            ++start;
        received_.erase(received_.begin(), received_.begin() + static_cast<long>(start));
        if (received_.size() < 3)
            return;
        const std::size_t size = le::load16(received_.data() + 1) + FsMsg::kFrameOverhead;
        if (received_.size() < size)
            return;
        requests_.emplace_back(received_.begin(), received_.begin() + static_cast<long>(size));
        received_.erase(received_.begin(), received_.begin() + static_cast<long>(size));
        if (!script_.empty()) {
            for (auto& piece : script_.front())
                sending_.push_back(std::move(piece));
            script_.pop_front();
        }
    }
}

void ScriptedFs::service() {
    pollfd p{pty_.master(), POLLIN, 0};
    while (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0) {
        std::uint8_t buf[4096];
        const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
        if (n <= 0)
            break;
        received_.insert(received_.end(), buf, buf + n);
    }
    parseRequests();
    if (!sending_.empty()) {
        Bytes& piece = sending_.front();
        const ssize_t n = ::write(pty_.master(), piece.data(), piece.size());
        if (n > 0)
            piece.erase(piece.begin(), piece.begin() + n);
        if (piece.empty())
            sending_.pop_front();
        graceSleeps_ = kGraceSleeps;
    }
}

void ScriptedFs::sleepFor(std::chrono::milliseconds d) {
    service();
    // A short real pause lets the pseudo-terminal carry the bytes across.
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (graceSleeps_ > 0) {
        --graceSleeps_;
        return;
    }
    monoMs_ += d.count();
    if (monoMs_ / 1000 != (monoMs_ - d.count()) / 1000)
        ++wall_;
}

}  // namespace kkt::test
