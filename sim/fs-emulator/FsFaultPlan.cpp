#include "fs-emulator/FsFaultPlan.hpp"

#include <charconv>
#include <sstream>

namespace kkt::sim {
namespace {

struct Named {
    std::string_view name;
    FsFault fault;
};
constexpr Named kFaults[] = {{"no-answer", FsFault::NoAnswer},
                             {"late", FsFault::Late},
                             {"bad-crc", FsFault::BadCrc},
                             {"truncated", FsFault::Truncated},
                             {"noise", FsFault::Noise}};

std::optional<unsigned long> number(std::string_view s, int base) {
    unsigned long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (ec != std::errc{} || end != s.data() + s.size() || s.empty())
        return std::nullopt;
    return v;
}

}  // namespace

std::string_view faultName(FsFault f) {
    for (const auto& n : kFaults) {
        if (n.fault == f)
            return n.name;
    }
    return "?";
}

void FsFaultPlan::add(FsFault kind, unsigned exchanges, std::optional<std::uint8_t> command) {
    if (exchanges == 0)
        return;
    std::lock_guard lock(mutex_);
    rules_.push_back({kind, exchanges, command});
}

void FsFaultPlan::clear() {
    std::lock_guard lock(mutex_);
    rules_.clear();
}

void FsFaultPlan::setConnected(bool connected) {
    std::lock_guard lock(mutex_);
    connected_ = connected;
}

bool FsFaultPlan::connected() const {
    std::lock_guard lock(mutex_);
    return connected_;
}

std::optional<FsFault> FsFaultPlan::take(std::uint8_t command) {
    std::lock_guard lock(mutex_);
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        if (it->command && *it->command != command)
            continue;
        const FsFault f = it->kind;
        if (--it->remaining == 0)
            rules_.erase(it);
        return f;
    }
    return std::nullopt;
}

std::optional<std::string> FsFaultPlan::apply(std::string_view line) {
    std::istringstream in{std::string(line)};
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    if (words.empty())
        return std::nullopt;  // blank lines are harmless
    if (words.size() == 1 && words[0] == "disconnect") {
        setConnected(false);
        return std::nullopt;
    }
    if (words.size() == 1 && words[0] == "connect") {
        setConnected(true);
        return std::nullopt;
    }
    if (words[0] != "fault" || words.size() < 2)
        return "unknown control line: " + std::string(line);
    if (words.size() == 2 && words[1] == "clear") {
        clear();
        return std::nullopt;
    }
    std::optional<FsFault> kind;
    for (const auto& n : kFaults) {
        if (words[1] == n.name)
            kind = n.fault;
    }
    if (!kind)
        return "unknown fault kind: " + words[1];
    unsigned count = 1;
    std::optional<std::uint8_t> command;
    bool haveCount = false;
    for (std::size_t i = 2; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w.rfind("cmd=", 0) == 0) {
            std::string_view hex = std::string_view(w).substr(4);
            if (hex.rfind("0x", 0) == 0 || hex.rfind("0X", 0) == 0)
                hex.remove_prefix(2);
            const auto v = number(hex, 16);
            if (!v || *v > 0xFF || command)
                return "bad command code in: " + std::string(line);
            command = static_cast<std::uint8_t>(*v);
            continue;
        }
        const auto v = number(w, 10);
        if (!v || *v == 0 || *v > 1000000 || haveCount) {
            return "bad exchange count in: " + std::string(line);
        }
        count = static_cast<unsigned>(*v);
        haveCount = true;
    }
    add(*kind, count, command);
    return std::nullopt;
}

}  // namespace kkt::sim
