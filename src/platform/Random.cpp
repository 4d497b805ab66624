#include "platform/Random.hpp"

#include <cstdlib>
#include <random>

namespace kkt {

int RealRandom::rand() {
    return std::rand();
}

Bytes RealRandom::deviceBytes(std::size_t n) {
    std::random_device device;
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(static_cast<std::uint8_t>(byte(device)));
    return out;
}

Random& realRandom() {
    static RealRandom random;
    return random;
}

}  // namespace kkt
