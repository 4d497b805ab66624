#include "PrinterConditions.hpp"

#include <charconv>

namespace kkt::sim {

void PrinterConditions::setPaperOut(bool out) {
    std::lock_guard lock(mutex_);
    paperOut_ = out;
}

void PrinterConditions::setPaperLow(bool low) {
    std::lock_guard lock(mutex_);
    paperLow_ = low;
}

void PrinterConditions::setSilent(bool silent) {
    std::lock_guard lock(mutex_);
    silent_ = silent;
}

void PrinterConditions::setStatusOverride(std::optional<std::uint8_t> status) {
    std::lock_guard lock(mutex_);
    override_ = status;
}

bool PrinterConditions::paperOut() const {
    std::lock_guard lock(mutex_);
    return paperOut_;
}

bool PrinterConditions::paperLow() const {
    std::lock_guard lock(mutex_);
    return paperLow_;
}

bool PrinterConditions::silent() const {
    std::lock_guard lock(mutex_);
    return silent_;
}

std::optional<std::uint8_t> PrinterConditions::paperStatus() const {
    std::lock_guard lock(mutex_);
    if (silent_)
        return std::nullopt;
    if (override_)
        return override_;
    std::uint8_t status = 0;
    if (paperLow_)
        status |= kStatusPaperLow;
    if (paperOut_)
        status |= kStatusPaperOut;
    return status;
}

namespace {

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

}  // namespace

bool PrinterConditions::applyControlLine(std::string_view line) {
    line = trim(line);
    if (line == "paper-out") {
        setPaperOut(true);
    } else if (line == "paper-in") {
        // A fresh roll: neither out nor low.
        std::lock_guard lock(mutex_);
        paperOut_ = false;
        paperLow_ = false;
    } else if (line == "paper-low") {
        setPaperLow(true);
    } else if (line == "silent") {
        setSilent(true);
    } else if (line == "back") {
        setSilent(false);
    } else if (line.starts_with("status ")) {
        const auto arg = trim(line.substr(7));
        if (arg == "auto") {
            setStatusOverride(std::nullopt);
            return true;
        }
        unsigned value = 0;
        const auto* end = arg.data() + arg.size();
        const auto [ptr, ec] = std::from_chars(arg.data(), end, value, 16);
        if (arg.empty() || arg.size() > 2 || ec != std::errc{} || ptr != end)
            return false;
        setStatusOverride(static_cast<std::uint8_t>(value));
    } else {
        return false;
    }
    return true;
}

}  // namespace kkt::sim
