#pragma once
// What the core worker tests share: a clock whose wall time the test chooses while waits run in
// real time (the emulators answer in real time), a fixed random source, the emulator processes on
// pseudo-terminals, and bounded waits for a condition.

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.hpp"
#include "platform/Random.hpp"
#include "primitives/Bytes.hpp"

namespace kkt::test {

// Wall time stays where the test puts it; monotonic time and sleeps are real.
class WallClock final : public Clock {
  public:
    explicit WallClock(std::time_t wall) : wall_(wall) {}
    std::time_t now() override { return wall_.load(); }
    Monotonic monotonic() override { return std::chrono::steady_clock::now(); }
    void sleepFor(std::chrono::milliseconds d) override { std::this_thread::sleep_for(d); }
    void setWall(std::time_t t) { wall_ = t; }

  private:
    std::atomic<std::time_t> wall_;
};

// Device bytes count up from a start value; rand() is constant.
class FixedRandom final : public Random {
  public:
    explicit FixedRandom(std::uint8_t start = 0x10) : next_(start) {}
    int rand() override { return 4; }
    Bytes deviceBytes(std::size_t n) override {
        Bytes b(n);
        for (auto& x : b)
            x = next_++;
        return b;
    }

  private:
    std::uint8_t next_;
};

// Polls the condition every few milliseconds until it holds or the limit has passed.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A child process (an emulator) that is stopped with SIGTERM and reaped when the object goes.
// ready() is true once the file it publishes (its pty link) exists.
class SimProcess {
  public:
    SimProcess(const std::vector<std::string>& argv, const std::string& publishes) {
        pid_ = ::fork();
        if (pid_ == 0) {
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ready_ = pid_ > 0 && waitFor([&] { return std::filesystem::exists(publishes); });
    }
    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool ready() const { return ready_; }

  private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

}  // namespace kkt::test
