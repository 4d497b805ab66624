#include "registration/Cashier.hpp"

#include <algorithm>
#include <cstring>

#include "primitives/Cp866.hpp"

namespace kkt {

using namespace kkt::literals;

namespace {

constexpr std::size_t kNumberAt = 0;
constexpr std::size_t kRightsAt = 1;
constexpr std::size_t kPasswordAt = 5;
constexpr std::size_t kNameAt = 13;
constexpr std::size_t kLoginAt = kNameAt + Cashier::kNameCapacity;
constexpr std::size_t kPasswordTextAt = kLoginAt + Cashier::kLoginCapacity;
constexpr std::size_t kInnAt = kPasswordTextAt + Cashier::kPasswordTextCapacity;
static_assert(kInnAt + Cashier::kInnCapacity == Cashier::kRecordSize);

// Text of a NUL-padded field; `terminated` fields keep their last byte as NUL.
std::string field(ByteView record, std::size_t at, std::size_t capacity, bool terminated) {
    const std::size_t usable = terminated ? capacity - 1 : capacity;
    const auto begin = record.begin() + static_cast<std::ptrdiff_t>(at);
    const auto end = std::find(begin, begin + static_cast<std::ptrdiff_t>(usable), 0);
    return {begin, end};
}

void putField(Bytes& record, std::size_t at, std::size_t capacity, bool terminated,
              const std::string& text) {
    const std::size_t n = std::min(text.size(), terminated ? capacity - 1 : capacity);
    std::memcpy(record.data() + at, text.data(), n);
}

}  // namespace

std::optional<Cashier> Cashier::fromRecord(ByteView record) {
    if (record.size() != kRecordSize)
        return std::nullopt;
    Cashier c;
    c.number = record[kNumberAt];
    c.rights = le::load32(record.data() + kRightsAt);
    c.password = le::load32(record.data() + kPasswordAt);
    c.name = field(record, kNameAt, kNameCapacity, true);
    c.login = field(record, kLoginAt, kLoginCapacity, true);
    c.passwordText = field(record, kPasswordTextAt, kPasswordTextCapacity, true);
    c.inn = field(record, kInnAt, kInnCapacity, false);
    return c;
}

Bytes Cashier::toRecord() const {
    Bytes record(kRecordSize, 0);
    record[kNumberAt] = number;
    le::store32(record.data() + kRightsAt, rights);
    le::store32(record.data() + kPasswordAt, password);
    putField(record, kNameAt, kNameCapacity, true, name);
    putField(record, kLoginAt, kLoginCapacity, true, login);
    putField(record, kPasswordTextAt, kPasswordTextCapacity, true, passwordText);
    putField(record, kInnAt, kInnCapacity, false, inn);
    return record;
}

bool Cashier::isValid() const {
    return isNumberInRange(number) && password != 0 && rights != 0 && !name.empty() &&
           !login.empty() && !passwordText.empty();
}

Cashier Cashier::defaultRecord(std::uint8_t n) {
    Cashier c;
    c.number = n;
    if (n == kAdministrator) {
        c.rights = kAllRights;
        c.name = std::string("СИС. АДМИНИСТРАТОР"_cp866);
        c.login = "su";
        c.password = kDefaultAdminPassword;
        c.passwordText = std::to_string(kDefaultAdminPassword);
    }
    return c;
}

}  // namespace kkt
