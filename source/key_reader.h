#pragma once

#include <chrono>
#include <vector>

#include "platform/event_loop.h"
#include "source/key_source.h"

// What the signal cycle, the learner and the port finder read: items from one or more key
// sources, in order (ReceiverLoop; a test's script). Used on one thread, but for
// RequestStop.
class KeyReader {
  public:
    using Deadline = std::chrono::steady_clock::time_point;

    virtual ~KeyReader() = default;

    // Opens every source. Whatever goes wrong is said by Configure, which follows.
    virtual void Open() = 0;
    // Sets every source up: one condition for each setup step that failed, in order.
    virtual std::vector<SourceCondition> Configure() = 0;
    // Blocks until the next item. After a failure a source recovers by itself (waiting at a
    // pace of its own), so calling Next again is always right.
    SourceItem Next() { return NextBefore(Deadline::max()); }
    // As Next, but TimedOut once until has passed with nothing come (or the reader was
    // woken), so a caller can act when a key does not follow (a double press that never
    // came).
    virtual SourceItem NextBefore(Deadline until) = 0;
    // Safe from any thread: wakes Next, and every later Next gives SourceStopped.
    virtual void RequestStop() = 0;
    // The caller acts on event, the key event Next handed out last (one it takes to learn
    // it goes nowhere, and is never passed): a reader that passes keys on, to other
    // machines, passes it now.
    virtual void Pass(const KeyEvent& /*event*/) {}

    // What the caller made of a key, once each: a press that acts as itself (at once, or as
    // the tap of a key that might have been a double or a long press), a double, a long
    // press, or a held key's repeat that acts.
    enum class Gesture { Press, Double, Long, Held };
    // The caller decided key's gesture (its events were passed before): a reader that passes
    // keys on passes the gesture now.
    virtual void Decided(Gesture /*gesture*/, const Key& /*key*/) {}

    // The loop the reader waits on, for the reader's user to watch its own handles and
    // timers there too; null for a reader that has none (a test's script).
    virtual EventLoop* Loop() { return nullptr; }
};
