#pragma once
// The queue object each thread of the core holds; all of them share one process-wide storage.

#include "queue/ProcessingQueue.hpp"

namespace kkt {

class CoreQueue final : public ProcessingQueue<1> {
  public:
    CoreQueue() = default;
    ~CoreQueue() override;
};

}  // namespace kkt
