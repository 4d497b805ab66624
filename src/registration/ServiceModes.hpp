#pragma once
// The command-line modes of kkt-core. Every mode first writes the sample INN check ("1" or "0",
// no line end) to standard output; "-c" erases and dumps the EEPROM, "-d" dumps it, "-s" runs the
// host link alone. Only the first argument counts; anything else is the normal start.

#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

#include "platform/Paths.hpp"
#include "registration/EepromStore.hpp"

namespace kkt {

// The board paths the modes use; the real ones unless a test says otherwise.
struct ServiceBoard {
    std::string eeprom = paths::kEeprom;
    std::string hostPort = paths::kHostPort;
};

class ServiceModes {
  public:
    enum class Mode { Normal, ClearAndDump, Dump, LinkAlone };

    // A taxpayer number with valid check digits, checked at every start as a self-test of the
    // INN rules.
    static constexpr std::string_view kSampleInn = "7707083893";

    [[nodiscard]] static Mode modeFor(std::span<const char* const> args);
    // "1" when the sample INN normalises to a valid INN, else "0".
    [[nodiscard]] static std::string innLine();
    // "-c" and "-d": the dump rows go to `out`, one per line. 0 on success; 1 with a message on
    // `err` when the EEPROM cannot be opened.
    [[nodiscard]] static int eepromTool(Mode mode, const EepromStore& eeprom, std::ostream& out,
                                        std::ostream& err);
    // The whole entry point; args[0] is the program name. Returns the exit status (the link
    // modes do not return in practice). The normal start is the core's (it lives above this
    // library); without one it runs the link alone, as "-s" does.
    using NormalStart = std::function<int()>;
    [[nodiscard]] static int run(std::span<const char* const> args, std::ostream& out,
                                 std::ostream& err, const ServiceBoard& board = ServiceBoard{},
                                 const NormalStart& normalStart = {});
};

}  // namespace kkt
