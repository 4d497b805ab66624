#include "board/SandboxView.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Paths.hpp"

namespace kkt::sim {

namespace {

bool isSymlink(const std::string& p, std::string& target) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return false;
    char buf[4096];
    const auto n = ::readlink(p.c_str(), buf, sizeof buf - 1);
    if (n <= 0)
        return false;
    target.assign(buf, static_cast<std::size_t>(n));
    return true;
}

bool exists(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0;
}

}  // namespace

std::vector<std::string> sandboxArguments(const SandboxSetup& setup, const StateDir& dir) {
    std::vector<std::string> a{
        setup.bwrap,
        "--die-with-parent",
        "--unshare-pid",
        "--unshare-ipc",
        "--unshare-uts",
        "--hostname",
        "kkt-board",
        "--tmpfs",
        "/",
        "--ro-bind",
        "/usr",
        "/usr",
    };
    // Merged-/usr systems have /bin, /lib, /sbin as links into /usr; older ones as folders.
    for (const char* top : {"/bin", "/sbin", "/lib", "/lib64", "/lib32", "/libx32"}) {
        std::string target;
        if (isSymlink(top, target)) {
            a.insert(a.end(), {"--symlink", target, top});
        } else if (exists(top)) {
            a.insert(a.end(), {"--ro-bind", top, top});
        }
    }
    a.insert(a.end(),
             {
                 "--ro-bind",
                 "/etc",
                 "/etc",
                 "--proc",
                 "/proc",
                 "--dev",
                 "/dev",
                 // The host's ptys, so the links below reach the emulators' and the board's ptys.
                 "--dev-bind",
                 "/dev/pts",
                 "/dev/pts",
                 "--tmpfs",
                 "/tmp",
                 "--tmpfs",
                 "/sys",
                 "--bind",
                 dir.eeprom(),
                 paths::kEeprom,
                 "--ro-bind",
                 dir.usbState(),
                 paths::kUdcState,
                 "--bind",
                 dir.usbMode(),
                 paths::kUdcMode,
                 "--bind",
                 dir.nv(),
                 "/nv",
                 "--ro-bind",
                 dir.run(),
                 kViewRun,
                 "--bind",
                 dir.path("log"),
                 kViewLog,
                 "--symlink",
                 std::string(kViewRun) + "/links/fs",
                 paths::kFsPort,
                 "--symlink",
                 std::string(kViewRun) + "/links/printer",
                 paths::kPrinterPort,
                 "--symlink",
                 std::string(kViewRun) + "/links/gadget",
                 paths::kHostPort,
                 "--ro-bind",
                 setup.busybox,
                 "/usr/bin/sh",
                 "--ro-bind",
                 dir.stub("date"),
                 "/usr/bin/date",
             });
    if (exists("/usr/sbin/hwclock")) {
        a.insert(a.end(), {"--ro-bind", dir.stub("hwclock"), "/usr/sbin/hwclock"});
    }
    if (exists("/usr/bin/hwclock")) {
        a.insert(a.end(), {"--ro-bind", dir.stub("hwclock"), "/usr/bin/hwclock"});
    }
    a.insert(a.end(), {
                          "--ro-bind",
                          setup.firmware,
                          kViewFirmware,
                          "--chdir",
                          "/",
                          "--cap-drop",
                          "CAP_SYS_TIME",
                          // The firmware reads no environment; the shell it runs needs a PATH that
                          // finds the stubs first (also for a `hwclock` the host does not have).
                          "--clearenv",
                          "--setenv",
                          "PATH",
                          std::string(kViewRun) + "/stubs:/usr/sbin:/usr/bin:/sbin:/bin",
                      });
    // Local time must match the host's; sanitizer settings of a debug build pass through.
    for (const char* var :
         {"TZ", "ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* v = std::getenv(var))
            a.insert(a.end(), {"--setenv", var, v});
    }
    if (setup.statusFd >= 0)
        a.insert(a.end(), {"--json-status-fd", std::to_string(setup.statusFd)});
    a.push_back("--");
    a.push_back(kViewFirmware);
    return a;
}

}  // namespace kkt::sim
