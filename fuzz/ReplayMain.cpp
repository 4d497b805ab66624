// Replays a fuzz target over every file of its seed corpus, so that the ordinary build runs the
// seeds (and every crash found and fixed) as a test. Usage: <target> <corpus dir>...
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>...\n", argv[0]);
        return 2;
    }
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        std::filesystem::directory_iterator it(argv[i], ec);
        if (ec) {
            std::fprintf(stderr, "%s: cannot read %s: %s\n", argv[0], argv[i],
                         ec.message().c_str());
            return 2;
        }
        for (const auto& entry : it) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
            std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
            // A copy of exactly the file's size, so that ASan sees any read past its end.
            (void)LLVMFuzzerTestOneInput(input.data(), input.size());
            ++replayed;
        }
    }
    if (replayed == 0) {
        std::fprintf(stderr, "%s: no seeds found\n", argv[0]);
        return 2;
    }
    std::printf("%zu inputs replayed\n", replayed);
    return 0;
}
