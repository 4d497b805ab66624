#include "primitives/Cp866.hpp"

namespace kkt::cp866 {

std::string fromUtf8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const int b = fromCodePoint(decodeUtf8(utf8, i));
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return out;
}

std::string toUtf8(std::string_view cp866) {
    std::string out;
    out.reserve(cp866.size() * 2);
    for (char c : cp866) {
        const char32_t cp = toCodePoint(static_cast<unsigned char>(c));
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

char toLower(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 'A' && b <= 'Z')
        return static_cast<char>(b + 0x20);
    if (b >= 0x80 && b <= 0x8F)
        return static_cast<char>(b + 0x20);  // А-П -> а-п
    if (b >= 0x90 && b <= 0x9F)
        return static_cast<char>(b + 0x50);  // Р-Я -> р-я
    if (b == 0xF0)
        return static_cast<char>(0xF1);  // Ё -> ё
    return c;
}

char toUpper(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 'a' && b <= 'z')
        return static_cast<char>(b - 0x20);
    if (b >= 0xA0 && b <= 0xAF)
        return static_cast<char>(b - 0x20);
    if (b >= 0xE0 && b <= 0xEF)
        return static_cast<char>(b - 0x50);
    if (b == 0xF1)
        return static_cast<char>(0xF0);
    return c;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = toLower(c);
    return out;
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = toUpper(c);
    return out;
}

}  // namespace kkt::cp866
