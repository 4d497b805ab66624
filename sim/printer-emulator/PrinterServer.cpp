#include "PrinterServer.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace kkt::sim {

namespace {

constexpr int kIdleMs = 250;    // quiet time after which a stuck command is reported
constexpr int kReopenMs = 200;  // retry interval for a serial device that went away
constexpr std::size_t kMaxControlLine = 256;

std::string errnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool makeRaw(int fd, std::string& error) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        error = errnoText("tcgetattr");
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B57600);
    cfsetospeed(&t, B57600);
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        error = errnoText("tcsetattr");
        return false;
    }
    return true;
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

}  // namespace

PrinterServer::PrinterServer(PrinterEmulator& emulator) : emulator_(emulator) {
    if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        stopPipe_[0] = stopPipe_[1] = -1;
    }
}

PrinterServer::~PrinterServer() {
    closeFd(fd_);
    closeFd(slaveFd_);
    closeFd(controlFd_);
    closeFd(stopPipe_[0]);
    closeFd(stopPipe_[1]);
}

bool PrinterServer::openPort(const std::filesystem::path& device, std::string& error) {
    device_ = device;
    pty_ = false;
    return reopenPort(error);
}

bool PrinterServer::reopenPort(std::string& error) {
    closeFd(fd_);
    fd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = errnoText("cannot open " + device_.string());
        return false;
    }
    if (!makeRaw(fd_, error)) {
        error = device_.string() + ": " + error;
        closeFd(fd_);
        return false;
    }
    return true;
}

bool PrinterServer::openPty(const std::filesystem::path& link, std::string& error) {
    pty_ = true;
    fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = errnoText("posix_openpt");
        return false;
    }
    if (::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0) {
        error = errnoText("cannot unlock the pseudo-terminal");
        return false;
    }
    char name[128];
    if (::ptsname_r(fd_, name, sizeof name) != 0) {
        error = errnoText("ptsname");
        return false;
    }
    slavePath_ = name;
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd_ < 0) {
        error = errnoText("cannot open " + slavePath_);
        return false;
    }
    // Raw from the start: no echo, no line-feed translation, no flow-control bytes, whatever
    // a client does or does not configure.
    if (!makeRaw(slaveFd_, error))
        return false;

    const std::string temp = link.string() + ".new." + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(slavePath_.c_str(), temp.c_str()) != 0) {
        error = errnoText("cannot create the link " + temp);
        return false;
    }
    if (::rename(temp.c_str(), link.c_str()) != 0) {
        error = errnoText("cannot publish the link " + link.string());
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool PrinterServer::openControl(const std::filesystem::path& fifo, std::string& error) {
    struct stat st {};
    if (::stat(fifo.c_str(), &st) != 0) {
        if (errno != ENOENT || ::mkfifo(fifo.c_str(), 0600) != 0) {
            error = errnoText("cannot create the control FIFO " + fifo.string());
            return false;
        }
    } else if (!S_ISFIFO(st.st_mode)) {
        error = fifo.string() + " exists and is not a FIFO";
        return false;
    }
    controlFd_ = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (controlFd_ < 0) {
        error = errnoText("cannot open the control FIFO " + fifo.string());
        return false;
    }
    return true;
}

void PrinterServer::stop() {
    if (stopPipe_[1] >= 0) {
        const char b = 1;
        [[maybe_unused]] const auto n = ::write(stopPipe_[1], &b, 1);
    }
}

bool PrinterServer::run(std::string& error) {
    if (stopPipe_[0] < 0) {
        error = "cannot create the stop pipe";
        return false;
    }
    if (fd_ < 0 && !pty_ && device_.empty()) {
        error = "no port to serve";
        return false;
    }
    for (;;) {
        pollfd fds[3] = {{stopPipe_[0], POLLIN, 0}, {controlFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
        const int n = ::poll(fds, 3, portFailed_ ? kReopenMs : kIdleMs);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errnoText("poll");
            return false;
        }
        if (fds[0].revents != 0)
            return true;
        if (fds[1].revents & POLLIN)
            readControl();
        if (n == 0) {
            if (portFailed_) {
                std::string why;
                if (reopenPort(why)) {
                    portFailed_ = false;
                    std::cerr << "kkt-printer-emulator: " << device_.string() << " is back\n";
                }
            } else {
                emulator_.idle();
            }
            continue;
        }
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR))
            readPort();
    }
}

void PrinterServer::readPort() {
    std::uint8_t buf[4096];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n > 0) {
        sendAnswers(emulator_.receive(ByteView(buf, static_cast<std::size_t>(n))));
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (pty_)
        return;  // the slave end is ours: the master never hangs up
    // A serial device that went away (an unplugged adapter, the other end of a pair closed):
    // keep trying to get it back.
    std::cerr << "kkt-printer-emulator: " << device_.string() << ": "
              << (n == 0 ? "hang-up" : std::strerror(errno)) << "; retrying\n";
    closeFd(fd_);
    portFailed_ = true;
}

void PrinterServer::sendAnswers(const Bytes& answers) {
    std::size_t done = 0;
    while (done < answers.size() && fd_ >= 0) {
        const ssize_t n = ::write(fd_, answers.data() + done, answers.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // Nobody reads the answers (the buffer towards the client is full): drop them
            // rather than stall the printer.
            emulator_.undelivered(ByteView(answers).subspan(done),
                                  n < 0 ? std::strerror(errno) : "nothing written");
            return;
        }
    }
}

void PrinterServer::readControl() {
    char buf[512];
    const ssize_t n = ::read(controlFd_, buf, sizeof buf);
    if (n <= 0)
        return;
    for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] != '\n') {
            if (controlLine_.size() < kMaxControlLine)
                controlLine_ += buf[i];
            continue;
        }
        if (!controlLine_.empty() && !emulator_.conditions().applyControlLine(controlLine_)) {
            std::cerr << "kkt-printer-emulator: unknown control line \"" << controlLine_ << "\"\n";
        }
        controlLine_.clear();
    }
}

}  // namespace kkt::sim
