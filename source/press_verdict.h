#pragma once

#include "source/key_source.h"

// Whether a press of a key would act now: bound, in the key map's section in force, to an
// action that something will take (a player that is there, a command, a mode). Asked by a
// source that must decide before the receiver has the key whether to keep it from the rest
// of the system (Windows' keyboard hook), from a thread of its own: an answer never waits
// for another thread.
class PressVerdict {
  public:
    virtual ~PressVerdict() = default;
    // Safe from any thread.
    virtual bool WouldAct(const KeyEvent& press) const = 0;
};
