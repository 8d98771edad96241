#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/player/child_process.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_process.h"
#include "tools/virtual_port.h"

// Shared by the benchmarks that measure the real quorvel program from outside: it runs as a
// child process reading a pseudo-terminal of ours, on a dbus-daemon of ours, commanding the
// stand-in player, which timestamps every call the moment it arrives.

// How long one byte takes at 9600 baud, 8N1: ten bits.
inline constexpr std::int64_t ByteTimeNs = 1'000'000'000LL * 10 / 9600;

void SleepNs(std::int64_t ns);

// The number in argv[index], or fallback when there is none; and whether a word is there.
int NumberArgument(int argc, char** argv, int index, int fallback);
bool HasWord(int argc, char** argv, const std::string& word);

// CPU time and context switches of a process, summed over its live threads.
struct Usage {
    std::int64_t cpuNs = 0;  // from each thread's schedstat, in nanoseconds
    long ticks = 0;          // utime + stime of the process, in clock ticks
    long voluntary = 0;
    long involuntary = 0;
    std::map<std::string, std::pair<long, long>> switchesByThread;  // "tid name" -> (vol, invol)
    std::map<std::string, std::int64_t> cpuByThread;
};

Usage ReadUsage(pid_t pid);
void PrintThreadDeltas(const Usage& before, const Usage& after);
double Percentile(std::vector<std::int64_t> values, double p);
void PrintLatency(const char* what, const std::vector<std::int64_t>& ns);
void PrintLoad(const char* when);

// An event the receiver sends: its two bytes, the line it shows, and how the player's
// record of the command it makes starts (nullptr when it commands nothing).
struct Event {
    std::uint8_t prefix;
    std::uint8_t code;
    const char* line;
    const char* call;
};

extern const Event Play;
extern const Event Prev;
extern const Event Next;
extern const Event VolumeUp;
extern const Event HeldVolumeUp;
extern const Event VolumeDown;
// Play, next and previous, in turn.
extern const std::vector<Event> KeyEvents;
// Every kind of two-byte event: keys, held keys, an unknown key.
extern const std::vector<Event> MixedEvents;
// Events that command nothing: what the program costs without the player.
extern const std::vector<Event> SilentEvents;

// Whether a call the player recorded is the one an event makes.
bool IsCallOf(const StandInRequest& call, const Event& event);

// The program, its bus, its player and a folder for its standard error, for one run.
// QUORVEL_BENCH_PROGRAM names another quorvel to measure (an older build, say) instead of
// the one built with the bench.
class ProcessRig {
  public:
    static constexpr const char* PlayerName = "quorvelbench";

    // window: the program runs with its window (QT_QPA_PLATFORM=offscreen) instead of
    // --console; its history then cannot be read from outside, only its player calls.
    // Exits, having said why, when the bus or the player cannot be started.
    explicit ProcessRig(bool window = false);
    ~ProcessRig();

    PrivateBus bus;
    StandInProcess player{bus, {PlayerName, "Bench"}};

    // Starts count more stand-ins, named after the bench's player so that it stays the first
    // by bus name, and runs quorvel without --player: every press then asks each player
    // for its status before the command.
    void AddPlayers(int count);

    std::map<std::string, std::optional<std::string>> Environment() const;
    // quorvel --port port --player quorvelbench (unless players were added), its standard
    // output read line by line.
    std::unique_ptr<ChildProcess> StartQuorvel(const std::string& port) const;
    // The same on another key source: source holds its options ("--lircd=SOCKET").
    std::unique_ptr<ChildProcess> StartQuorvelOn(const std::vector<std::string>& source) const;
    // Starts quorvel on port (and on others: more options naming key sources) and sends one
    // key, so the program is past its start; null (having said why) if it never got there.
    std::unique_ptr<ChildProcess> StartPastFirstEvent(VirtualPort& port,
                                                      const std::vector<std::string>& others = {});
    // Sends one event with the line's own byte spacing; returns when the second byte went.
    static std::int64_t Send(VirtualPort& port, const Event& event);
    // Prints the start of what quorvel wrote on standard error, if anything.
    void ReportStderr() const;
    const std::string& Folder() const { return folder_; }

  private:
    bool window_;
    std::vector<std::unique_ptr<StandInProcess>> others_;
    std::string program_;
    std::string folder_;
};
