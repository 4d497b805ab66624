// FS answer frames as they come off the FS line: any bytes parse to a status without reading past
// the frame, and a frame that parsed builds back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fs/FsRep.hpp"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const kkt::ByteView frame(data, size);
    kkt::FsRep reply;
    const kkt::FsFrameStatus status = reply.fromFrame(frame);
    require(reply.status() == status);
    (void)reply.isValid();
    (void)reply.errorCode();
    (void)reply.resultCode();
    if (status == kkt::FsFrameStatus::Ok) {
        const kkt::Bytes rebuilt = reply.toFrame();
        require(rebuilt.size() == size && std::equal(rebuilt.begin(), rebuilt.end(), data));
    }
    return 0;
}
