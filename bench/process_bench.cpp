// Measures the real quorvel program from outside. quorvel runs as a child process reading a
// pseudo-terminal of ours, on a dbus-daemon of ours; this process is also the media player it
// commands, so a call can be timestamped the moment it arrives.
//
//   quorvel_process_bench latency [EVENTS] [PLAYERCTL_EVERY]
//       Key presses paced one at a time: from the write of an event's second byte to the
//       player call, p50/p99/max. Every PLAYERCTL_EVERY-th event the same command also goes
//       through a `playerctl` process, from its spawn to the call.
//   quorvel_process_bench line-rate [SECONDS] [EVENTS_PER_SECOND] [window]
//       Events at a steady byte pace; events lost (lines, player calls) and CPU share.
//       "silent" sends only events that command nothing (an unknown key, a held one).
//   quorvel_process_bench idle [SECONDS] [window]
//       No input: CPU time and context switches of every thread of the program.
//   quorvel_process_bench failing-port [SECONDS]
//       --port at a path that does not exist: CPU time and the history lines, timestamped.
//
// "window" runs the program with its window (QT_QPA_PLATFORM=offscreen) instead of --console;
// its history then cannot be read from outside, only its player calls.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QVariantMap>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_clock.h"
#include "receiver/key_code_table.h"
#include "receiver/serial_line.h"
#include "tests/player/mpris_interfaces.h"
#include "tests/player/private_bus.h"

extern char** environ;

namespace {

constexpr const char* PlayerName = "quorvelbench";
const QString PlayerPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString RootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// How long one byte takes at 9600 baud, 8N1: ten bits.
constexpr std::int64_t ByteTimeNs = 1'000'000'000LL * 10 / 9600;

void SleepNs(std::int64_t ns) {
    SleepUntil(NowNs() + ns);
}

// One call the player received: a method, or "Set" for a volume write.
struct Call {
    std::string member;
    std::int64_t atNs;
};

// The media player: answers what quorvel and playerctl ask and timestamps every command.
class BenchPlayer : public QDBusVirtualObject {
  public:
    QString introspect(const QString&) const override { return MprisInterfaceXml(); }

    bool handleMessage(const QDBusMessage& m, const QDBusConnection& connection) override {
        const std::int64_t at = NowNs();
        const QString member = m.member();
        const QList<QVariant> args = m.arguments();
        if (m.interface() == PropertiesInterface) {
            if (member == QLatin1String("Get") && args.size() == 2) {
                const QVariantMap all = Properties(args[0].toString());
                const auto it = all.find(args[1].toString());
                if (it == all.end()) {
                    return connection.send(m.createErrorReply(
                        QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"), {}));
                }
                return connection.send(m.createReply(QVariant::fromValue(QDBusVariant(*it))));
            }
            if (member == QLatin1String("GetAll") && args.size() == 1) {
                return connection.send(
                    m.createReply(QVariant::fromValue(Properties(args[0].toString()))));
            }
            if (member == QLatin1String("Set") && args.size() == 3) {
                volume_ = qvariant_cast<QDBusVariant>(args[2]).variant().toDouble();
                Record("Set", at);
                return connection.send(m.createReply());
            }
        }
        if (member == QLatin1String("PlayPause") || member == QLatin1String("Previous") ||
            member == QLatin1String("Next")) {
            Record(member.toStdString(), at);
            return connection.send(m.createReply());
        }
        return connection.send(
            m.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), member));
    }

    std::size_t Count() {
        std::lock_guard lock(mutex_);
        return calls_.size();
    }

    // The call with this index, once it has arrived; none after timeoutMs.
    std::optional<Call> WaitForCall(std::size_t index, int timeoutMs) {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return calls_.size() > index; })) {
            return std::nullopt;
        }
        return calls_[index];
    }

  private:
    QVariantMap Properties(const QString& interface) const {
        if (interface == RootInterface) {
            return {{QStringLiteral("Identity"), QStringLiteral("Bench")},
                    {QStringLiteral("CanQuit"), false},
                    {QStringLiteral("CanRaise"), false}};
        }
        if (interface == PlayerInterface) {
            return {{QStringLiteral("PlaybackStatus"), QStringLiteral("Paused")},
                    {QStringLiteral("Volume"), volume_},
                    {QStringLiteral("CanControl"), true},
                    {QStringLiteral("CanPlay"), true},
                    {QStringLiteral("CanPause"), true},
                    {QStringLiteral("CanGoNext"), true},
                    {QStringLiteral("CanGoPrevious"), true},
                    {QStringLiteral("CanSeek"), false}};
        }
        return {};
    }

    void Record(std::string member, std::int64_t at) {
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(Call{std::move(member), at});
        }
        arrived_.notify_all();
    }

    double volume_ = 0.5;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Call> calls_;
};

// A pseudo-terminal whose slave quorvel opens as its port. The slave stays open here too,
// so quorvel closing or reopening it is no hang-up.
class Pty {
  public:
    Pty() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            std::perror("openpty");
            std::exit(1);
        }
        path_ = name;
    }
    ~Pty() {
        ::close(master_);
        ::close(slave_);
    }
    const std::string& Path() const { return path_; }

    // Until the reader has made the line raw (and flushed it just before), bytes would be
    // mangled or thrown away.
    bool WaitForRawReader(int timeoutMs) const {
        const std::int64_t end = NowNs() + timeoutMs * 1'000'000LL;
        while (NowNs() < end) {
            termios tio{};
            if (::tcgetattr(slave_, &tio) == 0 && (tio.c_lflag & ICANON) == 0) {
                SleepNs(100'000'000);
                return true;
            }
            SleepNs(10'000'000);
        }
        return false;
    }

    void Write(std::uint8_t byte) const {
        if (::write(master_, &byte, 1) != 1) {
            std::perror("write to the pty master");
            std::exit(1);
        }
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// A line of the child's standard output and when it was read.
struct Line {
    std::string text;
    std::int64_t atNs;
};

// A child process with its standard output read line by line on a thread of its own.
class Child {
  public:
    Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
          const std::string& stderrPath, bool captureOut) {
        std::vector<std::string> envStrings;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (env.count(entry.substr(0, entry.find('='))) == 0) {
                envStrings.push_back(entry);
            }
        }
        for (const auto& [key, value] : env) {
            envStrings.push_back(key + "=" + value);
        }
        std::vector<char*> envp;
        for (std::string& s : envStrings) {
            envp.push_back(s.data());
        }
        envp.push_back(nullptr);
        std::vector<std::string> args = argv;
        std::vector<char*> argp;
        for (std::string& s : args) {
            argp.push_back(s.data());
        }
        argp.push_back(nullptr);

        int out[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (captureOut) {
            if (::pipe2(out, O_CLOEXEC) != 0) {
                std::perror("pipe");
                std::exit(1);
            }
            posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int error =
            ::posix_spawnp(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            std::fprintf(stderr, "cannot start %s: %s\n", argp[0], std::strerror(error));
            std::exit(1);
        }
        if (captureOut) {
            ::close(out[1]);
            reader_ = std::thread([this, fd = out[0]] { ReadLines(fd); });
        }
    }

    ~Child() {
        Stop();
        if (reader_.joinable()) {
            reader_.join();
        }
    }

    pid_t Pid() const { return pid_; }

    // SIGTERM, then waits; returns the exit status.
    int Stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
        }
        return Wait();
    }

    int Wait() {
        if (pid_ <= 0) {
            return status_;
        }
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        status_ = status;
        if (reader_.joinable()) {
            reader_.join();
        }
        return status_;
    }

    std::vector<Line> Lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

  private:
    void ReadLines(int fd) {
        std::string partial;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            const std::int64_t at = NowNs();
            partial.append(buffer, static_cast<std::size_t>(n));
            std::size_t start = 0;
            std::size_t end = 0;
            std::lock_guard lock(mutex_);
            while ((end = partial.find('\n', start)) != std::string::npos) {
                lines_.push_back(Line{partial.substr(start, end - start), at});
                start = end + 1;
            }
            partial.erase(0, start);
        }
        ::close(fd);
    }

    pid_t pid_ = -1;
    int status_ = 0;
    std::thread reader_;
    std::mutex mutex_;
    std::vector<Line> lines_;
};

// CPU time and context switches of a process, summed over its live threads.
struct Usage {
    std::int64_t cpuNs = 0;  // from each thread's schedstat, in nanoseconds
    long ticks = 0;          // utime + stime of the process, in clock ticks
    long voluntary = 0;
    long involuntary = 0;
    std::map<std::string, std::pair<long, long>> switchesByThread;  // "tid name" -> (vol, invol)
    std::map<std::string, std::int64_t> cpuByThread;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
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

// An event the receiver sends: its two bytes, the line it shows, the player call it makes.
struct Event {
    std::uint8_t prefix;
    std::uint8_t code;
    const char* line;
    const char* call;  // nullptr when it commands nothing
};

const Event Play{KeyPrefix, 0x60, "PLAY!", "PlayPause"};
const Event Prev{KeyPrefix, 0x98, "PREV!", "Previous"};
const Event Next{KeyPrefix, 0x18, "NEXT!", "Next"};
const std::vector<Event> KeyEvents{Play, Next, Prev};
// Every kind of two-byte event: keys, held keys, an unknown key.
const std::vector<Event> MixedEvents{
    Play,
    Prev,
    Next,
    {KeyPrefix, 0xB0, "VOL_UP!", "Set"},
    {KeyPrefix, 0x70, "VOL_DOWN!", "Set"},
    {RepeatPrefix, 0xB0, "  >>REP>>VOL_UP!", "Set"},
    {RepeatPrefix, 0x70, "  >>REP>>VOL_DOWN!", "Set"},
    {KeyPrefix, 0x2A, "42", nullptr},
};
// Events that command nothing: what the program costs without the player.
const std::vector<Event> SilentEvents{
    {KeyPrefix, 0x2A, "42", nullptr},
    {RepeatPrefix, 0x60, "  >>REP>>96", nullptr},
};

const char* PlayerctlVerb(const std::string& call) {
    if (call == "PlayPause") {
        return "play-pause";
    }
    return call == "Next" ? "next" : "previous";
}

// The program, its port, its bus and its player, for one measurement.
struct Rig {
    PrivateBus& bus;
    BenchPlayer& player;
    std::string tempDir;
    bool window = false;
    const std::vector<Event>* lineRateEvents = &MixedEvents;

    std::map<std::string, std::string> Env() const {
        std::map<std::string, std::string> env{
            {"DBUS_SESSION_BUS_ADDRESS", bus.Address().toStdString()}};
        if (window) {
            env["QT_QPA_PLATFORM"] = "offscreen";
        }
        return env;
    }

    std::unique_ptr<Child> StartQuorvel(const std::string& port) const {
        std::vector<std::string> argv{QUORVEL_PROGRAM_PATH, "--port", port, "--player", PlayerName};
        if (!window) {
            argv.insert(argv.begin() + 1, "--console");
        }
        return std::make_unique<Child>(argv, Env(), tempDir + "/quorvel.err", !window);
    }

    // Sends one event with the line's own byte spacing; returns when the second byte went.
    static std::int64_t Send(const Pty& pty, const Event& e) {
        pty.Write(e.prefix);
        SleepNs(ByteTimeNs);
        const std::int64_t at = NowNs();
        pty.Write(e.code);
        return at;
    }
};

void ReportStderr(const Rig& rig) {
    const std::string err = ReadFile(rig.tempDir + "/quorvel.err");
    if (!err.empty()) {
        std::printf("program's standard error (%zu bytes), first lines:\n%.600s\n", err.size(),
                    err.c_str());
    }
}

int RunLatency(Rig& rig, int events, int playerctlEvery) {
    Pty pty;
    auto quorvel = rig.StartQuorvel(pty.Path());
    if (!pty.WaitForRawReader(30000)) {
        std::puts("quorvel never configured the port");
        return 1;
    }
    std::vector<std::int64_t> ours;
    std::vector<std::int64_t> theirs;
    std::vector<std::int64_t> theirsExit;
    std::size_t next = 0;
    auto sendOne = [&](const Event& e, bool keep) {
        const std::int64_t sent = Rig::Send(pty, e);
        const auto call = rig.player.WaitForCall(next, 5000);
        if (!call || call->member != e.call) {
            std::printf("event %zu: expected %s, got %s\n", next, e.call,
                        call ? call->member.c_str() : "nothing in 5 s");
            std::exit(1);
        }
        ++next;
        if (keep) {
            ours.push_back(call->atNs - sent);
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
            Child playerctl({"playerctl", "-p", PlayerName, PlayerctlVerb(e.call)}, rig.Env(),
                            rig.tempDir + "/playerctl.err", false);
            const auto call = rig.player.WaitForCall(next, 5000);
            if (!call || call->member != e.call) {
                std::printf("playerctl %zu: expected %s, got %s\n", next, e.call,
                            call ? call->member.c_str() : "nothing in 5 s");
                return 1;
            }
            ++next;
            theirs.push_back(call->atNs - start);
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
    quorvel->Stop();
    ReportStderr(rig);
    return 0;
}

// Starts quorvel on pty and sends one event, so the program is past its start; null
// (having said why) if it never got there.
std::unique_ptr<Child> StartPastFirstEvent(Rig& rig, Pty& pty) {
    auto quorvel = rig.StartQuorvel(pty.Path());
    if (!pty.WaitForRawReader(30000)) {
        std::puts("quorvel never configured the port");
        return nullptr;
    }
    Rig::Send(pty, Play);
    if (!rig.player.WaitForCall(0, 5000)) {
        std::puts("no call for the first event");
        return nullptr;
    }
    return quorvel;
}

int RunLineRate(Rig& rig, int seconds, int rate) {
    Pty pty;
    auto quorvel = StartPastFirstEvent(rig, pty);
    if (!quorvel) {
        return 1;
    }
    std::vector<const Event*> sent{&Play};
    std::size_t expectedCalls = 1;

    PrintLoad("at start");
    const Usage before = ReadUsage(quorvel->Pid());
    const std::int64_t start = NowNs();
    const std::int64_t bytePeriod = 1'000'000'000LL / (2LL * rate);
    const std::int64_t total = static_cast<std::int64_t>(seconds) * rate;
    std::int64_t worstLateNs = 0;
    Usage window = before;
    std::int64_t windowStart = start;
    double worstWindowShare = 0;
    for (std::int64_t i = 0; i < total; ++i) {
        const Event& e =
            (*rig.lineRateEvents)[static_cast<std::size_t>(i) % rig.lineRateEvents->size()];
        for (int b = 0; b < 2; ++b) {
            const std::int64_t due = start + (2 * i + b) * bytePeriod;
            SleepUntil(due);
            worstLateNs = std::max(worstLateNs, NowNs() - due);
            pty.Write(b == 0 ? e.prefix : e.code);
        }
        sent.push_back(&e);
        expectedCalls += e.call != nullptr ? 1 : 0;
        // The share over each 10 s, to see whether it creeps up as the history grows.
        if ((i + 1) % (10LL * rate) == 0) {
            const Usage now = ReadUsage(quorvel->Pid());
            const std::int64_t at = NowNs();
            worstWindowShare =
                std::max(worstWindowShare, static_cast<double>(now.cpuNs - window.cpuNs) /
                                               static_cast<double>(at - windowStart));
            window = now;
            windowStart = at;
        }
    }
    const std::int64_t sendEnd = NowNs();
    const Usage after = ReadUsage(quorvel->Pid());
    PrintLoad("at end");

    // Let the last calls arrive.
    rig.player.WaitForCall(expectedCalls - 1, 5000);
    SleepNs(500'000'000);
    const std::size_t calls = rig.player.Count();
    quorvel->Stop();

    const double elapsed = static_cast<double>(sendEnd - start) / 1e9;
    std::printf("sent %" PRId64
                " events in %.1f s (%.1f a second), writer late by at most %.2f ms\n",
                total, elapsed, static_cast<double>(total) / elapsed, worstLateNs / 1e6);
    std::printf("player calls: expected %zu, received %zu, lost %zd\n", expectedCalls, calls,
                static_cast<std::ptrdiff_t>(expectedCalls) - static_cast<std::ptrdiff_t>(calls));
    if (!rig.window) {
        // The history in a pipe: every final line once; the waiting line between events is
        // replaced by the event, so the event lines are the whole history after the start.
        std::vector<Line> lines = quorvel->Lines();
        std::size_t matched = 0;
        std::size_t other = 0;
        std::size_t at = 0;
        for (const Line& line : lines) {
            if (at < sent.size() && line.text == sent[at]->line) {
                ++matched;
                ++at;
            } else {
                ++other;
            }
        }
        std::printf(
            "history lines: %zu, matching the events sent in order %zu of %zu, other %zu"
            ", events lost %zd\n",
            lines.size(), matched, sent.size(), other,
            static_cast<std::ptrdiff_t>(sent.size()) - static_cast<std::ptrdiff_t>(matched));
    }
    std::printf(
        "cpu: %.3f s over %.1f s = %.2f %% of one core (ticks: %.2f %%); worst 10 s window "
        "%.2f %%\n",
        (after.cpuNs - before.cpuNs) / 1e9, elapsed,
        100.0 * static_cast<double>(after.cpuNs - before.cpuNs) / (elapsed * 1e9),
        100.0 * static_cast<double>(after.ticks - before.ticks) /
            (elapsed * static_cast<double>(::sysconf(_SC_CLK_TCK))),
        100.0 * worstWindowShare);
    std::printf("context switches: voluntary %ld, involuntary %ld\n",
                after.voluntary - before.voluntary, after.involuntary - before.involuntary);
    PrintThreadDeltas(before, after);
    ReportStderr(rig);
    return 0;
}

int RunIdle(Rig& rig, int seconds) {
    Pty pty;
    auto quorvel = StartPastFirstEvent(rig, pty);
    if (!quorvel) {
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
    quorvel->Stop();
    ReportStderr(rig);
    return 0;
}

int RunFailingPort(Rig& rig, int seconds) {
    const std::int64_t start = NowNs();
    auto quorvel = rig.StartQuorvel("/nonexistent/quorvel-bench-port");
    SleepNs(1'000'000'000);
    const Usage before = ReadUsage(quorvel->Pid());
    const std::int64_t from = NowNs();
    SleepNs(static_cast<std::int64_t>(seconds) * 1'000'000'000LL);
    const Usage after = ReadUsage(quorvel->Pid());
    const std::int64_t to = NowNs();
    quorvel->Stop();
    const std::vector<Line> lines = quorvel->Lines();
    std::size_t inWindow = 0;
    std::size_t errors = 0;
    for (const Line& line : lines) {
        if (line.atNs >= from && line.atNs < to) {
            ++inWindow;
            errors += line.text == SerialLine::ReadErrorText ? 1 : 0;
        }
    }
    std::printf(
        "failing port, %.1f s from 1 s after start: cpu %.3f ms = %.3f %% of one core; "
        "since start %.3f ms\n",
        (to - from) / 1e9, (after.cpuNs - before.cpuNs) / 1e6,
        100.0 * static_cast<double>(after.cpuNs - before.cpuNs) / static_cast<double>(to - from),
        after.cpuNs / 1e6);
    std::printf("history lines in that time: %zu (%zu read errors); in all %zu:\n", inWindow,
                errors, lines.size());
    for (const Line& line : lines) {
        std::printf("  %8.3f s  %s\n", (line.atNs - start) / 1e9, line.text.c_str());
    }
    ReportStderr(rig);
    return 0;
}

int PrintUsage(const char* program) {
    std::fprintf(stderr,
                 "usage: %s latency [EVENTS] [PLAYERCTL_EVERY]\n"
                 "       %s line-rate [SECONDS] [EVENTS_PER_SECOND] [window] [silent]\n"
                 "       %s idle [SECONDS] [window]\n"
                 "       %s failing-port [SECONDS]\n",
                 program, program, program, program);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return PrintUsage(argv[0]);
    }
    const std::string mode = args[0];
    auto number = [&](std::size_t i, int fallback) {
        return args.size() > i && std::isdigit(static_cast<unsigned char>(args[i][0]))
                   ? std::stoi(args[i])
                   : fallback;
    };
    const bool window = std::find(args.begin(), args.end(), "window") != args.end();

    // The bus, and this process as the player on it; the player answers on this thread.
    PrivateBus bus;
    if (!bus.Started()) {
        std::fprintf(stderr, "no private bus: %s\n", qPrintable(bus.Error()));
        return 1;
    }
    QDBusConnection connection =
        QDBusConnection::connectToBus(bus.Address(), QStringLiteral("bench-player"));
    BenchPlayer player;
    if (!connection.registerVirtualObject(PlayerPath, &player) ||
        !connection.registerService(QStringLiteral("org.mpris.MediaPlayer2.") +
                                    QString::fromLatin1(PlayerName))) {
        std::fprintf(stderr, "cannot export the player: %s\n",
                     qPrintable(connection.lastError().message()));
        return 1;
    }
    char dirTemplate[] = "/tmp/quorvel-bench-XXXXXX";
    Rig rig{bus, player, ::mkdtemp(dirTemplate), window};
    if (std::find(args.begin(), args.end(), "silent") != args.end()) {
        rig.lineRateEvents = &SilentEvents;
    }
    std::printf("quorvel %s, %s; temp %s\n", QUORVEL_PROGRAM_PATH,
                window ? "window (offscreen)" : "console", rig.tempDir.c_str());

    int status = 2;
    std::thread driver([&] {
        if (mode == "latency") {
            status = RunLatency(rig, number(1, 10000), number(2, 10));
        } else if (mode == "line-rate") {
            status = RunLineRate(rig, number(1, 600), number(2, 480));
        } else if (mode == "idle") {
            status = RunIdle(rig, number(1, 60));
        } else if (mode == "failing-port") {
            status = RunFailingPort(rig, number(1, 10));
        } else {
            status = PrintUsage(argv[0]);
        }
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    driver.join();
    connection.unregisterObject(PlayerPath);
    return status;
}
