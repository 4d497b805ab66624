#include "commands/DocumentsWorker.hpp"

namespace kkt {

DocumentsWorker::~DocumentsWorker() = default;

bool DocumentsWorker::handles(std::uint16_t code) {
    return (code >= 4 && code <= 7) || (code >= 17 && code <= 25) || code == 162 || code == 163 ||
           code == 183 || code == 439;
}

CoreApiResult DocumentsWorker::execute(const CoreTransaction& t) {
    // No document command has a handler here yet: each goes on as any code this worker does not
    // know.
    return FsFiscalWorker::execute(t);
}

}  // namespace kkt
