#include "mqtt/bridge_code.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "text/number_text.h"

std::string ProtocolName(std::string_view protocol) {
    std::string name;
    for (const char c : protocol) {
        name += std::isalnum(static_cast<unsigned char>(c)) != 0
                    ? static_cast<char>(std::toupper(static_cast<unsigned char>(c)))
                    : '_';
    }
    if (!name.empty() && std::isalpha(static_cast<unsigned char>(name.front())) == 0) {
        name.insert(0, "IR_");
    }
    return name;
}

std::optional<std::string> CodeHex(const nlohmann::json& value, unsigned bits) {
    std::string digits;
    if (value.is_number_unsigned()) {
        char text[17];
        std::snprintf(text, sizeof text, "%llX",
                      static_cast<unsigned long long>(value.get<std::uint64_t>()));
        digits = text;
    } else if (value.is_string()) {
        const std::string& text = value.get_ref<const std::string&>();
        if (!text.starts_with("0x") && !text.starts_with("0X")) {
            const auto number = ParseNumber(text);
            if (!number) {
                return std::nullopt;
            }
            return CodeHex(nlohmann::json(static_cast<std::uint64_t>(*number)), bits);
        }
        digits = text.substr(2);
        if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c));
            })) {
            return std::nullopt;
        }
        std::transform(digits.begin(), digits.end(), digits.begin(), [](char c) {
            return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        });
    } else {
        return std::nullopt;
    }
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    if (digits.size() > LongestCodeBits / 4) {
        return std::nullopt;
    }
    const std::size_t wide = (bits + 3) / 4;
    if (digits.size() < wide) {
        digits.insert(0, wide - digits.size(), '0');
    }
    return digits;
}

std::optional<unsigned> Count(const nlohmann::json& object, const char* field, unsigned most) {
    const auto found = object.find(field);
    if (found == object.end()) {
        return 0u;
    }
    if (!found->is_number_unsigned() || found->get<std::uint64_t>() > most) {
        return std::nullopt;
    }
    return static_cast<unsigned>(found->get<std::uint64_t>());
}

bool NecRepeatFrame(const std::string& protocol, unsigned bits,
                    const std::optional<std::string>& hex) {
    return protocol.starts_with("NEC") &&
           (bits == 0 ||
            (hex && hex->size() >= 8 && hex->find_first_not_of('F') == std::string::npos));
}

const std::string* TextField(const nlohmann::json& object, const char* field) {
    const auto found = object.find(field);
    return found != object.end() && found->is_string() ? &found->get_ref<const std::string&>()
                                                       : nullptr;
}
