#pragma once
// The conditions a test or the board tool sets on the printer: paper out, paper low, and a
// printer that stops answering status requests. Safe to change from any thread while the
// emulator serves its port.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>

namespace kkt::sim {

// Paper sensor status (GS r 1): bits 0-1 paper near end, bits 2-3 paper end.
inline constexpr std::uint8_t kStatusPaperLow = 0x03;
inline constexpr std::uint8_t kStatusPaperOut = 0x0C;

class PrinterConditions {
  public:
    void setPaperOut(bool out);
    void setPaperLow(bool low);
    // A silent printer receives and prints but answers no status request.
    void setSilent(bool silent);
    // Answer this exact status byte instead of the one the paper sensors give (nullopt: sensors).
    void setStatusOverride(std::optional<std::uint8_t> status);

    bool paperOut() const;
    bool paperLow() const;
    bool silent() const;

    // The answer to a paper status request; nullopt when the printer does not answer.
    std::optional<std::uint8_t> paperStatus() const;

    // One line of the control channel: "paper-out", "paper-in", "paper-low", "silent", "back",
    // "status HH" (hex byte override) or "status auto". Blanks around the word are ignored.
    // False for an unknown line (nothing changes).
    [[nodiscard]] bool applyControlLine(std::string_view line);

  private:
    mutable std::mutex mutex_;
    bool paperOut_ = false;
    bool paperLow_ = false;
    bool silent_ = false;
    std::optional<std::uint8_t> override_;
};

}  // namespace kkt::sim
