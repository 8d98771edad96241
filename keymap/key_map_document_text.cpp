// What a keys window shows of a document's rows, in the file's words.
#include "keymap/key_map_document.h"

#include <cctype>

#include "keymap/key_map_words.h"

namespace {

using namespace key_map_words;

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

}  // namespace

std::string KeyMapDocument::KeysText(const Row& row, std::string_view between) {
    std::string text;
    for (const std::string& key : row.keys) {
        text += (text.empty() ? "" : std::string(between)) + key;
    }
    return text;
}

std::string KeyMapDocument::NoteText(const Row& row) {
    if (!row.problem.empty()) {
        return row.problem;
    }
    switch (row.builtIn) {
        case BuiltIn::Same:
            return "same as built in";
        case BuiltIn::Overridden:
            return "overridden";
        case BuiltIn::Left:
            return "not in this map";
        case BuiltIn::No:
            break;
    }
    return {};
}

std::string_view KeyMapDocument::GestureText(KeyMap::Kind kind) {
    return KindWord(kind);
}

std::string KeyMapDocument::ActionWords(const KeyMap::Line& binding) {
    const KeyMap::Binding& request = binding.binding;
    if (!request) {
        return std::string(Nothing);
    }
    std::string text(ActionName(request->action));
    switch (request->action) {
        case PlayerAction::SeekForward:
        case PlayerAction::SeekBackward:
            return text + " " + std::to_string(request->seconds);
        case PlayerAction::Run:
            return text + " " + request->command;
        case PlayerAction::Mode:
            return text + (request->command.empty() ? "" : " " + request->command) +
                   (request->seconds != 0 ? " timeout=" + std::to_string(request->seconds) : "");
        default:
            return text;
    }
}

std::string KeyMapDocument::OptionsText(const KeyMap::Line& binding) {
    const HoldShape& hold = binding.hold;
    switch (binding.kind) {
        case KeyMap::Kind::Double:
            return "gap=" + std::to_string(hold.delayMs);
        case KeyMap::Kind::Long:
            return "delay=" + std::to_string(hold.delayMs);
        default:
            break;
    }
    std::string text;
    const auto add = [&text](const std::string& word) { text += (text.empty() ? "" : " ") + word; };
    if (hold.delayMs != 0) {
        add("delay=" + std::to_string(hold.delayMs));
    }
    if (hold.every != 1) {
        add("every=" + std::to_string(hold.every));
    }
    if (hold.once) {
        add("once");
    }
    if (hold.accel) {
        add("accel");
    }
    return text;
}

bool KeyMapDocument::Matches(const Row& row, std::string_view search) {
    if (search.empty()) {
        return true;
    }
    std::string words = row.text;
    if (row.binding) {
        words += "\n" + KeysText(row) + "\n" + std::string(GestureText(row.binding->kind)) + "\n" +
                 ActionWords(*row.binding) + "\n" + OptionsText(*row.binding);
        if (row.binding->binding) {
            words += "\n" + ::ActionText(*row.binding->binding);
        }
    }
    return Lower(words).find(Lower(std::string(search))) != std::string::npos;
}
