#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "source/key.h"

// The one seam between a receiver of any kind and the rest of the program. A source turns
// what its device says into typed items, in the order they happened; it never writes the
// history, which is the signal cycle's alone.
enum class KeyAction {
    Press,    // a key went down
    Repeat,   // a key is being held
    Release,  // a key went up; only sources that know it say it
};

// Where the event stood in the source's queue, for a source that can tell (others leave
// both false): a caller that was busy, say waiting on a slow player, learns which events
// came in the meantime and which of them a newer one already follows.
struct KeyEvent {
    KeyAction action;
    Key key;
    // The remote that sent it, where the source tells remotes apart (lircd); else empty.
    std::string remote{};
    // The scancode the receiver gave with a named key (the kernel's MSC_SCAN), where it
    // gave one: bound by itself, it goes before the name.
    std::optional<std::uint32_t> scancode{};
    // Its input was already waiting when the source was asked for it.
    bool queued = false;
    // More input was already waiting behind it when it was handed out.
    bool more = false;
    // Its source says when this key goes up (Release): a hold of it lasts until then.
    bool releases = false;
};

// Something about the source itself, with why in words for the user.
struct SourceCondition {
    enum class Kind {
        Absent,           // the device is not there (not plugged in)
        CannotOpen,       // it is there but cannot be opened (permission, busy)
        CannotConfigure,  // it opened, but would not take the settings
        LineError,        // a damaged event; the device is still usable
        Lost,             // it went away while in use (unplugged)
        Back,             // usable again after one of the above
    };
    Kind kind;
    std::string reason;
};

// A byte that began no event where one was due (the serial receiver's only).
struct StrayByte {
    int value;
};

// An event whose key could not be read: its first half came, then the source failed.
struct BrokenEvent {
    KeyAction action;
    SourceCondition why;
};

// The source was asked to stop; nothing follows.
struct SourceStopped {};

// NextBefore's deadline passed with nothing to hand out.
struct TimedOut {};

using SourceItem =
    std::variant<KeyEvent, StrayByte, BrokenEvent, SourceCondition, SourceStopped, TimedOut>;

// Used on one thread, but for RequestStop.
class KeySource {
  public:
    virtual ~KeySource() = default;

    // Opens the device. Whatever goes wrong is said by Configure, which follows.
    virtual void Open() = 0;
    // Sets the device up: one condition for each setup step that failed, in order (each
    // with why the device did not open, when it did not).
    virtual std::vector<SourceCondition> Configure() = 0;
    // Blocks until the next item. After a failure the source recovers by itself (waiting
    // at a pace of its own), so calling Next again is always right.
    virtual SourceItem Next() = 0;
    // As Next, but TimedOut once until has passed with nothing come: so a caller can act
    // when a key does not follow (a double press that never came). An event already begun
    // (a serial prefix read) is finished first. Next is NextBefore with no deadline.
    using Deadline = std::chrono::steady_clock::time_point;
    virtual SourceItem NextBefore(Deadline until) = 0;
    // Safe from any thread: wakes Next, and every later Next gives SourceStopped.
    virtual void RequestStop() = 0;
    // Whether every key that went down is said to go up (Release), so a hold lasts until
    // then however slowly it repeats; otherwise a hold ends at a pause in its repeats.
    virtual bool GivesReleases() const { return false; }
};

// What is left of until in whole milliseconds, rounded up, as poll takes it: -1 for no
// deadline, 0 once it has passed.
inline int PollTimeout(KeySource::Deadline until) {
    if (until == KeySource::Deadline::max()) {
        return -1;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}
