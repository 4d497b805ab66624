#include "core/NormalStart.hpp"

#include <cstdlib>
#include <ctime>
#include <thread>

#include "core/CoreWorker.hpp"
#include "link/HostLink.hpp"
#include "registration/CoreState.hpp"

namespace kkt {

void runNormalStart() {
    // Before the link thread exists: it draws transaction ids from this generator.
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    CoreWorker worker;
    worker.initialise();

    std::thread([] {
        HostLink link(coreState(), HostLink::Core::Present);
        link.run();
    }).detach();

    worker.run();
}

}  // namespace kkt
