#pragma once
// The worker of the document command codes (4 to 7, 17 to 25, 162, 163, 183, 439). A code it has
// no handler for goes to the FsFiscalWorker execution, whose last resort is the pass-through to
// the FS.

#include "commands/FsFiscalWorker.hpp"

namespace kkt {

class DocumentsWorker : public FsFiscalWorker {
  public:
    explicit DocumentsWorker(const WorkerContext& context) : FsFiscalWorker(context) {}
    ~DocumentsWorker() override;

    [[nodiscard]] CoreApiResult execute(const CoreTransaction& t) override;

    // Whether the core gives a fiscal code to this worker rather than to an FsFiscalWorker.
    [[nodiscard]] static bool handles(std::uint16_t code);
};

}  // namespace kkt
