#include "keys_window/binding_fields.h"

#include <set>

#include "hid/media_keys.h"
#include "keymap/key_list_text.h"
#include "keymap/key_map_words.h"

namespace {

using Row = KeyMapDocument::Row;
constexpr const char* Defaults = "Defaults";

bool Seeks(int action) {
    return action == static_cast<int>(PlayerAction::SeekForward) ||
           action == static_cast<int>(PlayerAction::SeekBackward);
}

}  // namespace

namespace binding_fields {

std::vector<std::string> KeyChoices() {
    std::set<std::string> names;
    for (const MediaKey& media : MediaKeys) {
        names.emplace(media.name);
    }
    return {names.begin(), names.end()};
}

std::vector<std::pair<std::string, KeyMap::Kind>> GestureChoices() {
    std::vector<std::pair<std::string, KeyMap::Kind>> choices;
    for (const KeyMap::Kind kind :
         {KeyMap::Kind::Press, KeyMap::Kind::Held, KeyMap::Kind::Double, KeyMap::Kind::Long}) {
        choices.emplace_back(KeyMapDocument::GestureText(kind), kind);
    }
    return choices;
}

std::vector<std::pair<std::string, int>> ActionChoices() {
    std::vector<std::pair<std::string, int>> choices;
    for (int i = 0; i <= static_cast<int>(LastAction); ++i) {
        choices.emplace_back(ActionName(static_cast<PlayerAction>(i)), i);
    }
    choices.emplace_back(key_map_words::Nothing, KeysView::NothingChoice);
    return choices;
}

std::string SectionTitle(const KeySection& section) {
    return section == KeySection{} ? Defaults : SectionHeader(section);
}

std::string SectionOf(std::string_view text, KeySection& section) {
    std::string header(key_map_words::Trimmed(text));
    section = {};
    if (header.empty() || header == Defaults) {
        return {};
    }
    if (!header.starts_with('[')) {
        header = "[" + header + "]";
    }
    return key_map_words::ParseSection(header, section);
}

KeyMap::Line BindingOf(const KeysView::Fields& fields, std::string& why) {
    KeyMap::Line line;
    const std::string_view keys = key_map_words::Trimmed(fields.keys);
    why = keys.empty() ? "press Learn…, or type or pick a key" : ParseKeyList(keys, line.keys);
    line.kind = fields.gesture;
    if (std::string section = SectionOf(fields.section, line.section); why.empty()) {
        why = std::move(section);
    }
    if (fields.action != KeysView::NothingChoice) {
        PlayerRequest request(static_cast<PlayerAction>(fields.action));
        if (Seeks(fields.action)) {
            request.seconds = fields.seconds;
        } else if (request.action == PlayerAction::Run) {
            request.command = key_map_words::Trimmed(fields.command);
        } else if (request.action == PlayerAction::Mode) {
            request.command = key_map_words::Trimmed(fields.mode);
            request.seconds = fields.timeout;
        }
        line.binding = std::move(request);
    }
    if (line.kind == KeyMap::Kind::Held) {
        line.hold = {fields.delayMs, fields.every, fields.once, fields.accel};
    } else if (line.kind != KeyMap::Kind::Press) {
        line.hold.delayMs = line.kind == KeyMap::Kind::Double ? fields.gapMs : fields.delayMs;
    }
    return line;
}

KeysView::Fields WithRow(KeysView::Fields fields, const KeyMapDocument::Row& row) {
    const KeyMap::Line& binding = *row.binding;
    fields.keys = KeyMapDocument::KeysText(row, ",");
    fields.gesture = binding.kind;
    const KeyMap::Binding& request = binding.binding;
    fields.action = request ? static_cast<int>(request->action) : KeysView::NothingChoice;
    if (request && request->action == PlayerAction::Mode) {
        fields.mode = request->command;
        fields.timeout = request->seconds;
    } else if (request && request->action == PlayerAction::Run) {
        fields.command = request->command;
    } else if (request && request->seconds != 0) {
        fields.seconds = request->seconds;
    }
    (binding.kind == KeyMap::Kind::Double ? fields.gapMs : fields.delayMs) = binding.hold.delayMs;
    fields.every = binding.hold.every;
    fields.once = binding.hold.once;
    fields.accel = binding.hold.accel;
    fields.section = SectionTitle(binding.section);
    return fields;
}

KeysView::Needed NeededBy(const KeysView::Fields& fields) {
    const bool held = fields.gesture == KeyMap::Kind::Held;
    KeysView::Needed needed;
    needed.seconds = Seeks(fields.action);
    needed.command = fields.action == static_cast<int>(PlayerAction::Run);
    needed.mode = fields.action == static_cast<int>(PlayerAction::Mode);
    needed.delay = held || fields.gesture == KeyMap::Kind::Long;
    needed.gap = fields.gesture == KeyMap::Kind::Double;
    needed.hold = held;
    return needed;
}

std::vector<KeysView::TableLine> TableOf(const KeyMapDocument& document, std::string_view search) {
    std::vector<KeysView::TableLine> lines;
    const auto add = [&](std::size_t i) {
        const Row& row = document.Rows()[i];
        if (!KeyMapDocument::Matches(row, search)) {
            return;
        }
        KeysView::TableLine& line = lines.emplace_back();
        line.row = static_cast<int>(i);
        line.tip = KeyMapDocument::NoteText(row);
        line.mistake = !row.problem.empty();
        line.texts = {"", "", row.text, "", line.tip};
        if (row.binding) {
            line.texts = {KeyMapDocument::KeysText(row),
                          std::string(KeyMapDocument::GestureText(row.binding->kind)),
                          KeyMapDocument::ActionWords(*row.binding),
                          KeyMapDocument::OptionsText(*row.binding), line.tip};
        }
    };
    for (const KeySection& section : document.Sections()) {
        lines.push_back({-1, {SectionTitle(section)}, {}, false});
        for (std::size_t i = 0; i < document.Rows().size(); ++i) {
            if (document.Rows()[i].line >= 0 && document.Rows()[i].section == section) {
                add(i);
            }
        }
    }
    bool builtIn = false;
    for (std::size_t i = 0; i < document.Rows().size(); ++i) {
        if (document.Rows()[i].line < 0) {
            if (!builtIn) {
                lines.push_back({-1,
                                 {"Built in"},
                                 "The built-in keys: a key map file is the whole map, so only "
                                 "those it binds act",
                                 false});
                builtIn = true;
            }
            add(i);
        }
    }
    return lines;
}

}  // namespace binding_fields
