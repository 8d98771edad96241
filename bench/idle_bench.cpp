// The program without input: CPU time and context switches of every thread, after one key
// press (so the player is found and the port configured) and a second to settle. With
// three, two more sources are read, idle; with absent, one of them (lircd) is looked for
// (OtherSources).
//
//   quorvel_idle_bench [SECONDS] [window] [three|absent]      (default 60)
#include <csignal>
#include <cstdio>

#include "bench/other_sources.h"
#include "bench/process_rig.h"

int main(int argc, char** argv) {
    const int seconds = NumberArgument(argc, argv, 1, 60);
    ProcessRig rig(HasWord(argc, argv, "window"));
    const auto port = VirtualPort::CreatePty();
    const OtherSources others(HasWord(argc, argv, "three")    ? "three"
                              : HasWord(argc, argv, "absent") ? "absent"
                                                              : "");
    auto quorvel = rig.StartPastFirstEvent(*port, others.Options());
    if (!quorvel || !others.Reading()) {
        return 1;
    }
    SleepNs(1'000'000'000);
    PrintLoad("at start");
    const Usage before = ReadUsage(quorvel->Pid());
    SleepNs(static_cast<std::int64_t>(seconds) * 1'000'000'000LL);
    const Usage after = ReadUsage(quorvel->Pid());
    PrintLoad("at end");
    std::printf(
        "idle %d s: cpu %.3f ms (ticks %ld), context switches voluntary %ld involuntary %ld\n",
        seconds, (after.cpuNs - before.cpuNs) / 1e6, after.ticks - before.ticks,
        after.voluntary - before.voluntary, after.involuntary - before.involuntary);
    PrintThreadDeltas(before, after);
    quorvel->Stop(SIGTERM);
    rig.ReportStderr();
    return 0;
}
