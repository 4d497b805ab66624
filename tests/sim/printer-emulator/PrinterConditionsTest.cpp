#include "PrinterConditions.hpp"

#include <gtest/gtest.h>

namespace kkt::sim {
namespace {

TEST(PrinterConditionsTest, ControlLinesChangeTheStatusAnswer) {
    struct Step {
        const char* line;
        bool known;
        std::optional<std::uint8_t> status;
    };
    // One printer through a sequence of control lines; each step shows the answer after it.
    const Step steps[] = {
        {"paper-low", true, 0x03},      {"paper-out", true, 0x0F},
        {"paper-in", true, 0x00},       {"  paper-out\r", true, 0x0C},
        {"silent", true, std::nullopt}, {"paper-in", true, std::nullopt},
        {"back", true, 0x00},           {"status 04", true, 0x04},
        {"paper-out", true, 0x04},      {"status auto", true, 0x0C},
        {"status 4G", false, 0x0C},     {"status 123", false, 0x0C},
        {"status", false, 0x0C},        {"paper", false, 0x0C},
        {"PAPER-IN", false, 0x0C},      {"", false, 0x0C},
    };
    PrinterConditions conditions;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.line);
        EXPECT_EQ(conditions.applyControlLine(step.line), step.known);
        EXPECT_EQ(conditions.paperStatus(), step.status);
    }
}

}  // namespace
}  // namespace kkt::sim
