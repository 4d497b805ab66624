#pragma once
// The normal start of kkt-core: seed the C library generator, make and initialise the core
// worker (which prints the start-up report), start the host-link thread, then run the core loop
// in the calling thread. The host is answered only once the initialisation has finished.

namespace kkt {

[[noreturn]] void runNormalStart();

}  // namespace kkt
