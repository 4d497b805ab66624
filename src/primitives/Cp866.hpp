#pragma once
// CP866, the printer's code page. Russian captions are written in the source as readable UTF-8
// literals and become CP866 bytes at compile time:  "ИТОГ"_cp866  is a std::string_view of the
// four CP866 bytes 0x88 0x92 0x8E 0x83. A character that CP866 lacks is a compile error.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace kkt::cp866 {

// Unicode code point of each byte 0x80..0xFF.
inline constexpr char32_t kHighCodePoints[128] = {
    // 0x80-0x9F: А-Я
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B,
    0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    // 0xA0-0xAF: а-п
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F,
    // 0xB0-0xDF: shades and box drawing
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    // 0xE0-0xEF: р-я
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B,
    0x044C, 0x044D, 0x044E, 0x044F,
    // 0xF0-0xFF
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E, 0x00B0, 0x2219, 0x00B7, 0x221A,
    0x2116, 0x00A4, 0x25A0, 0x00A0};

// The CP866 byte of a code point, or -1 when CP866 has none.
constexpr int fromCodePoint(char32_t cp) {
    if (cp < 0x80)
        return static_cast<int>(cp);
    for (int i = 0; i < 128; ++i) {
        if (kHighCodePoints[i] == cp)
            return 0x80 + i;
    }
    return -1;
}

constexpr char32_t toCodePoint(unsigned char b) {
    return b < 0x80 ? char32_t{b} : kHighCodePoints[b - 0x80];
}

// Decodes one UTF-8 sequence at s[i]; advances i. Returns 0xFFFFFFFF on a malformed sequence.
constexpr char32_t decodeUtf8(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t len = b0 < 0x80           ? 1
                      : (b0 >> 5) == 0x6  ? 2
                      : (b0 >> 4) == 0xE  ? 3
                      : (b0 >> 3) == 0x1E ? 4
                                          : 0;
    if (len == 0 || i + len > s.size()) {
        ++i;
        return 0xFFFFFFFF;
    }
    char32_t cp = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b >> 6) != 0x2) {
            i += k;
            return 0xFFFFFFFF;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    i += len;
    return cp;
}

// Run-time conversions for text that arrives at run time (host data, tool input).
// Characters that CP866 lacks become '?'.
std::string fromUtf8(std::string_view utf8);
std::string toUtf8(std::string_view cp866);

// Case mapping of CP866 text: A-Z, А-П, Р-Я and Ё; other bytes are unchanged.
char toLower(char c);
char toUpper(char c);
std::string lower(std::string_view text);
std::string upper(std::string_view text);

namespace detail {

template <std::size_t N>
struct Utf8Literal {
    char text[N]{};
    constexpr Utf8Literal(const char (&s)[N]) {
        for (std::size_t i = 0; i < N; ++i)
            text[i] = s[i];
    }
    constexpr std::string_view view() const { return {text, N - 1}; }
};

constexpr std::size_t encodedLength(std::string_view s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++n)
        decodeUtf8(s, i);
    return n;
}

template <Utf8Literal L>
consteval auto encode() {
    constexpr std::string_view src = L.view();
    std::array<char, encodedLength(src)> out{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < src.size();) {
        const int b = fromCodePoint(decodeUtf8(src, i));
        if (b < 0)
            throw "character not in CP866";  // consteval: a compile error
        out[n++] = static_cast<char>(b);
    }
    return out;
}

template <Utf8Literal L>
inline constexpr auto kEncoded = encode<L>();

}  // namespace detail

}  // namespace kkt::cp866

namespace kkt::literals {

template <cp866::detail::Utf8Literal L>
constexpr std::string_view operator""_cp866() {
    return {cp866::detail::kEncoded<L>.data(), cp866::detail::kEncoded<L>.size()};
}

}  // namespace kkt::literals
