#pragma once

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/player_action.h"
#include "source/key.h"
#include "source/key_source.h"

// How the repeats of a held key are thinned out (HoldShaper carries it out). The defaults
// act on every repeat, as a held key always has.
struct HoldShape {
    static constexpr int LongestDelayMs = 60000;
    static constexpr int LargestEvery = 100;
    // The step between acts that accel starts from is every plus this; it shrinks by one
    // at each act until it is every.
    static constexpr int AccelSlack = 3;

    int delayMs = 0;     // act only once the key has been held this long
    int every = 1;       // act on the first repeat past the delay, then on every N-th
    bool once = false;   // act once a hold
    bool accel = false;  // acts come faster the longer the key is held, up to every N-th

    bool operator==(const HoldShape&) const = default;
};

// What one key event shows and what it does, if anything.
struct KeyEffect {
    std::string text;
    std::optional<PlayerRequest> request;
    HoldShape hold;  // how a held key's repeats are thinned; the default for a press
};

// What each key does: a binding per code for a key press (KeyPrefix) and for a held key
// (RepeatPrefix). A bound key carries out its action; a key bound to nothing, like an
// unbound one, is only shown. The file format, one binding a line:
//
//   key  CODES ACTION [ARGUMENTS]                  a key press
//   held CODES ACTION [ARGUMENTS] [HOLD OPTIONS]   a held key: repeats while held
//
// CODES is one code or several joined by commas (a remote with a toggle bit sends two
// codes for one key), each 0-255, decimal or 0x hex; ACTION a PlayerAction's name or
// "nothing"; the seek actions take a number of seconds (5 by default), run takes the rest
// of the line as its command. The hold options, last on a held line (also after a run
// command), are delay=MS, every=N, once and accel (HoldShape). "#" at the start of a word
// starts a comment, in a run command too unless it is within quotes.
class KeyMap {
  public:
    enum class Kind { Press, Held };
    // A bound code: its action, or none for "nothing".
    using Binding = std::optional<PlayerRequest>;

    // The built-in remote (BuiltinKeys, and its volume keys held).
    static const KeyMap& Standard();

    // Why a run command cannot start as written; empty when it may.
    using RunCheck = std::function<std::string(const std::string& command)>;

    // A key map file's text. Every problem is added to problems as "source:LINE: what",
    // and the map holds the lines that had none. checkRun, when given, judges each run
    // command where it is read.
    static KeyMap Parse(std::string_view text, std::string_view source,
                        std::vector<std::string>& problems, const RunCheck& checkRun = {});

    // What a press or a repeat shows and does. A held key shows "  >>REP>>" before what it
    // would show pressed; an unbound key, or one bound to nothing, shows as its text (a
    // code as its decimal text).
    KeyEffect Decode(const KeyEvent& event) const;

    // Null when key is not bound.
    const Binding* Find(Kind kind, const Key& key) const;
    // Binds keys together, as one line of the file: false, and nothing changes, when keys
    // is empty, names a key twice, or one is already bound.
    bool Bind(Kind kind, const std::vector<Key>& keys, Binding binding, HoldShape hold = {});
    bool HasRunBindings() const;
    // The map in the file format (written by key_map_text.cpp, with Parse), presses then
    // held keys, in key order; keys bound together stay on one line.
    std::string Format() const;

  private:
    struct Slot {
        bool bound = false;
        Binding binding;
        std::string text;  // what the key shows when bound to an action
        HoldShape hold;
        std::optional<Key> lead;  // the least of the keys bound with it on one line
    };
    // Byte codes in a table, as they are looked up at every event; other keys by key.
    struct Slots {
        std::array<Slot, 256> codes{};
        std::map<Key, Slot> others;
    };
    Slots& SlotsOf(Kind kind) { return kind == Kind::Press ? press_ : held_; }
    const Slots& SlotsOf(Kind kind) const { return kind == Kind::Press ? press_ : held_; }
    static const Slot* Lookup(const Slots& table, const Key& key);
    static Slot& Place(Slots& table, const Key& key);
    // Every bound slot of kind, in key order.
    template <typename Visit>
    void ForEachBound(Kind kind, Visit visit) const;

    Slots press_;
    Slots held_;
};

template <typename Visit>
inline void KeyMap::ForEachBound(Kind kind, Visit visit) const {
    const Slots& table = SlotsOf(kind);
    for (int code = 0; code < 256; ++code) {
        if (const Slot& slot = table.codes[static_cast<std::size_t>(code)]; slot.bound) {
            visit(Key::Code(code), slot);
        }
    }
    for (const auto& [key, slot] : table.others) {
        visit(key, slot);
    }
}

// What the history shows for a bound action: the built-in keys' texts for their actions
// ("PLAY!" for play-pause), else the name in capitals with "_" for "-" and a
// final "!" ("STOP!", "SEEK_FORWARD!").
std::string ActionText(PlayerAction action);
