#include "text/number_text.h"

#include <charconv>

std::string DecimalText(int value) {
    return std::to_string(value);
}

std::optional<unsigned long> ParseNumber(std::string_view word) {
    int base = 10;
    if (word.size() > 2 && (word.substr(0, 2) == "0x" || word.substr(0, 2) == "0X")) {
        base = 16;
        word.remove_prefix(2);
    }
    unsigned long value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (word.empty() || error != std::errc() || end != word.data() + word.size()) {
        return std::nullopt;
    }
    return value;
}
