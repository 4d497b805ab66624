#include "registration/CashierTable.hpp"

#include "platform/FileIo.hpp"
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
    return replaceFileAtomically(path, defaultFile()) == ReplaceResult::Done;
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
    UniqueFd fd(::open(path_.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.valid())
        return false;
    const auto size = static_cast<std::size_t>(st.st_size);
    for (std::uint8_t n = Cashier::kFirstNumber; n <= Cashier::kLastNumber; ++n) {
        const std::size_t end = static_cast<std::size_t>(recordOffset(n)) + Cashier::kRecordSize;
        if (end <= size)
            continue;
        if (!writeAllAt(fd.get(), Cashier::defaultRecord(n).toRecord(), recordOffset(n))) {
            return false;
        }
    }
    return ::fsync(fd.get()) == 0 && fd.close();
}

std::optional<Cashier> CashierTable::readLocked(std::uint8_t n) {
    if (!Cashier::isNumberInRange(n))
        return std::nullopt;
    UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return std::nullopt;
    Bytes record(Cashier::kRecordSize);
    if (!readAllAt(fd.get(), record, recordOffset(n)))
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
    UniqueFd fd(::open(path_.c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd.valid())
        return false;
    if (!writeAllAt(fd.get(), cashier.toRecord(), recordOffset(cashier.number)) ||
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
