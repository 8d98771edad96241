#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "log/log_category.h"
#include "platform/event_loop.h"
#include "source/key.h"

// The one seam between a receiver of any kind and the rest of the program. A source turns
// what its device says into typed items, in the order they happened; it never writes the
// history, which is the signal cycle's alone.
enum class KeyAction {
    Press,    // a key went down
    Repeat,   // a key is being held
    Release,  // a key went up; only sources that know it say it
};

// A key whose source says nothing of its release is held while its repeats come no further
// apart than this (the serial receiver repeats every 110 ms); a bridge's code again within it
// is a repeat.
inline constexpr std::chrono::milliseconds RepeatGap{250};

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
    // The source never came up, and this is why, known only after the start (a broker looked
    // up on the loop): said as the start's setup failures are, not as a failed read.
    bool setup = false;
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

// What a key source hands its items to, in the order they happened.
class SourceOutput {
  public:
    virtual ~SourceOutput() = default;
    virtual void Put(SourceItem item) = 0;
};

// A receiver of one kind (the serial line, lircd, the input devices) as the receiver loop
// reads it: opened and set up first, it then joins the loop, gives it its handles, and
// whenever they are ready reads what is there into items, never waiting. After a failure it
// recovers by itself on the loop's timers. A source bounds what one read takes in, so one
// that floods never stalls the loop or another source. Used on the loop's thread.
class KeySource {
  public:
    virtual ~KeySource() = default;

    // Opens the device. Whatever goes wrong is said by Configure, which follows.
    virtual void Open() = 0;
    // Sets the device up: one condition for each setup step that failed, in order (each
    // with why the device did not open, when it did not).
    virtual std::vector<SourceCondition> Configure() = 0;
    // Joins loop, once, after Configure: from then on what it reads goes to out.
    virtual void Attach(EventLoop& loop, SourceOutput& out) = 0;
    // A source whose setup goes on once it has joined the loop (a broker's first attempt):
    // until when it may still take, while it does; none for a source set up by Configure.
    virtual std::optional<EventLoop::TimePoint> SettlingUntil() const { return std::nullopt; }
    // Its setup ends, how far it came: a condition for each step that failed, said as
    // Configure's are. What fails from then on is said as it happens.
    virtual std::vector<SourceCondition> Settle() { return {}; }
    // The log category its diagnostics go to: whoever says its problems itself (the
    // learner) quiets it.
    virtual const LogCategory& Log() const = 0;
    // Its kind, as other machines are told where a key came from: "serial", "lircd",
    // "input", "mqtt"; empty for one that has no name for it.
    virtual std::string_view Kind() const { return {}; }
    // Another source's key event, read by a source of kind, as the loop's caller passes it
    // on (KeyReader::Pass): a source that passes keys on to other machines (the broker, with
    // publish) sends it; others do nothing.
    virtual void Publish(const KeyEvent& /*event*/, std::string_view /*kind*/) {}
};
