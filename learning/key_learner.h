#pragma once

#include <filesystem>
#include <istream>
#include <ostream>
#include <string>

#include "source/receiver_loop.h"

// Learns a remote's keys in the terminal: asks for the key of each action in turn, reads
// the key press from any of the sources, refuses a code already taken, lets Enter skip an action,
// binds a held volume key's repeat code too, then writes the key map (KeyMapFile::Save)
// and says where. Each key is asked for twice: a second code on the second press (a
// remote with a toggle bit) is offered to be bound with the first, on one line.
class KeyLearner {
  public:
    // The actions asked for, in order.
    static constexpr const char* Asked[] = {"play-pause", "previous",     "next",
                                            "volume-up",  "volume-down",  "stop",
                                            "mute",       "seek-forward", "seek-backward"};

    KeyLearner(std::istream& in, std::ostream& out, std::ostream& err)
        : in_(in), out_(out), err_(err) {}

    // Runs the session on reader's key sources, all at once, and writes what it learnt to
    // path; the exit status. name says which sources in messages.
    int Run(ReceiverLoop& reader, const std::string& name, const std::filesystem::path& path);

  private:
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
};
