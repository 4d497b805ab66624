#include "primitives/Inn.hpp"

#include <array>
#include <cstddef>

#include "primitives/Crc.hpp"

namespace kkt {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view s) {
    for (char c : s) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Weighted sum of the first weights.size() digits, mod 11 mod 10.
template <std::size_t N>
int checkDigit(std::string_view digits, const std::array<int, N>& weights) {
    int sum = 0;
    for (std::size_t i = 0; i < N; ++i)
        sum += weights[i] * (digits[i] - '0');
    return sum % 11 % 10;
}

constexpr std::array<int, 9> kWeights10 = {2, 4, 10, 3, 5, 9, 4, 6, 8};
constexpr std::array<int, 10> kWeights11 = {7, 2, 4, 10, 3, 5, 9, 4, 6, 8};
constexpr std::array<int, 11> kWeights12 = {3, 7, 2, 4, 10, 3, 5, 9, 4, 6, 8};

constexpr std::size_t kRnLength = 16;
constexpr std::size_t kRnMinLength = 7;
constexpr std::size_t kOrderLength = 10;
constexpr std::size_t kFactoryLength = 20;
constexpr std::size_t kCheckStringLength = 42;

std::string leftPad(std::string_view s, std::size_t width) {
    std::string out;
    if (s.size() < width)
        out.assign(width - s.size(), '0');
    out.append(s);
    return out;
}

}  // namespace

namespace inn {

std::string normalise(std::string_view inn) {
    std::string out;
    out.reserve(inn.size());
    for (char c : inn) {
        if (!isBlank(c))
            out.push_back(c);
    }
    if (out.find("0000000000") != std::string::npos)
        out.clear();
    return out;
}

bool isValid(std::string_view inn, Empty empty) {
    if (inn.empty())
        return empty == Empty::Valid;
    if (inn.size() != 10 && inn.size() != 12)
        return false;
    // Digits only (the check digits need them); "above zero" means not all zeros.
    if (!allDigits(inn) || inn.find_first_not_of('0') == std::string_view::npos)
        return false;
    if (inn.size() == 10)
        return checkDigit(inn, kWeights10) == inn[9] - '0';
    return checkDigit(inn, kWeights11) == inn[10] - '0' &&
           checkDigit(inn, kWeights12) == inn[11] - '0';
}

std::uint8_t kind(std::string_view inn) {
    if (inn.empty())
        return kEmptyKind;
    if (!isValid(inn))
        return kInvalidKind;
    return inn.size() == 12 ? kPersonKind : kOrganisationKind;
}

std::string fsForm(std::string_view inn) {
    switch (kind(inn)) {
        case kEmptyKind:
            return std::string(12, '0');
        case kPersonKind:
            return std::string(inn);
        case kOrganisationKind:
            return std::string(inn) + "  ";
        default:
            return {};
    }
}

Optional optional(std::string_view inn) {
    std::string n = normalise(inn);
    if (n.empty() || !isValid(n))
        return {};
    return {std::move(n), true};
}

}  // namespace inn

namespace rn {

bool isValid(std::string_view rn, std::string_view inn, std::string_view factoryNumber) {
    if (rn.size() < kRnMinLength || rn.size() > kRnLength)
        return false;
    if (!allDigits(rn) || !inn::isValid(inn))
        return false;
    const std::string padded = leftPad(rn, kRnLength);
    const std::string_view order = std::string_view(padded).substr(0, kOrderLength);
    const std::string_view checkText = std::string_view(padded).substr(kOrderLength);
    std::uint32_t check = 0;
    for (char c : checkText)
        check = check * 10 + static_cast<std::uint32_t>(c - '0');

    std::string checkString(order);
    checkString += inn.size() == 10 ? "00" + std::string(inn) : std::string(inn);
    checkString += leftPad(factoryNumber, kFactoryLength);
    if (checkString.size() != kCheckStringLength)
        return false;
    return Crc16::compute(asBytes(checkString)) == (check % 65536u);
}

std::string normalise(std::string_view rn, std::string_view inn, std::string_view factoryNumber) {
    if (!isValid(rn, inn, factoryNumber))
        return {};
    return leftPad(rn, kRnLength);
}

std::string fsForm(std::string_view rn, std::string_view inn, std::string_view factoryNumber) {
    std::string n = normalise(rn, inn, factoryNumber);
    if (!n.empty())
        n += "    ";
    return n;
}

}  // namespace rn

}  // namespace kkt
