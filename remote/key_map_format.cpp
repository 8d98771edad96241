// The key map's file format, written (Format); key_map_text.cpp reads it.
#include <map>
#include <sstream>

#include "remote/key_list_text.h"
#include "remote/key_map.h"
#include "remote/key_map_words.h"

using key_map_words::Nothing;
using key_map_words::TimingOption;

std::string KeyMap::Format() const {
    std::ostringstream out;
    for (const Layer& layer : layers_) {
        if (&layer != &layers_.front()) {
            out << "\n[";
            if (!layer.section.mode.empty()) {
                out << "mode=" << layer.section.mode << (layer.section.player.empty() ? "" : " ");
            }
            if (!layer.section.player.empty()) {
                out << "player=" << layer.section.player;
            }
            out << "]\n";
        }
        FormatLayer(layer, out);
    }
    return out.str();
}

void KeyMap::FormatLayer(const Layer& layer, std::ostream& out) const {
    for (const Kind kind : {Kind::Press, Kind::Held, Kind::Double, Kind::Long}) {
        std::map<Key, std::vector<Key>> lines;  // by the line's least key
        std::map<Key, const Slot*> leads;
        ForEachBound(layer, kind, [&](const Key& key, const Slot& slot) {
            lines[*slot.lead].push_back(key);
            if (key == *slot.lead) {
                leads[key] = &slot;
            }
        });
        for (const auto& [lead, keys] : lines) {
            const Slot& slot = *leads.at(lead);
            out << (kind == Kind::Press    ? "key  "
                    : kind == Kind::Held   ? "held "
                    : kind == Kind::Double ? "double "
                                           : "long ");
            out << KeyListText(keys);
            const Binding& binding = slot.binding;
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
            if (kind == Kind::Double || kind == Kind::Long) {
                if (slot.hold.delayMs !=
                    (kind == Kind::Double ? DefaultGapMs : DefaultLongDelayMs)) {
                    out << ' ' << TimingOption(kind) << slot.hold.delayMs;
                }
                out << '\n';
                continue;
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
}
