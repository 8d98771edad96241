#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "input/device_finder.h"
#include "input/evdev_decoder.h"
#include "input/input_device.h"
#include "input/input_source.h"
#include "tests/doubles/log_capture.h"

namespace {

std::string Shown(const KeyEvent& event) {
    const char* action = event.action == KeyAction::Press    ? "down "
                         : event.action == KeyAction::Repeat ? "held "
                                                             : "up ";
    return action + event.key.Text() +
           (event.scancode ? "/" + Key::Scancode(*event.scancode).Text() : std::string());
}

constexpr RawInputEvent Syn{EV_SYN, SYN_REPORT, 0};
constexpr RawInputEvent Dropped{EV_SYN, SYN_DROPPED, 0};
constexpr RawInputEvent Scan(int value) {
    return {EV_MSC, MSC_SCAN, value};
}
constexpr RawInputEvent KeyValue(unsigned code, int value) {
    return {EV_KEY, code, value};
}

// Recorded streams, as an IR receiver and a keyboard send them.
TEST(EvdevDecoder, TurnsEventStreamsIntoKeys) {
    const struct {
        const char* name;
        std::vector<RawInputEvent> events;
        std::set<unsigned> downAfterDrop;
        std::vector<std::string> keys;
    } cases[] = {
        {"press, autorepeat, release",
         {KeyValue(KEY_PLAYPAUSE, 1), Syn, KeyValue(KEY_PLAYPAUSE, 2), Syn,
          KeyValue(KEY_PLAYPAUSE, 2), Syn, KeyValue(KEY_PLAYPAUSE, 0), Syn},
         {},
         {"down KEY_PLAYPAUSE", "held KEY_PLAYPAUSE", "held KEY_PLAYPAUSE", "up KEY_PLAYPAUSE"}},
        {"an IR receiver's scancode goes with the key, and with its repeats",
         {Scan(0x800f0422), KeyValue(KEY_NEXTSONG, 1), Syn, KeyValue(KEY_NEXTSONG, 2), Syn,
          KeyValue(KEY_NEXTSONG, 0), Syn},
         {},
         {"down KEY_NEXTSONG/scan:0x800f0422", "held KEY_NEXTSONG/scan:0x800f0422",
          "up KEY_NEXTSONG/scan:0x800f0422"}},
        {"a key the kernel maps to nothing is its scancode",
         {Scan(0x800f0460), KeyValue(KEY_UNKNOWN, 1), Syn, KeyValue(KEY_UNKNOWN, 0), Syn},
         {},
         {"down scan:0x800f0460", "up scan:0x800f0460"}},
        {"a scancode does not outlive its frame",
         {Scan(0x10), Syn, KeyValue(KEY_OK, 1), Syn},
         {},
         {"down KEY_OK"}},
        {"a release of a key never seen down is nothing; a repeat of one is its press",
         {KeyValue(KEY_OK, 0), Syn, KeyValue(KEY_VOLUMEUP, 2), Syn},
         {},
         {"down KEY_VOLUMEUP"}},
        {"after SYN_DROPPED the frame is dropped and the state taken again",
         {KeyValue(KEY_VOLUMEUP, 1), Syn, KeyValue(KEY_MUTE, 1), Dropped, KeyValue(KEY_MUTE, 0),
          Syn},
         {KEY_STOP},
         {"down KEY_VOLUMEUP", "down KEY_MUTE", "up KEY_MUTE", "up KEY_VOLUMEUP", "down KEY_STOP"}},
    };
    for (const auto& c : cases) {
        EvdevDecoder decoder(KernelKeyName);
        std::vector<KeyEvent> out;
        for (const RawInputEvent& event : c.events) {
            decoder.Take(event, out);
        }
        if (decoder.NeedsResync()) {
            decoder.Resync(c.downAfterDrop, out);
        }
        std::vector<std::string> keys;
        for (const KeyEvent& event : out) {
            keys.push_back(Shown(event));
            EXPECT_TRUE(event.releases) << c.name;  // a hold of it lasts until it goes up
        }
        EXPECT_EQ(keys, c.keys) << c.name;
    }
}

// Readable while it holds something: an eventfd set to its count.
class Readable {
  public:
    Readable() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Readable() { ::close(fd_); }
    int Fd() const { return fd_; }
    void Set(bool readable) {
        std::uint64_t value = 0;
        [[maybe_unused]] ssize_t n = ::read(fd_, &value, sizeof value);
        value = 1;
        if (readable) {
            n = ::write(fd_, &value, sizeof value);
        }
    }

  private:
    int fd_;
};

// What the fake devices of a test share: their events, and what happened to them.
struct FakeMachine {
    std::map<std::string, std::deque<RawInputEvent>> events;
    std::set<std::string> unplugged;
    std::map<std::string, int> refusals;  // opens that fail with EACCES first
    std::map<std::string, int> grabError;
    std::map<std::string, std::set<unsigned>> down;
    std::vector<std::string> grabbed;
    std::vector<std::string> opened;
};

class FakeDevice : public InputDevice {
  public:
    FakeDevice(FakeMachine& machine, std::string path) : machine_(machine), path_(std::move(path)) {
        Refresh();
    }
    int Fd() const override { return readable_.Fd(); }
    Status Next(RawInputEvent& event, int& error) override {
        auto& queue = machine_.events[path_];
        if (machine_.unplugged.count(path_) != 0) {
            error = ENODEV;
            return Status::Failed;
        }
        if (queue.empty()) {
            readable_.Set(false);
            return Status::Again;
        }
        event = queue.front();
        queue.pop_front();
        return Status::Event;
    }
    std::set<unsigned> KeysDown() const override { return machine_.down[path_]; }
    int Grab() override {
        machine_.grabbed.push_back(path_);
        return machine_.grabError[path_];
    }
    void Refresh() { readable_.Set(true); }

  private:
    FakeMachine& machine_;
    std::string path_;
    Readable readable_;
};

class FakeFinder : public DeviceFinder {
  public:
    explicit FakeFinder(std::vector<InputNode> nodes) : nodes_(std::move(nodes)) {}
    std::vector<InputNode> List() override { return nodes_; }
    int Fd() const override { return readable_.Fd(); }
    std::vector<Change> Changes() override {
        readable_.Set(false);
        return std::exchange(changes_, {});
    }
    void Plug(const InputNode& node, bool added) {
        changes_.push_back({added, node});
        readable_.Set(true);
    }

  private:
    std::vector<InputNode> nodes_;
    std::vector<Change> changes_;
    Readable readable_;
};

const InputNode Receiver{"/dev/input/event5", "MCE IR Keyboard/Mouse", {}, true};
const InputNode ReceiverKeys{"/dev/input/event6", "MCE IR Keyboard/Mouse", {}, true};
const InputNode Keyboard{"/dev/input/event2", "AT Translated Set 2 keyboard", {}, true};

struct Rig {
    explicit Rig(std::vector<std::string> wanted, std::vector<InputNode> there = {},
                 bool grab = true) {
        auto owned = std::make_unique<FakeFinder>(std::move(there));
        finder = owned.get();
        source = std::make_unique<InputSource>(
            std::move(wanted), grab, std::move(owned),
            [this](const std::string& path, int& error) -> std::unique_ptr<InputDevice> {
                if (machine.refusals[path] > 0) {
                    --machine.refusals[path];
                    error = EACCES;
                    return nullptr;
                }
                machine.opened.push_back(path);
                auto device = std::make_unique<FakeDevice>(machine, path);
                devices[path] = device.get();
                return device;
            });
    }
    // The next item, as text.
    std::string Next() {
        const SourceItem item = source->Next();
        if (const auto* event = std::get_if<KeyEvent>(&item)) {
            return Shown(*event);
        }
        if (const auto* condition = std::get_if<SourceCondition>(&item)) {
            return condition->kind == SourceCondition::Kind::Lost   ? "lost"
                   : condition->kind == SourceCondition::Kind::Back ? "back"
                                                                    : "other condition";
        }
        return "other";
    }
    // Makes a device readable again after the test queued more events.
    void Refresh(const std::string& path) { devices.at(path)->Refresh(); }
    FakeMachine machine;
    std::map<std::string, FakeDevice*> devices;
    FakeFinder* finder;
    std::unique_ptr<InputSource> source;
};

// Every device of a name is read, and a device of another name is left alone.
TEST(InputSource, ReadsEveryDeviceOfTheNameAndGrabsEach) {
    Rig rig({"name=MCE IR Keyboard/Mouse"}, {Keyboard, Receiver, ReceiverKeys});
    rig.machine.events[ReceiverKeys.devnode] = {KeyValue(KEY_PLAYPAUSE, 1), Syn};
    rig.machine.grabError[Receiver.devnode] = EBUSY;
    LogCapture log;
    rig.source->Open();
    EXPECT_TRUE(rig.source->Configure().empty());
    EXPECT_EQ(rig.machine.opened,
              (std::vector<std::string>{Receiver.devnode, ReceiverKeys.devnode}));
    EXPECT_EQ(rig.machine.grabbed, rig.machine.opened);
    EXPECT_EQ(log.Count("another program holds it"), 1);
    EXPECT_EQ(rig.Next(), "down KEY_PLAYPAUSE");
}

// Absent at start, then plugged in: refused while the seat's access is not yet granted,
// then read; unplugged, said once, releasing what it held; back when it returns.
TEST(InputSource, FollowsHotplugAndRetriesAPermissionRefusedAtFirst) {
    Rig rig({"name=MCE IR Keyboard/Mouse"});
    rig.source->Open();
    const std::vector<SourceCondition> absent = rig.source->Configure();
    ASSERT_EQ(absent.size(), 1u);
    EXPECT_EQ(absent[0].kind, SourceCondition::Kind::Absent);

    rig.machine.refusals[Receiver.devnode] = 2;
    rig.machine.events[Receiver.devnode] = {KeyValue(KEY_VOLUMEUP, 1), Syn};
    rig.finder->Plug(Receiver, true);
    EXPECT_EQ(rig.Next(), "back");
    EXPECT_EQ(rig.Next(), "down KEY_VOLUMEUP");

    rig.machine.unplugged.insert(Receiver.devnode);
    rig.finder->Plug(Receiver, false);
    EXPECT_EQ(rig.Next(), "up KEY_VOLUMEUP");
    EXPECT_EQ(rig.Next(), "lost");
    rig.machine.unplugged.clear();
    rig.machine.events[Receiver.devnode] = {KeyValue(KEY_MUTE, 1), Syn};
    rig.finder->Plug(Receiver, true);
    EXPECT_EQ(rig.Next(), "back");
    EXPECT_EQ(rig.Next(), "down KEY_MUTE");
}

// The grab waits until no key of the device is down, so the desktop sees every release;
// without grab, none.
TEST(InputSource, GrabsOnlyWhileNoKeyIsDown) {
    Rig rig({Receiver.devnode}, {Receiver});
    rig.machine.down[Receiver.devnode] = {KEY_OK};
    rig.machine.events[Receiver.devnode] = {KeyValue(KEY_OK, 2), Syn};
    rig.source->Open();
    EXPECT_EQ(rig.Next(), "down KEY_OK");
    EXPECT_TRUE(rig.machine.grabbed.empty());
    rig.machine.down[Receiver.devnode].clear();
    rig.machine.events[Receiver.devnode] = {KeyValue(KEY_OK, 0), Syn};
    rig.Refresh(Receiver.devnode);
    EXPECT_EQ(rig.Next(), "up KEY_OK");
    EXPECT_EQ(rig.machine.grabbed, std::vector<std::string>{Receiver.devnode});

    Rig shared({Receiver.devnode}, {Receiver}, false);
    shared.source->Open();
    EXPECT_TRUE(shared.machine.grabbed.empty());
}

// Repeats that were waiting behind a slow player say so, for the hold to act once.
TEST(InputSource, SaysWhatWasWaiting) {
    Rig rig({Receiver.devnode}, {Receiver});
    rig.machine.events[Receiver.devnode] = {KeyValue(KEY_VOLUMEUP, 2), Syn,
                                            KeyValue(KEY_VOLUMEUP, 2), Syn};
    rig.source->Open();
    std::vector<std::pair<bool, bool>> places;
    for (int i = 0; i < 2; ++i) {
        const SourceItem item = rig.source->Next();
        ASSERT_TRUE(std::holds_alternative<KeyEvent>(item));
        places.emplace_back(std::get<KeyEvent>(item).queued, std::get<KeyEvent>(item).more);
    }
    EXPECT_EQ(places, (std::vector<std::pair<bool, bool>>{{true, true}, {true, false}}));
}

// Where the machine has /dev/uinput: a virtual remote made with libevdev, end to end
// through udev and libevdev.
TEST(InputSource, ReadsAVirtualRemote) {
    if (::access("/dev/uinput", W_OK) != 0) {
        GTEST_SKIP() << "skipped: this machine has no writable /dev/uinput, so no virtual "
                        "remote can be made";
    }
    libevdev* remote = libevdev_new();
    libevdev_set_name(remote, "Quorvel test remote");
    libevdev_enable_event_code(remote, EV_KEY, KEY_PLAYPAUSE, nullptr);
    libevdev_uinput* uinput = nullptr;
    ASSERT_EQ(libevdev_uinput_create_from_device(remote, LIBEVDEV_UINPUT_OPEN_MANAGED, &uinput), 0);
    {
        InputSource source({"name=Quorvel test remote"}, true, MakeUdevDeviceFinder(),
                           OpenInputDevice);
        source.Open();
        EXPECT_TRUE(source.Configure().empty());
        libevdev_uinput_write_event(uinput, EV_KEY, KEY_PLAYPAUSE, 1);
        libevdev_uinput_write_event(uinput, EV_SYN, SYN_REPORT, 0);
        const SourceItem item = source.Next();
        ASSERT_TRUE(std::holds_alternative<KeyEvent>(item));
        EXPECT_EQ(std::get<KeyEvent>(item).key, Key::Name("KEY_PLAYPAUSE"));
    }
    libevdev_uinput_destroy(uinput);
    libevdev_free(remote);
}

}  // namespace
