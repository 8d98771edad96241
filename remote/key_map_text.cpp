// The key map's file format: reading it (Parse) and writing it (Format).
#include "remote/key_map.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <sstream>

#include "log/untrusted_text.h"
#include "remote/key_list_text.h"
#include "source/number_text.h"

namespace {

constexpr std::string_view Nothing = "nothing";
constexpr std::string_view Blanks = " \t\r";
constexpr int LongestSeek = 3600;

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(Blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(Blanks) - first + 1);
}

// The next word of rest, taken off its front; empty at the end or at a comment.
std::string_view NextWord(std::string_view& rest) {
    rest = Trimmed(rest);
    if (rest.empty() || rest.front() == '#') {
        rest = {};
        return {};
    }
    const auto end = std::min(rest.find_first_of(Blanks), rest.size());
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

bool IsHoldOption(std::string_view word) {
    return word == "once" || word == "accel" || word.starts_with("delay=") ||
           word.starts_with("every=");
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

// Takes the hold options off the end of words, in the order they were written.
std::vector<std::string_view> TakeHoldOptions(std::vector<std::string_view>& words) {
    std::vector<std::string_view> options;
    while (!words.empty() && IsHoldOption(words.back())) {
        options.insert(options.begin(), words.back());
        words.pop_back();
    }
    return options;
}

// A run command up to a comment: a "#" that starts a word outside quotes ends the line,
// as it does everywhere else in the file, so a note after the command never reaches it.
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

// The same, off the end of a run command.
std::vector<std::string_view> TakeHoldOptions(std::string_view& command) {
    std::vector<std::string_view> options;
    for (;;) {
        command = Trimmed(command);
        const auto blank = command.find_last_of(Blanks);
        if (blank == std::string_view::npos || !IsHoldOption(command.substr(blank + 1))) {
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
    for (int i = 0; i <= static_cast<int>(PlayerAction::Run) + 1; ++i) {
        const std::string_view name = i <= static_cast<int>(PlayerAction::Run)
                                          ? ActionName(static_cast<PlayerAction>(i))
                                          : Nothing;
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
    std::array<std::map<Key, int>, 2> boundOn;  // the line of each binding
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

        const std::string_view kindWord = NextWord(rest);
        if (kindWord.empty()) {
            continue;  // blank, or a comment
        }
        const std::string_view codeWord = NextWord(rest);
        const std::string_view actionWord = NextWord(rest);
        if (kindWord != "key" && kindWord != "held") {
            problem("unknown binding \"" + UntrustedText(kindWord) +
                    "\" (a line starts with key or held)");
            continue;
        }
        if (actionWord.empty()) {
            problem("a binding needs a code and an action, as in: key 0x60 play-pause");
            continue;
        }
        std::vector<Key> keys;
        if (const std::string why = ParseKeyList(codeWord, keys); !why.empty()) {
            problem(why);
            continue;
        }
        const Kind kind = kindWord == "key" ? Kind::Press : Kind::Held;
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
            // A key line's run command keeps every word: only a held line has options.
            std::string_view command = WithoutComment(Trimmed(rest));
            if (kind == Kind::Held) {
                options = TakeHoldOptions(command);
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
            options = TakeHoldOptions(words);
            if (kind == Kind::Press && !options.empty()) {
                problem("\"" + UntrustedText(options.front()) +
                        "\" shapes a held key's repeats: it belongs on a held line");
                continue;
            }
            const std::string_view argument = words.empty() ? std::string_view() : words[0];
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
            } else if (!argument.empty()) {
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
        for (auto option = options.begin(); option != options.end() && why.empty(); ++option) {
            why = ApplyHoldOption(*option, hold, seen);
        }
        if (!why.empty()) {
            problem(why);
            continue;
        }
        auto& lines = boundOn[static_cast<std::size_t>(kind)];
        std::string twice;
        for (auto key = keys.begin(); key != keys.end() && twice.empty(); ++key) {
            const auto first = lines.find(*key);
            if (first != lines.end() || std::find(keys.begin(), key, *key) != key) {
                twice = std::string(kindWord) +
                        (key->GetKind() == Key::Kind::Code ? " code " : " ") +
                        (key->GetKind() == Key::Kind::Code ? std::to_string(key->CodeValue())
                                                           : UntrustedText(key->Text())) +
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
        map.Bind(kind, keys, std::move(binding), hold);
    }
    return map;
}

std::string KeyMap::Format() const {
    std::ostringstream out;
    for (const Kind kind : {Kind::Press, Kind::Held}) {
        std::map<Key, std::vector<Key>> lines;  // by the line's least key
        std::map<Key, const Slot*> leads;
        ForEachBound(kind, [&](const Key& key, const Slot& slot) {
            lines[*slot.lead].push_back(key);
            if (key == *slot.lead) {
                leads[key] = &slot;
            }
        });
        for (const auto& [lead, keys] : lines) {
            const Slot& slot = *leads.at(lead);
            out << (kind == Kind::Press ? "key  " : "held ");
            for (std::size_t i = 0; i < keys.size(); ++i) {
                out << (i == 0 ? "" : ",") << keys[i].Text();
            }
            const Binding& binding = slot.binding;
            out << ' ' << (binding ? ActionName(binding->action) : Nothing);
            if (binding && binding->action == PlayerAction::Run) {
                out << ' ' << binding->command;
            } else if (binding && binding->seconds != 0 && binding->seconds != DefaultSeekSeconds) {
                out << ' ' << binding->seconds;
            }
            if (slot.hold.delayMs != 0) {
                out << " delay=" << slot.hold.delayMs;
            }
            if (slot.hold.every != 1) {
                out << " every=" << slot.hold.every;
            }
            if (slot.hold.once) {
                out << " once";
            }
            if (slot.hold.accel) {
                out << " accel";
            }
            out << '\n';
        }
    }
    return out.str();
}
