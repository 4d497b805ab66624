#pragma once
// What the host link reads from the shared record store for its own commands. The store lives
// above the link (registration), so the link sees it only through this interface.

#include <optional>

#include "primitives/Bytes.hpp"

namespace kkt {

class LinkRecords {
  public:
    virtual ~LinkRecords() = default;
    // The factory record without its final check value (66 bytes), or nullopt when the record is
    // not valid.
    [[nodiscard]] virtual std::optional<Bytes> modelAnswer() const = 0;
    // The 16-byte device id, empty while none is known.
    [[nodiscard]] virtual Bytes deviceId() const = 0;
};

}  // namespace kkt
