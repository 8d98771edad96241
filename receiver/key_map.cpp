#include "receiver/key_map.h"

#include <algorithm>
#include <sstream>

#include "log/untrusted_text.h"
#include "receiver/builtin_keys.h"
#include "receiver/event_protocol.h"
#include "receiver/number_text.h"

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

std::string ActionText(PlayerAction action) {
    for (const BuiltinKey& key : BuiltinKeys) {
        if (key.action == action) {
            return key.text;
        }
    }
    std::string text(ActionName(action));
    for (char& c : text) {
        c = c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text + "!";
}

const KeyMap& KeyMap::Standard() {
    static const KeyMap standard = [] {
        KeyMap map;
        for (const BuiltinKey& key : BuiltinKeys) {
            map.Bind(Kind::Press, key.code, PlayerRequest{key.action});
        }
        for (const int code : BuiltinHeldCodes) {
            map.Bind(Kind::Held, code, map.press_[static_cast<std::size_t>(code)].binding);
        }
        return map;
    }();
    return standard;
}

KeyMap KeyMap::Parse(std::string_view text, std::string_view source,
                     std::vector<std::string>& problems) {
    KeyMap map;
    std::array<std::array<int, 256>, 2> boundOn{};  // the line of each binding, 0 for none
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
        const auto code = Number(codeWord, 0, 255);
        if (!code) {
            problem("\"" + UntrustedText(codeWord) +
                    "\" is not a key code (0 to 255, or 0x00 to 0xff)");
            continue;
        }
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
        if (binding && binding->action == PlayerAction::Run) {
            binding->command = std::string(Trimmed(rest));
            if (binding->command.empty()) {
                problem("\"run\" needs a command, as in: key 0x2a run notify-send hello");
                continue;
            }
        } else {
            const std::string_view argument = NextWord(rest);
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
            if (!NextWord(rest).empty()) {
                problem("too many words after \"" + std::string(actionWord) + "\"");
                continue;
            }
        }
        const Kind kind = kindWord == "key" ? Kind::Press : Kind::Held;
        int& firstLine = boundOn[static_cast<std::size_t>(kind)][static_cast<std::size_t>(*code)];
        if (firstLine != 0) {
            problem(std::string(kindWord) + " code " + std::to_string(*code) +
                    " is bound twice (also on line " + std::to_string(firstLine) + ")");
            continue;
        }
        firstLine = lineNumber;
        map.Bind(kind, *code, std::move(binding));
    }
    return map;
}

KeyEvent KeyMap::Decode(int prefix, int code) const {
    const bool held = prefix == RepeatPrefix;
    const Kind kind = held ? Kind::Held : Kind::Press;
    if (const Binding* binding = Find(kind, code); binding != nullptr && *binding) {
        return {Slots(kind)[static_cast<std::size_t>(code)].text, *binding};
    }
    return {(held ? RepeatText : "") + DecimalText(code), std::nullopt};
}

const KeyMap::Binding* KeyMap::Find(Kind kind, int code) const {
    if (code < 0 || code > 255) {
        return nullptr;
    }
    const Slot& slot = Slots(kind)[static_cast<std::size_t>(code)];
    return slot.bound ? &slot.binding : nullptr;
}

bool KeyMap::Bind(Kind kind, int code, Binding binding) {
    if (code < 0 || code > 255) {
        return false;
    }
    Slot& slot = Slots(kind)[static_cast<std::size_t>(code)];
    if (slot.bound) {
        return false;
    }
    // Made once here rather than at every key press.
    std::string text;
    if (binding) {
        text = (kind == Kind::Held ? RepeatText : "") + ActionText(binding->action);
    }
    slot = {true, std::move(binding), std::move(text)};
    return true;
}

bool KeyMap::HasRunBindings() const {
    for (const auto* slots : {&press_, &held_}) {
        for (const Slot& slot : *slots) {
            if (slot.bound && slot.binding && slot.binding->action == PlayerAction::Run) {
                return true;
            }
        }
    }
    return false;
}

std::string KeyMap::Format() const {
    std::ostringstream out;
    for (const Kind kind : {Kind::Press, Kind::Held}) {
        for (int code = 0; code < 256; ++code) {
            const Binding* binding = Find(kind, code);
            if (binding == nullptr) {
                continue;
            }
            out << (kind == Kind::Press ? "key  " : "held ") << code << ' '
                << (*binding ? ActionName((*binding)->action) : Nothing);
            if (*binding && (*binding)->action == PlayerAction::Run) {
                out << ' ' << (*binding)->command;
            } else if (*binding && (*binding)->seconds != 0 &&
                       (*binding)->seconds != DefaultSeekSeconds) {
                out << ' ' << (*binding)->seconds;
            }
            out << '\n';
        }
    }
    return out.str();
}
