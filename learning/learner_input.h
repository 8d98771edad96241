#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>

#include "learning/typed_input.h"
#include "source/key.h"
#include "source/receiver_loop.h"

// What the learner waits for, one at a time: a key event from the sources, a line typed,
// the end of typing, or a source lost. All of them come from the reader's one loop, typing
// among its handles, for as long as this lives. Used on the reader's thread.
class LearnerInput {
  public:
    struct Event {
        enum class Kind { Key, Line, EndOfInput, SourceLost };
        Kind kind;
        bool held = false;            // a key's repeat
        std::optional<Key> key = {};  // a key event's key
        std::string text = {};        // what was typed, or why the source was lost
    };

    LearnerInput(ReceiverLoop& reader, TypedInput& typed);
    ~LearnerInput();
    LearnerInput(const LearnerInput&) = delete;
    LearnerInput& operator=(const LearnerInput&) = delete;

    // The next event, what was put back first; none once deadline has passed. A key going
    // up, a line error (it damages one event) and a source back are no events.
    std::optional<Event> Next(std::chrono::steady_clock::time_point deadline);
    // event is the next one again.
    void PutBack(Event event) { returned_.push_back(std::move(event)); }

  private:
    ReceiverLoop& reader_;
    TypedInput& typed_;
    std::deque<Event> returned_;
    bool endSaid_ = false;
};
