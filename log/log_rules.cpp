#include "log/log_rules.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_category.h"

namespace {

struct Rule {
    std::string pattern;
    std::optional<LogLevel> level;  // none: every level
    bool enabled;
};

bool Matches(std::string_view pattern, std::string_view name) {
    const bool head = pattern.starts_with('*');
    const bool tail = pattern.size() > 1 && pattern.ends_with('*');
    if (head) {
        pattern.remove_prefix(1);
    }
    if (tail) {
        pattern.remove_suffix(1);
    }
    if (head && tail) {
        return name.find(pattern) != std::string_view::npos;
    }
    if (head) {
        return name.ends_with(pattern);
    }
    if (tail) {
        return name.starts_with(pattern);
    }
    return name == pattern;
}

std::optional<Rule> ParseRule(std::string_view line) {
    const auto trim = [](std::string_view text) {
        const auto first = text.find_first_not_of(" \t\r");
        if (first == std::string_view::npos) {
            return std::string_view();
        }
        return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
    };
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view key = trim(line.substr(0, equals));
    const std::string_view value = trim(line.substr(equals + 1));
    if (key.empty() || (value != "true" && value != "false")) {
        return std::nullopt;
    }
    Rule rule{{}, std::nullopt, value == "true"};
    constexpr std::array<std::pair<std::string_view, LogLevel>, 4> Levels{{
        {".debug", LogLevel::Debug},
        {".info", LogLevel::Info},
        {".warning", LogLevel::Warning},
        {".critical", LogLevel::Warning},
    }};
    for (const auto& [suffix, level] : Levels) {
        if (key.ends_with(suffix)) {
            key.remove_suffix(suffix.size());
            rule.level = level;
            break;
        }
    }
    rule.pattern = key;
    return rule;
}

}  // namespace

void ApplyLogRules(const char* rules) {
    if (rules == nullptr || *rules == '\0') {
        return;
    }
    std::vector<Rule> parsed;
    std::string_view rest(rules);
    while (!rest.empty()) {
        const auto end = std::min(rest.find_first_of(";\n"), rest.size());
        if (auto rule = ParseRule(rest.substr(0, end))) {
            parsed.push_back(std::move(*rule));
        }
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    LogCategory::ForEach([&parsed](LogCategory& category) {
        // Whether each level shows, starting from the category's own threshold.
        std::array<bool, 3> shows{};
        for (int level = 0; level < 3; ++level) {
            shows[level] = category.IsEnabled(static_cast<LogLevel>(level));
        }
        for (const Rule& rule : parsed) {
            if (!Matches(rule.pattern, category.Name())) {
                continue;
            }
            for (int level = 0; level < 3; ++level) {
                if (!rule.level || *rule.level == static_cast<LogLevel>(level)) {
                    shows[level] = rule.enabled;
                }
            }
        }
        // Our categories have one threshold: the lowest level shown sets it, and warnings
        // always show.
        int threshold = 2;
        for (int level = 0; level < 3; ++level) {
            if (shows[level]) {
                threshold = level;
                break;
            }
        }
        category.SetThreshold(static_cast<LogLevel>(threshold));
    });
}
