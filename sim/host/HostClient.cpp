#include "host/HostClient.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kkt::sim {

namespace {

using Clock = std::chrono::steady_clock;

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::unique_ptr<HostClient> HostClient::open(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    auto client = std::make_unique<HostClient>(fd);
    client->discardInput();
    return client;
}

HostClient::HostClient(int fd) : fd_(fd), rng_(std::random_device{}()) {}

HostClient::~HostClient() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::uint32_t HostClient::newId() {
    std::uint32_t id = 0;
    while (id == 0)
        id = static_cast<std::uint32_t>(rng_());
    return id;
}

Reply HostClient::request(std::uint16_t code, ByteView data) {
    return requestWithId(code, newId(), data);
}

Reply HostClient::requestWithId(std::uint16_t code, std::uint32_t id, ByteView data) {
    const auto frame = encodeFrame(requestPayload(code, id, data));
    return exchange(frame, id);
}

Reply HostClient::requestWithoutId(std::uint16_t code) {
    const auto frame = encodeFrame(requestPayload(code, std::nullopt, {}));
    return exchange(frame, std::nullopt);
}

Reply HostClient::enq() {
    const std::uint8_t enq = kEnq;
    return exchange(ByteView(&enq, 1), std::nullopt);
}

Reply HostClient::exchange(ByteView frame, std::optional<std::uint32_t> expectId) {
    discardInput();
    Reply r;
    if (!sendRaw(frame, r.error)) {
        r.status = ClientStatus::IoError;
        return r;
    }
    return receive(timeout_, expectId);
}

bool HostClient::sendRaw(ByteView bytes, std::string& error) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errnoText("write to the port");
            return false;
        }
        if (n == 0) {
            error = "write to the port: nothing written";
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

Reply HostClient::receive(Millis timeout, std::optional<std::uint32_t> expectId) {
    const auto deadline = Clock::now() + timeout;
    Reply r;
    for (;;) {
        while (auto ev = parser_.next()) {
            if (ev->kind == FrameParser::Kind::BadLength)
                continue;
            if (ev->kind == FrameParser::Kind::BadCrc) {
                r.status = ClientStatus::BadCrc;
                r.error = "an answer frame arrived with a wrong CRC";
                return r;
            }
            auto a = splitPayload(ev->payload);
            if (!a)
                continue;
            if (expectId && a->id != 0 && a->id != *expectId)
                continue;  // stale
            r.status = ClientStatus::Ok;
            r.answer = std::move(*a);
            return r;
        }
        // Round the wait up: a truncated 0 ms would end the wait before the deadline.
        const auto left = std::chrono::ceil<Millis>(deadline - Clock::now()).count();
        if (left <= 0) {
            r.status = ClientStatus::Timeout;
            r.error = parser_.inFrame() ? "time-out: the answer frame stayed incomplete"
                                        : "time-out: no answer";
            parser_.reset();
            return r;
        }
        pollfd p{fd_, POLLIN, 0};
        const int pr = ::poll(&p, 1, static_cast<int>(left));
        if (pr < 0) {
            if (errno == EINTR)
                continue;
            r.status = ClientStatus::IoError;
            r.error = errnoText("poll on the port");
            return r;
        }
        if (pr == 0)
            continue;
        std::uint8_t buf[4096];
        const auto n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            parser_.feed(ByteView(buf, static_cast<std::size_t>(n)));
            continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        r.status = ClientStatus::IoError;
        r.error =
            n == 0 ? "the port was closed by the other side" : errnoText("read from the port");
        return r;
    }
}

bool HostClient::quietFor(Millis d) {
    const auto deadline = Clock::now() + d;
    for (;;) {
        const auto left = std::chrono::ceil<Millis>(deadline - Clock::now()).count();
        if (left <= 0)
            return true;
        pollfd p{fd_, POLLIN, 0};
        const int pr = ::poll(&p, 1, static_cast<int>(left));
        if (pr < 0 && errno == EINTR)
            continue;
        if (pr == 0)
            return true;
        if (pr < 0 || (p.revents & (POLLERR | POLLHUP)))
            return false;
        std::uint8_t buf[256];
        const auto n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            parser_.feed(ByteView(buf, static_cast<std::size_t>(n)));
            return false;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return false;
    }
}

void HostClient::discardInput() {
    parser_.reset();
    if (::isatty(fd_))
        ::tcflush(fd_, TCIFLUSH);
    // A pipe or a socket peer: drain what is there without waiting.
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN))
            return;
        std::uint8_t buf[4096];
        if (::read(fd_, buf, sizeof buf) <= 0)
            return;
    }
}

}  // namespace kkt::sim
