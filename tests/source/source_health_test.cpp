#include "source/source_health.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "source/grace_retry.h"
#include "tests/doubles/fake_event_loop.h"
#include "tests/doubles/item_text.h"
#include "tests/doubles/log_capture.h"

namespace {

using Lines = std::vector<std::string>;
using Kind = SourceCondition::Kind;

struct Shown : SourceOutput {
    void Put(SourceItem item) override {
        const auto* condition = std::get_if<SourceCondition>(&item);
        items.push_back((condition != nullptr && condition->setup ? "setup " : "") +
                        ItemText(item));
    }
    Lines items;
};

const LogCategory lcTest("quorvel.health");

// Each outage is shown once and its return once; a problem is said once until the source
// is up; a source that never came up says so as its start would.
TEST(SourceHealth, ShowsEachOutageAndReturnOnce) {
    const SourceCondition refused{Kind::CannotOpen, "refused"}, away{Kind::Absent, "away"};
    const struct {
        std::function<void(SourceHealth&)> run;
        Lines shown;
        int said;  // how often "refused" or "away" reached the log
    } cases[] = {
        {[&](SourceHealth& h) {
             h.NotStarted(refused);
             h.TryFailed(refused, LogLevel::Info);
             h.TryFailed(away, LogLevel::Info);
             h.Up("back"), h.Up("back");
         },
         {"back"},
         2},
        {[&](SourceHealth& h) {
             h.Up("up");
             h.Lost(SourceCondition{Kind::Lost, "away"}),
                 h.Lost(SourceCondition{Kind::Lost, "away"});
             h.TryFailed(away, LogLevel::Info);
             h.TryFailed(refused, LogLevel::Info), h.TryFailed(refused, LogLevel::Info);
         },
         {"lost"},
         1},
        {[&](SourceHealth& h) {
             h.TryFailed(refused, LogLevel::Warning), h.TryFailed(refused, LogLevel::Warning);
             h.Up("back");
             h.Lost(BrokenEvent{KeyAction::Press, away});
         },
         {"setup cannot open", "back", "broken down"},
         1},
    };
    for (const auto& c : cases) {
        LogCapture log;
        Shown out;
        SourceHealth health(lcTest);
        health.Attach(out);
        c.run(health);
        EXPECT_EQ(out.items, c.shown);
        EXPECT_EQ(log.Count("refused") + log.Count("away"), c.said) << c.shown.front();
    }
}

// Before the source joins the loop nothing is shown and its events wait.
TEST(SourceHealth, EventsWaitUntilTheSourceJoins) {
    SourceHealth health(lcTest);
    std::vector<KeyEvent> events{{KeyAction::Press, Key::Code(1)}};
    health.Put(events);
    EXPECT_FALSE(health.Lost(SourceCondition{Kind::Lost, "gone"}));
    Shown out;
    health.Attach(out);
    health.Put(events);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(out.items, Lines{"down 1"});
}

// A device is tried every Every until it is taken, or for Grace, its last try said so.
TEST(GraceRetry, TriesUntilTakenOrTheGraceIsOver) {
    FakeEventLoop loop;
    GraceRetry<int> retry;
    retry.Attach(loop);
    Lines tries;
    retry.Add(1, [&](bool last) {
        tries.push_back(last ? "1 last" : "1");
        return false;
    });
    int left = 3;
    retry.Add(2, [&](bool) {
        tries.push_back("2");
        return --left == 0;
    });
    retry.Add(3, [&](bool) { return true; });
    retry.Forget(3);
    while (loop.RunOnce(EventLoop::TimePoint::min())) {
    }
    EXPECT_EQ(loop.waits, std::vector<long>(GraceRetry<int>::Tries, 100));
    EXPECT_EQ(std::count(tries.begin(), tries.end(), "1"), GraceRetry<int>::Tries - 1);
    EXPECT_EQ(std::count(tries.begin(), tries.end(), "1 last"), 1);
    EXPECT_EQ(std::count(tries.begin(), tries.end(), "2"), 3);
}

}  // namespace
