#pragma once
// A temporary 4096-byte EEPROM file and a random source with fixed draws for the EEPROM tests.

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/Random.hpp"
#include "primitives/Bytes.hpp"

namespace kkt::test {

class TempEeprom {
  public:
    explicit TempEeprom(std::size_t size = 4096, std::uint8_t fill = 0xFF) {
        char name[] = "/tmp/kkt-eeprom-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd >= 0)
            ::close(fd);
        path_ = name;
        write(Bytes(size, fill));
    }
    ~TempEeprom() { std::remove(path_.c_str()); }
    TempEeprom(const TempEeprom&) = delete;
    TempEeprom& operator=(const TempEeprom&) = delete;

    const std::string& path() const { return path_; }
    Bytes read() const {
        std::ifstream in(path_, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void write(const Bytes& all) const {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(all.data()),
                  static_cast<std::streamsize>(all.size()));
    }
    void patch(std::size_t offset, ByteView bytes) const {
        Bytes all = read();
        std::copy(bytes.begin(), bytes.end(), all.begin() + static_cast<long>(offset));
        write(all);
    }

  private:
    std::string path_;
};

// Device bytes count up from a start value; rand() is not used by the EEPROM.
class FixedRandom final : public Random {
  public:
    explicit FixedRandom(std::uint8_t start = 0x10) : start_(start) {}
    int rand() override { return 0; }
    Bytes deviceBytes(std::size_t n) override {
        ++calls;
        Bytes b(n);
        for (std::size_t i = 0; i < n; ++i)
            b[i] = static_cast<std::uint8_t>(start_ + i);
        return b;
    }
    int calls = 0;

  private:
    std::uint8_t start_;
};

}  // namespace kkt::test
