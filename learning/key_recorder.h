#pragma once

#include <string>
#include <vector>

#include "source/key.h"

// The keys window's "Learn…" on either platform, as --learn asks: the next key, then the
// same key again, since a remote with a toggle bit (RC5, RC6) sends its next press as
// another code; both codes are then offered to be bound together. The window arms a
// KeyCapture while Listening and hands each key taken to Took. Used on the UI thread.
class KeyRecorder {
  public:
    enum class Step {
        Off,
        First,  // waiting for the key
        Again,  // waiting for it a second time
        Both,   // a second code came: bind both? (Answer)
        Done,   // Keys() holds the key learnt, or its two codes
    };

    void Start();
    void Took(const Key& key);
    void Answer(bool both);
    // Esc: before a key, nothing is learnt (Off); after one, it is kept alone (Done).
    void Cancel();

    Step Current() const { return step_; }
    bool Listening() const { return step_ == Step::First || step_ == Step::Again; }
    const std::vector<Key>& Keys() const { return keys_; }
    // What the window says at this step.
    std::string Prompt() const;

  private:
    Step step_ = Step::Off;
    std::vector<Key> keys_;  // the first code, then the second, if any
};
