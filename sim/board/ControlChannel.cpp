#include "board/ControlChannel.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace kkt::sim {

namespace {

// Fills the address; a path too long for sun_path goes through an O_PATH descriptor of its
// folder, which the caller closes after bind/connect.
bool address(const std::string& path, sockaddr_un& addr, int& dirFd, std::string& error) {
    addr = {};
    addr.sun_family = AF_UNIX;
    dirFd = -1;
    std::string p = path;
    if (p.size() >= sizeof addr.sun_path) {
        const auto slash = path.rfind('/');
        dirFd = ::open(path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dirFd < 0) {
            error = "cannot open " + path.substr(0, slash) + ": " + std::strerror(errno);
            return false;
        }
        p = "/proc/self/fd/" + std::to_string(dirFd) + path.substr(slash);
    }
    std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
    return true;
}

}  // namespace

int ControlChannel::listen(const std::string& socketPath, std::string& error) {
    ::unlink(socketPath.c_str());
    sockaddr_un addr{};
    int dirFd = -1;
    if (!address(socketPath, addr, dirFd, error))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                    ::listen(fd, 8) == 0;
    if (!ok)
        error = "cannot listen on " + socketPath + ": " + std::strerror(errno);
    if (dirFd >= 0)
        ::close(dirFd);
    if (!ok) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

bool ControlChannel::request(const std::string& socketPath, const std::string& line, int timeoutMs,
                             std::string& reply) {
    sockaddr_un addr{};
    int dirFd = -1;
    if (!address(socketPath, addr, dirFd, reply))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected =
        fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    const int err = errno;
    if (dirFd >= 0)
        ::close(dirFd);
    if (!connected) {
        reply = "no kkt-board runs on this state directory (" + socketPath + ": " +
                std::strerror(err) + ")";
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    writeLine(fd, line);
    const bool got = readLine(fd, timeoutMs, reply);
    ::close(fd);
    if (!got)
        reply = "the board did not reply";
    return got;
}

bool ControlChannel::readLine(int fd, int timeoutMs, std::string& line) {
    line.clear();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        char c;
        const auto n = ::read(fd, &c, 1);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return !line.empty();
        if (c == '\n')
            return true;
        if (line.size() < 4096)
            line += c;
    }
}

void ControlChannel::writeLine(int fd, const std::string& line) {
    const std::string l = line + "\n";
    std::size_t done = 0;
    while (done < l.size()) {
        const auto n = ::send(fd, l.data() + done, l.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace kkt::sim
