#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "log/log_category.h"
#include "source/key_source.h"
#include "source/said_once.h"

// Where a key source stands, as the loop and the user have been told, and the one place
// that tells them, so each outage is shown once, each return once, and each problem said in
// the source's log once:
// - Starting: nothing has been shown about it yet;
// - Up: it reads; its loss is shown (Lost, or the event the loss cut in two);
// - Failed: it never came up, and that was shown (the start's failure, or a first try that
//   failed after the start): its coming up is shown as Back;
// - Lost: it was up, and its loss was shown: its return is shown as Back.
// A try to bring it up that fails is said once a problem; one that fails while Starting (a
// source whose first try ends after the start) is shown too, once, as the start's failures
// are (SourceCondition::setup). Before the source joins the loop, its state stays as it is
// and its events wait where they are. Used on the loop's thread.
class SourceHealth {
  public:
    enum class State { Starting, Up, Failed, Lost };

    explicit SourceHealth(const LogCategory& log) : log_(log) {}

    // From now on what is shown goes to out.
    void Attach(SourceOutput& out) { out_ = &out; }
    State Now() const { return state_; }
    // Whether it has come up since the start (it may be lost again now).
    bool WasUp() const { return state_ == State::Up || state_ == State::Lost; }

    // At the start, the source did not come up: why is said as a warning (followed by after),
    // once a problem, and returned as the start's condition; its return will be shown.
    SourceCondition NotStarted(SourceCondition why, std::string_view after = {});
    // A try to bring it up failed: said at level (followed by after), once a problem; shown
    // as a setup failure while Starting, which it then leaves for Failed.
    void TryFailed(SourceCondition why, LogLevel level, std::string_view after = {});
    // It went away: shown as shown says, unless an outage is shown already (false then), and
    // its reason counts as said.
    bool Lost(SourceItem shown);
    // It is up: back shown and said when an outage was (false when none was).
    bool Up(const std::string& back);
    // A problem of the source's own: said at level (followed by after), once until another
    // is said or the source is up; whether it was said.
    bool Say(const std::string& problem, LogLevel level, std::string_view after = {});

    // Hands item over to the loop.
    void Put(SourceItem item);
    // Hands events over in order and empties it; before the source joins the loop they stay.
    void Put(std::vector<KeyEvent>& events);

  private:
    const LogCategory& log_;
    SourceOutput* out_ = nullptr;
    State state_ = State::Starting;
    SaidOnce said_;
};
