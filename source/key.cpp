#include "source/key.h"

#include <cstdio>
#include <utility>

#include "text/number_text.h"

namespace {

// The code point that starts text, and its length in bytes; none for a sequence that is no
// UTF-8 (overlong, a surrogate, beyond U+10FFFF, cut short).
std::optional<std::pair<char32_t, std::size_t>> NextCodePoint(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(0);
    if (first < 0x80) {
        return std::pair<char32_t, std::size_t>(first, 1);
    }
    const std::size_t length = first >= 0xf0 ? 4 : first >= 0xe0 ? 3 : first >= 0xc0 ? 2 : 0;
    if (length == 0 || first > 0xf4 || text.size() < length) {
        return std::nullopt;
    }
    char32_t point = first & (0x7f >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80) {
            return std::nullopt;
        }
        point = (point << 6) | (byte(i) & 0x3f);
    }
    constexpr char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < Least[length] || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff)) {
        return std::nullopt;
    }
    return std::pair(point, length);
}

// A character that moves the cursor, rewrites a line or turns text around.
bool Controls(char32_t point) {
    return point < 0x20 || (point >= 0x7f && point <= 0x9f) || point == 0x061c || point == 0x200e ||
           point == 0x200f || (point >= 0x2028 && point <= 0x202e) ||
           (point >= 0x2066 && point <= 0x2069);
}

}  // namespace

std::string Key::WhyNotAName(std::string_view text) {
    if (text.empty()) {
        return "an empty name";
    }
    if (text.size() > LongestName) {
        return "a name over " + std::to_string(LongestName) + " bytes";
    }
    while (!text.empty()) {
        const auto point = NextCodePoint(text);
        if (!point) {
            return "a name that is not UTF-8";
        }
        if (Controls(point->first)) {
            return "a name with a control character";
        }
        text.remove_prefix(point->second);
    }
    return {};
}

std::optional<Key> Key::FromName(std::string_view text, std::string& why) {
    why = WhyNotAName(text);
    if (!why.empty()) {
        return std::nullopt;
    }
    return Name(std::string(text));
}

std::string Key::Text() const {
    switch (GetKind()) {
        case Kind::Code:
            return DecimalText(CodeValue());
        case Kind::Name:
            return NameValue();
        case Kind::Scancode:
            break;
    }
    char hex[12];
    std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(ScancodeValue()));
    return std::string(ScanPrefix) + hex;
}
