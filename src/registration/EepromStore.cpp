#include "registration/EepromStore.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

namespace kkt {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openEeprom(const std::string& path) {
    return File(std::fopen(path.c_str(), "r+b"));
}

std::size_t readAt(std::FILE* f, long offset, std::uint8_t* out, std::size_t n) {
    if (std::fseek(f, offset, SEEK_SET) != 0)
        return 0;
    return std::fread(out, 1, n, f);
}

bool writeAt(std::FILE* f, long offset, const std::uint8_t* data, std::size_t n) {
    if (std::fseek(f, offset, SEEK_SET) != 0)
        return false;
    const bool written = std::fwrite(data, 1, n, f) == n;
    return std::fflush(f) == 0 && written;
}

// The texts and the check value of the factory record.
constexpr std::size_t kModelTextFrom = 6;
constexpr std::size_t kModelTextTo = 66;
constexpr std::size_t kClearChunk = 512;

}  // namespace

EepromStore::EepromStore(std::string path, Random& random)
    : path_(std::move(path)), random_(random) {}

bool EepromStore::readModel(ModelData& out) const {
    File f = openEeprom(path_);
    if (!f)
        return false;
    std::array<std::uint8_t, ModelData::kSize> raw{};
    if (readAt(f.get(), kModelAt, raw.data(), raw.size()) != raw.size())
        return false;
    std::replace(raw.begin() + kModelTextFrom, raw.begin() + kModelTextTo, std::uint8_t{0xFF},
                 std::uint8_t{0});
    out.assign(raw);
    return true;
}

bool EepromStore::writeModel(const ModelData& m) const {
    File f = openEeprom(path_);
    return f && writeAt(f.get(), kModelAt, m.bytes().data(), ModelData::kSize);
}

bool EepromStore::readCash(CashStatusData& out) const {
    File f = openEeprom(path_);
    if (!f)
        return false;
    std::array<std::uint8_t, CashStatusData::kSize> raw{};
    if (readAt(f.get(), kCashAt, raw.data(), raw.size()) != raw.size())
        return false;
    out = CashStatusData(raw);
    return true;
}

bool EepromStore::writeCash(const CashStatusData& c) const {
    File f = openEeprom(path_);
    return f && writeAt(f.get(), kCashAt, c.bytes().data(), CashStatusData::kSize);
}

bool EepromStore::writeDeviceId(ByteView id) const {
    if (id.size() != kDeviceIdSize)
        return false;
    File f = openEeprom(path_);
    return f && writeAt(f.get(), kDeviceIdAt, id.data(), id.size());
}

bool EepromStore::zeroCash() const {
    return writeCash(CashStatusData{});
}

std::optional<Bytes> EepromStore::ensureDeviceId() const {
    File f = openEeprom(path_);
    if (!f)
        return std::nullopt;
    Bytes id(kDeviceIdSize);
    if (readAt(f.get(), kDeviceIdAt, id.data(), id.size()) != id.size())
        return std::nullopt;
    if (std::all_of(id.begin(), id.end(), [](std::uint8_t b) { return b == 0xFF; })) {
        id = random_.deviceBytes(kDeviceIdSize);
        if (id.size() != kDeviceIdSize)
            return std::nullopt;
    }
    if (!writeAt(f.get(), kDeviceIdAt, id.data(), id.size()))
        return std::nullopt;
    Bytes back(kDeviceIdSize);
    if (readAt(f.get(), kDeviceIdAt, back.data(), back.size()) != back.size())
        return std::nullopt;
    return back;
}

bool EepromStore::clear() const {
    File f = openEeprom(path_);
    if (!f)
        return false;
    const std::array<std::uint8_t, kClearChunk> erased = [] {
        std::array<std::uint8_t, kClearChunk> a{};
        a.fill(0xFF);
        return a;
    }();
    bool ok = std::fseek(f.get(), 0, SEEK_SET) == 0;
    for (std::size_t done = 0; done < kSize; done += kClearChunk) {
        ok = std::fwrite(erased.data(), 1, erased.size(), f.get()) == erased.size() && ok;
        ok = std::fflush(f.get()) == 0 && ok;
    }
    return ok;
}

std::optional<std::vector<std::string>> EepromStore::dump() const {
    File f = openEeprom(path_);
    if (!f)
        return std::nullopt;
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::vector<std::string> rows;
    for (std::size_t offset = 0; offset < kSize; offset += kDumpRow) {
        std::array<std::uint8_t, kDumpRow> raw{};
        raw.fill(0xFF);
        (void)readAt(f.get(), static_cast<long>(offset), raw.data(), raw.size());
        std::string row;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (i != 0 && i % 8 == 0)
                row += "  ";
            row += kHex[raw[i] >> 4];
            row += kHex[raw[i] & 0x0F];
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

EepromStore::LoadOutcome EepromStore::load(CoreState& state) const {
    LoadOutcome outcome;
    if (auto id = ensureDeviceId()) {
        state.setDeviceId(std::move(*id));
        outcome.deviceId = true;
    }
    ModelData fresh;
    if (!readModel(fresh))
        return outcome;
    outcome.modelRead = true;
    if (fresh.marker1() == ModelData::kMarker1 && fresh.marker2() == ModelData::kMarker2) {
        state.setModelData(fresh);
        outcome.modelPublished = true;
    } else {
        outcome.cleared = clear();
    }
    return outcome;
}

}  // namespace kkt
