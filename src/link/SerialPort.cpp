#include "link/SerialPort.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <optional>
#include <utility>

namespace kkt {

namespace {

constexpr std::array<std::pair<int, speed_t>, 30> kSpeeds{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

std::optional<speed_t> speedConstant(int speed) {
    for (const auto& [bps, constant] : kSpeeds) {
        if (bps == speed)
            return constant;
    }
    return std::nullopt;
}

// A read waits at most VTIME tenths of a second for its first byte.
constexpr cc_t kReadTimeoutTenths = 100;

}  // namespace

int SerialPort::open(const std::string& path, int speed, Clock& clock) {
    const auto constant = speedConstant(speed);
    if (!constant)
        return kBadSpeed;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return kOpenFailed;

    // Opened non-blocking so that a missing carrier cannot hang the open; afterwards reads must
    // block as VMIN/VTIME say, which they only do once O_NONBLOCK is really gone.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    // A device that is not a terminal (or a pseudo-terminal, which has no modem lines) refuses
    // some of these calls; the port is usable all the same.
    termios tio{};
    (void)::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    (void)::cfsetispeed(&tio, *constant);
    (void)::cfsetospeed(&tio, *constant);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(PARENB | CSTOPB | CSIZE);
    tio.c_cflag |= CS8;
    tio.c_lflag &= ~(ICANON | ECHO | ECHOE | ISIG);
    tio.c_oflag &= ~OPOST;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = kReadTimeoutTenths;
    (void)::tcsetattr(fd, TCSANOW, &tio);

    int lines = 0;
    (void)::ioctl(fd, TIOCMGET, &lines);
    lines |= TIOCM_DTR | TIOCM_RTS;
    (void)::ioctl(fd, TIOCMSET, &lines);

    clock.sleepFor(std::chrono::milliseconds(10));
    return fd;
}

int SerialPort::close(int fd) {
    return ::close(fd);
}

int SerialPort::bytesWaiting(int fd) {
    int count = 0;
    if (::ioctl(fd, FIONREAD, &count) < 0)
        return -1;
    return count;
}

int SerialPort::readByte(int fd) {
    unsigned char byte = 0;
    if (::read(fd, &byte, 1) != 1)
        return kReadFailed;
    return byte;
}

}  // namespace kkt
