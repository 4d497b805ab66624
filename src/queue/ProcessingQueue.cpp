#include "queue/ProcessingQueue.hpp"

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace kkt {

namespace detail {

// The storage the queue objects share. Each map is guarded by exactly one of the two mutexes and
// no operation holds both at once: the pending queue by queueMutex, results and both callback
// maps by resultMutex (the worker looks callbacks up while storing a result, so they belong
// with the results).
struct QueueStorage {
    std::mutex queueMutex;
    std::deque<CoreTransaction> pending;

    std::mutex resultMutex;
    std::map<std::uint32_t, CoreApiResult> results;
    std::map<std::uint32_t, IProcessingQueue::CompletionCallback> completions;
    std::map<std::uint32_t, IProcessingQueue::NotificationCallback> notifications;
};

}  // namespace detail

namespace {

constexpr auto kPollStep = std::chrono::milliseconds(20);

template <int StorageId>
std::shared_ptr<detail::QueueStorage> sharedStorage() {
    static const auto storage = std::make_shared<detail::QueueStorage>();
    return storage;
}

}  // namespace

template <int StorageId>
ProcessingQueue<StorageId>::ProcessingQueue() : storage_(sharedStorage<StorageId>()) {}

template <int StorageId>
ProcessingQueue<StorageId>::~ProcessingQueue() {
    std::lock_guard lock(storage_->resultMutex);
    for (std::uint32_t id : ownIds_) {
        storage_->completions.erase(id);
        storage_->notifications.erase(id);
    }
}

template <int StorageId>
bool ProcessingQueue<StorageId>::exec(const CoreTransaction& t, CoreApiResult& out) {
    return exec(t, out, NotificationCallback{});
}

template <int StorageId>
bool ProcessingQueue<StorageId>::exec(const CoreTransaction& t, CoreApiResult& out,
                                      NotificationCallback onNotification) {
    // Shared with the callback, which the worker thread runs; outlives this call if need be.
    auto done = std::make_shared<std::atomic<bool>>(false);
    if (!submit(
            t, [done] { done->store(true); }, std::move(onNotification)))
        return false;
    while (!done->load())
        std::this_thread::sleep_for(kPollStep);
    if (!hasResult(t.id))
        return false;
    out = takeResult(t.id, nullptr);
    return true;
}

template <int StorageId>
bool ProcessingQueue<StorageId>::submit(const CoreTransaction& t, CompletionCallback onComplete,
                                        NotificationCallback onNotification) {
    if (onComplete || onNotification)
        ownIds_.insert(t.id);
    // Callbacks first: once the transaction is queued the worker may answer it at any moment.
    // An earlier registration for the same id stays.
    {
        std::lock_guard lock(storage_->resultMutex);
        if (onComplete)
            storage_->completions.try_emplace(t.id, std::move(onComplete));
        if (onNotification)
            storage_->notifications.try_emplace(t.id, std::move(onNotification));
    }
    std::lock_guard lock(storage_->queueMutex);
    storage_->pending.push_back(t);
    return true;
}

template <int StorageId>
bool ProcessingQueue<StorageId>::pop(CoreTransaction& out) {
    std::lock_guard lock(storage_->queueMutex);
    if (storage_->pending.empty()) {
        out = CoreTransaction{};
        return false;
    }
    out = std::move(storage_->pending.front());
    storage_->pending.pop_front();
    return true;
}

template <int StorageId>
CoreTransaction ProcessingQueue<StorageId>::pop(bool* ok) {
    CoreTransaction t;
    const bool taken = pop(t);
    if (ok != nullptr)
        *ok = taken;
    return t;
}

template <int StorageId>
bool ProcessingQueue<StorageId>::putResult(const CoreApiResult& r) {
    if (r.id == 0)
        return false;
    CompletionCallback callback;
    {
        std::lock_guard lock(storage_->resultMutex);
        storage_->results.insert_or_assign(r.id, r);
        if (auto it = storage_->completions.find(r.id); it != storage_->completions.end()) {
            callback = it->second;
        }
    }
    if (callback)
        callback();
    return true;
}

template <int StorageId>
bool ProcessingQueue<StorageId>::hasResult(std::uint32_t id) {
    std::lock_guard lock(storage_->resultMutex);
    return storage_->results.contains(id);
}

template <int StorageId>
CoreApiResult ProcessingQueue<StorageId>::takeResult(std::uint32_t id, bool* found) {
    ownIds_.erase(id);
    CoreApiResult result;
    bool have = false;
    {
        std::lock_guard lock(storage_->resultMutex);
        if (auto it = storage_->results.find(id); id != 0 && it != storage_->results.end()) {
            result = it->second;
            have = true;
        }
        storage_->results.erase(id);
        storage_->completions.erase(id);
        storage_->notifications.erase(id);
    }
    if (found != nullptr)
        *found = have;
    return result;
}

template <int StorageId>
std::size_t ProcessingQueue<StorageId>::pendingCount() {
    std::lock_guard lock(storage_->queueMutex);
    return storage_->pending.size();
}

template <int StorageId>
bool ProcessingQueue<StorageId>::notify(const CoreApiNotification& n) {
    if (n.id == 0)
        return false;
    std::lock_guard lock(storage_->resultMutex);
    auto it = storage_->notifications.find(n.id);
    if (it == storage_->notifications.end())
        return false;
    // Runs under the result mutex: the callback must not call back into the queue.
    it->second(n);
    return true;
}

template class ProcessingQueue<1>;

}  // namespace kkt
