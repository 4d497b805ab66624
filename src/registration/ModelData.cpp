#include "registration/ModelData.hpp"

#include <algorithm>

#include "primitives/Crc.hpp"

namespace kkt {

ModelData::ModelData(ByteView raw) {
    assign(raw);
}

void ModelData::assign(ByteView raw) {
    raw_.fill(0);
    std::copy_n(raw.begin(), std::min(raw.size(), kSize), raw_.begin());
}

ModelData ModelData::factory(std::string_view factoryNumber, ByteView deviceId) {
    ModelData m;
    le::store16(m.raw_.data(), kMarker1);
    le::store32(m.raw_.data() + 2, kMarker2);
    m.putText(kFactoryNumberAt, kFactoryNumberSize, factoryNumber);
    m.putText(kModelNameAt, kModelNameSize, kDefaultModelName);
    m.putText(kVersionAt, kVersionSize, kDefaultVersion);
    le::store32(m.raw_.data() + kChecksumAt, checksumFor(kMarker1, m.factoryNumber(), deviceId));
    return m;
}

std::uint32_t ModelData::checksumFor(std::uint16_t marker1, std::string_view factoryNumber,
                                     ByteView deviceId) {
    ByteWriter w;
    w.text(std::to_string(marker1)).text(factoryNumber).bytes(deviceId);
    return Crc32::compute(w.data());
}

std::uint16_t ModelData::marker1() const {
    const auto v = le::load16(raw_.data());
    return v == 0 ? kMarker1 : v;
}

std::uint32_t ModelData::marker2() const {
    const auto v = le::load32(raw_.data() + 2);
    return (v == 0 || (v & 0x80000000u) != 0) ? kMarker2 : v;
}

std::string ModelData::factoryNumber() const {
    return text(kFactoryNumberAt, kFactoryNumberSize);
}

std::string ModelData::modelName() const {
    auto s = text(kModelNameAt, kModelNameSize);
    return s.empty() ? std::string(kDefaultModelName) : s;
}

std::string ModelData::version() const {
    auto s = text(kVersionAt, kVersionSize);
    return s.empty() ? std::string(kDefaultVersion) : s;
}

std::uint32_t ModelData::checksum() const {
    return le::load32(raw_.data() + kChecksumAt);
}

bool ModelData::isValid() const {
    const auto number = factoryNumber();
    const bool digits = !number.empty() && std::all_of(number.begin(), number.end(),
                                                       [](char c) { return c >= '0' && c <= '9'; });
    const auto sum = checksum();
    return marker1() != 0 && digits && !modelName().empty() && sum != 0 && sum != 0xFFFFFFFFu;
}

std::string ModelData::text(std::size_t at, std::size_t size) const {
    const auto* begin = raw_.data() + at;
    const auto* end = std::find(begin, begin + size, 0);
    return std::string(begin, end);
}

void ModelData::putText(std::size_t at, std::size_t size, std::string_view s) {
    std::fill_n(raw_.begin() + static_cast<long>(at), size, 0);
    std::copy_n(s.begin(), std::min(s.size(), size), raw_.begin() + static_cast<long>(at));
}

}  // namespace kkt
