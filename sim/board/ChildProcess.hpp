#pragma once
// One supervised child: started in its own process group (so a stop reaches everything it
// started, and a Ctrl-C on the terminal reaches only the board), with a parent-death signal so
// it never outlives a board that was killed itself.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace kkt::sim {

class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (a path) with stdout and stderr appended to the given files (empty: the
    // board's own). `keepFd` stays open in the child (a status pipe), everything else is
    // closed on exec. False with a message in `error`.
    [[nodiscard]] bool start(const std::vector<std::string>& argv, const std::string& stdoutPath,
                             const std::string& stderrPath, std::string& error, int keepFd = -1);

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Collects the child if it has ended; returns its wait status once.
    [[nodiscard]] std::optional<int> reap();
    // The board collected this child's status itself (waitpid on any child).
    void collected() { pid_ = -1; }
    // Sends the signal to the child's whole process group.
    void signal(int sig) const;
    // SIGTERM, then SIGKILL after `grace`; waits until the child is gone. Returns its status.
    std::optional<int> stop(std::chrono::milliseconds grace);
    // SIGKILL at once (a power loss) and wait.
    std::optional<int> kill();

    // "exited with status 3", "killed by signal 9".
    static std::string describe(int status);

  private:
    pid_t pid_ = -1;
};

}  // namespace kkt::sim
