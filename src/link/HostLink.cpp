#include "link/HostLink.hpp"

#include <unistd.h>
#include <cerrno>

#include "link/SerialPort.hpp"
#include "primitives/Crc.hpp"

namespace kkt {

namespace {

using namespace std::chrono_literals;

constexpr auto kIdlePoll = 10ms;
constexpr auto kAnswerPause = 10ms;
constexpr auto kErrorAnswerPause = 20ms;
constexpr auto kUsbPoll = 500ms;
constexpr auto kModeSwitchPause = 1000ms;

constexpr std::string_view kVersionText = "1.1.11";
// The version as three bytes, the hardware letter "A" and seven reserved bytes.
constexpr std::uint8_t kDeviceHead[] = {0x01, 0x01, 0x0B, 0x41, 0, 0, 0, 0, 0, 0, 0};

CoreApiResult coded(LinkCode code) {
    return CoreApiResult(static_cast<std::uint16_t>(code));
}

}  // namespace

HostLink::HostLink(LinkRecords& records, Core core, std::string portPath, Shell& shell,
                   Clock& clock, Random& random)
    : records_(records),
      core_(core),
      portPath_(std::move(portPath)),
      shell_(shell),
      clock_(clock),
      random_(random) {}

HostLink::~HostLink() {
    if (open_)
        close();
}

bool HostLink::open() {
    if (open_ || portPath_.empty())
        return open_;
    const int fd = SerialPort::open(portPath_, kSpeed, clock_);
    if (fd > 0) {
        fd_ = fd;
        open_ = true;
    }
    return open_;
}

void HostLink::close() {
    if (fd_ >= 0)
        SerialPort::close(fd_);
    fd_ = -1;
    open_ = false;
}

int HostLink::write(ByteView bytes) {
    if (!open_ || bytes.empty())
        return -1;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        if (n == 0)
            return -EIO;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<int>(done);
}

LinkCode HostLink::readFrame(CoreTransaction& out) {
    out.id = 0;
    if (!open_)
        return LinkCode::NoResult;

    while (SerialPort::bytesWaiting(fd_) <= 0) {
        if (stop_ || !usbConfigured()) {
            if (!stop_)
                close();
            return LinkCode::NoFrame;
        }
        clock_.sleepFor(kIdlePoll);
    }

    // Hunt for STX; ENQ repeats the last answer, anything else is noise.
    int byte = SerialPort::readByte(fd_);
    while (byte != kStx) {
        if (byte == kEnq)
            send(lastAnswer_);
        if (SerialPort::bytesWaiting(fd_) <= 0)
            return LinkCode::NoFrame;
        byte = SerialPort::readByte(fd_);
    }

    if (SerialPort::bytesWaiting(fd_) <= 1)
        return LinkCode::BadFrame;
    const int lo = SerialPort::readByte(fd_);
    const int hi = SerialPort::readByte(fd_);
    if (lo < 0 || hi < 0)
        return LinkCode::BadFrame;
    const std::size_t len = static_cast<std::size_t>(lo) | (static_cast<std::size_t>(hi) << 8);
    if (len < 2 || len > kMaxLen)
        return LinkCode::BadFrame;

    // LEN bytes, payload, CRC: the whole frame must already be waiting.
    Bytes body{static_cast<std::uint8_t>(lo), static_cast<std::uint8_t>(hi)};
    body.reserve(len + 4);
    std::size_t got = 0;
    while (got < len + 2) {
        if (SerialPort::bytesWaiting(fd_) <= 0)
            return LinkCode::BadFrame;
        const int b = SerialPort::readByte(fd_);
        body.push_back(b < 0 ? 0xFF : static_cast<std::uint8_t>(b));
        ++got;
        // An oversized frame is refused once its command code is in; the rest is noise.
        if (len > kMaxAcceptedLen && got == 2)
            return LinkCode::BadFrame;
    }

    const ByteView covered = ByteView(body).first(len + 2);
    const std::uint16_t received = le::load16(body.data() + len + 2);
    if (Crc16::compute(covered) != received)
        return LinkCode::BadCrc;

    const ByteView payload = covered.subspan(2);
    out.code = le::load16(payload.data());
    if (payload.size() >= 6) {
        out.id = le::load32(payload.data() + 2);
        out.data.assign(payload.begin() + 6, payload.end());
    } else {
        out.data.clear();
    }
    if (out.id == 0)
        out.id = makeId(out, clock_.now(), random_);
    return LinkCode::Ok;
}

bool HostLink::handle(const CoreTransaction& t, CoreApiResult& out) {
    switch (t.code) {
        case kModelCommand: {
            out.id = t.id;
            out.data.clear();
            if (auto model = records_.modelAnswer()) {
                out.code = static_cast<std::uint16_t>(LinkCode::Ok);
                out.data = std::move(*model);
            } else {
                out.code = static_cast<std::uint16_t>(LinkCode::ModelInvalid);
            }
            return true;
        }
        case kDeviceCommand: {
            out.id = t.id;
            out.data.clear();
            const Bytes id = records_.deviceId();
            if (id.empty()) {
                out.code = static_cast<std::uint16_t>(LinkCode::NoDeviceId);
            } else {
                out.code = static_cast<std::uint16_t>(LinkCode::Ok);
                out.data.assign(std::begin(kDeviceHead), std::end(kDeviceHead));
                out.data.insert(out.data.end(), id.begin(), id.end());
            }
            return true;
        }
        case kVersionCommand:
            out = CoreApiResult(static_cast<std::uint16_t>(LinkCode::Ok), t.id,
                                toBytes(kVersionText));
            return true;
        default:
            if (core_ == Core::Absent)
                return false;
            return queue_.exec(t, out);
    }
}

Bytes HostLink::frame(const CoreApiResult& result) {
    Bytes payload;
    le::append16(payload, result.code);
    if (4 + result.data.size() > kMaxAnswerBody) {
        payload[0] = static_cast<std::uint8_t>(LinkCode::AnswerTooLong);
    } else {
        le::append32(payload, result.id);
        payload.insert(payload.end(), result.data.begin(), result.data.end());
    }
    ByteWriter w(payload.size() + 5);
    w.u8(kStx).u16(static_cast<std::uint16_t>(payload.size())).bytes(payload);
    w.u16(Crc16::compute(ByteView(w.data()).subspan(1)));
    return w.take();
}

void HostLink::send(const CoreApiResult& result) {
    // A copy first: the argument may be the last answer itself (ENQ).
    const Bytes bytes = frame(result);
    lastAnswer_ = result;
    (void)write(bytes);
}

std::uint32_t HostLink::makeId(const CoreTransaction& t, std::time_t now, Random& random) {
    for (;;) {
        ByteWriter w(t.data.size() + 8);
        w.u8(t.code != 0 ? 1 : 0).u8(0).u32(static_cast<std::uint32_t>(now)).bytes(t.data);
        w.u8(static_cast<std::uint8_t>(random.rand()));
        w.u8(static_cast<std::uint8_t>(random.rand()));
        // Id 0 means "no transaction" to the queue and would never be answered: draw again.
        if (const std::uint32_t id = Crc32::compute(w.data()); id != 0)
            return id;
    }
}

void HostLink::run() {
    while (!stop_) {
        while (!usbConfigured()) {
            if (stop_)
                return;
            clock_.sleepFor(kUsbPoll);
        }
        lastAnswer_ = coded(LinkCode::NoAnswerYet);
        if (!open_)
            open();
        for (;;) {
            if (stop_) {
                if (open_)
                    close();
                break;
            }
            if (!open_)
                break;
            if (!usbConfigured()) {
                close();
                break;
            }
            CoreTransaction t;
            CoreApiResult result;
            const LinkCode code = readFrame(t);
            if (code == LinkCode::Ok) {
                if (!handle(t, result))
                    result = coded(LinkCode::NoResult);
                clock_.sleepFor(kAnswerPause);
                send(result);
            } else if (code != LinkCode::NoFrame) {
                clock_.sleepFor(kErrorAnswerPause);
                send(coded(code));
            }
        }
    }
}

bool HostLink::usbConfigured() {
    const std::string state = commandOutput(std::string("cat ") + paths::kUdcState);
    if (state.find("configured") != std::string::npos) {
        unconfiguredSince_.reset();
        return true;
    }
    const auto now = clock_.monotonic();
    if (!unconfiguredSince_) {
        unconfiguredSince_ = now;
        return false;
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - *unconfiguredSince_);
    if (elapsed >= kReenumerateAfter) {
        // The host has not configured us for a while: drop off the bus and come back, so that
        // it enumerates the device afresh.
        unconfiguredSince_.reset();
        (void)shell_.run(std::string("echo -en host > ") + paths::kUdcMode);
        clock_.sleepFor(kModeSwitchPause);
        (void)shell_.run(std::string("echo -en peripheral > ") + paths::kUdcMode);
    }
    return false;
}

std::string HostLink::commandOutput(const std::string& command) {
    auto captured = shell_.capture(command);
    if (!captured)
        return "\n";
    std::string text = std::move(*captured);
    for (auto pos = text.find("\n\n"); pos != std::string::npos; pos = text.find("\n\n", pos)) {
        text.erase(pos, 1);
    }
    if (text.empty() || text.back() != '\n')
        text += '\n';
    return text;
}

}  // namespace kkt
