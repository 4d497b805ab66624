#pragma once
// Fault knobs of the emulator's line: which exchanges get a damaged answer, and whether the
// cable is "pulled". Safe to change from another thread while the line runs.
//
// Control lines (the control FIFO takes one per line):
//   disconnect | connect | fault clear
//   fault KIND [N] [cmd=0xHH]   KIND: no-answer, late, bad-crc, truncated, noise
// N is the number of exchanges (default 1); cmd limits the fault to one FS command code.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kkt::sim {

enum class FsFault : std::uint8_t {
    NoAnswer,   // the command runs, its answer is never sent
    Late,       // the answer is sent after the late delay
    BadCrc,     // the answer's CRC is wrong
    Truncated,  // the answer stops three bytes short
    Noise,      // line noise (no start byte among it) before the answer
};

[[nodiscard]] std::string_view faultName(FsFault f);

class FsFaultPlan {
  public:
    // The next `exchanges` exchanges (of `command` only, when given) get the fault.
    void add(FsFault kind, unsigned exchanges = 1, std::optional<std::uint8_t> command = {});
    void clear();
    void setConnected(bool connected);
    [[nodiscard]] bool connected() const;

    // The fault for one exchange of this command (consumes it), or none.
    [[nodiscard]] std::optional<FsFault> take(std::uint8_t command);

    // Applies one control line; an error text when the line is not understood.
    [[nodiscard]] std::optional<std::string> apply(std::string_view line);

  private:
    struct Rule {
        FsFault kind;
        unsigned remaining;
        std::optional<std::uint8_t> command;
    };
    mutable std::mutex mutex_;
    std::vector<Rule> rules_;
    bool connected_ = true;
};

}  // namespace kkt::sim
