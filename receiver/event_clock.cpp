#include "receiver/event_clock.h"

namespace {

class SteadyClock : public EventClock {
  public:
    TimePoint Now() override { return std::chrono::steady_clock::now(); }
};

}  // namespace

EventClock& EventClock::Steady() {
    static SteadyClock clock;
    return clock;
}
