#include "platform/FileIo.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace kkt {

namespace {

// Removes the temporary file without losing the errno of the step that failed.
void discard(const std::string& temp) {
    const int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
}

}  // namespace

UniqueFd::~UniqueFd() {
    if (fd_ >= 0)
        ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

int UniqueFd::release() {
    return std::exchange(fd_, -1);
}

bool UniqueFd::close() {
    const int fd = release();
    return fd < 0 || ::close(fd) == 0;
}

std::size_t readUpToAt(int fd, std::span<std::uint8_t> out, off_t offset) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(fd, out.data() + done, out.size() - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool readAllAt(int fd, std::span<std::uint8_t> out, off_t offset) {
    errno = 0;
    return readUpToAt(fd, out, offset) == out.size();
}

bool writeAllAt(int fd, ByteView bytes, off_t offset) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                   offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAll(int fd, ByteView bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

ReplaceResult replaceFileAtomically(const std::string& path, ByteView bytes) {
    const std::string temp = path + ".tmp";
    UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.valid())
        return ReplaceResult::CreateFailed;
    if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0 || !fd.close()) {
        discard(temp);
        return ReplaceResult::WriteFailed;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        discard(temp);
        return ReplaceResult::RenameFailed;
    }
    // The rename itself is durable only once the folder is synced.
    const int saved = errno;
    const auto slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.valid())
        (void)::fsync(dirFd.get());
    errno = saved;
    return ReplaceResult::Done;
}

}  // namespace kkt
