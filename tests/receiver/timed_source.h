#pragma once

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "receiver/event_clock.h"
#include "source/key_reader.h"

// Time for the cycle's timing tests, in whole milliseconds from the start: moved by the
// source to each event's time or to a deadline it was given, and by slow players.
struct Timeline : EventClock {
    TimePoint Now() override { return TimePoint{} + std::chrono::milliseconds(ms); }
    int ms = 0;
};

// A key event of code at ms.
struct Step {
    int ms;
    KeyAction action;
    int code;
};
using Steps = std::vector<Step>;

inline Steps Join(std::initializer_list<Steps> parts) {
    Steps steps;
    for (const Steps& part : parts) {
        steps.insert(steps.end(), part.begin(), part.end());
    }
    return steps;
}

// Repeats of code from from to to ms, every ms apart.
inline Steps Repeats(int code, int from, int to, int every) {
    Steps steps;
    for (int ms = from; ms <= to; ms += every) {
        steps.push_back({ms, KeyAction::Repeat, code});
    }
    return steps;
}

// Hands out the steps in turn, each at its time; a deadline that comes first is TimedOut
// at the deadline, and records the gestures decided. A step due before it was asked for (a slow player moved the clock past
// it) is handed out as queued, with more when the next one was due too.
class TimedSource : public KeyReader {
  public:
    TimedSource(Steps steps, Timeline& clock, bool releases = false)
        : steps_(std::move(steps)), clock_(clock), releases_(releases) {}
    void Open() override {}
    std::vector<SourceCondition> Configure() override { return {}; }
    SourceItem NextBefore(Deadline until) override {
        using std::chrono::milliseconds;
        const int due =
            until == Deadline::max()
                ? -1
                : static_cast<int>(
                      std::chrono::duration_cast<milliseconds>(until - Deadline{}).count());
        if (next_ == steps_.size() || (due >= 0 && steps_[next_].ms > due)) {
            if (due < 0) {
                return SourceStopped{};
            }
            clock_.ms = std::max(clock_.ms, due);
            return TimedOut{};
        }
        const Step& step = steps_[next_++];
        const bool queued = step.ms < clock_.ms;
        clock_.ms = std::max(clock_.ms, step.ms);
        return KeyEvent{.action = step.action,
                        .key = Key::Code(step.code),
                        .queued = queued,
                        .more = next_ < steps_.size() && steps_[next_].ms <= clock_.ms,
                        .releases = releases_};
    }
    void RequestStop() override {}
    void Decided(Gesture gesture, const Key& key) override {
        static constexpr const char* Words[] = {"press", "double", "long", "held"};
        told.push_back(std::string(Words[static_cast<int>(gesture)]) + " " + key.Text() + " @" +
                       std::to_string(clock_.ms));
    }

    // Each gesture the cycle decided: "press 96 @350".
    std::vector<std::string> told;

  private:
    Steps steps_;
    Timeline& clock_;
    bool releases_;
    std::size_t next_ = 0;
};
