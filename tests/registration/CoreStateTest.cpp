#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "registration/CoreState.hpp"

using namespace kkt;

namespace {
const Bytes kId(16, 0x77);
}

TEST(CoreState, ModelRecordIsRewrittenInPlace) {
    CoreState state;
    EXPECT_EQ(*state.modelData(), ModelData{});
    EXPECT_TRUE(state.deviceId().empty());
    const auto holder = state.modelData();
    const auto record = ModelData::factory("555", kId);
    state.setModelData(record);
    EXPECT_EQ(*holder, record);
    EXPECT_EQ(state.modelData(), holder);
    EXPECT_EQ(state.modelAnswer(), record.answer());

    state.resetModelData();
    EXPECT_FALSE(state.modelData());
    EXPECT_FALSE(state.modelAnswer());
    state.setModelData(record);
    EXPECT_EQ(*state.modelData(), record);
}

TEST(CoreState, CashRecordIsReplaced) {
    CoreState state;
    const auto before = state.cashStatus();
    auto next = std::make_shared<CashStatusData>();
    next->addCashIn(100);
    state.setCashStatus(next);
    EXPECT_EQ(before->cash(), 0);
    EXPECT_EQ(state.cashStatus()->cash(), 100);
    state.resetCashStatus();
    EXPECT_EQ(state.cashStatus()->cash(), 0);
    EXPECT_EQ(next->cash(), 100);
}

// The link thread asks for the model answer and the id while the core thread rewrites them.
TEST(CoreState, LinkReadsWhileCoreWrites) {
    CoreState state;
    const auto a = ModelData::factory("111", kId);
    const auto b = ModelData::factory("22222222", kId);
    std::atomic<bool> stop{false};
    std::thread link([&] {
        while (!stop) {
            const auto answer = state.modelAnswer();
            if (answer) {
                EXPECT_TRUE(*answer == a.answer() || *answer == b.answer());
            }
            const auto id = state.deviceId();
            EXPECT_TRUE(id.empty() || id == kId);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        state.setModelData(i % 2 ? a : b);
        state.setDeviceId(kId);
    }
    stop = true;
    link.join();
}
