#include "queue/CoreQueue.hpp"

namespace kkt {

CoreQueue::~CoreQueue() = default;

}  // namespace kkt
