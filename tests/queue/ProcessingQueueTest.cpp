#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "queue/CoreQueue.hpp"

using namespace kkt;
using namespace std::chrono_literals;

namespace {

// Waits up to a deadline for a condition another thread brings about.
template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

CoreTransaction tx(std::uint16_t code, std::uint32_t id, Bytes data = {}) {
    return CoreTransaction{code, id, std::move(data)};
}

}  // namespace

TEST(ProcessingQueue, RecordDefaults) {
    const CoreTransaction t;
    EXPECT_EQ(t.code, 0);
    EXPECT_EQ(t.id, 0u);
    EXPECT_TRUE(t.data.empty());
    const CoreApiResult r;
    EXPECT_EQ(r.code, 511);
    EXPECT_EQ(r.id, 0u);
    const CoreApiResult coded(264);
    EXPECT_EQ(coded.code, 264);
    EXPECT_EQ(coded.id, 0u);
    EXPECT_TRUE(coded.data.empty());
}

// The link thread execs commands one after another on its object while the worker thread serves
// them through its own object: order, ids and data survive, nothing is left behind.
TEST(ProcessingQueue, ExecAgainstWorkerThreadInOrder) {
    constexpr int kCount = 25;
    std::atomic<bool> stop{false};
    std::vector<std::uint16_t> served;
    std::thread worker([&] {
        CoreQueue queue;
        while (!stop.load()) {
            CoreTransaction t;
            if (queue.pop(t)) {
                served.push_back(t.code);
                Bytes answer = t.data;
                answer.push_back(0xEE);
                EXPECT_TRUE(queue.putResult(CoreApiResult{0, t.id, answer}));
            } else {
                std::this_thread::sleep_for(1ms);
            }
        }
    });
    {
        CoreQueue link;
        for (int i = 0; i < kCount; ++i) {
            const auto id = static_cast<std::uint32_t>(1000 + i);
            CoreApiResult out;
            ASSERT_TRUE(
                link.exec(tx(static_cast<std::uint16_t>(i + 1), id, {std::uint8_t(i)}), out));
            EXPECT_EQ(out.code, 0);
            EXPECT_EQ(out.id, id);
            EXPECT_EQ(out.data, (Bytes{std::uint8_t(i), 0xEE}));
            EXPECT_FALSE(link.hasResult(id));
        }
        EXPECT_EQ(link.pendingCount(), 0u);
    }
    stop = true;
    worker.join();
    ASSERT_EQ(served.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i)
        EXPECT_EQ(served[i], i + 1);
}

// Two pending copies of one id share one result slot and the first completion registration: the
// first result wakes the waiter, the second is kept until someone takes it.
TEST(ProcessingQueue, DuplicatePendingIdSharesResultSlot) {
    constexpr std::uint32_t kId = 77;
    CoreQueue worker;
    CoreApiResult got;
    std::atomic<bool> execOk{false};
    std::thread waiter([&] {
        CoreQueue link;
        execOk = link.exec(tx(5, kId), got);
    });
    ASSERT_TRUE(waitFor([&] { return worker.pendingCount() == 1; }));
    int secondCalls = 0;
    CoreQueue other;
    other.submit(tx(6, kId), [&] { ++secondCalls; }, {});
    EXPECT_EQ(worker.pendingCount(), 2u);

    CoreTransaction t;
    ASSERT_TRUE(worker.pop(t));
    EXPECT_EQ(t.code, 5);
    ASSERT_TRUE(worker.putResult(CoreApiResult{1, kId}));
    waiter.join();
    EXPECT_TRUE(execOk);
    EXPECT_EQ(got.code, 1);
    EXPECT_EQ(got.id, kId);

    ASSERT_TRUE(worker.pop(t));
    EXPECT_EQ(t.code, 6);
    ASSERT_TRUE(worker.putResult(CoreApiResult{2, kId}));
    // The waiter's takeResult removed every registration, so the later copy's callback (dropped
    // on submission) is not called either.
    EXPECT_EQ(secondCalls, 0);
    EXPECT_TRUE(worker.hasResult(kId));
    bool found = false;
    const auto later = worker.takeResult(kId, &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(later.code, 2);
    EXPECT_FALSE(worker.hasResult(kId));
}

TEST(ProcessingQueue, RefusalsAndEmptyAnswers) {
    CoreQueue q;
    // Empty queue: false and an empty transaction, in both forms.
    CoreTransaction t = tx(9, 9, {1});
    EXPECT_FALSE(q.pop(t));
    EXPECT_EQ(t.code, 0);
    EXPECT_EQ(t.id, 0u);
    EXPECT_TRUE(t.data.empty());
    bool ok = true;
    EXPECT_EQ(q.pop(&ok).id, 0u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(q.pop(nullptr).code, 0);

    // A stored result of another id stays untouched by the refusals below.
    ASSERT_TRUE(q.putResult(CoreApiResult{3, 4242}));
    EXPECT_FALSE(q.putResult(CoreApiResult{0, 0}));
    EXPECT_FALSE(q.hasResult(0));
    bool found = true;
    const auto none = q.takeResult(31337, &found);
    EXPECT_FALSE(found);
    EXPECT_EQ(none.code, CoreApiResult::kUnset);
    EXPECT_EQ(q.takeResult(0, nullptr).code, CoreApiResult::kUnset);
    EXPECT_FALSE(q.notify(CoreApiNotification{0}));
    EXPECT_FALSE(q.notify(CoreApiNotification{31337}));
    EXPECT_TRUE(q.hasResult(4242));
    EXPECT_EQ(q.takeResult(4242, nullptr).code, 3);
}

// A queue object that comes and goes withdraws only its own callbacks; the transaction another
// object is waiting for still completes.
TEST(ProcessingQueue, ShortLivedObjectsLeaveOthersAlone) {
    CoreQueue worker;
    CoreApiResult got;
    std::thread waiter([&] {
        CoreQueue link;
        EXPECT_TRUE(link.exec(tx(1, 501), got));
    });
    ASSERT_TRUE(waitFor([&] { return worker.pendingCount() == 1; }));
    int shortLivedCalls = 0;
    {
        CoreQueue shortLived;
        shortLived.submit(tx(2, 502), [&] { ++shortLivedCalls; }, {});
        CoreQueue idle;
    }
    CoreTransaction t;
    ASSERT_TRUE(worker.pop(t));
    ASSERT_TRUE(worker.putResult(CoreApiResult{0, t.id}));
    waiter.join();
    EXPECT_EQ(got.id, 501u);
    ASSERT_TRUE(worker.pop(t));
    EXPECT_EQ(t.id, 502u);
    ASSERT_TRUE(worker.putResult(CoreApiResult{0, 502}));
    EXPECT_EQ(shortLivedCalls, 0);
    EXPECT_EQ(worker.takeResult(502, nullptr).code, 0);
}

// The completion callback runs after the result mutex is released, so it may use the queue; the
// notification callback is reached through notify while the transaction is pending.
TEST(ProcessingQueue, CallbacksSeeStoredResultAndNotifications) {
    CoreQueue q;
    bool sawResult = false;
    std::vector<std::uint32_t> notified;
    q.submit(
        tx(1, 601), [&] { sawResult = q.hasResult(601); },
        [&](const CoreApiNotification& n) { notified.push_back(n.id); });
    EXPECT_TRUE(q.notify(CoreApiNotification{601}));
    EXPECT_EQ(notified, std::vector<std::uint32_t>{601});
    CoreTransaction t;
    ASSERT_TRUE(q.pop(t));
    ASSERT_TRUE(q.putResult(CoreApiResult{0, 601}));
    EXPECT_TRUE(sawResult);
    EXPECT_EQ(q.takeResult(601, nullptr).id, 601u);
    EXPECT_FALSE(q.notify(CoreApiNotification{601}));
}

TEST(ProcessingQueue, ExecWithNotificationDeliversWhilePending) {
    CoreQueue worker;
    std::atomic<int> notes{0};
    std::thread waiter([&] {
        CoreQueue link;
        CoreApiResult out;
        EXPECT_TRUE(link.exec(tx(1, 701), out, [&](const CoreApiNotification&) { ++notes; }));
        EXPECT_EQ(out.code, 7);
    });
    ASSERT_TRUE(waitFor([&] { return worker.pendingCount() == 1; }));
    EXPECT_TRUE(worker.notify(CoreApiNotification{701}));
    CoreTransaction t;
    ASSERT_TRUE(worker.pop(t));
    ASSERT_TRUE(worker.putResult(CoreApiResult{7, 701}));
    waiter.join();
    EXPECT_EQ(notes.load(), 1);
}
