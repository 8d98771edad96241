// The key map's file format, read (Parse); key_map_format.cpp writes it.
#include "keymap/key_map.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <sstream>
#include <tuple>

#include "keymap/key_list_text.h"
#include "keymap/key_map_words.h"
#include "log/untrusted_text.h"
#include "text/number_text.h"

namespace {

using namespace key_map_words;
constexpr int LongestSeek = 3600;

bool IsHoldOption(std::string_view word) {
    return word == "once" || word == "accel" || word.starts_with("delay=") ||
           word.starts_with("every=");
}

constexpr int LongestGapMs = 5000;
constexpr int LongestModeTimeout = 86400;

// The option words a line of kind may end with (a key line's are a held line's, so they
// can be said to belong there).
bool IsOption(KeyMap::Kind kind, std::string_view word) {
    return kind == KeyMap::Kind::Press || kind == KeyMap::Kind::Held
               ? IsHoldOption(word)
               : word.starts_with(TimingOption(kind));
}

// Applies one hold option word to hold; the problem, or empty.
std::string ApplyHoldOption(std::string_view word, HoldShape& hold, std::vector<bool>& seen) {
    const auto equals = word.find('=');
    const std::string_view name = word.substr(0, equals);
    const std::size_t which = name == "delay" ? 0 : name == "every" ? 1 : name == "once" ? 2 : 3;
    std::string why = "\"";  // built by appending: mingw's g++ warns of "..." + string here
    if (seen[which]) {
        return why.append(name).append("\" is given twice");
    }
    seen[which] = true;
    if (which == 0 || which == 1) {
        const std::string_view value = word.substr(equals + 1);
        const int high = which == 0 ? HoldShape::LongestDelayMs : HoldShape::LargestEvery;
        const auto number = Number(value, which == 0 ? 0 : 1, high);
        if (!number) {
            return why.append(UntrustedText(word))
                .append("\" needs ")
                .append(which == 0 ? "a time in milliseconds (0 to " : "a count (1 to ")
                .append(std::to_string(high))
                .append(")");
        }
        (which == 0 ? hold.delayMs : hold.every) = *number;
    } else {
        (which == 2 ? hold.once : hold.accel) = true;
    }
    if (hold.once && (seen[1] || hold.accel)) {
        return "\"once\" acts once a hold, so it takes no every= or accel";
    }
    return {};
}

// Takes the options off the end of words, in the order they were written.
std::vector<std::string_view> TakeOptions(KeyMap::Kind kind, std::vector<std::string_view>& words) {
    std::vector<std::string_view> options;
    while (!words.empty() && IsOption(kind, words.back())) {
        options.insert(options.begin(), words.back());
        words.pop_back();
    }
    return options;
}

// The same, off the end of a run command.
std::vector<std::string_view> TakeOptions(KeyMap::Kind kind, std::string_view& command) {
    std::vector<std::string_view> options;
    for (;;) {
        command = Trimmed(command);
        const auto blank = command.find_last_of(Blanks);
        if (blank == std::string_view::npos || !IsOption(kind, command.substr(blank + 1))) {
            return options;
        }
        options.insert(options.begin(), command.substr(blank + 1));
        command = command.substr(0, blank);
    }
}

// The closest action name, when one is close enough to be a slip.
std::string Suggestion(std::string_view word) {
    std::string best;
    std::size_t bestDistance = 3;
    for (int i = 0; i <= static_cast<int>(LastAction) + 1; ++i) {
        const std::string_view name =
            i <= static_cast<int>(LastAction) ? ActionName(static_cast<PlayerAction>(i)) : Nothing;
        const std::size_t distance = EditDistance(word, name);
        if (distance < bestDistance) {
            best = name;
            bestDistance = distance;
        }
    }
    return best;
}

}  // namespace

KeyMap KeyMap::Parse(std::string_view text, std::string_view source,
                     std::vector<std::string>& problems, const RunCheck& checkRun) {
    KeyMap map;
    // The line of each binding, by section and kind.
    std::map<std::tuple<std::string, std::string, int>, std::map<Key, int>> boundOn;
    KeySection section;
    bool refused = false;
    std::vector<std::pair<std::string, int>> modesNamed;  // by mode actions, with their line
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const auto end = std::min(text.find('\n'), text.size());
        std::string_view rest = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        const auto problem = [&](const std::string& what) {
            problems.push_back(UntrustedText(source) + ":" + std::to_string(lineNumber) + ": " +
                               what);
        };

        if (Trimmed(rest).starts_with('[')) {
            // The lines under a header that is refused go nowhere, rather than into the
            // section before it.
            const std::string why = ParseSection(Trimmed(rest), section);
            refused = !why.empty();
            if (refused) {
                problem(why);
            }
            continue;
        }
        const std::string_view kindWord = NextWord(rest);
        if (kindWord.empty()) {
            continue;  // blank, or a comment
        }
        const std::string_view codeWord = NextWord(rest, true);
        const std::string_view actionWord = NextWord(rest);
        if (kindWord != "key" && kindWord != "held" && kindWord != "double" && kindWord != "long") {
            problem("unknown binding \"" + UntrustedText(kindWord) +
                    "\" (a line starts with key, held, double or long)");
            continue;
        }
        if (refused) {
            continue;
        }
        std::vector<Key> keys;
        if (const std::string why = codeWord.empty() ? "" : ParseKeyList(codeWord, keys);
            !why.empty()) {
            problem(why);
            continue;
        }
        if (actionWord.empty()) {
            problem("a binding needs a code and an action, as in: key 0x60 play-pause");
            continue;
        }
        const Kind kind = kindWord == "key"      ? Kind::Press
                          : kindWord == "held"   ? Kind::Held
                          : kindWord == "double" ? Kind::Double
                                                 : Kind::Long;
        Binding binding;
        if (actionWord != Nothing) {
            const auto action = ActionNamed(actionWord);
            if (!action) {
                const std::string suggestion = Suggestion(actionWord);
                problem("unknown action \"" + UntrustedText(actionWord) + "\"" +
                        (suggestion.empty() ? "" : " (did you mean \"" + suggestion + "\"?)"));
                continue;
            }
            binding = PlayerRequest{*action};
        }
        std::vector<std::string_view> options;
        if (binding && binding->action == PlayerAction::Run) {
            // A key line's run command keeps every word: only the other lines have options.
            std::string_view command = WithoutComment(Trimmed(rest));
            if (kind != Kind::Press) {
                options = TakeOptions(kind, command);
            }
            binding->command = std::string(command);
            if (binding->command.empty()) {
                problem("\"run\" needs a command, as in: key 0x2a run notify-send hello");
                continue;
            }
            if (const std::string why = checkRun ? checkRun(binding->command) : std::string();
                !why.empty()) {
                problem(UntrustedText(why));
                continue;
            }
        } else {
            std::vector<std::string_view> words;
            for (std::string_view word = NextWord(rest); !word.empty(); word = NextWord(rest)) {
                words.push_back(word);
            }
            options = TakeOptions(kind, words);
            if (kind == Kind::Press && !options.empty()) {
                problem("\"" + UntrustedText(options.front()) +
                        "\" shapes a held key's repeats: it belongs on a held line");
                continue;
            }
            const bool modes = binding && binding->action == PlayerAction::Mode;
            if (modes && !words.empty() && words.back().starts_with("timeout=")) {
                const auto seconds = Number(words.back().substr(8), 1, LongestModeTimeout);
                if (!seconds) {
                    problem("\"" + UntrustedText(words.back()) +
                            "\" needs a number of seconds (1 to " +
                            std::to_string(LongestModeTimeout) + ")");
                    continue;
                }
                binding->seconds = *seconds;
                words.pop_back();
            }
            const std::string_view argument = words.empty() ? std::string_view() : words[0];
            if (modes && !argument.empty()) {
                if (!IsModeName(argument)) {
                    problem(NotAModeName(argument));
                    continue;
                }
                binding->command = std::string(argument);
                modesNamed.emplace_back(binding->command, lineNumber);
            } else if (modes && binding->seconds != 0) {
                problem("\"mode\" with no name goes back to no mode: it takes no timeout=");
                continue;
            }
            const bool seeks = binding && (binding->action == PlayerAction::SeekForward ||
                                           binding->action == PlayerAction::SeekBackward);
            if (seeks) {
                const auto seconds = argument.empty() ? std::optional<int>(DefaultSeekSeconds)
                                                      : Number(argument, 1, LongestSeek);
                if (!seconds) {
                    problem("\"" + UntrustedText(argument) +
                            "\" is not a number of seconds (1 to " + std::to_string(LongestSeek) +
                            ")");
                    continue;
                }
                binding->seconds = *seconds;
            } else if (!argument.empty() && !modes) {
                problem("\"" + std::string(actionWord) + "\" takes nothing after it, not \"" +
                        UntrustedText(argument) + "\"");
                continue;
            }
            if (words.size() > 1) {
                problem("too many words after \"" + std::string(actionWord) + "\"");
                continue;
            }
        }
        HoldShape hold;
        std::vector<bool> seen(4);
        std::string why;
        if (kind == Kind::Double || kind == Kind::Long) {
            // Its gap or delay, in hold.delayMs.
            hold.delayMs = kind == Kind::Double ? DefaultGapMs : DefaultLongDelayMs;
            const int longest = kind == Kind::Double ? LongestGapMs : HoldShape::LongestDelayMs;
            if (options.size() > 1) {
                why = "\"" + std::string(TimingOption(kind)) + "\" is given twice";
            } else if (!options.empty()) {
                const auto ms = Number(options[0].substr(TimingOption(kind).size()), 1, longest);
                if (!ms) {
                    why = "\"" + UntrustedText(options[0]) +
                          "\" needs a time in milliseconds (1 to " + std::to_string(longest) + ")";
                }
                hold.delayMs = ms.value_or(0);
            }
        }
        for (auto option = options.begin();
             kind == Kind::Held && option != options.end() && why.empty(); ++option) {
            why = ApplyHoldOption(*option, hold, seen);
        }
        if (!why.empty()) {
            problem(why);
            continue;
        }
        auto& lines = boundOn[{section.mode, section.player, static_cast<int>(kind)}];
        std::string twice;
        for (auto key = keys.begin(); key != keys.end() && twice.empty(); ++key) {
            const auto first = lines.find(*key);
            if (first != lines.end() || std::find(keys.begin(), key, *key) != key) {
                twice = std::string(kindWord) +
                        (key->GetKind() == Key::Kind::Code ? " code " : " ") +
                        (key->GetKind() == Key::Kind::Code ? std::to_string(key->CodeValue())
                                                           : UntrustedText(KeyListText({*key}))) +
                        " is bound twice (also on line " +
                        std::to_string(first != lines.end() ? first->second : lineNumber) + ")";
            }
        }
        if (!twice.empty()) {
            problem(twice);
            continue;
        }
        for (const Key& key : keys) {
            lines.emplace(key, lineNumber);
        }
        map.Bind(kind, keys, std::move(binding), hold, section);
    }
    for (const auto& [mode, line] : modesNamed) {
        if (!map.HasMode(mode)) {
            problems.push_back(UntrustedText(source) + ":" + std::to_string(line) +
                               ": there is no [mode=" + mode + "] section for \"mode " + mode +
                               "\"");
        }
    }
    return map;
}
