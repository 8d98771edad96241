// The key map's file format, read (Parse); key_map_format.cpp writes it.
#include "keymap/key_map.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "keymap/key_list_text.h"
#include "keymap/key_map_words.h"
#include "log/untrusted_text.h"
#include "text/number_text.h"

namespace {

using namespace key_map_words;
constexpr int LongestSeek = 3600;
constexpr int LongestGapMs = 5000;
constexpr int LongestModeTimeout = 86400;

bool IsHoldOption(std::string_view word) {
    return word == "once" || word == "accel" || word.starts_with("delay=") ||
           word.starts_with("every=");
}

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

// The action word as a binding: none for "nothing"; the problem, or empty.
std::string ReadAction(std::string_view word, KeyMap::Binding& binding) {
    if (word == Nothing) {
        return {};
    }
    const auto action = ActionNamed(word);
    if (!action) {
        const std::string suggestion = Suggestion(word);
        return "unknown action \"" + UntrustedText(word) + "\"" +
               (suggestion.empty() ? "" : " (did you mean \"" + suggestion + "\"?)");
    }
    binding = PlayerRequest{*action};
    return {};
}

// A run command, the rest of the line, into request; the options after it into options (a
// key line's command keeps every word: only the other lines have options). The problem, or
// empty.
std::string ReadRunCommand(KeyMap::Kind kind, std::string_view rest,
                           const KeyMap::RunCheck& checkRun, PlayerRequest& request,
                           std::vector<std::string_view>& options) {
    std::string_view command = WithoutComment(Trimmed(rest));
    if (kind != KeyMap::Kind::Press) {
        options = TakeOptions(kind, command);
    }
    request.command = std::string(command);
    if (request.command.empty()) {
        return "\"run\" needs a command, as in: key 0x2a run notify-send hello";
    }
    if (const std::string why = checkRun ? checkRun(request.command) : std::string();
        !why.empty()) {
        return UntrustedText(why);
    }
    return {};
}

// A mode action's name and timeout=, the last of words taken off, into request. The name
// is set only once it is one. The problem, or empty.
std::string ReadModeArguments(std::vector<std::string_view>& words, PlayerRequest& request) {
    if (!words.empty() && words.back().starts_with("timeout=")) {
        const auto seconds = Number(words.back().substr(8), 1, LongestModeTimeout);
        if (!seconds) {
            return "\"" + UntrustedText(words.back()) + "\" needs a number of seconds (1 to " +
                   std::to_string(LongestModeTimeout) + ")";
        }
        request.seconds = *seconds;
        words.pop_back();
    }
    if (words.empty()) {
        return request.seconds != 0
                   ? "\"mode\" with no name goes back to no mode: it takes no timeout="
                   : "";
    }
    if (!IsModeName(words[0])) {
        return NotAModeName(words[0]);
    }
    request.command = std::string(words[0]);
    return {};
}

// The words after any action but run: its argument into binding, the options after it
// into options. The problem, or empty.
std::string ReadArguments(KeyMap::Kind kind, std::string_view actionWord, std::string_view rest,
                          KeyMap::Binding& binding, std::vector<std::string_view>& options) {
    std::vector<std::string_view> words;
    for (std::string_view word = NextWord(rest); !word.empty(); word = NextWord(rest)) {
        words.push_back(word);
    }
    options = TakeOptions(kind, words);
    if (kind == KeyMap::Kind::Press && !options.empty()) {
        return "\"" + UntrustedText(options.front()) +
               "\" shapes a held key's repeats: it belongs on a held line";
    }
    const bool modes = binding && binding->action == PlayerAction::Mode;
    if (modes) {
        if (std::string why = ReadModeArguments(words, *binding); !why.empty()) {
            return why;
        }
    }
    const std::string_view argument = words.empty() ? std::string_view() : words[0];
    if (binding && (binding->action == PlayerAction::SeekForward ||
                    binding->action == PlayerAction::SeekBackward)) {
        const auto seconds = argument.empty() ? std::optional<int>(DefaultSeekSeconds)
                                              : Number(argument, 1, LongestSeek);
        if (!seconds) {
            return "\"" + UntrustedText(argument) + "\" is not a number of seconds (1 to " +
                   std::to_string(LongestSeek) + ")";
        }
        binding->seconds = *seconds;
    } else if (!argument.empty() && !modes) {
        return "\"" + std::string(actionWord) + "\" takes nothing after it, not \"" +
               UntrustedText(argument) + "\"";
    }
    if (words.size() > 1) {
        return "too many words after \"" + std::string(actionWord) + "\"";
    }
    return {};
}

// The options of a line of kind as its hold: a double's gap or a long's delay in delayMs, a
// held key's shape. The problem, or empty.
std::string ReadOptions(KeyMap::Kind kind, const std::vector<std::string_view>& options,
                        HoldShape& hold) {
    if (kind == KeyMap::Kind::Double || kind == KeyMap::Kind::Long) {
        const bool isDouble = kind == KeyMap::Kind::Double;
        hold.delayMs = isDouble ? KeyMap::DefaultGapMs : KeyMap::DefaultLongDelayMs;
        const int longest = isDouble ? LongestGapMs : HoldShape::LongestDelayMs;
        if (options.size() > 1) {
            return "\"" + std::string(TimingOption(kind)) + "\" is given twice";
        }
        if (!options.empty()) {
            const auto ms = Number(options[0].substr(TimingOption(kind).size()), 1, longest);
            hold.delayMs = ms.value_or(0);
            if (!ms) {
                return "\"" + UntrustedText(options[0]) + "\" needs a time in milliseconds (1 to " +
                       std::to_string(longest) + ")";
            }
        }
        return {};
    }
    std::vector<bool> seen(4);
    for (const std::string_view option : options) {
        if (std::string why = ApplyHoldOption(option, hold, seen); !why.empty()) {
            return why;
        }
    }
    return {};
}

// The rest of a binding line after its kind word, into line; the problem, or empty.
std::string ReadBinding(std::string_view rest, const KeyMap::RunCheck& checkRun,
                        KeyMap::Line& line) {
    const std::string_view codeWord = NextWord(rest, true);
    const std::string_view actionWord = NextWord(rest);
    if (const std::string why = codeWord.empty() ? "" : ParseKeyList(codeWord, line.keys);
        !why.empty()) {
        return why;
    }
    if (actionWord.empty()) {
        return "a binding needs a code and an action, as in: key 0x60 play-pause";
    }
    if (std::string why = ReadAction(actionWord, line.binding); !why.empty()) {
        return why;
    }
    std::vector<std::string_view> options;
    std::string why = line.binding && line.binding->action == PlayerAction::Run
                          ? ReadRunCommand(line.kind, rest, checkRun, *line.binding, options)
                          : ReadArguments(line.kind, actionWord, rest, line.binding, options);
    return why.empty() ? ReadOptions(line.kind, options, line.hold) : why;
}

// The line each key is bound on, by section and kind.
using BoundLines = std::map<std::pair<KeySection, KeyMap::Kind>, std::map<Key, int>>;

// Why line, number lineNumber, cannot bind its keys: one is bound on an earlier line, or
// named twice on this one. Empty when it can, and then its keys are marked bound on it.
std::string MarkBound(const KeyMap::Line& line, int lineNumber, BoundLines& bound) {
    auto& lines = bound[{line.section, line.kind}];
    const std::vector<Key>& keys = line.keys;
    for (auto key = keys.begin(); key != keys.end(); ++key) {
        const auto first = lines.find(*key);
        if (first != lines.end() || std::find(keys.begin(), key, *key) != key) {
            const bool code = key->GetKind() == Key::Kind::Code;
            return std::string(KindWord(line.kind)) + (code ? " code " : " ") +
                   (code ? std::to_string(key->CodeValue()) : UntrustedText(KeyListText({*key}))) +
                   " is bound twice (also on line " +
                   std::to_string(first != lines.end() ? first->second : lineNumber) + ")";
        }
    }
    for (const Key& key : keys) {
        lines.emplace(key, lineNumber);
    }
    return {};
}

// The first line of text, taken off it.
std::string_view TakeLine(std::string_view& text) {
    const auto end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    return line;
}

}  // namespace

KeyMap KeyMap::Parse(std::string_view text, std::string_view source,
                     std::vector<std::string>& problems, const RunCheck& checkRun) {
    KeyMap map;
    BoundLines bound;
    KeySection section;
    bool refused = false;
    std::vector<std::pair<std::string, int>> modesNamed;  // by mode actions, with their line
    const auto problem = [&](int lineNumber, const std::string& what) {
        problems.push_back(UntrustedText(source) + ":" + std::to_string(lineNumber) + ": " + what);
    };
    for (int lineNumber = 1; !text.empty(); ++lineNumber) {
        std::string_view rest = TakeLine(text);
        if (Trimmed(rest).starts_with('[')) {
            // The lines under a header that is refused go nowhere, rather than into the
            // section before it.
            const std::string why = ParseSection(Trimmed(rest), section);
            refused = !why.empty();
            if (refused) {
                problem(lineNumber, why);
            }
            continue;
        }
        const std::string_view kindWord = NextWord(rest);
        if (kindWord.empty()) {
            continue;  // blank, or a comment
        }
        const std::optional<Kind> kind = KindNamed(kindWord);
        if (!kind) {
            problem(lineNumber, "unknown binding \"" + UntrustedText(kindWord) +
                                    "\" (a line starts with key, held, double or long)");
            continue;
        }
        if (refused) {
            continue;
        }
        Line line;
        line.section = section;
        line.kind = *kind;
        std::string why = ReadBinding(rest, checkRun, line);
        // A mode named on a line refused for another reason is still looked for.
        if (line.binding && line.binding->action == PlayerAction::Mode &&
            !line.binding->command.empty()) {
            modesNamed.emplace_back(line.binding->command, lineNumber);
        }
        if (why.empty()) {
            why = MarkBound(line, lineNumber, bound);
        }
        if (!why.empty()) {
            problem(lineNumber, why);
            continue;
        }
        map.Bind(line.kind, line.keys, std::move(line.binding), line.hold, line.section);
    }
    for (const auto& [mode, lineNumber] : modesNamed) {
        if (!map.HasMode(mode)) {
            problem(lineNumber,
                    "there is no [mode=" + mode + "] section for \"mode " + mode + "\"");
        }
    }
    return map;
}
