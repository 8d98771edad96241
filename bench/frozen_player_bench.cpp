// A volume key held on a frozen player (SIGSTOP): how late each of its lines reaches the
// history, from the event's last byte, as a remote repeats a held key every 108 ms; then
// whether the thawed player obeys the next key, and how soon.
//
//   quorvel_frozen_player_bench [REPEATS]      (default 10: held for about 1.1 s)
#include <csignal>
#include <cstdio>

#include "bench/bench_clock.h"
#include "bench/process_rig.h"

namespace {

constexpr std::int64_t RepeatNs = 108'000'000;

}  // namespace

int main(int argc, char** argv) {
    const int repeats = NumberArgument(argc, argv, 1, 10);
    ProcessRig rig;
    const auto port = VirtualPort::CreatePty();
    auto quorvel = rig.StartPastFirstEvent(*port);
    if (!quorvel) {
        return 1;
    }
    SleepNs(100'000'000);
    const std::size_t before = quorvel->Lines().size();

    rig.player.Freeze();
    std::vector<std::int64_t> sent{ProcessRig::Send(*port, VolumeUp)};
    for (int i = 0; i < repeats; ++i) {
        SleepUntil(sent.front() + (i + 1) * RepeatNs);
        sent.push_back(ProcessRig::Send(*port, HeldVolumeUp));
    }
    const std::size_t shown = quorvel->WaitForLines(before + sent.size(), std::chrono::minutes(2));
    const std::vector<ChildLine> lines = quorvel->Lines(before);
    std::printf("held key: %zu events over %.3f s; %zu of them shown\n", sent.size(),
                (sent.back() - sent.front()) / 1e9, shown - before);
    for (std::size_t i = 0; i < lines.size() && i < sent.size(); ++i) {
        std::printf("  event %2zu  %-18s shown %8.3f s after its last byte\n", i,
                    lines[i].text.c_str(), (lines[i].atNs - sent[i]) / 1e9);
    }
    if (lines.size() >= sent.size()) {
        std::printf("last line %.3f s after the key's last byte\n",
                    (lines[sent.size() - 1].atNs - sent.back()) / 1e9);
    }

    if (!rig.player.Thaw()) {
        std::puts("the player did not answer once thawed");
        return 1;
    }
    const std::vector<std::string> late = rig.player.Calls();
    std::printf("commands the player carried out when thawed: %zu\n", late.size() - 1);
    const std::int64_t at = ProcessRig::Send(*port, VolumeUp);
    const auto call = rig.player.WaitForCall(late.size(), std::chrono::seconds(5));
    std::printf("next key after the thaw: %s\n",
                call ? ("obeyed after " + std::to_string((call->atNs - at) / 1000) + " us").c_str()
                     : "not obeyed in 5 s");
    quorvel->Stop(SIGTERM);
    rig.ReportStderr();
    return 0;
}
