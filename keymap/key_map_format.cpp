// The key map's file format, written (Format); key_map_text.cpp reads it.
#include <map>
#include <sstream>

#include "keymap/key_list_text.h"
#include "keymap/key_map.h"
#include "keymap/key_map_words.h"

using key_map_words::Nothing;
using key_map_words::TimingOption;

std::string SectionHeader(const KeySection& section) {
    if (section.mode.empty() && section.player.empty()) {
        return {};
    }
    std::string header = "[";
    if (!section.mode.empty()) {
        header += "mode=" + section.mode + (section.player.empty() ? "" : " ");
    }
    if (!section.player.empty()) {
        header += "player=" + section.player;
    }
    return header + "]";
}

std::string KeyMap::Format() const {
    std::ostringstream out;
    for (const Layer& layer : layers_) {
        if (&layer != &layers_.front()) {
            out << "\n" << SectionHeader(layer.section) << "\n";
        }
        std::vector<Line> lines;
        LayerLines(layer, lines);
        for (const Line& line : lines) {
            out << LineText(line) << '\n';
        }
    }
    return out.str();
}

std::vector<KeyMap::Line> KeyMap::Lines() const {
    std::vector<Line> lines;
    for (const Layer& layer : layers_) {
        LayerLines(layer, lines);
    }
    return lines;
}

void KeyMap::LayerLines(const Layer& layer, std::vector<Line>& lines) {
    for (const Kind kind : {Kind::Press, Kind::Held, Kind::Double, Kind::Long}) {
        std::map<Key, Line> byLead;  // by the line's least key
        ForEachBound(layer, kind, [&](const Key& key, const Slot& slot) {
            Line& line = byLead[*slot.lead];
            if (key == *slot.lead) {
                line.section = layer.section;
                line.kind = kind;
                line.binding = slot.binding;
                line.hold = slot.hold;
            }
            line.keys.push_back(key);
        });
        for (auto& [lead, line] : byLead) {
            lines.push_back(std::move(line));
        }
    }
}

std::string KeyMap::LineText(const Line& line) {
    std::ostringstream out;
    const Kind kind = line.kind;
    out << (kind == Kind::Press    ? "key  "
            : kind == Kind::Held   ? "held "
            : kind == Kind::Double ? "double "
                                   : "long ");
    out << KeyListText(line.keys);
    const Binding& binding = line.binding;
    out << ' ' << (binding ? ActionName(binding->action) : Nothing);
    if (binding && binding->action == PlayerAction::Run) {
        out << ' ' << binding->command;
    } else if (binding && binding->action == PlayerAction::Mode) {
        out << (binding->command.empty() ? "" : " " + binding->command);
        if (binding->seconds != 0) {
            out << " timeout=" << binding->seconds;
        }
    } else if (binding && binding->seconds != 0 && binding->seconds != DefaultSeekSeconds) {
        out << ' ' << binding->seconds;
    }
    const HoldShape& hold = line.hold;
    if (kind == Kind::Double || kind == Kind::Long) {
        if (hold.delayMs != (kind == Kind::Double ? DefaultGapMs : DefaultLongDelayMs)) {
            out << ' ' << TimingOption(kind) << hold.delayMs;
        }
        return out.str();
    }
    if (hold.delayMs != 0) {
        out << " delay=" << hold.delayMs;
    }
    if (hold.every != 1) {
        out << " every=" << hold.every;
    }
    if (hold.once) {
        out << " once";
    }
    if (hold.accel) {
        out << " accel";
    }
    return out.str();
}
