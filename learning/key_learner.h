#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "actions/player_action.h"
#include "keymap/key_map.h"
#include "learning/typed_input.h"
#include "source/receiver_loop.h"

class LearnerInput;

// Learns a remote's keys in the terminal: asks for the key of each action in turn, reads
// the key press from any of the sources, refuses a code already taken, lets Enter skip an
// action, binds a held volume key's repeat code too, then adds what it learnt to the key
// map there (MergeLearnt: in place of what the map binds the same actions to, every other
// line kept; the old file kept as a backup), or writes a new one, and says where, with the
// map's notes. A code the map binds to another action is taken from it only once the user
// says so, or with replace. Each key is asked for twice, as KeyRecorder asks in the keys
// window: a second code on the second press (a remote with a toggle bit) is offered to be
// bound with the first, on one line. Typing is read on the sources' loop.
class KeyLearner {
  public:
    // The actions asked for, in order.
    static constexpr const char* Asked[] = {"play-pause", "previous",     "next",
                                            "volume-up",  "volume-down",  "stop",
                                            "mute",       "seek-forward", "seek-backward"};

    // replace: a code the map binds to another action is taken without asking.
    KeyLearner(TypedInput& typed, std::ostream& out, std::ostream& err, bool replace = false)
        : typed_(typed), out_(out), err_(err), replace_(replace) {}

    // Runs the session on reader's key sources, all at once, and writes what it learnt to
    // path; the exit status. name says which sources in messages. Once.
    int Run(ReceiverLoop& reader, const std::string& name, const std::filesystem::path& path);

  private:
    // Asks for action's key (name is its name) and binds what it learnt; false when the
    // sources were lost.
    bool Learn(PlayerAction action, const char* name);
    // The next key press, not a repeat; none when Enter skipped the step, typing ended or
    // the sources were lost.
    std::optional<Key> NextPress();
    // The first code of action's key: a press of a code not taken already, nor bound to
    // another action in the map unless the user lets it be taken.
    std::optional<Key> FreePress(PlayerAction action);
    // Whether code, which the map binds to other, may be bound to action: asked after
    // lead, unless replace_.
    bool MayTake(const Key& code, const std::string& other, PlayerAction action, const char* lead);
    // A held key's repeat codes, if it was held: new ones are added to held and said.
    void Repeats(std::vector<Key>& held, const std::vector<Key>& before, PlayerAction action);
    // The answer typed: y or n first, else byDefault, which the end of typing is too.
    bool Yes(bool byDefault = true);
    // Reads the map there to add to; false, said, when it cannot be read.
    bool ReadMap(const std::filesystem::path& path);
    int Write(const std::filesystem::path& path);

    TypedInput& typed_;
    std::ostream& out_;
    std::ostream& err_;
    bool replace_;
    LearnerInput* input_ = nullptr;  // while it runs
    KeyMap keys_;                    // what was learnt
    // The map there, to add to: its text (none when there is no file), the map it makes.
    std::optional<std::string> text_;
    KeyMap map_;
    bool learnt_ = false;
    bool typing_ = true;  // false once typing ended: the rest is skipped
    bool lost_ = false;
    std::string lostWhy_;
};
