#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "player/player_action.h"

// What one two-byte event shows and what it does, if anything.
struct KeyEvent {
    std::string text;
    std::optional<PlayerRequest> request;
};

// What each key does: a binding per code for a key press (KeyPrefix) and for a held key
// (RepeatPrefix). A bound key carries out its action; a key bound to nothing, like an
// unbound one, is only shown. The file format, one binding a line:
//
//   key  CODE ACTION [ARGUMENTS]     a key press
//   held CODE ACTION [ARGUMENTS]     a held key: repeats while held
//
// CODE is 0-255, decimal or 0x hex; ACTION a PlayerAction's name or "nothing"; the
// seek actions take a number of seconds (5 by default), run takes the rest of the line as
// its command. "#" at the start of a word starts a comment, except within a run command.
class KeyMap {
  public:
    enum class Kind { Press, Held };
    // A bound code: its action, or none for "nothing".
    using Binding = std::optional<PlayerRequest>;

    // The built-in remote (BuiltinKeys, and its volume keys held).
    static const KeyMap& Standard();

    // A key map file's text. Every problem is added to problems as "source:LINE: what",
    // and the map holds the lines that had none.
    static KeyMap Parse(std::string_view text, std::string_view source,
                        std::vector<std::string>& problems);

    // The event of a prefix (KeyPrefix or RepeatPrefix) and a code, which may be any byte
    // value or -1 for a failed read. A held key shows "  >>REP>>" before what it would show
    // pressed; an unbound code, or one bound to nothing, shows as its decimal text.
    KeyEvent Decode(int prefix, int code) const;

    // Null when code is not bound (code may be any byte value, or -1).
    const Binding* Find(Kind kind, int code) const;
    // False, and nothing changes, when code is already bound or is no byte value.
    bool Bind(Kind kind, int code, Binding binding);
    bool HasRunBindings() const;
    // The map in the file format, presses then held keys, by code.
    std::string Format() const;

  private:
    struct Slot {
        bool bound = false;
        Binding binding;
        std::string text;  // what the key shows when bound to an action
    };
    std::array<Slot, 256>& Slots(Kind kind) { return kind == Kind::Press ? press_ : held_; }
    const std::array<Slot, 256>& Slots(Kind kind) const {
        return kind == Kind::Press ? press_ : held_;
    }

    std::array<Slot, 256> press_{};
    std::array<Slot, 256> held_{};
};

// What the history shows for a bound action: the built-in keys' texts for their actions
// ("PLAY!" for play-pause), else the name in capitals with "_" for "-" and a
// final "!" ("STOP!", "SEEK_FORWARD!").
std::string ActionText(PlayerAction action);
