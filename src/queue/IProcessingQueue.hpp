#pragma once
// The transaction queue as the two threads see it: the link submits and waits, the core worker
// pops and puts results.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "queue/CoreApiNotification.hpp"
#include "queue/CoreApiResult.hpp"
#include "queue/CoreTransaction.hpp"

namespace kkt {

class IProcessingQueue {
  public:
    using CompletionCallback = std::function<void()>;
    using NotificationCallback = std::function<void(const CoreApiNotification&)>;

    virtual ~IProcessingQueue() = default;

    // Submits and blocks (polling) until the result for the transaction's id is stored.
    [[nodiscard]] virtual bool exec(const CoreTransaction& t, CoreApiResult& out) = 0;
    [[nodiscard]] virtual bool exec(const CoreTransaction& t, CoreApiResult& out,
                                    NotificationCallback onNotification) = 0;
    virtual bool submit(const CoreTransaction& t, CompletionCallback onComplete,
                        NotificationCallback onNotification) = 0;
    [[nodiscard]] virtual bool pop(CoreTransaction& out) = 0;
    [[nodiscard]] virtual CoreTransaction pop(bool* ok) = 0;
    virtual bool putResult(const CoreApiResult& r) = 0;
    [[nodiscard]] virtual bool hasResult(std::uint32_t id) = 0;
    [[nodiscard]] virtual CoreApiResult takeResult(std::uint32_t id, bool* found) = 0;
    [[nodiscard]] virtual std::size_t pendingCount() = 0;
    virtual bool notify(const CoreApiNotification& n) = 0;
};

}  // namespace kkt
