#pragma once

#include <algorithm>
#include <cctype>
#include <string>

#include "log/untrusted_text.h"

// A flag's value, from the settings file or as --console=false: the usual spellings only.
// CLI11 would read any number, "0x1" as 0 and so false.
inline auto FlagValue(const std::string& option) {
    return [option](const std::string& value) {
        std::string lower = value;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        for (const char* spelling : {"true", "false", "yes", "no", "on", "off", "1", "0"}) {
            if (lower == spelling) {
                return std::string();
            }
        }
        return "option '" + option + "' takes true or false, not '" + UntrustedText(value) + "'";
    };
}
