#pragma once
// Test doubles for the platform seam: a clock whose sleeps are instant and a shell that records
// commands instead of running them.

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.hpp"
#include "platform/Shell.hpp"

namespace kkt::test {

// Wall and monotonic time advance only through sleepFor() or advance(); sleeps return at once
// (after yielding, so that another thread polling the same clock can make progress).
class FakeClock final : public Clock {
  public:
    explicit FakeClock(std::time_t wall = 1733400000) : wall_(wall) {}

    std::time_t now() override { return wall_.load(); }
    Monotonic monotonic() override { return Monotonic{std::chrono::milliseconds(mono_.load())}; }
    void sleepFor(std::chrono::milliseconds d) override {
        advance(d);
        std::this_thread::yield();
    }
    void advance(std::chrono::milliseconds d) {
        const auto before = mono_.fetch_add(d.count());
        const auto after = before + d.count();
        if (after / 1000 != before / 1000)
            wall_ += after / 1000 - before / 1000;
    }
    void setWall(std::time_t t) { wall_ = t; }

  private:
    std::atomic<std::time_t> wall_;
    std::atomic<long long> mono_{0};
};

// Records every command; answers capture() through a settable function.
class RecordingShell final : public Shell {
  public:
    int run(const std::string& command) override {
        std::lock_guard lock(mutex_);
        commands_.push_back(command);
        return runResult_;
    }
    std::optional<std::string> capture(const std::string& command) override {
        std::function<std::optional<std::string>(const std::string&)> answer;
        {
            std::lock_guard lock(mutex_);
            captured_.push_back(command);
            answer = answer_;
        }
        return answer ? answer(command) : std::optional<std::string>{""};
    }

    void setAnswer(std::function<std::optional<std::string>(const std::string&)> f) {
        std::lock_guard lock(mutex_);
        answer_ = std::move(f);
    }
    void setRunResult(int r) { runResult_ = r; }
    std::vector<std::string> commands() const {
        std::lock_guard lock(mutex_);
        return commands_;
    }
    std::vector<std::string> captured() const {
        std::lock_guard lock(mutex_);
        return captured_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::vector<std::string> captured_;
    std::function<std::optional<std::string>(const std::string&)> answer_;
    std::atomic<int> runResult_{0};
};

}  // namespace kkt::test
