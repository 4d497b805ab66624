#pragma once
// A queue object over a process-wide storage selected by the template argument: every object of
// ProcessingQueue<1> sees the same pending queue, results and callbacks, so the link thread and
// the core worker thread each hold their own object and still meet.

#include <memory>
#include <set>

#include "queue/IProcessingQueue.hpp"

namespace kkt {

namespace detail {
struct QueueStorage;
}

template <int StorageId>
class ProcessingQueue : public IProcessingQueue {
  public:
    ProcessingQueue();
    ~ProcessingQueue() override;
    ProcessingQueue(const ProcessingQueue&) = delete;
    ProcessingQueue& operator=(const ProcessingQueue&) = delete;

    using IProcessingQueue::exec;
    using IProcessingQueue::pop;

    [[nodiscard]] bool exec(const CoreTransaction& t, CoreApiResult& out) override;
    [[nodiscard]] bool exec(const CoreTransaction& t, CoreApiResult& out,
                            NotificationCallback onNotification) override;
    bool submit(const CoreTransaction& t, CompletionCallback onComplete,
                NotificationCallback onNotification) override;
    [[nodiscard]] bool pop(CoreTransaction& out) override;
    [[nodiscard]] CoreTransaction pop(bool* ok) override;
    bool putResult(const CoreApiResult& r) override;
    [[nodiscard]] bool hasResult(std::uint32_t id) override;
    [[nodiscard]] CoreApiResult takeResult(std::uint32_t id, bool* found) override;
    [[nodiscard]] std::size_t pendingCount() override;
    bool notify(const CoreApiNotification& n) override;

  private:
    // Keeps the shared storage alive for as long as this object exists.
    std::shared_ptr<detail::QueueStorage> storage_;
    // Ids this object submitted with a callback; the destructor withdraws their callbacks.
    std::set<std::uint32_t> ownIds_;
};

extern template class ProcessingQueue<1>;

}  // namespace kkt
