#pragma once

#include <string>
#include <variant>

#include "source/key_source.h"

// An item as a test compares it: "down 96", "held KEY_OK", "up KEY_OK" (with "/scan:0x..."
// when it carries a scancode, "@remote" when it names one), "stray 5", "broken down", and
// conditions by kind: "absent", "cannot open", "cannot configure", "line error", "lost",
// "back"; "stopped", "timed out".
inline std::string ItemText(const SourceItem& item) {
    const auto action = [](KeyAction a) {
        return a == KeyAction::Press ? "down" : a == KeyAction::Repeat ? "held" : "up";
    };
    if (const auto* event = std::get_if<KeyEvent>(&item)) {
        return std::string(action(event->action)) + " " + event->key.Text() +
               (event->scancode ? "/" + Key::Scancode(*event->scancode).Text() : std::string()) +
               (event->remote.empty() ? std::string() : "@" + event->remote);
    }
    if (const auto* stray = std::get_if<StrayByte>(&item)) {
        return "stray " + std::to_string(stray->value);
    }
    if (const auto* broken = std::get_if<BrokenEvent>(&item)) {
        return std::string("broken ") + action(broken->action);
    }
    if (const auto* condition = std::get_if<SourceCondition>(&item)) {
        switch (condition->kind) {
            case SourceCondition::Kind::Absent:
                return "absent";
            case SourceCondition::Kind::CannotOpen:
                return "cannot open";
            case SourceCondition::Kind::CannotConfigure:
                return "cannot configure";
            case SourceCondition::Kind::LineError:
                return "line error";
            case SourceCondition::Kind::Lost:
                return "lost";
            case SourceCondition::Kind::Back:
                return "back";
        }
    }
    return std::holds_alternative<SourceStopped>(item) ? "stopped" : "timed out";
}
