#include "keymap/held_alone.h"

#include <algorithm>
#include <utility>

std::string HeldAloneNote(const KeyMapDocument::Row& row, const KeyMap& map) {
    if (row.line < 0 || !row.binding || row.binding->kind != KeyMap::Kind::Held) {
        return {};
    }
    // Each key as the file spells it ("0xB0"), where the row has the spellings.
    const std::vector<Key>& bound = row.binding->keys;
    const bool spelt = row.keys.size() == bound.size();
    std::string keys;
    std::size_t alone = 0;
    for (std::size_t i = 0; i < bound.size(); ++i) {
        if (map.Find(KeyMap::Kind::Press, bound[i], row.section) == nullptr) {
            keys += keys.empty() ? "" : ",";
            keys += spelt ? row.keys[i] : bound[i].Text();
            ++alone;
        }
    }
    if (alone == 0) {
        return {};
    }
    const std::string section = SectionHeader(row.section);
    return keys + (alone == 1 ? " has" : " have") + " a held binding and no key binding" +
           (section.empty() ? "" : " in " + section) + ": a single press does nothing";
}

std::vector<std::string> HeldAloneNotes(const KeyMapDocument& document, std::string_view source) {
    // Rows come section by section; notes, line by line.
    std::vector<std::pair<int, std::string>> lines;
    for (const KeyMapDocument::Row& row : document.Rows()) {
        if (std::string note = HeldAloneNote(row, document.Map()); !note.empty()) {
            lines.emplace_back(row.line, std::move(note));
        }
    }
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> notes;
    for (const auto& [line, note] : lines) {
        notes.push_back(std::string(source) + ":" + std::to_string(line + 1) + ": note: " + note);
    }
    return notes;
}
