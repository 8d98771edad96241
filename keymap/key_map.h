#pragma once

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
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

// What a key does when its press waits for the gesture to be decided (a double or long
// binding): an action bound to nothing has no request.
struct GestureAction {
    std::optional<PlayerRequest> request;
    std::string text;  // what the history shows once it is taken
    int ms = 0;        // a double's gap, a long's delay
};

// A key's tap, double tap and long press, for a key with a double or long binding.
struct Gestures {
    std::optional<GestureAction> tap;
    std::optional<GestureAction> twice;
    std::optional<GestureAction> hold;
};

// What one key event shows and what it does, if anything.
struct KeyEffect {
    std::string text;
    std::optional<PlayerRequest> request;
    HoldShape hold;  // how a held key's repeats are thinned; the default for a press
    // Set for a press or repeat of a key with a double or long binding. A press then shows
    // the key's own text and does nothing by itself: its tap waits for the gesture.
    std::optional<Gestures> gestures;
};

// Where lines of the file apply: the defaults (both empty), or a section's header.
struct KeySection {
    std::string mode;    // [mode=NAME]
    std::string player;  // [player=GLOB]
    auto operator<=>(const KeySection&) const = default;
    bool operator==(const KeySection&) const = default;
};

// What decides which section is in force: the remote's mode (empty for none) and the names
// the commanded player goes by (none when there is no player).
struct KeyContext {
    std::string mode;
    std::vector<std::string> player;
};

// A name is matched up to this many bytes (cut between characters): a player's Identity
// is whatever text it likes.
inline constexpr std::size_t LongestMatchedName = 256;

// Whether name matches glob ("*" any run, "?" any one character), case aside as Windows
// compares file names: UTF-8 by code point, each folded to lower case (Latin, Greek and
// Cyrillic letters); a byte that is not UTF-8 is only itself. In time linear in the glob
// and at most the name's length times its longest piece between stars.
bool GlobMatches(std::string_view glob, std::string_view name);

// What each key does: a binding per code for a key press (KeyPrefix) and for a held key
// (RepeatPrefix), and for a double tap and a long press. A bound key carries out its
// action; a key bound to nothing, like an unbound one, is only shown. The file format,
// one binding a line:
//
//   key    CODES ACTION [ARGUMENTS]                  a key press (a tap)
//   held   CODES ACTION [ARGUMENTS] [HOLD OPTIONS]   a held key: repeats while held
//   double CODES ACTION [ARGUMENTS] [gap=MS]         a second press within the gap
//   long   CODES ACTION [ARGUMENTS] [delay=MS]       held past the delay; acts once
//
// CODES is one key or several joined by commas (a remote with a toggle bit sends two
// codes for one key). A key is a byte code 0-255, decimal or 0x hex; a name (a letter,
// then letters, digits, _ - . +), the remote's name and a colon before it for that
// remote's key only (tv:KEY_OK); scan: and a scancode; or any name, remote and all, in
// double quotes, with \" and \\ for a quote and a backslash within: "1" (lircd's button 1,
// not code 1), "ch/up", "tv:ch/up". Format quotes a name only when bare it would read
// back as another key or not at all. ACTION is a PlayerAction's name or
// "nothing"; the seek actions take a number of seconds (5 by default), run takes the rest
// of the line as its command, mode a mode's name (none: back to no mode) and timeout=SECONDS.
// A mode's name is letters of any script, digits, _ - . (tv, тв).
// The hold options, last on a held line (also after a run command), are delay=MS,
// every=N, once and accel (HoldShape). "#" at the start of a word starts a comment, in a
// run command too unless it is within quotes.
//
// A line "[player=GLOB]", "[mode=NAME]" or "[mode=NAME player=GLOB]" starts a section:
// the lines after it apply while the commanded player matches GLOB (KeyContext), or the
// mode is NAME; a header whose NAME no mode action could name is refused. Lines before any
// section are the defaults; a header given again goes on with its section. A key bound in
// a section in force is that section's in all its kinds; other keys fall through. The
// order: mode with player, then mode, then player, then the defaults.
class KeyMap {
  public:
    enum class Kind { Press, Held, Double, Long };
    // A bound code: its action, or none for "nothing".
    using Binding = std::optional<PlayerRequest>;

    static constexpr int DefaultGapMs = 350;
    static constexpr int DefaultLongDelayMs = 600;

    // The built-in remote (BuiltinKeys, and its volume keys held).
    static const KeyMap& Standard();

    // Why a run command cannot start as written; empty when it may.
    using RunCheck = std::function<std::string(const std::string& command)>;

    // A key map file's text. Every problem is added to problems as "source:LINE: what",
    // and the map holds the lines that had none. checkRun, when given, judges each run
    // command where it is read.
    static KeyMap Parse(std::string_view text, std::string_view source,
                        std::vector<std::string>& problems, const RunCheck& checkRun = {});

    // What a press or a repeat shows and does, by the section in force in context. A held
    // key shows "  >>REP>>" before what it would show pressed; an unbound key, or one bound
    // to nothing, shows as its text (a code as its decimal text).
    KeyEffect Decode(const KeyEvent& event, const KeyContext& context = {}) const;

    // Null when key is not bound (in section).
    const Binding* Find(Kind kind, const Key& key, const KeySection& section = {}) const;
    // Binds keys together, as one line of the file: false, and nothing changes, when keys
    // is empty, names a key twice, or one is already bound. A double's gap and a long's
    // delay are hold.delayMs.
    bool Bind(Kind kind, const std::vector<Key>& keys, Binding binding, HoldShape hold = {},
              const KeySection& section = {});
    bool HasRunBindings() const;
    // Whether a section follows the player: only then is the player asked at each key.
    bool FollowsPlayer() const;
    bool HasMode(std::string_view mode) const;
    // The map in the file format (written by key_map_format.cpp; key_map_text.cpp reads
    // it): the defaults, then each section; in each, presses, held keys, doubles and
    // longs, in key order; keys bound together stay on one line.
    std::string Format() const;

    // One line of the file: keys bound together, in one kind and section.
    struct Line {
        KeySection section;
        Kind kind = Kind::Press;
        std::vector<Key> keys;  // in key order
        Binding binding;
        HoldShape hold;  // a double's gap and a long's delay in delayMs, as Bind takes them
    };
    // Every line, in Format's order.
    std::vector<Line> Lines() const;
    // line as Format writes it, without its section's header or a line end.
    static std::string LineText(const Line& line);

  private:
    struct Slot {
        bool bound = false;
        Binding binding;
        std::string text;  // what the key shows when bound to an action
        HoldShape hold;
        std::optional<Key> lead;  // the least of the keys bound with it on one line
    };
    // The defaults' byte codes in a table, as they are looked up at every event; other
    // keys, and a section's codes, by key, so that a section costs what its lines do.
    struct Slots {
        std::vector<Slot> codes;  // all 256 once the defaults bind a code; else none
        std::map<Key, Slot> others;
    };
    // The defaults, or one section.
    struct Layer {
        KeySection section;
        std::array<Slots, 4> kinds;
    };
    static const Slot* Lookup(const Slots& table, const Key& key);
    static Slot& Place(Slots& table, const Key& key);
    // Whether the layer binds one of the keys event goes by, in any kind.
    static bool Binds(const Layer& layer, const KeyEvent& event);
    // The bound slot of the first of event's keys bound in table to an action (to
    // anything, with nothing: true).
    static const Slot* SlotFor(const Slots& table, const KeyEvent& event, bool nothing);
    const Layer& LayerFor(const KeyEvent& event, const KeyContext& context) const;
    const Layer* FindLayer(const KeySection& section) const;
    Layer& LayerOf(const KeySection& section);
    // Every bound slot of kind in layer, in key order.
    template <typename Visit>
    static void ForEachBound(const Layer& layer, Kind kind, Visit visit);
    static void LayerLines(const Layer& layer, std::vector<Line>& lines);

    std::vector<Layer> layers_{1};  // the defaults first, then sections as they came
    std::map<KeySection, std::size_t> layerIndex_{{KeySection{}, 0}};  // into layers_
};

template <typename Visit>
inline void KeyMap::ForEachBound(const Layer& layer, Kind kind, Visit visit) {
    const Slots& table = layer.kinds[static_cast<std::size_t>(kind)];
    for (std::size_t code = 0; code < table.codes.size(); ++code) {
        if (const Slot& slot = table.codes[code]; slot.bound) {
            visit(Key::Code(static_cast<int>(code)), slot);
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
// The same for a request: a mode's is its line, ModeText.
std::string ActionText(const PlayerRequest& request);
// The line a change of mode shows: "MODE tv", and "MODE" when back to none.
std::string ModeText(const std::string& mode);
// A section's header as the file has it: "[mode=tv player=kodi]"; empty for the defaults.
std::string SectionHeader(const KeySection& section);
