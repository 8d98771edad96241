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
#include "source/receiver_loop.h"
#include "tests/doubles/fake_event_loop.h"
#include "tests/doubles/item_text.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/memory_history_list.h"
#include "tests/serial/fake_serial_device.h"

namespace {

using Lines = std::vector<std::string>;
using Fake = FakeSerialDevice;
const std::string Err = "Err";
constexpr const char* Port = "/dev/ttyFAKE0";

// A serial line over a fake device, on a receiver loop whose back-off waits cost nothing.
struct Rig {
    Rig() {
        auto owned = std::make_unique<Fake>();
        device = owned.get();
        auto loopOwned = std::make_unique<FakeEventLoop>();
        loop = loopOwned.get();
        line = std::make_unique<SerialLine>(Port, std::move(owned));
        std::vector<std::unique_ptr<KeySource>> sources;
        sources.push_back(std::move(line));
        reader = std::make_unique<ReceiverLoop>(std::move(sources), std::move(loopOwned));
    }
    // Open, then Configure as the receiver does at start: an "Err" line, with why, for each
    // failed step.
    void Start() {
        reader->Open();
        for (const SourceCondition& condition : reader->Configure()) {
            list.lines.push_back(Err);
            list.whys.push_back(condition.reason);
        }
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
    std::unique_ptr<SerialLine> line;
    std::unique_ptr<ReceiverLoop> reader;
    MemoryHistoryList list;
    Lines whys;
};

// --- Configuration ---

struct ConfigCase {
    const char* name;
    int openError;
    bool readSettings, writeLineSettings, prepareQueues, writeTimeouts;
    int errLines;
};

void PrintTo(const ConfigCase& c, std::ostream* os) {
    *os << c.name;
}

class ConfigurePortTest : public testing::TestWithParam<ConfigCase> {};

TEST_P(ConfigurePortTest, OneErrPerFailedLineSettingStep) {
    const ConfigCase& c = GetParam();
    LogCapture logs;
    Rig rig;
    if (c.openError != 0) {
        rig.device->openErrors = {c.openError};
    }
    rig.device->readSettingsOk = c.readSettings;
    rig.device->writeLineSettingsOk = c.writeLineSettings;
    rig.device->prepareQueuesOk = c.prepareQueues;
    rig.device->writeTimeoutsOk = c.writeTimeouts;
    rig.Start();
    EXPECT_EQ(rig.list.lines, Lines(c.errLines, Err));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ConfigurePortTest,
    testing::Values(ConfigCase{"all_succeed", 0, true, true, true, true, 0},
                    ConfigCase{"port_absent", ENOENT, true, true, true, true, 3},
                    ConfigCase{"port_held", EWOULDBLOCK, true, true, true, true, 3},
                    ConfigCase{"read_settings_fails", 0, false, true, true, true, 1},
                    ConfigCase{"write_settings_fails", 0, true, false, true, true, 1},
                    ConfigCase{"queues_fail", 0, true, true, false, true, 1},
                    ConfigCase{"timeouts_fail_silently", 0, true, true, true, false, 0},
                    ConfigCase{"every_step_fails", 0, false, false, false, false, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigurePort, EachErrSaysWhy) {
    Rig absent;
    absent.device->openErrors = {ENOENT};
    absent.Start();
    EXPECT_EQ(absent.list.whys, Lines(3, std::string("cannot open ") + Port + ": error 2"));
    Rig notSerial;
    notSerial.device->prepareQueuesOk = false;
    notSerial.Start();
    EXPECT_EQ(notSerial.list.whys, Lines{"the port is not a serial port"});
}

TEST(ConfigurePort, StepsRunInOrderAndAFailureDoesNotStopTheRest) {
    Rig rig;
    rig.device->readSettingsOk = false;
    rig.Start();
    EXPECT_EQ(Lines(rig.device->calls.begin(), rig.device->calls.begin() + 5),
              (Lines{std::string("Open ") + Port, "ReadSettings", "WriteLineSettings",
                     "PrepareQueues", "WriteTimeouts"}));
}

// --- Open diagnostics ---

struct OpenFailureCase {
    const char* name;
    int error;
    const char* says;
};

void PrintTo(const OpenFailureCase& c, std::ostream* os) {
    *os << std::strerror(c.error);
}

class OpenFailureTest : public testing::TestWithParam<OpenFailureCase> {};

TEST_P(OpenFailureTest, SaysWhyAndWhatMayHelp) {
    const std::string message = TermiosDevice().DescribeOpenError(Port, GetParam().error);
    EXPECT_NE(message.find(Port), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(GetParam().error)), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().says), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(Errors, OpenFailureTest,
                         testing::Values(OpenFailureCase{"ENOENT", ENOENT, "no such device"},
                                         OpenFailureCase{"EACCES", EACCES, "dialout"},
                                         OpenFailureCase{"EWOULDBLOCK", EWOULDBLOCK,
                                                         "another instance"},
                                         OpenFailureCase{"EBUSY", EBUSY, "another instance"},
                                         OpenFailureCase{"EIO", EIO, "Input/output error"}),
                         [](const auto& info) { return std::string(info.param.name); });

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
    rig.Start();
    ASSERT_EQ(rig.list.lines, Lines(3, Err));
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
    rig.Start();
    rig.device->openErrors.assign(c.openErrors.begin(), c.openErrors.end());
    rig.device->readSettingsOk = c.configurable;
    EXPECT_EQ(rig.Items(static_cast<int>(c.items.size())), c.items);
    EXPECT_EQ(rig.loop->waits, c.waits);
    EXPECT_TRUE(rig.list.lines.empty());
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
