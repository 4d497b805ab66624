// The FS emulator's side of the line. The input is a series of requests (code, LEN u16 LE, data)
// that are framed and fed byte by byte through the frame reader into a fresh FS held in memory;
// the raw input is also fed to a second reader as line bytes.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fs-emulator/FsEmulator.hpp"
#include "fs-emulator/FsFrameReader.hpp"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

constexpr std::array<std::uint8_t, 16> kKey{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kkt::sim;
    const kkt::ByteView input(data, size);

    // Line noise and broken frames: never more than one frame per last CRC byte.
    FsFrameReader line;
    for (const std::uint8_t b : input) {
        if (auto request = line.feed(b))
            require(!request->raw.empty() && request->raw.front() == 0x04);
    }

    FsDateTime made;
    made.year = 26;
    made.month = 1;
    made.day = 15;
    made.hour = 10;
    FsEmulator fs(FsEmulator::freshState("9999078900001234", kKey, made),
                  [](const FsState&) { return true; });
    FsFrameReader reader;
    kkt::ByteReader r(input);
    while (r.remaining() >= 3) {
        const std::uint8_t code = *r.u8();
        const std::size_t length = std::min<std::size_t>(*r.u16(), r.remaining());
        const kkt::ByteView body = *r.take(length);

        const kkt::Bytes frame = FsFrameReader::frame(code, body);
        std::optional<FsRequest> request;
        for (std::size_t i = 0; i < frame.size(); ++i) {
            request = reader.feed(frame[i]);
            require(request.has_value() == (i + 1 == frame.size()));
        }
        require(request->crcOk && request->code == code && request->raw == frame);
        require(std::equal(request->data.begin(), request->data.end(), body.begin(), body.end()));

        const FsAnswer answer = fs.handle(request->code, request->data);
        (void)FsFrameReader::frame(answer.code, answer.data);
    }
    return 0;
}
