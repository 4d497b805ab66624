#include "board/StateDir.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace kkt::sim {

namespace fs = std::filesystem;

namespace {

bool writeFile(const std::string& path, const std::string& content, mode_t mode,
               std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0 ||
        ::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::fchmod(fd, mode);
    ::close(fd);
    return true;
}

bool emptyFolder(const std::string& dir, std::string& error) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        fs::remove_all(entry.path(), ec);
        if (ec)
            break;
    }
    if (ec) {
        error = "cannot empty " + dir + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace

StateDir::StateDir(std::string root) : root_(std::move(root)) {
    while (root_.size() > 1 && root_.back() == '/')
        root_.pop_back();
}

bool StateDir::prepare(bool fresh, std::string& error) const {
    std::error_code ec;
    for (const char* d :
         {"", "nv", "fs", "printer", "trace", "log", "run", "run/links", "run/stubs"}) {
        fs::create_directories(path(d), ec);
        if (ec) {
            error = "cannot create " + path(d) + ": " + ec.message();
            return false;
        }
    }
    if (fresh) {
        for (const char* d : {"nv", "printer", "trace", "log"}) {
            if (!emptyFolder(path(d), error))
                return false;
        }
        for (const auto& f : {eeprom(), firmwareStdout(), firmwareStderr()})
            fs::remove(f, ec);
    }
    struct stat st {};
    if (::stat(eeprom().c_str(), &st) != 0 || static_cast<std::size_t>(st.st_size) != kEepromSize) {
        if (::stat(eeprom().c_str(), &st) == 0 && !fresh) {
            error = eeprom() + " is not a " + std::to_string(kEepromSize) +
                    "-byte EEPROM file; use --fresh for a new register";
            return false;
        }
        if (!writeFile(eeprom(), std::string(kEepromSize, '\xFF'), 0644, error))
            return false;
    }
    // Output of one run of the board; kept across firmware restarts inside the run.
    for (const auto& f : {firmwareStdout(), firmwareStderr()}) {
        if (!writeFile(f, "", 0644, error))
            return false;
    }
    if (!writeFile(usbMode(), "", 0644, error))
        return false;
    return setUsbState(true, error);
}

bool StateDir::lock(std::string& error) {
    lockFd_ = ::open(path("run/board.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd_ < 0 || ::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK
                    ? "another kkt-board runs on " + root_
                    : "cannot lock " + path("run/board.lock") + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void StateDir::cleanRunFiles() const {
    std::error_code ec;
    for (const auto& f : {hostLink(), ready(), controlSocket(), fsControl(), printerControl(),
                          link("fs"), link("printer"), link("gadget")}) {
        fs::remove(f, ec);
    }
}

bool StateDir::setUsbState(bool configured, std::string& error) const {
    const std::string text = configured ? "configured\n" : "not attached\n";
    const int fd = ::open(usbState().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    // Write first, then cut: a reader never sees an empty file in between.
    if (fd < 0 || ::pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()) ||
        ::ftruncate(fd, static_cast<off_t>(text.size())) != 0) {
        error = "cannot write " + usbState() + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

bool StateDir::writeStubs(const std::string& logPath, std::string& error) const {
    // The firmware sets the clock with "date -s '...' && hwclock -w". On the virtual board
    // that must never touch the machine's clock: the stubs only log. `date` without -s/--set
    // still tells the time, through busybox (never asked to set it).
    const std::string date =
        "#!/bin/sh\n"
        "echo \"$(/usr/bin/busybox date '+%Y-%m-%d %H:%M:%S') date $*\" >> " +
        logPath +
        "\n"
        "for a in \"$@\"; do case \"$a\" in -s|--set|--set=*|-s*) exit 0;; esac; done\n"
        "exec /usr/bin/busybox date \"$@\"\n";
    const std::string hwclock =
        "#!/bin/sh\n"
        "echo \"$(/usr/bin/busybox date '+%Y-%m-%d %H:%M:%S') hwclock $*\" >> " +
        logPath +
        "\n"
        "exit 0\n";
    return writeFile(stub("date"), date, 0755, error) &&
           writeFile(stub("hwclock"), hwclock, 0755, error);
}

}  // namespace kkt::sim
