#include "tools/receiver_script.h"

#include <algorithm>
#include <charconv>
#include <sstream>

#include "keymap/builtin_keys.h"
#include "serial/event_protocol.h"
#include "text/number_text.h"

namespace {

struct KeyName {
    const char* name;
    PlayerAction action;
};

constexpr KeyName KeyNames[] = {
    {"play", PlayerAction::PlayPause},  {"prev", PlayerAction::Previous},
    {"next", PlayerAction::Next},       {"vol+", PlayerAction::VolumeUp},
    {"vol-", PlayerAction::VolumeDown},
};

// The built-in remote's code for a key's name.
std::optional<int> KeyCodeFor(const std::string& word) {
    for (const KeyName& k : KeyNames) {
        if (word == k.name) {
            for (const BuiltinKey& key : BuiltinKeys) {
                if (key.action == k.action) {
                    return key.code;
                }
            }
        }
    }
    return std::nullopt;
}

bool IsCommandWord(const std::string& w) {
    return KeyCodeFor(w) || w == "hold" || w == "raw" || w == "wait";
}

}  // namespace

std::vector<std::string> SplitWords(const std::string& line) {
    std::istringstream in(line.substr(0, line.find('#')));
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

ParsedScript ParseReceiverScript(const std::vector<std::string>& words) {
    ParsedScript script;
    const auto fail = [&script](std::string message) {
        script.steps.clear();
        script.error = std::move(message);
        return script;
    };

    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (const auto code = KeyCodeFor(w)) {
            script.steps.push_back(
                {0, {static_cast<unsigned char>(KeyPrefix), static_cast<unsigned char>(*code)}});
        } else if (w == "hold") {
            if (i + 2 >= words.size()) {
                return fail("'hold' needs a key and a count, as in: hold vol+ 5");
            }
            const auto code = KeyCodeFor(words[i + 1]);
            if (!code) {
                return fail("unknown key '" + words[i + 1] + "' after 'hold'");
            }
            const auto count = ParseNumber(words[i + 2]);
            if (!count || *count > 100000) {
                return fail("'hold' needs a repeat count from 0 to 100000, not '" + words[i + 2] +
                            "'");
            }
            const auto c = static_cast<unsigned char>(*code);
            script.steps.push_back({0, {static_cast<unsigned char>(KeyPrefix), c}});
            for (unsigned long r = 0; r < *count; ++r) {
                script.steps.push_back(
                    {HoldRepeatMs, {static_cast<unsigned char>(RepeatPrefix), c}});
            }
            i += 2;
        } else if (w == "raw") {
            ScriptStep step;
            while (i + 1 < words.size() && !IsCommandWord(words[i + 1])) {
                const auto value = ParseNumber(words[i + 1]);
                if (!value || *value > 255) {
                    return fail("'" + words[i + 1] + "' is not a byte (0 to 255, or 0x00 to 0xff)");
                }
                step.bytes.push_back(static_cast<unsigned char>(*value));
                ++i;
            }
            if (step.bytes.empty()) {
                return fail("'raw' needs at least one byte, as in: raw 0x91 0x2a");
            }
            script.steps.push_back(std::move(step));
        } else if (w == "wait") {
            const auto ms = i + 1 < words.size() ? ParseNumber(words[i + 1]) : std::nullopt;
            if (!ms || *ms > 86400000) {
                return fail("'wait' needs a time in milliseconds, as in: wait 500");
            }
            script.steps.push_back({static_cast<int>(*ms), {}});
            ++i;
        } else {
            return fail("unknown event '" + w +
                        "' (known: play prev next vol+ vol- hold raw wait)");
        }
    }
    return script;
}
