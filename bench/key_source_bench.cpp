// Key-to-player latency and the program's CPU per key on each key source, measured the same
// way in one run: the serial receiver (a pseudo-terminal), lircd (a real one, keys injected
// by SIMULATE over a connection of the bench's own, so that no process is started per key),
// an MQTT broker (a real mosquitto on loopback, Tasmota's JSON published by a client of the
// bench's own) and, where /dev/uinput can be written, an input device (a virtual remote made
// with libevdev). Each round runs one block of every source, a fresh quorvel per block, in an
// order that turns round every round. A key's latency runs from the write that completes it
// (the serial event's second byte, the SIMULATE line, the publish, the press's SYN_REPORT)
// to the player call, so lircd's and the broker's own handling is part of their paths. Keys come
// one at a time, 2 ms after the call before, cycling through play, next and previous.
//
//   quorvel_key_source_bench [EVENTS] [ROUNDS]      (defaults 1000 a block, 5 rounds)
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <mosquitto.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "bench/process_rig.h"
#include "tests/lircd/lircd_rig.h"
#include "tests/mqtt/mosquitto_rig.h"

namespace {

// The kernel's name and code of the key an event stands for.
struct KernelKey {
    const char* name;
    unsigned int code;
};

KernelKey KernelKeyOf(const Event& e) {
    if (e.code == Play.code) {
        return {"KEY_PLAYPAUSE", KEY_PLAYPAUSE};
    }
    return e.code == Next.code ? KernelKey{"KEY_NEXTSONG", KEY_NEXTSONG}
                               : KernelKey{"KEY_PREVIOUSSONG", KEY_PREVIOUSSONG};
}

// One way keys reach the program.
class KeyPath {
  public:
    virtual ~KeyPath() = default;
    virtual const char* Name() const = 0;
    // Starts quorvel reading this source and returns once keys can reach it; exits, having
    // said why, if they never can.
    virtual std::unique_ptr<ChildProcess> Start(ProcessRig& rig) = 0;
    // Sends a key; returns the time just before the write that completes it.
    virtual std::int64_t Send(const Event& e) = 0;
    // What follows the player call before the next key: the key's release, lircd's reply.
    virtual void Finish() {}
    // The CPU time of the path's other process (lircd, the broker), if it has one.
    virtual std::int64_t HelperCpuNs() const { return 0; }
    virtual const char* HelperName() const { return "lircd"; }
};

class SerialPath : public KeyPath {
  public:
    const char* Name() const override { return "serial"; }
    std::unique_ptr<ChildProcess> Start(ProcessRig& rig) override {
        // A fresh terminal: one the last program left raw would look configured at once.
        port_ = VirtualPort::CreatePty();
        auto quorvel = rig.StartQuorvelOn({"--port", port_->readerPath()});
        if (!port_->WaitForRawReader(std::chrono::seconds(30))) {
            std::puts("serial: quorvel never configured the port");
            std::exit(1);
        }
        return quorvel;
    }
    std::int64_t Send(const Event& e) override { return ProcessRig::Send(*port_, e); }

  private:
    std::unique_ptr<VirtualPort> port_;
};

class LircdPath : public KeyPath {
  public:
    LircdPath() {
        if (!lircd_.Start()) {
            std::printf("lircd: %s\n", lircd_.Error().c_str());
            std::exit(1);
        }
    }
    ~LircdPath() override { Disconnect(); }
    const char* Name() const override { return "lircd"; }

    std::unique_ptr<ChildProcess> Start(ProcessRig& rig) override {
        Disconnect();
        // lircd logs a client's coming and going once it notices; the last block's clients
        // must be gone before the count says quorvel is there.
        AwaitClients(0, "the last block's clients never left");
        auto quorvel = rig.StartQuorvelOn({"--lircd=" + lircd_.Socket()});
        AwaitClients(1, "quorvel never connected");
        // Connected after quorvel, so that lircd writes each key to quorvel first and only
        // then to the bench.
        Connect();
        return quorvel;
    }

    std::int64_t Send(const Event& e) override {
        const std::string line =
            std::string("SIMULATE 0000000000000001 00 ") + KernelKeyOf(e).name + " remote\n";
        const std::int64_t at = NowNs();
        if (::write(fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            std::puts("lircd: the SIMULATE line was not written");
            std::exit(1);
        }
        return at;
    }

    // Reads lircd's reply to the SIMULATE (the key's own broadcast comes here too).
    void Finish() override {
        for (;;) {
            const std::size_t end = pending_.find("\nEND\n");
            if (end != std::string::npos) {
                const bool success = pending_.find("\nSUCCESS\n") < end;
                pending_.erase(0, end + 5);
                if (!success) {
                    std::puts("lircd: SIMULATE was refused");
                    std::exit(1);
                }
                return;
            }
            char buffer[512];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) {
                std::puts("lircd: the bench's connection ended");
                std::exit(1);
            }
            pending_.append(buffer, static_cast<std::size_t>(n));
        }
    }

    std::int64_t HelperCpuNs() const override { return ReadUsage(lircd_.Pid()).cpuNs; }

  private:
    void AwaitClients(int count, const char* otherwise) const {
        const std::int64_t deadline = NowNs() + 30'000'000'000LL;
        while (lircd_.Clients() != count) {
            if (NowNs() > deadline) {
                std::printf("lircd: %s\n", otherwise);
                std::exit(1);
            }
            SleepNs(10'000'000);
        }
    }
    void Connect() {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, lircd_.Socket().c_str(), sizeof address.sun_path - 1);
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            std::printf("lircd: cannot connect: %s\n", std::strerror(errno));
            std::exit(1);
        }
        pending_.clear();
    }
    void Disconnect() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    LircdRig lircd_;
    int fd_ = -1;
    std::string pending_;
};

class MqttPath : public KeyPath {
  public:
    static constexpr const char* Topic = "tele/bench/RESULT";

    MqttPath() {
        if (!broker_.Start()) {
            std::printf("mqtt: %s\n", broker_.Error().c_str());
            std::exit(1);
        }
        keys_ = broker_.Folder().FilePath("keys.conf");
        std::FILE* keys = std::fopen(keys_.c_str(), "w");
        for (const Event& e : KeyEvents) {
            std::fprintf(keys, "key NEC_00FF%04X %s\n", e.code, ActionOf(e));
        }
        std::fclose(keys);
        mosquitto_lib_init();
        client_ = mosquitto_new("bench", true, nullptr);
        if (mosquitto_connect(client_, "127.0.0.1", broker_.Port(), 600) != MOSQ_ERR_SUCCESS) {
            std::puts("mqtt: the bench cannot connect to its broker");
            std::exit(1);
        }
    }
    ~MqttPath() override { mosquitto_destroy(client_); }
    const char* Name() const override { return "mqtt"; }
    const char* HelperName() const override { return "the broker"; }

    std::unique_ptr<ChildProcess> Start(ProcessRig& rig) override {
        const std::size_t subscribed = broker_.Logged("Sending SUBACK to quorvel-");
        auto quorvel =
            rig.StartQuorvelOn({"--mqtt", broker_.Url(), "--mqtt-topic", Topic, "--keys", keys_});
        const std::int64_t deadline = NowNs() + 30'000'000'000LL;
        while (broker_.Logged("Sending SUBACK to quorvel-") == subscribed) {
            if (NowNs() > deadline) {
                std::puts("mqtt: quorvel never subscribed");
                std::exit(1);
            }
            SleepNs(10'000'000);
        }
        return quorvel;
    }

    std::int64_t Send(const Event& e) override {
        // A bridge's code again within 250 ms is a held key: the same key twice in a row (the
        // last warm-up key and the first measured) waits that out.
        if (e.code == last_) {
            SleepNs(300'000'000);
        }
        last_ = e.code;
        char payload[128];
        const int size = std::snprintf(
            payload, sizeof payload,
            R"({"IrReceived":{"Protocol":"NEC","Bits":32,"Data":"0x00FF%04X","Repeat":0}})",
            e.code);
        const std::int64_t at = NowNs();
        if (mosquitto_publish(client_, nullptr, Topic, size, payload, 0, false) !=
            MOSQ_ERR_SUCCESS) {
            std::puts("mqtt: the key was not published");
            std::exit(1);
        }
        return at;
    }
    // The bench's own client keeps its connection.
    void Finish() override { mosquitto_loop(client_, 0, 1); }
    std::int64_t HelperCpuNs() const override { return ReadUsage(broker_.Pid()).cpuNs; }

  private:
    static const char* ActionOf(const Event& e) {
        return e.code == Play.code ? "play-pause" : e.code == Next.code ? "next" : "previous";
    }
    MosquittoRig broker_;
    std::string keys_;
    mosquitto* client_ = nullptr;
    int last_ = -1;
};

class EvdevPath : public KeyPath {
  public:
    static constexpr const char* DeviceName = "Quorvel bench remote";

    EvdevPath() {
        remote_ = libevdev_new();
        libevdev_set_name(remote_, DeviceName);
        for (const Event& e : KeyEvents) {
            libevdev_enable_event_code(remote_, EV_KEY, KernelKeyOf(e).code, nullptr);
        }
        const int error =
            libevdev_uinput_create_from_device(remote_, LIBEVDEV_UINPUT_OPEN_MANAGED, &uinput_);
        if (error != 0) {
            std::printf("evdev: no virtual remote: %s\n", std::strerror(-error));
            std::exit(1);
        }
    }
    ~EvdevPath() override {
        libevdev_uinput_destroy(uinput_);
        libevdev_free(remote_);
    }
    const char* Name() const override { return "evdev"; }

    std::unique_ptr<ChildProcess> Start(ProcessRig& rig) override {
        auto quorvel = rig.StartQuorvelOn({"--input", std::string("name=") + DeviceName});
        // No sign from outside says when the device is open: press until a key gets through,
        // then let any press still on its way arrive.
        const std::size_t calls = rig.player.Calls().size();
        const std::int64_t deadline = NowNs() + 30'000'000'000LL;
        while (!rig.player.WaitForCall(calls, std::chrono::milliseconds(100))) {
            if (NowNs() > deadline) {
                std::puts("evdev: no key reached quorvel");
                std::exit(1);
            }
            Send(Play);
            Finish();
        }
        SleepNs(300'000'000);
        return quorvel;
    }

    std::int64_t Send(const Event& e) override {
        libevdev_uinput_write_event(uinput_, EV_KEY, KernelKeyOf(e).code, 1);
        last_ = KernelKeyOf(e).code;
        const std::int64_t at = NowNs();
        libevdev_uinput_write_event(uinput_, EV_SYN, SYN_REPORT, 0);
        return at;
    }
    void Finish() override {
        libevdev_uinput_write_event(uinput_, EV_KEY, last_, 0);
        libevdev_uinput_write_event(uinput_, EV_SYN, SYN_REPORT, 0);
    }

  private:
    libevdev* remote_ = nullptr;
    libevdev_uinput* uinput_ = nullptr;
    unsigned int last_ = 0;
};

// What one path gave over the run, and in each round.
struct Tally {
    std::vector<std::int64_t> latencies;
    std::vector<double> p50ByRound;
    std::int64_t cpuNs = 0;
    std::int64_t helperCpuNs = 0;
    int keys = 0;

    double CpuPerKeyUs() const { return cpuNs / 1e3 / keys; }
    double HelperPerKeyUs() const { return helperCpuNs / 1e3 / keys; }
};

// One block: a fresh quorvel on the path, 100 keys to warm up, then events measured keys.
void RunBlock(ProcessRig& rig, KeyPath& path, int events, int round, Tally& tally) {
    auto quorvel = path.Start(rig);
    std::size_t next = rig.player.Calls().size();
    std::vector<std::int64_t> block;
    auto sendOne = [&](const Event& e, bool keep) {
        const std::int64_t sent = path.Send(e);
        const auto call = rig.player.WaitForCall(next, std::chrono::seconds(5));
        if (!call || !IsCallOf(*call, e)) {
            std::printf("%s call %zu: expected %s, got %s\n", path.Name(), next, e.call,
                        call ? call->text.c_str() : "nothing in 5 s");
            std::exit(1);
        }
        ++next;
        if (keep) {
            block.push_back(call->atNs - sent);
        }
        path.Finish();
        // Let the program finish the key's history writes and go back to sleep.
        SleepNs(2'000'000);
    };
    for (int i = 0; i < 100; ++i) {
        sendOne(KeyEvents[i % KeyEvents.size()], false);
    }
    const Usage before = ReadUsage(quorvel->Pid());
    const std::int64_t helperBefore = path.HelperCpuNs();
    for (int i = 0; i < events; ++i) {
        sendOne(KeyEvents[i % KeyEvents.size()], true);
    }
    const Usage after = ReadUsage(quorvel->Pid());
    const std::int64_t helperCpu = path.HelperCpuNs() - helperBefore;
    quorvel->Stop(SIGTERM);

    const double cpuPerKey = (after.cpuNs - before.cpuNs) / 1e3 / events;
    std::printf("round %d %-6s p50 %6.1f us  p99 %7.1f us  cpu/key %6.1f us", round, path.Name(),
                Percentile(block, 0.5) / 1e3, Percentile(block, 0.99) / 1e3, cpuPerKey);
    if (helperCpu > 0) {
        std::printf("  (+ %s %.1f us)", path.HelperName(), helperCpu / 1e3 / events);
    }
    std::printf("\n");
    tally.latencies.insert(tally.latencies.end(), block.begin(), block.end());
    tally.p50ByRound.push_back(Percentile(block, 0.5));
    tally.cpuNs += after.cpuNs - before.cpuNs;
    tally.helperCpuNs += helperCpu;
    tally.keys += events;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void PrintAgainstSerial(const KeyPath& path, const Tally& t, const Tally& serial) {
    const char* name = path.Name();
    std::vector<double> ratios;
    for (std::size_t i = 0; i < t.p50ByRound.size(); ++i) {
        ratios.push_back(t.p50ByRound[i] / serial.p50ByRound[i]);
    }
    const double p50Ratio = Percentile(t.latencies, 0.5) / Percentile(serial.latencies, 0.5);
    const double cpuRatio = t.CpuPerKeyUs() / serial.CpuPerKeyUs();
    std::printf("%s/serial: p50 %.2fx (rounds: median %.2fx, %.2f-%.2fx)  cpu/key %.2fx", name,
                p50Ratio, Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), cpuRatio);
    if (t.helperCpuNs > 0) {
        std::printf(", with %s's %.2fx", path.HelperName(),
                    (t.CpuPerKeyUs() + t.HelperPerKeyUs()) / serial.CpuPerKeyUs());
    }
    std::printf("  within 1.25x: latency %s, cpu %s\n", p50Ratio <= 1.25 ? "yes" : "NO",
                cpuRatio <= 1.25 ? "yes" : "NO");
}

}  // namespace

int main(int argc, char** argv) {
    const int events = NumberArgument(argc, argv, 1, 1000);
    const int rounds = NumberArgument(argc, argv, 2, 5);
    ProcessRig rig;
    if (!LircdRig::Available()) {
        std::puts("lircd and irsend are not installed (Debian's lirc package)");
        return 1;
    }
    std::vector<std::unique_ptr<KeyPath>> paths;
    paths.push_back(std::make_unique<SerialPath>());
    paths.push_back(std::make_unique<LircdPath>());
    if (MosquittoRig::Available()) {
        paths.push_back(std::make_unique<MqttPath>());
    } else {
        std::puts("mqtt: SKIPPED, mosquitto and its clients are not installed");
    }
    const bool evdev = ::access("/dev/uinput", W_OK) == 0;
    if (evdev) {
        paths.push_back(std::make_unique<EvdevPath>());
    } else {
        std::puts(
            "evdev: SKIPPED, this machine has no writable /dev/uinput, so no virtual "
            "remote can be made; only the other sources are measured");
    }
    std::vector<Tally> tallies(paths.size());
    PrintLoad("at start");
    for (int round = 1; round <= rounds; ++round) {
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const std::size_t at = (i + static_cast<std::size_t>(round - 1)) % paths.size();
            RunBlock(rig, *paths[at], events, round, tallies[at]);
        }
        PrintLoad("after the round");
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const Tally& t = tallies[i];
        PrintLatency(paths[i]->Name(), t.latencies);
        std::printf("%-9s cpu per key %.1f us", "", t.CpuPerKeyUs());
        if (t.helperCpuNs > 0) {
            std::printf(", %s's own %.1f us", paths[i]->HelperName(), t.HelperPerKeyUs());
        }
        std::printf("\n");
    }
    for (std::size_t i = 1; i < paths.size(); ++i) {
        PrintAgainstSerial(*paths[i], tallies[i], tallies[0]);
    }
    if (!evdev) {
        std::puts("evdev: SKIPPED (no writable /dev/uinput)");
    }
    rig.ReportStderr();
    return 0;
}
