#include "keymap/key_map_words.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "log/untrusted_text.h"
#include "text/number_text.h"

namespace key_map_words {

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(Blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(Blanks) - first + 1);
}

std::string_view NextWord(std::string_view& rest, bool quotes) {
    rest = Trimmed(rest);
    if (rest.empty() || rest.front() == '#') {
        rest = {};
        return {};
    }
    std::size_t end = 0;
    for (bool quoted = false;
         end < rest.size() && (quoted || Blanks.find(rest[end]) == std::string_view::npos); ++end) {
        if (quotes && rest[end] == '"') {
            quoted = !quoted;
        } else if (quoted && rest[end] == '\\' && end + 1 < rest.size()) {
            ++end;
        }
    }
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    return word;
}

std::optional<int> Number(std::string_view word, int low, int high) {
    const auto value = ParseNumber(word);
    if (!value || *value < static_cast<unsigned long>(low) ||
        *value > static_cast<unsigned long>(high)) {
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

std::optional<KeyMap::Kind> KindNamed(std::string_view word) {
    const auto found = std::find(KindWords.begin(), KindWords.end(), word);
    if (found == KindWords.end()) {
        return std::nullopt;
    }
    return static_cast<KeyMap::Kind>(found - KindWords.begin());
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = up;
        }
    }
    return row[b.size()];
}

std::string_view WithoutComment(std::string_view command) {
    char quote = '\0';
    for (std::size_t i = 0; i < command.size(); ++i) {
        const char c = command[i];
        if (quote != '\0') {
            quote = c == quote ? '\0' : quote;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '#' && (i == 0 || Blanks.find(command[i - 1]) != std::string_view::npos)) {
            return Trimmed(command.substr(0, i));
        }
    }
    return command;
}

bool IsModeName(std::string_view word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x80 || std::isalnum(byte) != 0 || c == '_' || c == '-' || c == '.';
    });
}

std::string NotAModeName(std::string_view word) {
    return "\"" + UntrustedText(word) + "\" is not a mode's name (letters, digits, _ - .)";
}

std::string ParseSection(std::string_view line, KeySection& section) {
    const auto close = line.find(']');
    if (close == std::string_view::npos) {
        return "a section's header ends with \"]\", as in: [player=vlc]";
    }
    std::string_view after = line.substr(close + 1);
    if (!NextWord(after).empty()) {
        return "nothing may follow a section's header on its line";
    }
    std::string_view rest = line.substr(1, close - 1);
    section = {};
    for (std::string_view word = NextWord(rest); !word.empty(); word = NextWord(rest)) {
        const auto equals = word.find('=');
        const std::string_view name = word.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : word.substr(equals + 1);
        std::string* field = name == "mode"     ? &section.mode
                             : name == "player" ? &section.player
                                                : nullptr;
        if (field == nullptr || value.empty()) {
            return "\"" + UntrustedText(word) +
                   "\" is not a section's condition (mode=NAME or player=GLOB)";
        }
        if (!field->empty()) {
            return "\"" + std::string(name) + "\" is given twice";
        }
        if (field == &section.mode && !IsModeName(value)) {
            return NotAModeName(value);  // no mode action could reach it
        }
        *field = std::string(value);
    }
    if (section.mode.empty() && section.player.empty()) {
        return "a section needs mode=NAME, player=GLOB or both, as in: [player=vlc]";
    }
    return {};
}

}  // namespace key_map_words
