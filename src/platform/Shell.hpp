#pragma once
// The shell seam: every `system` and `popen` of the core goes through a Shell, so tests can
// record the commands instead of running them (no test ever sets the machine's clock).

#include <memory>
#include <optional>
#include <string>

namespace kkt {

class Shell {
  public:
    virtual ~Shell() = default;
    // Runs the command; returns the status that system() gives.
    virtual int run(const std::string& command) = 0;
    // Runs the command and returns its standard output, or nullopt when it cannot be started.
    virtual std::optional<std::string> capture(const std::string& command) = 0;
};

// The board's shell: system() and popen()/pclose().
class RealShell final : public Shell {
  public:
    int run(const std::string& command) override;
    std::optional<std::string> capture(const std::string& command) override;
};

// The process-wide real shell.
Shell& realShell();

}  // namespace kkt
