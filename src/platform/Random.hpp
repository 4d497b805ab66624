#pragma once
// The randomness seam: the C library generator (seeded once at start-up) behind transaction ids,
// and the non-deterministic random device behind a new device id. Tests inject fixed draws.

#include <cstddef>
#include <cstdint>

#include "primitives/Bytes.hpp"

namespace kkt {

class Random {
  public:
    virtual ~Random() = default;
    // One draw of the C library generator (rand()).
    virtual int rand() = 0;
    // n bytes, each a uniform draw over 0..255 from the platform's random device.
    virtual Bytes deviceBytes(std::size_t n) = 0;
};

class RealRandom final : public Random {
  public:
    int rand() override;
    Bytes deviceBytes(std::size_t n) override;
};

// The process-wide real source.
Random& realRandom();

}  // namespace kkt
