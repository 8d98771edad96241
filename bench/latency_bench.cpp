// End-to-end latency of a key press: from the write of an event's second byte to the
// player call, p50/p99/max, with the program's CPU time per event. Key presses are paced
// one at a time, cycling through play, next and previous. Every PLAYERCTL_EVERY-th event
// the same command also goes through a `playerctl` process, timed from its spawn to the
// call (0: none). With PLAYERS above 1 that many players are on the bus and quorvel is not
// told which to command, so each press first asks them all for their status. With three,
// quorvel reads two more sources at once, idle (OtherSources).
//
//   quorvel_latency_bench [EVENTS] [PLAYERCTL_EVERY] [PLAYERS] [three]  (defaults 10000 10 1)
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_clock.h"
#include "bench/other_sources.h"
#include "bench/process_rig.h"

namespace {

const char* PlayerctlVerb(const Event& e) {
    if (e.code == Play.code) {
        return "play-pause";
    }
    return e.code == Next.code ? "next" : "previous";
}

// The next call the player records, which must be the one event makes; exits if not.
StandInRequest ExpectCall(ProcessRig& rig, std::size_t index, const Event& event) {
    const auto call = rig.player.WaitForCall(index, std::chrono::seconds(5));
    if (!call || !IsCallOf(*call, event)) {
        std::printf("call %zu: expected %s, got %s\n", index, event.call,
                    call ? call->text.c_str() : "nothing in 5 s");
        std::exit(1);
    }
    return *call;
}

}  // namespace

int main(int argc, char** argv) {
    const int events = NumberArgument(argc, argv, 1, 10000);
    const int playerctlEvery = NumberArgument(argc, argv, 2, 10);
    ProcessRig rig;
    rig.AddPlayers(NumberArgument(argc, argv, 3, 1) - 1);
    const auto port = VirtualPort::CreatePty();
    const OtherSources others(HasWord(argc, argv, "three") ? "three" : "");
    std::vector<std::string> sources{"--port", port->readerPath()};
    sources.insert(sources.end(), others.Options().begin(), others.Options().end());
    auto quorvel = rig.StartQuorvelOn(sources);
    if (!port->WaitForRawReader(std::chrono::seconds(30)) || !others.Reading()) {
        std::puts("quorvel never configured the port");
        return 1;
    }
    std::vector<std::int64_t> ours;
    std::vector<std::int64_t> theirs;
    std::vector<std::int64_t> theirsExit;
    std::size_t next = 0;
    auto sendOne = [&](const Event& e, bool keep) {
        const std::int64_t sent = ProcessRig::Send(*port, e);
        const StandInRequest call = ExpectCall(rig, next++, e);
        if (keep) {
            ours.push_back(call.atNs - sent);
        }
        // Let the program finish the event's history writes and go back to sleep.
        SleepNs(2'000'000);
    };
    for (int i = 0; i < 100; ++i) {
        sendOne(KeyEvents[i % KeyEvents.size()], false);
    }
    PrintLoad("at start");
    const Usage before = ReadUsage(quorvel->Pid());
    for (int i = 0; i < events; ++i) {
        const Event& e = KeyEvents[i % KeyEvents.size()];
        sendOne(e, true);
        if (playerctlEvery > 0 && i % playerctlEvery == 0) {
            const std::int64_t start = NowNs();
            ChildProcess playerctl;
            if (!playerctl.Start({{"playerctl", "-p", ProcessRig::PlayerName, PlayerctlVerb(e)},
                                  rig.Environment(),
                                  false,
                                  rig.Folder() + "/playerctl.err"})) {
                std::printf("%s\n", playerctl.Error().c_str());
                return 1;
            }
            const StandInRequest call = ExpectCall(rig, next++, e);
            theirs.push_back(call.atNs - start);
            playerctl.Wait();
            theirsExit.push_back(NowNs() - start);
        }
    }
    const Usage after = ReadUsage(quorvel->Pid());
    PrintLoad("at end");
    PrintLatency("quorvel", ours);
    if (!theirs.empty()) {
        PrintLatency("playerctl", theirs);
        PrintLatency("(to exit)", theirsExit);
        std::printf("ratio playerctl/quorvel: p50 %.0fx  p99 %.0fx\n",
                    Percentile(theirs, 0.5) / Percentile(ours, 0.5),
                    Percentile(theirs, 0.99) / Percentile(ours, 0.99));
    }
    std::printf("quorvel cpu per event %.1f us\n",
                (after.cpuNs - before.cpuNs) / 1e3 / static_cast<double>(events));
    quorvel->Stop(SIGTERM);
    rig.ReportStderr();
    return 0;
}
