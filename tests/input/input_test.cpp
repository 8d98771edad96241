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
#include "tests/doubles/hostile_names.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/source_loop.h"
#include "tests/input/input_doubles.h"

namespace {

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
        std::vector<std::string> keys;
    } cases[] = {
        {"press, autorepeat, release",
         {KeyValue(KEY_PLAYPAUSE, 1), Syn, KeyValue(KEY_PLAYPAUSE, 2), Syn,
          KeyValue(KEY_PLAYPAUSE, 2), Syn, KeyValue(KEY_PLAYPAUSE, 0), Syn},
         {"down KEY_PLAYPAUSE", "held KEY_PLAYPAUSE", "held KEY_PLAYPAUSE", "up KEY_PLAYPAUSE"}},
        {"an IR receiver's scancode goes with the key, and with its repeats",
         {Scan(0x800f0422), KeyValue(KEY_NEXTSONG, 1), Syn, KeyValue(KEY_NEXTSONG, 2), Syn,
          KeyValue(KEY_NEXTSONG, 0), Syn},
         {"down KEY_NEXTSONG/scan:0x800f0422", "held KEY_NEXTSONG/scan:0x800f0422",
          "up KEY_NEXTSONG/scan:0x800f0422"}},
        {"a key the kernel maps to nothing is its scancode",
         {Scan(0x800f0460), KeyValue(KEY_UNKNOWN, 1), Syn, KeyValue(KEY_UNKNOWN, 0), Syn},
         {"down scan:0x800f0460", "up scan:0x800f0460"}},
        {"a scancode does not outlive its frame",
         {Scan(0x10), Syn, KeyValue(KEY_OK, 1), Syn},
         {"down KEY_OK"}},
        {"a release of a key never seen down is nothing; a repeat of one is its press",
         {KeyValue(KEY_OK, 0), Syn, KeyValue(KEY_VOLUMEUP, 2), Syn},
         {"down KEY_VOLUMEUP"}},
        // libevdev's sync after SYN_DROPPED: what changed meanwhile, as events.
        {"after SYN_DROPPED the frame's scancode is dropped, and the sync's changes taken",
         {KeyValue(KEY_VOLUMEUP, 1), Syn, Scan(0x10), Dropped, KeyValue(KEY_VOLUMEUP, 0),
          KeyValue(KEY_STOP, 1), Syn},
         {"down KEY_VOLUMEUP", "up KEY_VOLUMEUP", "down KEY_STOP"}},
    };
    for (const auto& c : cases) {
        EvdevDecoder decoder(KernelKeyName);
        std::vector<KeyEvent> out;
        for (const RawInputEvent& event : c.events) {
            decoder.Take(event, out);
        }
        std::vector<std::string> keys;
        for (const KeyEvent& event : out) {
            keys.push_back(ItemText(event));
            EXPECT_TRUE(event.releases) << c.name;
        }
        EXPECT_EQ(keys, c.keys) << c.name;
    }
}

const InputNode Receiver{"/dev/input/event5", "MCE IR Keyboard/Mouse", {}, true};
const InputNode ReceiverKeys{"/dev/input/event6", "MCE IR Keyboard/Mouse", {}, true};
const InputNode Keyboard{"/dev/input/event2", "AT Translated Set 2 keyboard", {}, true};

struct Rig {
    explicit Rig(std::vector<std::string> wanted, std::vector<InputNode> there = {},
                 bool grab = true) {
        auto owned = std::make_unique<FakeFinder>(std::move(there));
        finder = owned.get();
        reader = LoopOver(std::make_unique<InputSource>(
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
            }));
    }
    std::string Next() { return NextText(*reader); }
    // Makes a device readable again after the test queued more events.
    void Refresh(const std::string& path) { devices.at(path)->Refresh(); }
    FakeMachine machine;
    std::map<std::string, FakeDevice*> devices;
    FakeFinder* finder;
    std::unique_ptr<ReceiverLoop> reader;
};

// Every device of a name is read, and a device of another name is left alone.
// A name the namer gives that breaks the rule for key names is no name: the key goes by its
// scancode, or its code.
TEST(EvdevDecoder, AHostileNameIsNoName) {
    for (const std::string& name : HostileNames()) {
        EvdevDecoder decoder([&name](unsigned) { return name; });
        std::vector<KeyEvent> out;
        for (const RawInputEvent& event :
             {Scan(0x800f0422), KeyValue(KEY_OK, 1), Syn, KeyValue(KEY_BACK, 1), Syn}) {
            decoder.Take(event, out);
        }
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(out[0].key.Text(), "scan:0x800f0422") << name;
        EXPECT_EQ(out[1].key.Text(), "KEY_" + std::to_string(KEY_BACK)) << name;
    }
}

TEST(InputSource, ReadsEveryDeviceOfTheNameAndGrabsEach) {
    Rig rig({"name=MCE IR Keyboard/Mouse"}, {Keyboard, Receiver, ReceiverKeys});
    rig.machine.events[ReceiverKeys.devnode] = {KeyValue(KEY_PLAYPAUSE, 1), Syn};
    rig.machine.grabError[Receiver.devnode] = EBUSY;
    LogCapture log;
    EXPECT_TRUE(StartReader(*rig.reader).empty());
    EXPECT_EQ(rig.machine.opened,
              (std::vector<std::string>{Receiver.devnode, ReceiverKeys.devnode}));
    EXPECT_EQ(rig.machine.grabbed, rig.machine.opened);
    EXPECT_EQ(log.Count("another program holds it"), 1);
    EXPECT_EQ(rig.Next(), "down KEY_PLAYPAUSE");
}

// Absent at start (said at once), then plugged in: refused while the seat's access is not yet
// granted, then read; unplugged, releasing what it held. (Lost and back again is the contract's.)
TEST(InputSource, FollowsHotplugAndRetriesAPermissionRefusedAtFirst) {
    Rig rig({"name=MCE IR Keyboard/Mouse"});
    LogCapture log;
    rig.reader->Open();
    const std::vector<SourceCondition> absent = rig.reader->Configure();
    ASSERT_EQ(absent.size(), 1u);
    EXPECT_EQ(absent[0].kind, SourceCondition::Kind::Absent);
    EXPECT_EQ(absent[0].reason,
              "no input device name=MCE IR Keyboard/Mouse (waiting for it to be plugged in)");
    EXPECT_EQ(log.Count(absent[0].reason), 1);

    rig.machine.refusals[Receiver.devnode] = 2;
    rig.machine.events[Receiver.devnode] = {KeyValue(KEY_VOLUMEUP, 1), Syn};
    rig.finder->Plug(Receiver, true);
    EXPECT_EQ(rig.Next(), "back");
    EXPECT_EQ(rig.Next(), "down KEY_VOLUMEUP");

    rig.machine.unplugged.insert(Receiver.devnode);
    rig.finder->Plug(Receiver, false);
    EXPECT_EQ(rig.Next(), "up KEY_VOLUMEUP");
    EXPECT_EQ(rig.Next(), "lost");
}

// The grab waits until no key of the device is down, so the desktop sees every release;
// without grab, none.
TEST(InputSource, GrabsOnlyWhileNoKeyIsDown) {
    Rig rig({Receiver.devnode}, {Receiver});
    rig.machine.down[Receiver.devnode] = {KEY_OK};
    rig.machine.events[Receiver.devnode] = {KeyValue(KEY_OK, 2), Syn};
    StartReader(*rig.reader);
    EXPECT_EQ(rig.Next(), "down KEY_OK");
    EXPECT_TRUE(rig.machine.grabbed.empty());
    rig.machine.down[Receiver.devnode].clear();
    rig.machine.events[Receiver.devnode] = {KeyValue(KEY_OK, 0), Syn};
    rig.Refresh(Receiver.devnode);
    EXPECT_EQ(rig.Next(), "up KEY_OK");
    EXPECT_EQ(rig.machine.grabbed, std::vector<std::string>{Receiver.devnode});

    Rig shared({Receiver.devnode}, {Receiver}, false);
    StartReader(*shared.reader);
    EXPECT_TRUE(shared.machine.grabbed.empty());
}

// libevdev takes in at once more than a turn hands out; the rest follows with no new input.
TEST(InputSource, HandsOutAllThatWasReadAhead) {
    Rig rig({Receiver.devnode}, {Receiver});
    auto& events = rig.machine.events[Receiver.devnode];
    for (int i = 0; i < InputSource::EventsAtOnce; ++i) {
        events.insert(events.end(), {KeyValue(KEY_OK, 1), KeyValue(KEY_OK, 0)});
    }
    rig.reader->Open();
    rig.reader->Configure();
    for (int i = 0; i < InputSource::EventsAtOnce; ++i) {
        ASSERT_EQ(rig.Next(), "down KEY_OK") << i;
        ASSERT_EQ(rig.Next(), "up KEY_OK") << i;
    }
}

// What can never be an input device is refused at start; what may become one is not.
TEST(InputSource, RefusesWhatCanNeverBeAnInputDevice) {
    const struct {
        std::string wanted;
        const char* says;  // empty: may be one
    } cases[] = {
        {"/etc/hostname", "is a file"},
        {"/tmp", "is a folder"},
        {"/dev/null", "is not an input event device"},
        {"/dev/input/no-such-device", ""},
        {"name=NOTHING", ""},
    };
    for (const auto& c : cases) {
        const std::string why = InputSource::WhyNotAnInputDevice(c.wanted);
        EXPECT_EQ(why.empty(), *c.says == '\0') << c.wanted << ": " << why;
        EXPECT_NE(why.find(c.says), std::string::npos) << why;
    }
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
        const auto reader = LoopOver(
            std::make_unique<InputSource>(std::vector<std::string>{"name=Quorvel test remote"},
                                          true, MakeUdevDeviceFinder(), OpenInputDevice));
        EXPECT_TRUE(StartReader(*reader).empty());
        libevdev_uinput_write_event(uinput, EV_KEY, KEY_PLAYPAUSE, 1);
        libevdev_uinput_write_event(uinput, EV_SYN, SYN_REPORT, 0);
        EXPECT_EQ(NextText(*reader), "down KEY_PLAYPAUSE");
    }
    libevdev_uinput_destroy(uinput);
    libevdev_free(remote);
}

}  // namespace
