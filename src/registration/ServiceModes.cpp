#include "registration/ServiceModes.hpp"

#include <cstdlib>
#include <ctime>
#include <ostream>

#include "link/HostLink.hpp"
#include "primitives/Inn.hpp"
#include "registration/CoreState.hpp"

namespace kkt {

ServiceModes::Mode ServiceModes::modeFor(std::span<const char* const> args) {
    if (args.size() < 2 || args[1] == nullptr)
        return Mode::Normal;
    const std::string_view first = args[1];
    if (first == "-c")
        return Mode::ClearAndDump;
    if (first == "-d")
        return Mode::Dump;
    if (first == "-s")
        return Mode::LinkAlone;
    return Mode::Normal;
}

std::string ServiceModes::innLine() {
    return inn::isValid(inn::normalise(kSampleInn), inn::Empty::Invalid) ? "1" : "0";
}

int ServiceModes::eepromTool(Mode mode, const EepromStore& eeprom, std::ostream& out,
                             std::ostream& err) {
    if (mode == Mode::ClearAndDump && !eeprom.clear()) {
        err << "kkt-core: cannot erase the EEPROM\n";
        return 1;
    }
    const auto rows = eeprom.dump();
    if (!rows) {
        err << "kkt-core: cannot open the EEPROM\n";
        return 1;
    }
    for (const auto& row : *rows)
        out << row << '\n';
    out.flush();
    return 0;
}

int ServiceModes::run(std::span<const char* const> args, std::ostream& out, std::ostream& err,
                      const ServiceBoard& board, const NormalStart& normalStart) {
    out << innLine() << std::flush;
    const Mode mode = modeFor(args);
    switch (mode) {
        case Mode::ClearAndDump:
        case Mode::Dump:
            return eepromTool(mode, EepromStore(board.eeprom), out, err);
        case Mode::Normal:
            if (normalStart)
                return normalStart();
            break;
        case Mode::LinkAlone:
            break;
    }
    // The link alone: nothing serves the queue, so forwarded commands are answered "no result"
    // instead of blocking the link.
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    HostLink link(coreState(), HostLink::Core::Absent, board.hostPort);
    link.run();
    return 0;
}

}  // namespace kkt
