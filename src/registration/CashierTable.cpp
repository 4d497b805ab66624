#include "registration/CashierTable.hpp"

#include "registration/ResultCodes.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kkt {

namespace {

off_t recordOffset(std::uint8_t n) {
    return static_cast<off_t>(n - 1) * static_cast<off_t>(Cashier::kRecordSize);
}

// Writes all bytes at the offset, repeating after partial writes and EINTR.
bool writeAt(int fd, ByteView bytes, off_t offset) {
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

bool readAt(int fd, std::uint8_t* out, std::size_t size, off_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    // Closes now and reports whether the close succeeded (it can report a late write error).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

Bytes defaultFile() {
    Bytes all;
    all.reserve(CashierTable::kFileSize);
    for (std::uint8_t n = Cashier::kFirstNumber; n <= Cashier::kLastNumber; ++n) {
        const Bytes r = Cashier::defaultRecord(n).toRecord();
        all.insert(all.end(), r.begin(), r.end());
    }
    return all;
}

bool createFile(const std::string& path) {
    const std::string temp = path + ".tmp";
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.ok())
        return false;
    const Bytes all = defaultFile();
    if (!writeAt(fd.get(), all, 0) || ::fsync(fd.get()) != 0 || !fd.close()) {
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const auto slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.ok())
        ::fsync(dirFd.get());
    return true;
}

}  // namespace

CashierTable::CashierTable(std::string path) : path_(std::move(path)) {}

bool CashierTable::ensureFile() {
    std::lock_guard lock(mutex_);
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return false;
        return createFile(path_);
    }
    if (static_cast<std::size_t>(st.st_size) >= kFileSize)
        return true;

    // Power was lost while the file was being made: keep every complete record, fill the rest.
    Fd fd(::open(path_.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.ok())
        return false;
    const auto size = static_cast<std::size_t>(st.st_size);
    for (std::uint8_t n = Cashier::kFirstNumber; n <= Cashier::kLastNumber; ++n) {
        const std::size_t end = static_cast<std::size_t>(recordOffset(n)) + Cashier::kRecordSize;
        if (end <= size)
            continue;
        if (!writeAt(fd.get(), Cashier::defaultRecord(n).toRecord(), recordOffset(n))) {
            return false;
        }
    }
    return ::fsync(fd.get()) == 0 && fd.close();
}

std::optional<Cashier> CashierTable::readLocked(std::uint8_t n) {
    if (!Cashier::isNumberInRange(n))
        return std::nullopt;
    Fd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.ok())
        return std::nullopt;
    Bytes record(Cashier::kRecordSize);
    if (!readAt(fd.get(), record.data(), record.size(), recordOffset(n)))
        return std::nullopt;
    auto cashier = Cashier::fromRecord(record);
    // A record out of its place is corrupt: never let it stand for another number.
    if (!cashier || cashier->number != n)
        return std::nullopt;
    cache_[n] = *cashier;
    return cashier;
}

std::optional<Cashier> CashierTable::read(std::uint8_t n) {
    std::lock_guard lock(mutex_);
    return readLocked(n);
}

bool CashierTable::write(const Cashier& cashier) {
    if (!Cashier::isNumberInRange(cashier.number))
        return false;
    std::lock_guard lock(mutex_);
    Fd fd(::open(path_.c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd.ok())
        return false;
    if (!writeAt(fd.get(), cashier.toRecord(), recordOffset(cashier.number)) ||
        ::fsync(fd.get()) != 0 || !fd.close()) {
        // What is on disk is unknown now: read it again on the next lookup.
        cache_.erase(cashier.number);
        return false;
    }
    // The cache holds what a read of the record would give.
    cache_[cashier.number] = *Cashier::fromRecord(cashier.toRecord());
    return true;
}

Cashier CashierTable::serviceOperator(std::uint32_t password) {
    Cashier c;
    c.number = 1;
    c.rights = kServiceRights;
    c.password = password;
    c.name = "SERVICE";
    c.login = "SERVICE";
    c.passwordText = std::to_string(password);
    return c;
}

OperatorCheck CashierTable::check(ByteView data) {
    OperatorCheck result;
    if (data.size() < kPrefixSize) {
        result.code = rc::kOperatorMalformed;
        return result;
    }
    const std::uint8_t number = data[0];
    const std::uint32_t password = le::load32(data.data() + 1);
    if (!Cashier::isNumberInRange(number) && number != kServiceNumber) {
        result.code = rc::kOperatorMalformed;
        return result;
    }

    std::optional<Cashier> found;
    {
        std::lock_guard lock(mutex_);
        if (auto it = cache_.find(number); it != cache_.end()) {
            found = it->second;
        } else {
            found = readLocked(number);
        }
    }
    if (found && found->password == password && found->isValid()) {
        result.cashier = *found;
    } else if (number == kServiceNumber && password == kServicePassword) {
        result.cashier = serviceOperator(password);
    } else {
        result.code = rc::kOperatorRefused;
        return result;
    }
    result.data = data.subspan(kPrefixSize);
    return result;
}

}  // namespace kkt
