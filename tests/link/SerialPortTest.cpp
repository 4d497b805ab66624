#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include "link/SerialPort.hpp"
#include "support/Fakes.hpp"
#include "support/Pty.hpp"

using namespace kkt;
using namespace std::chrono_literals;

TEST(SerialPort, RefusesUnknownSpeedAndMissingDevice) {
    test::Pty pty;
    ASSERT_TRUE(pty.ok());
    test::FakeClock clock;
    EXPECT_EQ(SerialPort::open(pty.slavePath(), 115201, clock), SerialPort::kBadSpeed);
    EXPECT_EQ(SerialPort::open(pty.slavePath(), 0, clock), SerialPort::kBadSpeed);
    // Nothing was opened for the refused speed, so no settling pause either.
    EXPECT_EQ(clock.monotonic().time_since_epoch(), 0ms);
    EXPECT_EQ(SerialPort::open("/nonexistent/ttyX", 115200, clock), SerialPort::kOpenFailed);
}

TEST(SerialPort, OpensRawBlockingAndReadsBytes) {
    test::Pty pty;
    ASSERT_TRUE(pty.ok());
    test::FakeClock clock;
    const int fd = SerialPort::open(pty.slavePath(), 57600, clock);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(clock.monotonic().time_since_epoch(), 10ms);

    // Without the non-blocking flag gone VMIN/VTIME are ignored and reads fail with EAGAIN.
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_NE(tio.c_cflag & CREAD, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 100);
    EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B57600));

    EXPECT_EQ(SerialPort::bytesWaiting(fd), 0);
    // Raw mode: control characters and 0xFF arrive unchanged.
    ASSERT_TRUE(pty.send({0x04, 0x0D, 0x03, 0xFF}));
    for (int i = 0; i < 200 && SerialPort::bytesWaiting(fd) < 4; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(SerialPort::bytesWaiting(fd), 4);
    EXPECT_EQ(SerialPort::readByte(fd), 0x04);
    EXPECT_EQ(SerialPort::readByte(fd), 0x0D);
    EXPECT_EQ(SerialPort::readByte(fd), 0x03);
    EXPECT_EQ(SerialPort::readByte(fd), 0xFF);
    EXPECT_EQ(SerialPort::bytesWaiting(fd), 0);

    EXPECT_EQ(SerialPort::close(fd), 0);
    EXPECT_EQ(SerialPort::bytesWaiting(fd), -1);
    EXPECT_EQ(SerialPort::readByte(fd), SerialPort::kReadFailed);
}

TEST(SerialPort, NonTerminalStillYieldsDescriptor) {
    char path[] = "/tmp/kkt-serial-XXXXXX";
    const int tmp = ::mkstemp(path);
    ASSERT_GE(tmp, 0);
    ::close(tmp);
    test::FakeClock clock;
    const int fd = SerialPort::open(path, 9600, clock);
    EXPECT_GE(fd, 0);
    if (fd >= 0)
        SerialPort::close(fd);
    ::unlink(path);
}
