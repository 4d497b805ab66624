#include "primitives/Utils.hpp"

namespace kkt::util {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

template <typename Drop>
std::string trimIf(std::string_view text, Drop drop) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && drop(text[begin]))
        ++begin;
    while (end > begin && drop(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

// The 6-bit value of a Base64 character, or -1.
int base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

}  // namespace

std::string hexDump(ByteView bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3 + bytes.size() / 8 + bytes.size() / 16);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0x0F]);
        out.push_back(' ');
        if ((i + 1) % 8 == 0)
            out.push_back(' ');
        if ((i + 1) % 16 == 0)
            out.push_back('\n');
    }
    return out;
}

std::optional<Bytes> base64Decode(std::string_view text) {
    Bytes out;
    std::uint32_t bits = 0;
    int count = 0;  // characters of the current group of four
    bool fill = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (c == '=') {
            fill = true;
            continue;
        }
        const int v = base64Value(c);
        if (v < 0 || fill)
            return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        if (++count == 4) {
            out.push_back(static_cast<std::uint8_t>(bits >> 16));
            out.push_back(static_cast<std::uint8_t>(bits >> 8));
            out.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
            count = 0;
        }
    }
    // A final group of 2 or 3 characters carries 1 or 2 bytes; a single one carries none.
    if (count == 1)
        return std::nullopt;
    if (count == 2)
        out.push_back(static_cast<std::uint8_t>(bits >> 4));
    if (count == 3) {
        out.push_back(static_cast<std::uint8_t>(bits >> 10));
        out.push_back(static_cast<std::uint8_t>(bits >> 2));
    }
    return out;
}

std::string trim(std::string_view text) {
    return trimIf(text, isSpace);
}

std::string trimSpaceAndNul(std::string_view text) {
    return trimIf(text, [](char c) { return c == '\0' || isSpace(c); });
}

std::optional<std::time_t> dateFromText(std::string_view text, const std::string& pattern) {
    const std::string trimmed = trim(text);
    std::tm tm{};
    const char* end = strptime(trimmed.c_str(), pattern.c_str(), &tm);
    if (end == nullptr || *end != '\0')
        return std::nullopt;
    return std::mktime(&tm);
}

std::string formatTime(std::time_t seconds, const std::string& pattern) {
    std::tm tm{};
    if (localtime_r(&seconds, &tm) == nullptr)
        return {};
    // strftime answers 0 both for an empty result and for a buffer too small: grow a few times.
    std::string buf(64 + 2 * pattern.size(), '\0');
    for (int attempt = 0; attempt < 4; ++attempt, buf.resize(buf.size() * 4)) {
        const std::size_t n = std::strftime(buf.data(), buf.size(), pattern.c_str(), &tm);
        if (n != 0)
            return buf.substr(0, n);
    }
    return {};
}

std::uint32_t u32FromBytes(ByteView bytes, bool* ok) {
    const auto v = bytes.size() == 4 ? le::read32(bytes, 0) : std::nullopt;
    if (ok)
        *ok = v.has_value();
    return v.value_or(0);
}

std::uint16_t u16FromBytes(ByteView bytes, bool* ok) {
    const auto v = bytes.size() == 2 ? le::read16(bytes, 0) : std::nullopt;
    if (ok)
        *ok = v.has_value();
    return v.value_or(0);
}

bool isEmailPlausible(std::string_view text, std::size_t minLength, bool valueForEmpty) {
    if (text.empty())
        return valueForEmpty;
    return text.size() >= minLength && text.find('@') != std::string_view::npos &&
           text.find('.') != std::string_view::npos;
}

bool isPhonePlausible(std::string_view text, std::size_t minLength, bool valueForEmpty) {
    if (text.empty())
        return valueForEmpty;
    if (text.size() < minLength || text.front() != '+')
        return false;
    // The leading digits are above zero when one of them is not '0'; no number conversion,
    // so no length of digits can overflow.
    bool leading = true;
    for (char c : text) {
        if (c == '+' || c == '-' || c == '(' || c == ')')
            continue;
        if (!leading || !isDigit(c))
            return false;
        if (c != '0')
            return true;
    }
    return false;
}

}  // namespace kkt::util
