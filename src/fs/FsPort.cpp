#include "fs/FsPort.hpp"

#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "link/SerialPort.hpp"
#include "primitives/Utils.hpp"

namespace kkt {

namespace {

constexpr std::size_t kLengthEnd = 3;  // start byte and the two length bytes

}  // namespace

FsPort::FsPort(std::string path, Clock& clock) : path_(std::move(path)), clock_(clock) {}

FsPort::~FsPort() {
    (void)close();
}

bool FsPort::open() {
    if (fd_)
        return true;
    if (path_.empty())
        return false;
    const int fd = SerialPort::open(path_, kSpeed, clock_);
    // Only a positive descriptor counts; a descriptor 0 would be taken for standard input.
    if (fd == 0)
        (void)SerialPort::close(fd);
    if (fd <= 0)
        return false;
    fd_ = fd;
    return true;
}

int FsPort::close() {
    if (!fd_)
        return 0;
    const int result = SerialPort::close(*fd_);
    fd_.reset();
    return result;
}

int FsPort::writeAll(ByteView data) {
    if (data.empty() || !fd_)
        return -1;
    std::size_t pos = 0;
    ssize_t last = 0;
    while (pos < data.size()) {
        const ssize_t n = ::write(*fd_, data.data() + pos, data.size() - pos);
        if (n > 0) {
            pos += static_cast<std::size_t>(n);
            last = n;
            continue;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        errno = EIO;
        return -EIO;
    }
    return static_cast<int>(last);
}

std::string FsPort::writeError(int code) const {
    return "ERROR ON WRITE IN PORT " + path_ + "CODE: " + std::to_string(code);
}

void FsPort::discardInput() {
    // An answer that came after its exchange timed out must not be taken for the answer of this
    // request. A terminal drops its input queue at once; anything else is drained.
    (void)::tcflush(*fd_, TCIFLUSH);
    for (int waiting = SerialPort::bytesWaiting(*fd_); waiting > 0; --waiting) {
        (void)SerialPort::readByte(*fd_);
    }
}

bool FsPort::exchange(const FsReq& request, FsRep& reply, std::uint32_t timeoutMs) {
    log_.clear();
    reply = FsRep{};

    if (!request.isValid()) {
        log_ = "REQ DATA SIZE = " + std::to_string(request.data().size()) + "\n" +
               util::hexDump(request.data());
        return false;
    }
    if (!isOpen() && !open()) {
        log_ += "PORT " + path_ + " IS NOT OPENED";
        return false;
    }

    discardInput();
    int written = writeAll(request.toFrame());
    if (written <= 0) {
        log_ = writeError(written);
        (void)close();
        if (open())
            discardInput();
        written = writeAll(request.toFrame());
        if (written <= 0) {
            log_ += writeError(written);
            return false;
        }
    }
    return collect(reply, timeoutMs);
}

bool FsPort::collect(FsRep& reply, std::uint32_t timeoutMs) {
    const auto start = clock_.monotonic();
    auto timeLeft = [&] {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(clock_.monotonic() - start);
        return elapsed.count() < static_cast<long long>(timeoutMs);
    };

    Bytes frame;
    std::size_t expected = 0;  // LEN + 5 once the length field is in
    for (;;) {
        // Read only what is already waiting, so that the answer timeout bounds the wait and not
        // the port's 10-second read limit.
        const int waiting = fd_ ? SerialPort::bytesWaiting(*fd_) : -1;
        const int byte = waiting > 0 ? SerialPort::readByte(*fd_) : SerialPort::kReadFailed;
        if (byte == SerialPort::kReadFailed) {
            if (timeLeft()) {
                clock_.sleepFor(kPollInterval);
                continue;
            }
            log_ = isOpen() ? "PORT IS OPENED" : "PORT DOES NOT OPENED";
            log_ += "NOT DONE\nOUT\n" + util::hexDump(frame);
            return false;
        }

        const auto b = static_cast<std::uint8_t>(byte);
        // Noise, or the tail of an earlier answer, before the start byte is dropped.
        if (frame.empty() && b != FsMsg::kStartByte)
            continue;
        frame.push_back(b);
        if (frame.size() == kLengthEnd) {
            expected = le::load16(frame.data() + 1) + FsMsg::kFrameOverhead;
        }
        if (frame.size() >= kLengthEnd && frame.size() == expected) {
            (void)reply.fromFrame(frame);
            return true;
        }
    }
}

}  // namespace kkt
