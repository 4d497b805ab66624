#include "Cp866Text.hpp"

#include <iconv.h>

namespace kkt::sim {

namespace {

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

Cp866Text::Cp866Text() {
    // One conversion of all 256 bytes gives the whole table; the text conversion then needs no
    // iconv state.
    for (unsigned b = 0; b < 256; ++b)
        table_[b] = b < 0x80 ? b : U'?';
    iconv_t cd = iconv_open("UTF-32LE", "CP866");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return;
    bool all = true;
    for (unsigned b = 0x80; b < 256; ++b) {
        char in = static_cast<char>(b);
        unsigned char out[4] = {};
        char* inp = &in;
        char* outp = reinterpret_cast<char*>(out);
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<std::size_t>(-1) ||
            outLeft != 0) {
            all = false;
            continue;
        }
        table_[b] = static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) |
                                          (static_cast<char32_t>(out[3]) << 24));
    }
    iconv_close(cd);
    ok_ = all;
}

std::string Cp866Text::toUtf8(std::string_view cp866) const {
    std::string out;
    out.reserve(cp866.size() * 2);
    for (const char c : cp866)
        appendUtf8(out, table_[static_cast<unsigned char>(c)]);
    return out;
}

}  // namespace kkt::sim
