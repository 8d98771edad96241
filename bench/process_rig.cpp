#include "bench/process_rig.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bench/bench_clock.h"
#include "serial/event_protocol.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

void SleepNs(std::int64_t ns) {
    SleepUntil(NowNs() + ns);
}

int NumberArgument(int argc, char** argv, int index, int fallback) {
    return index < argc && std::isdigit(static_cast<unsigned char>(argv[index][0]))
               ? std::atoi(argv[index])
               : fallback;
}

bool HasWord(int argc, char** argv, const std::string& word) {
    return std::find(argv + 1, argv + argc, word) != argv + argc;
}

Usage ReadUsage(pid_t pid) {
    Usage u;
    const std::string base = "/proc/" + std::to_string(pid);
    const std::string stat = ReadFile(base + "/stat");
    // Fields after the command name, which is in parentheses and may hold spaces.
    std::istringstream rest(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14 || i == 15) {
            u.ticks += std::stol(field);
        }
    }
    DIR* dir = ::opendir((base + "/task").c_str());
    if (dir == nullptr) {
        return u;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const std::string task = base + "/task/" + entry->d_name;
        std::string name = ReadFile(task + "/comm");
        name.erase(name.find_last_not_of('\n') + 1);
        const std::string key = std::string(entry->d_name) + " " + name;
        std::int64_t ns = 0;
        std::istringstream(ReadFile(task + "/schedstat")) >> ns;
        u.cpuNs += ns;
        u.cpuByThread[key] = ns;
        long vol = 0;
        long invol = 0;
        std::istringstream status(ReadFile(task + "/status"));
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
                vol = std::stol(line.substr(line.find(':') + 1));
            } else if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
                invol = std::stol(line.substr(line.find(':') + 1));
            }
        }
        u.voluntary += vol;
        u.involuntary += invol;
        u.switchesByThread[key] = {vol, invol};
    }
    ::closedir(dir);
    return u;
}

void PrintThreadDeltas(const Usage& before, const Usage& after) {
    for (const auto& [key, now] : after.switchesByThread) {
        const auto then = before.switchesByThread.count(key) != 0 ? before.switchesByThread.at(key)
                                                                  : std::pair<long, long>{0, 0};
        if (after.cpuByThread.count(key) == 0) {
            continue;
        }
        const std::int64_t cpuThen =
            before.cpuByThread.count(key) != 0 ? before.cpuByThread.at(key) : 0;
        std::printf("  thread %-24s cpu %8.3f ms  switches voluntary %ld involuntary %ld\n",
                    key.c_str(), (after.cpuByThread.at(key) - cpuThen) / 1e6,
                    now.first - then.first, now.second - then.second);
    }
}

double Percentile(std::vector<std::int64_t> values, double p) {
    std::sort(values.begin(), values.end());
    const std::size_t rank =
        static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size())));
    return static_cast<double>(values[std::max<std::size_t>(rank, 1) - 1]);
}

void PrintLatency(const char* what, const std::vector<std::int64_t>& ns) {
    std::printf("%-9s n=%zu  p50 %.1f us  p99 %.1f us  max %.1f us\n", what, ns.size(),
                Percentile(ns, 0.50) / 1e3, Percentile(ns, 0.99) / 1e3,
                *std::max_element(ns.begin(), ns.end()) / 1e3);
}

void PrintLoad(const char* when) {
    std::string load = ReadFile("/proc/loadavg");
    load.erase(load.find_last_not_of('\n') + 1);
    std::printf("load average %s: %s\n", when, load.c_str());
}

const Event Play{KeyPrefix, 0x60, "PLAY!", "PlayPause"};
const Event Prev{KeyPrefix, 0x98, "PREV!", "Previous"};
const Event Next{KeyPrefix, 0x18, "NEXT!", "Next"};
const Event VolumeUp{KeyPrefix, 0xB0, "VOL_UP!", "Volume "};
const Event HeldVolumeUp{RepeatPrefix, 0xB0, "  >>REP>>VOL_UP!", "Volume "};
const Event VolumeDown{KeyPrefix, 0x70, "VOL_DOWN!", "Volume "};
const std::vector<Event> KeyEvents{Play, Next, Prev};
const std::vector<Event> MixedEvents{
    Play,
    Prev,
    Next,
    VolumeUp,
    VolumeDown,
    HeldVolumeUp,
    {RepeatPrefix, 0x70, "  >>REP>>VOL_DOWN!", "Volume "},
    {KeyPrefix, 0x2A, "42", nullptr},
};
const std::vector<Event> SilentEvents{
    {KeyPrefix, 0x2A, "42", nullptr},
    {RepeatPrefix, 0x60, "  >>REP>>96", nullptr},
};

bool IsCallOf(const StandInRequest& call, const Event& event) {
    return event.call != nullptr && call.text.rfind(event.call, 0) == 0;
}

ProcessRig::ProcessRig(bool window) : window_(window) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const char* other = std::getenv("QUORVEL_BENCH_PROGRAM");
    program_ = other != nullptr ? other : QUORVEL_PROGRAM_PATH;
    if (!bus.Started()) {
        std::fprintf(stderr, "no private bus: %s\n", bus.Error().c_str());
        std::exit(1);
    }
    if (!player.Start()) {
        std::fputs("the stand-in player did not start\n", stderr);
        std::exit(1);
    }
    char folder[] = "/tmp/quorvel-bench-XXXXXX";
    folder_ = ::mkdtemp(folder);
    std::printf("quorvel %s, %s; temp %s\n", program_.c_str(),
                window_ ? "window (offscreen)" : "console", folder_.c_str());
}

ProcessRig::~ProcessRig() = default;

void ProcessRig::AddPlayers(int count) {
    for (int i = 1; i <= count; ++i) {
        others_.push_back(std::make_unique<StandInProcess>(
            bus, StandInSetup{PlayerName + std::string("other") + std::to_string(i)}));
        if (!others_.back()->Start()) {
            std::fputs("a stand-in player did not start\n", stderr);
            std::exit(1);
        }
    }
}

std::map<std::string, std::optional<std::string>> ProcessRig::Environment() const {
    std::map<std::string, std::optional<std::string>> env{
        {"DBUS_SESSION_BUS_ADDRESS", bus.Address()}};
    if (window_) {
        env["QT_QPA_PLATFORM"] = "offscreen";
    }
    return env;
}

std::unique_ptr<ChildProcess> ProcessRig::StartQuorvel(const std::string& port) const {
    return StartQuorvelOn({"--port", port});
}

std::unique_ptr<ChildProcess> ProcessRig::StartQuorvelOn(
    const std::vector<std::string>& source) const {
    std::vector<std::string> argv{program_};
    argv.insert(argv.end(), source.begin(), source.end());
    if (others_.empty()) {
        argv.insert(argv.end(), {"--player", PlayerName});
    }
    if (!window_) {
        argv.insert(argv.begin() + 1, "--console");
    }
    auto quorvel = std::make_unique<ChildProcess>();
    if (!quorvel->Start({argv, Environment(), !window_, folder_ + "/quorvel.err"})) {
        std::fprintf(stderr, "%s\n", quorvel->Error().c_str());
        std::exit(1);
    }
    return quorvel;
}

std::unique_ptr<ChildProcess> ProcessRig::StartPastFirstEvent(
    VirtualPort& port, const std::vector<std::string>& others) {
    std::vector<std::string> sources{"--port", port.readerPath()};
    sources.insert(sources.end(), others.begin(), others.end());
    auto quorvel = StartQuorvelOn(sources);
    if (!port.WaitForRawReader(std::chrono::seconds(30))) {
        std::puts("quorvel never configured the port");
        return nullptr;
    }
    const std::size_t calls = player.Calls().size();
    Send(port, Play);
    if (!player.WaitForCall(calls, std::chrono::seconds(5))) {
        std::puts("no call for the first event");
        return nullptr;
    }
    return quorvel;
}

std::int64_t ProcessRig::Send(VirtualPort& port, const Event& event) {
    port.Write({event.prefix});
    SleepNs(ByteTimeNs);
    const std::int64_t at = NowNs();
    port.Write({event.code});
    return at;
}

void ProcessRig::ReportStderr() const {
    const std::string err = ReadFile(folder_ + "/quorvel.err");
    if (!err.empty()) {
        std::printf("program's standard error (%zu bytes), first lines:\n%.600s\n", err.size(),
                    err.c_str());
    }
}
