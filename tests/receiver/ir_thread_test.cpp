#include "receiver/ir_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "receiver/remote_log.h"
#include "tests/doubles/fed_key_source.h"
#include "tests/doubles/locked_history_list.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/scripted_key_source.h"
#include "tests/doubles/source_loop.h"

namespace {

using Lines = std::vector<std::string>;
const std::string W = "Waiting for new signal...";
const std::string Greeting = "Click to start the fun :)";

std::shared_ptr<const SharedKeyMap> Keys() {
    return std::make_shared<const SharedKeyMap>();
}

// A receiver that blocks in its wait until the test feeds it.
std::unique_ptr<ReceiverLoop> Fed(FedKeySource*& fed) {
    auto owned = std::make_unique<FedKeySource>();
    fed = owned.get();
    return LoopOver(std::move(owned));
}

// Counts the links the thread makes for itself, and what they are asked; the first
// request throws, as a link's own failure might.
struct CountingFactory {
    std::atomic<int> made{0};
    std::atomic<int> performed{0};

    IRThread::PlayerFactory Factory() {
        return [this] {
            struct Link : PlayerLink {
                explicit Link(CountingFactory& f) : f(f) {}
                void Perform(const PlayerRequest&, const PlayerChoice&) override {
                    if (f.performed++ == 0) {
                        throw std::runtime_error("the link broke");
                    }
                }
                CountingFactory& f;
            };
            ++made;
            return std::make_unique<Link>(*this);
        };
    }
};

// The window closes while the receiver waits for a key that never comes: destroying the
// thread stops and joins it.
TEST(IRThread, WaitingLeavesOnlyTheWaitingLineAndDestroyingStopsAndJoins) {
    FedKeySource* fed = nullptr;
    LockedHistoryList list({Greeting});
    CountingFactory player;
    {
        IRThread thread(list, Fed(fed), player.Factory(), Keys());
        EXPECT_EQ(list.Lines(), Lines{Greeting});  // created suspended
        thread.Resume();
        EXPECT_EQ(list.WaitFor([](const Lines& l) { return l == Lines{W}; }), Lines{W});
    }
    EXPECT_EQ(list.Lines(), Lines{W});
    EXPECT_EQ(player.made, 1);
}

// A failure on the receiver thread is said once, and the receiver carries on reading.
TEST(IRThread, AnExceptionIsSaidAndTheReceiverCarriesOn) {
    FedKeySource* fed = nullptr;
    LockedHistoryList list({Greeting});
    CountingFactory player;
    LogCapture log;
    IRThread thread(list, Fed(fed), player.Factory(), Keys());
    thread.Resume();
    fed->Push({Press(0x60)});  // throws in the link
    list.WaitFor([](const Lines& l) { return l.size() >= 2; });
    fed->Push({Press(0x18)});
    const Lines seen =
        list.WaitFor([](const Lines& l) { return l.size() >= 2 && l[l.size() - 2] == "NEXT!"; });
    thread.RequestStop();
    thread.Join();
    EXPECT_EQ(seen, (Lines{W, "NEXT!", W}));
    EXPECT_EQ(player.performed, 2);
    EXPECT_EQ(player.made, 1);
    EXPECT_EQ(log.Count("the link broke"), 1);
}

// Failures now and then: each waits the back-off's first wait again after a pass that
// ended well, and a setup that failed is run again without removing a line again.
TEST(IRThread, RetriesWithAFreshBackoffAndRemovesTheGreetingOnce) {
    struct FlakySource : ScriptedKeySource {
        using ScriptedKeySource::ScriptedKeySource;
        std::vector<SourceCondition> Configure() override {
            if (configures++ == 0) {
                throw std::runtime_error("setup broke");
            }
            return ScriptedKeySource::Configure();
        }
        int configures = 0;
    };
    auto owned = std::make_unique<FlakySource>(
        std::vector<SourceItem>{Press(0x60), Press(0x18)},
        std::vector<SourceCondition>{{SourceCondition::Kind::CannotConfigure, "no"}});
    const std::string fails = "x.x.";  // each Next: x throws, . hands out the next item
    std::size_t call = 0;
    owned->onNext = [&] {
        if (call < fails.size() && fails[call++] == 'x') {
            throw std::runtime_error("read broke");
        }
    };
    LockedHistoryList list({Greeting});
    LogCapture log;
    lcRemote.SetThreshold(LogLevel::Debug);
    {
        IRThread thread(list, std::move(owned), {}, Keys());
        thread.Resume();
        thread.Join();
    }
    lcRemote.SetThreshold(LogLevel::Info);
    Lines pauses;
    for (const std::string& line : log.Messages("quorvel.remote")) {
        if (line.starts_with("the receiver carries on in ")) {
            pauses.push_back(line.substr(27));
        }
    }
    EXPECT_EQ(pauses, (Lines{"100 ms", "200 ms", "100 ms"}));
    EXPECT_EQ(list.Lines(), (Lines{"Err", W, "PLAY!", W, "NEXT!", W}));
}

TEST(IRThread, StopBeforeResumeStillEndsPromptly) {
    FedKeySource* fed = nullptr;
    LockedHistoryList list({Greeting});
    IRThread thread(list, Fed(fed), {}, Keys());
    thread.RequestStop();
    thread.Resume();
    thread.Join();
    EXPECT_EQ(list.Lines(), Lines{W});
}

}  // namespace
