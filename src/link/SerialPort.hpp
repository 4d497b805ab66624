#pragma once
// The routines the host link, the FS channel and the printer share for their serial ports: open
// in raw 8N1 at a given speed, ask how many bytes are waiting, read one byte. Each user keeps its
// own descriptor and open flag and writes with its own write-all loop.

#include <string>

#include "platform/Clock.hpp"

namespace kkt {

class SerialPort {
  public:
    static constexpr int kOpenFailed = -1;
    static constexpr int kBadSpeed = -2;
    static constexpr int kReadFailed = -1;

    // Descriptor (>= 0), kOpenFailed when the device cannot be opened, kBadSpeed when the speed is
    // not one the terminal driver knows (nothing is opened then). A device that is not a
    // terminal still yields its descriptor; the 10 ms settling pause goes through the clock.
    [[nodiscard]] static int open(const std::string& path, int speed, Clock& clock = realClock());
    static int close(int fd);
    // Bytes in the input queue, or -1 when the query fails (for instance on a closed descriptor).
    [[nodiscard]] static int bytesWaiting(int fd);
    // The byte (0..255), or kReadFailed when read() did not return exactly one byte. A read waits
    // at most 10 s for its byte; callers read only after bytesWaiting() was positive.
    [[nodiscard]] static int readByte(int fd);
};

}  // namespace kkt
