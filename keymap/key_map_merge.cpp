#include "keymap/key_map_merge.h"

#include <algorithm>
#include <optional>

namespace {

using Row = KeyMapDocument::Row;

bool OfAction(const Row& row, KeyMap::Kind kind, PlayerAction action) {
    return row.line >= 0 && row.binding && row.section == KeySection{} &&
           row.binding->kind == kind && row.binding->binding &&
           row.binding->binding->action == action;
}

// The first row the test picks; none.
template <typename Pick>
std::optional<Row> FirstRow(const KeyMapDocument& document, const Pick& pick) {
    const auto& rows = document.Rows();
    const auto found = std::find_if(rows.begin(), rows.end(), pick);
    return found == rows.end() ? std::nullopt : std::optional<Row>(*found);
}

// Takes learnt's keys from the defaults' other lines of its kind.
std::string TakeKeys(KeyMapDocument& document, const KeyMap::Line& learnt) {
    const PlayerAction action = learnt.binding->action;
    const auto holdsOne = [&](const Row& row) {
        return row.line >= 0 && row.binding && row.section == KeySection{} &&
               row.binding->kind == learnt.kind && !OfAction(row, learnt.kind, action) &&
               std::find_first_of(row.binding->keys.begin(), row.binding->keys.end(),
                                  learnt.keys.begin(),
                                  learnt.keys.end()) != row.binding->keys.end();
    };
    while (const std::optional<Row> row = FirstRow(document, holdsOne)) {
        KeyMap::Line rest = *row->binding;
        std::erase_if(rest.keys, [&](const Key& key) {
            return std::find(learnt.keys.begin(), learnt.keys.end(), key) != learnt.keys.end();
        });
        const std::string why =
            rest.keys.empty() ? document.Remove(row->line) : document.Change(row->line, rest);
        if (!why.empty()) {
            return why;
        }
    }
    return {};
}

// Puts learnt in place of the defaults' lines of its action and kind.
std::string Replace(KeyMapDocument& document, const KeyMap::Line& learnt) {
    const PlayerAction action = learnt.binding->action;
    const std::optional<Row> first =
        FirstRow(document, [&](const Row& row) { return OfAction(row, learnt.kind, action); });
    if (!first) {
        return document.Add(learnt);
    }
    KeyMap::Line kept = *first->binding;
    kept.keys = learnt.keys;
    if (std::string why = document.Change(first->line, kept); !why.empty()) {
        return why;
    }
    int line = first->line;
    while (const std::optional<Row> other = FirstRow(document, [&](const Row& row) {
               return row.line != line && OfAction(row, learnt.kind, action);
           })) {
        if (std::string why = document.Remove(other->line); !why.empty()) {
            return why;
        }
        line -= other->line < line ? 1 : 0;
    }
    return {};
}

}  // namespace

std::string MergeLearnt(KeyMapDocument& document, const KeyMap& learnt) {
    for (const KeyMap::Line& line : learnt.Lines()) {
        if (line.section != KeySection{} || !line.binding ||
            (line.kind != KeyMap::Kind::Press && line.kind != KeyMap::Kind::Held)) {
            continue;  // nothing --learn learns
        }
        if (std::string why = TakeKeys(document, line); !why.empty()) {
            return why;
        }
        if (std::string why = Replace(document, line); !why.empty()) {
            return why;
        }
    }
    return {};
}

std::string BoundElsewhere(const KeyMap& map, KeyMap::Kind kind, const Key& key,
                           PlayerAction action) {
    const KeyMap::Binding* binding = map.Find(kind, key);
    if (binding == nullptr || (*binding && (*binding)->action == action)) {
        return {};
    }
    return *binding ? std::string(ActionName((*binding)->action)) : "nothing";
}
