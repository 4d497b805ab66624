#pragma once
// The bubblewrap command line that gives the unmodified firmware the board's file system: a
// fresh tmpfs root with the host's /usr, /etc and libraries read-only, the state directory's
// files at the board's fixed paths, the serial ports as links to the emulators' pseudo-terminals
// (links keep working when an emulator restarts; a bound pty node would go stale), busybox as
// /bin/sh (the board's shell: "echo -en host" writes "host"), and clock stubs. Nothing of the
// view is written to the real disk: the root is bubblewrap's own tmpfs.

#include <string>
#include <vector>

#include "board/StateDir.hpp"

namespace kkt::sim {

struct SandboxSetup {
    std::string bwrap = "/usr/bin/bwrap";
    std::string busybox = "/usr/bin/busybox";
    std::string firmware;  // the kkt-core to run
    int statusFd = -1;     // bubblewrap reports the child's pid here once the view stands
};

// Where the firmware and the board's run-time folder appear inside the view.
inline constexpr const char* kViewFirmware = "/opt/kkt/bin/kkt-core";
inline constexpr const char* kViewRun = "/run/kkt-board";
inline constexpr const char* kViewLog = "/var/log/kkt-board";

[[nodiscard]] std::vector<std::string> sandboxArguments(const SandboxSetup& setup,
                                                        const StateDir& dir);

}  // namespace kkt::sim
