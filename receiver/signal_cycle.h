#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "actions/player_link.h"
#include "actions/problem_notice.h"
#include "history/history_log.h"
#include "keymap/shared_key_map.h"
#include "receiver/command_runner.h"
#include "receiver/event_clock.h"
#include "receiver/gesture_shaper.h"
#include "receiver/hold_shaper.h"
#include "receiver/hold_tracker.h"
#include "receiver/key_capture.h"
#include "receiver/press_judge.h"
#include "source/key_reader.h"

// The history's one writer: turns what a key source gives into history lines, and keys
// into what they are bound to: the player's actions through the player link, a command of
// the user's (run) started within CommandRunner's bounds, a change of the remote's mode.
// Every event's line is shown; what a held key does is shaped by its binding (HoldShaper),
// and a key's tap, double tap and long press are told apart (GestureShaper), timed by
// clock when the event arrived. A gesture's action taken, and a mode ended by its
// timeout or by a reload that dropped it, show on a line of their own (ModeText for a
// mode), told by the link too (Announce). The key map's sections follow the mode and,
// where the map has player sections, the player the link chooses once for each key, the
// one its action then goes to (a gesture's, the one chosen as it began). Every key event
// goes through one HoldTracker, which both shapers go by. What each key came to (a press
// acting as itself, a double, a long press, a held key's repeat that acts) is told to the
// source once (KeyReader::Decided). An action that reached no player, or a run command
// refused, is explained on the line its press wrote (the link may learn of it after the line
// was written) and told once, until things work again, through the link's Announce and the
// problem notice. Used on the receiver thread only.
class SignalCycle : private PressOutcome {
  public:
    static constexpr const char* WaitingText = "Waiting for new signal...";
    // A setup step of the source that failed, at start; or a source that never came up, when
    // that is known only later (SourceCondition::setup), above the waiting line.
    static constexpr const char* ConfigErrorText = "Err";
    // A read that failed; the "-1" of the failed read follows it.
    static constexpr const char* ReadErrorText = "COM READ ERROR!";
    // A run key whose command could not be started, in place of its own text.
    static constexpr const char* RunFailedText = "RUN FAILED!";
    // A run key skipped as its command still runs, or too many started this second.
    static constexpr const char* RunSkippedText = "RUN SKIPPED!";

    // keys is read once per event, so a reload applies from the next event on. start
    // starts run's commands.
    SignalCycle(KeyReader& source, HistoryLog& history, PlayerLink& player,
                const SharedKeyMap& keys, EventClock& clock = EventClock::Steady(),
                CommandRunner::Starter start = StartChildCommand)
        : source_(source),
          history_(history),
          player_(player),
          keys_(keys),
          clock_(clock),
          commands_(std::move(start)) {
        player_.TellOutcomes(this);
    }
    ~SignalCycle() override { player_.TellOutcomes(nullptr); }
    SignalCycle(const SignalCycle&) = delete;
    SignalCycle& operator=(const SignalCycle&) = delete;

    // Opens the source, removes the window's greeting once the source is open (the greeting
    // stays while the window shows none), then sets the source up: one "Err" line, with
    // why, for each setup step that failed. So any "Err" lines come first in the history.
    void Start();

    // Runs passes until the source is stopped.
    void Run();

    // One pass: the waiting line, then one event, one stray byte or one failed read. False
    // once the source has been stopped.
    bool RunOnePass();

    // The loop the cycle's own business waits on from now on: the player link's answers and
    // the ends of run's commands. Once, before Start.
    void Attach(EventLoop& loop) {
        player_.Attach(loop);
        commands_.Attach(loop);
    }

    // Offers every key event to capture first (the keys window's record button): what it
    // takes neither shows nor acts, nor is passed on (KeyReader::Pass); every other is
    // passed on before it acts. None: no capture.
    void CaptureWith(KeyCapture* capture) { capture_ = capture; }
    // Tells judge each mode it changes to, so that a press judged before it arrives goes
    // by the section in force. None: no judge.
    void JudgeWith(PressJudge* judge) { judge_ = judge; }
    // Shows notice each problem a key's action meets, and when things work again. None: no
    // notice (the history and the link still tell).
    void NoticeWith(ProblemNotice* notice) { notice_ = notice; }

    // The text of the last event; empty before the first.
    const std::string& MessageText() const { return messageText_; }

  private:
    // The event's line and, when bound and admitted, its action.
    void Handle(const KeyEvent& event);
    // Carries out request, a player's action on choice; what the history shows for it may
    // change (a run that did not start), and why is returned.
    std::string Act(const PlayerRequest& request, const PlayerChoice& choice, std::string& text);
    // The gestures decided, the mode's end, each on its own line before a fresh waiting line.
    void ShowDecided(std::vector<GestureAction>& decided);
    void ShowAside(const std::string& text, const std::string& why = {});
    // What time has decided by now: gestures, and a mode's timeout.
    void ExpireDue(EventClock::TimePoint now);
    void ChangeMode(const std::string& mode, int timeoutSeconds);
    // PressOutcome: the link's word on a press's action.
    void Reached(std::uint64_t press) override;
    void Failed(std::uint64_t press, const std::string& why) override;
    // Tells the user of a problem once, until Solve.
    void SayProblem(const std::string& why);
    void Solve();
    // When the source must hand back control if nothing comes.
    std::optional<EventClock::TimePoint> NextDeadline() const;

    KeyReader& source_;
    HistoryLog& history_;
    PlayerLink& player_;
    const SharedKeyMap& keys_;
    EventClock& clock_;
    CommandRunner commands_;  // run's commands, one at a time each, a few a second
    HoldTracker holds_;
    HoldShaper shaper_{holds_};
    // Each gesture decided is told to the source (KeyReader::Decided).
    GestureShaper gestures_{holds_, [this](KeyReader::Gesture gesture, const Key& key) {
                                source_.Decided(gesture, key);
                            }};
    PlayerChoice gestureChoice_;  // the player of the gesture under way
    std::string mode_;            // the mode in force; empty for none
    std::chrono::seconds modeTimeout_{0};
    EventClock::TimePoint modeUntil_{};
    std::string messageText_;
    KeyCapture* capture_ = nullptr;
    PressJudge* judge_ = nullptr;
    ProblemNotice* notice_ = nullptr;
    std::uint64_t acting_ = 0;  // the press whose action is being performed; 0: none
    std::string actingWhy_;     // why it failed, when told before its line was written
    std::string problem_;       // the problem told last; empty while things work
};
