#include "serial/serial_line.h"
#include "serial/termios_device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "serial/serial_event_decoder.h"
#include "tests/doubles/fake_event_loop.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/source_loop.h"
#include "tests/serial/fake_serial_device.h"

namespace {

using Lines = std::vector<std::string>;
using Fake = FakeSerialDevice;
constexpr const char* Port = "/dev/ttyFAKE0";

// A serial line over a fake device, on a receiver loop whose back-off waits cost nothing.
struct Rig {
    Rig() {
        auto owned = std::make_unique<Fake>();
        auto loopOwned = std::make_unique<FakeEventLoop>();
        device = owned.get();
        loop = loopOwned.get();
        reader =
            LoopOver(std::make_unique<SerialLine>(Port, std::move(owned)), std::move(loopOwned));
    }
    // The next count items, as text; the reasons of the conditions among them in whys.
    Lines Items(int count) {
        Lines items;
        for (int i = 0; i < count; ++i) {
            const SourceItem item = reader->Next();
            items.push_back(ItemText(item));
            if (const auto* condition = std::get_if<SourceCondition>(&item)) {
                whys.push_back(condition->reason);
            }
        }
        return items;
    }

    Fake* device;
    FakeEventLoop* loop;
    std::unique_ptr<ReceiverLoop> reader;
    Lines whys;
};

// --- Configuration ---

// Each failed line-setting step is one "Err" at start, with why; a port that did not open
// fails all three for the reason it did not open. The steps run in order, a failure not
// stopping the rest.
TEST(ConfigurePort, OneWhyPerFailedStep) {
    const std::string absent = std::string("cannot open ") + Port + ": error 2";
    const Lines all{"the port's current settings could not be read",
                    "the port would not take 9600 baud, 8 data bits, no parity, one stop bit",
                    "the port is not a serial port"};
    const struct {
        const char* name;
        int openError;
        bool readSettings, writeLineSettings, prepareQueues, writeTimeouts;
        Lines whys;
    } cases[] = {
        {"all succeed", 0, true, true, true, true, {}},
        {"port absent", ENOENT, true, true, true, true, Lines(3, absent)},
        {"port held", EWOULDBLOCK, true, true, true, true,
         Lines(3, std::string("cannot open ") + Port + ": error " + std::to_string(EWOULDBLOCK))},
        {"read settings fails", 0, false, true, true, true, {all[0]}},
        {"write settings fails", 0, true, false, true, true, {all[1]}},
        {"queues fail", 0, true, true, false, true, {all[2]}},
        {"time-outs fail silently", 0, true, true, true, false, {}},
        {"every step fails", 0, false, false, false, false, all},
    };
    for (const auto& c : cases) {
        LogCapture logs;
        Rig rig;
        if (c.openError != 0) {
            rig.device->openErrors = {c.openError};
        }
        rig.device->readSettingsOk = c.readSettings;
        rig.device->writeLineSettingsOk = c.writeLineSettings;
        rig.device->prepareQueuesOk = c.prepareQueues;
        rig.device->writeTimeoutsOk = c.writeTimeouts;
        EXPECT_EQ(StartReader(*rig.reader), c.whys) << c.name;
        if (c.openError == 0) {
            EXPECT_EQ(Lines(rig.device->calls.begin(), rig.device->calls.begin() + 5),
                      (Lines{std::string("Open ") + Port, "ReadSettings", "WriteLineSettings",
                             "PrepareQueues", "WriteTimeouts"}))
                << c.name;
        }
    }
}

// --- Open diagnostics ---

// Each error is classified once, with why and what may help.
TEST(OpenFailure, SaysWhyAndWhatMayHelp) {
    using Kind = SerialError::Kind;
    const struct {
        int error;
        Kind kind;
        const char* says;
    } cases[] = {{ENOENT, Kind::Absent, "no such device"},
                 {EACCES, Kind::NoPermission, "dialout"},
                 {EPERM, Kind::NoPermission, "belongs to another user"},
                 {EWOULDBLOCK, Kind::Busy, "another instance"},
                 {EBUSY, Kind::Busy, "another instance"},
                 {EIO, Kind::Failed, "Input/output error"}};
    for (const auto& c : cases) {
        const SerialError why = TermiosDevice::OpenError(Port, c.error);
        EXPECT_EQ(why.kind, c.kind) << why.text;
        EXPECT_NE(why.text.find(Port), std::string::npos) << why.text;
        EXPECT_NE(why.text.find(std::strerror(c.error)), std::string::npos) << why.text;
        EXPECT_NE(why.text.find(c.says), std::string::npos) << why.text;
    }
}

// --- Reading ---

// The byte stream as the tty marks it, into items.
TEST(SerialEventDecoder, MakesEventsStraysAndLineErrors) {
    const struct {
        const char* name;
        std::vector<std::vector<std::uint8_t>> reads;
        Lines items;
    } cases[] = {
        {"an event", {{0x91, 0x60}}, {"down 96"}},
        {"split over reads", {{0x0D}, {0xB0}}, {"held 176"}},
        {"a byte 255 marked, then a stray", {{0x91, 0xFF}, {0xFF, 0x05}}, {"down 255", "stray 5"}},
        {"a prefix is the code after a prefix",
         {{0x91, 0x91, 0x0D, 0x0D, 0xB0}},
         {"down 145", "held 13", "stray 176"}},
        {"a line error alone, and one inside an event",
         {{0xFF, 0x00, 0x00, 0x91, 0xFF, 0x00, 0x41, 0x91, 0x60}},
         {"line error", "broken down", "down 96"}},
    };
    for (const auto& c : cases) {
        SerialEventDecoder decoder(Port);
        std::vector<SourceItem> items;
        for (const auto& read : c.reads) {
            decoder.Feed(read, items);
        }
        Lines texts;
        for (const SourceItem& item : items) {
            texts.push_back(ItemText(item));
        }
        EXPECT_EQ(texts, c.items) << c.name;
    }
}

// A missing port fails each try with one item, at a slowing pace, and is logged once; each
// try also watches for its path.
TEST(SerialLine, AbsentPortFailsEachTryOnceAndBacksOff) {
    LogCapture logs;
    Rig rig;
    rig.device->openErrors.assign(9, ENOENT);
    ASSERT_EQ(StartReader(*rig.reader).size(), 3u);
    EXPECT_EQ(rig.Items(8), Lines(8, "absent"));
    EXPECT_EQ(rig.loop->waits, (std::vector<long>{0, 100, 200, 400, 800, 1600, 3200, 6400}));
    EXPECT_EQ(rig.device->Count("Open"), 9);
    EXPECT_EQ(rig.device->Count("Read"), 0);
    EXPECT_EQ(rig.device->Count("WatchArrival"), 8);
    EXPECT_EQ(rig.whys.back(), std::string("cannot open ") + Port + ": error 2");
    EXPECT_EQ(logs.Count(std::string("quorvel.receiver: cannot open ") + Port + ": error 2"), 1);
}

struct RecoveryCase {
    const char* name;
    std::vector<int> openErrors;  // after the first open
    std::vector<Fake::Step> reads;
    bool configurable;  // when opened again
    Lines items;
    std::vector<long> waits;
};

void PrintTo(const RecoveryCase& c, std::ostream* os) {
    *os << c.name;
}

class SerialLineRecovery : public testing::TestWithParam<RecoveryCase> {};

// The port goes away, or the line is damaged: one item each, then reading goes on after the
// back-off, the port opened again (silently, Back) where it was lost.
TEST_P(SerialLineRecovery, SaysEachFailureOnceAndGoesOn) {
    const RecoveryCase& c = GetParam();
    Rig rig;
    rig.device->reads.assign(c.reads.begin(), c.reads.end());
    ASSERT_TRUE(StartReader(*rig.reader).empty());
    rig.device->openErrors.assign(c.openErrors.begin(), c.openErrors.end());
    rig.device->readSettingsOk = c.configurable;
    EXPECT_EQ(rig.Items(static_cast<int>(c.items.size())), c.items);
    EXPECT_EQ(rig.loop->waits, c.waits);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, SerialLineRecovery,
    testing::Values(RecoveryCase{"hang_up",
                                 {ENOENT, ENOENT},
                                 {Fake::Bytes({0x91}), Fake::HangUp(), Fake::Bytes({0x60})},
                                 true,
                                 {"broken down", "absent", "absent", "back"},
                                 {100, 200, 400}},
                    RecoveryCase{
                        "read_error",
                        {},
                        {Fake::Bytes({0x91, 0x60}), Fake::Failure(EIO), Fake::Bytes({0x91, 0x18})},
                        true,
                        {"down 96", "lost", "back", "down 24"},
                        {100}},
                    RecoveryCase{"reopened_but_not_configurable",
                                 {},
                                 {Fake::HangUp(), Fake::Bytes({0x60})},
                                 false,
                                 {"lost", "cannot configure", "cannot configure"},
                                 {100, 200}},
                    RecoveryCase{"line_errors_then_a_good_byte",
                                 {},
                                 {Fake::Bytes({0xFF, 0x00, 0x00}), Fake::Bytes({0xFF, 0x00, 0x00}),
                                  Fake::Bytes({0x91, 0x60}), Fake::Bytes({0xFF, 0x00, 0x00}),
                                  Fake::Bytes({0x91, 0x18})},
                                 true,
                                 {"line error", "line error", "down 96", "line error", "down 24"},
                                 {100, 200, 100}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
