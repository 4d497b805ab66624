#include "board/SandboxView.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Paths.hpp"

namespace kkt::sim {
namespace {

using Args = std::vector<std::string>;

// True when `a` holds the option followed by exactly these values.
bool has(const Args& a, const Args& seq) {
    return std::search(a.begin(), a.end(), seq.begin(), seq.end()) != a.end();
}

TEST(SandboxViewTest, ViewStandsOnItsOwnTmpfsRootWithTheBoardPathsBackedByTheStateDir) {
    const StateDir dir("/srv/reg");
    SandboxSetup setup;
    setup.firmware = "/b/kkt-core";
    setup.statusFd = 7;
    const auto a = sandboxArguments(setup, dir);

    ASSERT_GE(a.size(), 3u);
    EXPECT_EQ(a.front(), "/usr/bin/bwrap");
    EXPECT_EQ(a.back(), kViewFirmware);
    EXPECT_TRUE(has(a, {"--tmpfs", "/"}));
    // Never a writable bind of the real root: it would create /nv and /dev/ttyGS0 on the disk.
    for (std::size_t i = 0; i + 2 < a.size(); ++i) {
        if (a[i] == "--bind" || a[i] == "--dev-bind") {
            EXPECT_NE(a[i + 1], "/") << a[i];
        }
    }
    EXPECT_TRUE(has(a, {"--ro-bind", "/usr", "/usr"}));
    EXPECT_TRUE(has(a, {"--ro-bind", "/etc", "/etc"}));
    EXPECT_TRUE(has(a, {"--proc", "/proc"}));
    EXPECT_TRUE(has(a, {"--dev", "/dev"}));
    EXPECT_TRUE(has(a, {"--dev-bind", "/dev/pts", "/dev/pts"}));
    EXPECT_TRUE(has(a, {"--tmpfs", "/sys"}));
    EXPECT_TRUE(has(a, {"--bind", "/srv/reg/eeprom", paths::kEeprom}));
    EXPECT_TRUE(has(a, {"--ro-bind", "/srv/reg/run/usb-state", paths::kUdcState}));
    EXPECT_TRUE(has(a, {"--bind", "/srv/reg/run/usb-mode", paths::kUdcMode}));
    EXPECT_TRUE(has(a, {"--bind", "/srv/reg/nv", "/nv"}));
    // Serial ports are links (a pty node bound directly goes stale when an emulator restarts).
    EXPECT_TRUE(has(a, {"--symlink", "/run/kkt-board/links/fs", paths::kFsPort}));
    EXPECT_TRUE(has(a, {"--symlink", "/run/kkt-board/links/printer", paths::kPrinterPort}));
    EXPECT_TRUE(has(a, {"--symlink", "/run/kkt-board/links/gadget", paths::kHostPort}));
    EXPECT_TRUE(has(a, {"--ro-bind", "/usr/bin/busybox", "/usr/bin/sh"}));
    EXPECT_TRUE(has(a, {"--ro-bind", "/srv/reg/run/stubs/date", "/usr/bin/date"}));
    EXPECT_TRUE(has(a, {"--cap-drop", "CAP_SYS_TIME"}));
    EXPECT_TRUE(has(a, {"--clearenv"}));
    EXPECT_TRUE(has(a, {"--json-status-fd", "7"}));
    EXPECT_TRUE(has(a, {"--ro-bind", "/b/kkt-core", kViewFirmware}));
    // The order matters: /dev first, then the host's ptys and the links into it.
    const auto dev = std::find(a.begin(), a.end(), "--dev");
    const auto pts = std::find(a.begin(), a.end(), "--dev-bind");
    EXPECT_LT(dev, pts);
}

}  // namespace
}  // namespace kkt::sim
