#include "serial/serial_line.h"
#include "serial/termios_device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "tests/doubles/log_capture.h"
#include "tests/doubles/memory_history_list.h"
#include "tests/serial/fake_serial_device.h"
#include "tests/serial/shown_line.h"

namespace {

using Lines = std::vector<std::string>;
using Fake = FakeSerialDevice;
using std::chrono::milliseconds;
const std::string Err = "Err";
const std::string ReadError = "COM READ ERROR!";
constexpr const char* Port = "/dev/ttyFAKE0";

// A serial line over a fake device.
struct Rig : ShownLine {
    Rig() {
        auto owned = std::make_unique<Fake>();
        device = owned.get();
        line = std::make_unique<SerialLine>(Port, std::move(owned));
    }
    std::vector<long> Pauses() const {
        std::vector<long> out;
        for (const auto pause : device->pauses) {
            out.push_back(static_cast<long>(pause.count()));
        }
        return out;
    }

    Fake* device;
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
    rig.line->Open();
    rig.Configure();
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
    EXPECT_EQ(rig.device->calls, (Lines{std::string("Open ") + Port, "ReadSettings",
                                        "WriteLineSettings", "PrepareQueues", "WriteTimeouts"}));
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

struct BytesCase {
    const char* name;
    std::vector<Fake::Step> reads;
    std::vector<int> values;
};

void PrintTo(const BytesCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadByteValuesTest : public testing::TestWithParam<BytesCase> {};

TEST_P(ReadByteValuesTest, ReturnsUnsignedBytes) {
    Rig rig;
    rig.device->reads.assign(GetParam().reads.begin(), GetParam().reads.end());
    rig.Start();
    EXPECT_EQ(rig.Read(static_cast<int>(GetParam().values.size())), GetParam().values);
    EXPECT_TRUE(rig.list.lines.empty());
    EXPECT_TRUE(rig.device->pauses.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ReadByteValuesTest,
    testing::Values(BytesCase{"event", {Fake::Bytes({0x91, 0x60})}, {145, 96}},
                    BytesCase{"one_byte_per_read",
                              {Fake::Bytes({0x0D}), Fake::Bytes({0x11}), Fake::Bytes({0x13})},
                              {13, 17, 19}},
                    BytesCase{"zero", {Fake::Bytes({0x00})}, {0}},
                    BytesCase{"marked_255", {Fake::Bytes({0xFF, 0xFF, 0x91})}, {255, 145}},
                    BytesCase{"marked_255_split_over_reads",
                              {Fake::Bytes({0x60, 0xFF}), Fake::Bytes({0xFF})},
                              {96, 255}},
                    BytesCase{"more_than_one_buffer",
                              {Fake::Bytes(std::vector<std::uint8_t>(100, 0x91))},
                              std::vector<int>(100, 145)},
                    BytesCase{"then_stopped", {Fake::Bytes({0x91})}, {145, SerialLine::Stopped}}),
    [](const auto& info) { return std::string(info.param.name); });

// Each event says whether its bytes were already waiting when read, and whether more
// were waiting behind it, in the buffer or in the port.
TEST(Next, SaysWhatWasWaiting) {
    Rig rig;
    rig.device->reads = {Fake::Bytes({0x91, 0xB0}), Fake::Waiting({0x0D, 0xB0, 0x0D}),
                         Fake::Waiting({0xB0, 0x05, 0x0D, 0xB0}), Fake::Bytes({0x0D, 0xB0})};
    rig.Start();
    std::vector<std::pair<bool, bool>> seen;  // queued, more
    for (SourceItem item = rig.line->Next(); !std::holds_alternative<SourceStopped>(item);
         item = rig.line->Next()) {
        if (const auto* event = std::get_if<KeyEvent>(&item)) {
            seen.emplace_back(event->queued, event->more);
        }
    }
    EXPECT_EQ(seen, (std::vector<std::pair<bool, bool>>{
                        {false, true}, {true, true}, {true, true}, {true, false}, {false, false}}));
}

// A deadline bounds the wait for an event's first byte only: what is waiting comes first,
// and a begun event is finished.
TEST(NextBefore, TimesOutOnlyWithNothingWaiting) {
    Rig rig;
    rig.device->reads = {Fake::Waiting({0x91, 0x60}), Fake::Bytes({0x91, 0x18})};
    rig.Start();
    const auto past = std::chrono::steady_clock::now();
    EXPECT_TRUE(std::holds_alternative<KeyEvent>(rig.line->NextBefore(past)));
    EXPECT_TRUE(std::holds_alternative<TimedOut>(rig.line->NextBefore(past)));
    const SourceItem item = rig.line->Next();
    ASSERT_TRUE(std::holds_alternative<KeyEvent>(item));
    EXPECT_EQ(std::get<KeyEvent>(item).key, Key::Code(0x18));
}

TEST(ReadByte, AbsentPortFailsEveryReadWithOneLineAndBacksOff) {
    LogCapture logs;
    Rig rig;
    rig.device->openErrors.assign(9, ENOENT);
    rig.Start();
    ASSERT_EQ(rig.list.lines, Lines(3, Err));
    for (int read = 1; read <= 8; ++read) {
        EXPECT_EQ(rig.ReadByte(), SerialLine::ReadFailed);
        Lines expected(3, Err);
        expected.insert(expected.end(), read, ReadError);
        ASSERT_EQ(rig.list.lines, expected) << "after read " << read;
    }
    EXPECT_EQ(rig.Pauses(), (std::vector<long>{100, 200, 400, 800, 1600, 3200, 6400}));
    // One reopen at each step, silent; the absent port is logged once, not at every step.
    EXPECT_EQ(rig.device->Count("Open"), 9);
    EXPECT_EQ(rig.device->Count("Read"), 0);
    // Each wait also ends when the port's path appears.
    EXPECT_EQ(rig.device->Count("AwaitPath"), 7);
    EXPECT_EQ(rig.list.whys.back(), std::string("cannot open ") + Port + ": error 2");
    EXPECT_EQ(logs.Count(std::string("quorvel.receiver: cannot open ") + Port + ": error 2"), 1);
    EXPECT_EQ(logs.Count("cannot open"), 1);
}

TEST(ReadByte, PortThatAppearsLaterIsOpenedAndConfiguredSilently) {
    LogCapture logs;
    Rig rig;
    rig.device->openErrors = {ENOENT, ENOENT, ENOENT};
    rig.device->reads = {Fake::Bytes({0x91, 0x60})};
    rig.Start();
    EXPECT_EQ(rig.Read(4), (std::vector<int>{-1, -1, 145, 96}));
    EXPECT_EQ(rig.list.lines, (Lines{Err, Err, Err, ReadError, ReadError}));
    EXPECT_EQ(rig.Pauses(), (std::vector<long>{100, 200}));
    EXPECT_EQ(rig.device->Count("ReadSettings"), 1);
    EXPECT_EQ(rig.device->Count("WriteTimeouts"), 1);
    EXPECT_EQ(logs.Count("is back"), 1);
}

struct LossCase {
    const char* name;
    Fake::Step loss;
};

void PrintTo(const LossCase& c, std::ostream* os) {
    *os << c.name;
}

class PortLossTest : public testing::TestWithParam<LossCase> {};

// The port goes away, stays away for two steps, then comes back: reads fail at a slowing
// pace, then bytes flow again without a restart and without new "Err" lines.
TEST_P(PortLossTest, ReopensAtEachBackoffStep) {
    LogCapture logs;
    Rig rig;
    rig.device->reads = {Fake::Bytes({0x91}), GetParam().loss, Fake::Bytes({0x60})};
    rig.Start();
    rig.device->openErrors = {ENOENT, ENOENT};
    EXPECT_EQ(rig.Read(5), (std::vector<int>{145, -1, -1, -1, 96}));
    EXPECT_EQ(rig.list.lines, Lines(3, ReadError));
    EXPECT_EQ(rig.Pauses(), (std::vector<long>{100, 200, 400}));
    EXPECT_EQ(rig.device->Count("Close"), 1);
    EXPECT_EQ(rig.device->Count("Open"), 4);
    EXPECT_EQ(rig.device->Count("ReadSettings"), 2);
    EXPECT_FALSE(logs.Messages().empty());
    EXPECT_NE(rig.list.whys[0].find(Port), std::string::npos) << rig.list.whys[0];
    EXPECT_EQ(rig.list.whys[1], std::string("cannot open ") + Port + ": error 2");
}

INSTANTIATE_TEST_SUITE_P(Losses, PortLossTest,
                         testing::Values(LossCase{"hang_up", Fake::HangUp()},
                                         LossCase{"read_error", Fake::Failure(EIO)},
                                         LossCase{"bad_handle", Fake::Failure(EBADF)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadByte, ReopenedPortThatCannotBeConfiguredIsClosedAndRetried) {
    Rig rig;
    rig.device->reads = {Fake::HangUp(), Fake::Bytes({0x60})};
    rig.Start();
    rig.device->readSettingsOk = false;
    EXPECT_EQ(rig.ReadByte(), SerialLine::ReadFailed);
    EXPECT_EQ(rig.ReadByte(), SerialLine::ReadFailed);
    rig.device->readSettingsOk = true;
    EXPECT_EQ(rig.ReadByte(), 96);
    EXPECT_EQ(rig.list.lines, Lines(2, ReadError));
    EXPECT_EQ(rig.device->Count("Close"), 2);
    // Gone, it is awaited; there but unusable, awaiting it would end at once, a busy loop.
    EXPECT_EQ(rig.device->Count("AwaitPath"), 1);
    EXPECT_EQ(rig.Pauses(), (std::vector<long>{100, 200}));
}

TEST(ReadByte, LineErrorIsOneFailedReadThenReadingGoesOn) {
    LogCapture logs;
    Rig rig;
    rig.device->reads = {Fake::Bytes({0x91, 0xFF, 0x00, 0x41, 0x91, 0x60})};
    rig.Start();
    EXPECT_EQ(rig.Read(4), (std::vector<int>{145, -1, 145, 96}));
    EXPECT_EQ(rig.list.lines, Lines{ReadError});
    EXPECT_EQ(rig.Pauses(), std::vector<long>{100});
    // The port is not dropped for a line error.
    EXPECT_EQ(rig.device->Count("Open"), 1);
    EXPECT_EQ(rig.device->Count("Close"), 0);
    EXPECT_EQ(rig.device->Count("AwaitPath"), 0);
    EXPECT_EQ(logs.Count("line error"), 1);
    EXPECT_EQ(rig.list.whys,
              Lines{std::string("a line error (framing, parity or break) on ") + Port});
}

TEST(ReadByte, GoodByteResetsBackoff) {
    Rig rig;
    rig.device->reads = {
        Fake::Bytes({0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x91, 0xFF, 0x00, 0x00, 0x60})};
    rig.Start();
    EXPECT_EQ(rig.Read(5), (std::vector<int>{-1, -1, 145, -1, 96}));
    EXPECT_EQ(rig.Pauses(), (std::vector<long>{100, 200, 100}));
}

// --- Stopping ---

TEST(RequestStop, BeforeReadReturnsStoppedWithoutTouchingThePort) {
    Rig rig;
    rig.device->reads = {Fake::Bytes({0x91})};
    rig.Start();
    rig.line->RequestStop();
    EXPECT_EQ(rig.Read(3), std::vector<int>(3, SerialLine::Stopped));
    EXPECT_EQ(rig.device->Count("Read"), 0);
    EXPECT_TRUE(rig.list.lines.empty());
}

TEST(RequestStop, CutsTheBackoffWaitShort) {
    Rig rig;
    rig.device->openErrors.assign(4, ENOENT);
    rig.Start();
    rig.device->onPause = [&rig] { rig.line->RequestStop(); };
    EXPECT_EQ(rig.Read(3), (std::vector<int>{-1, SerialLine::Stopped, SerialLine::Stopped}));
    EXPECT_EQ(rig.list.lines, (Lines{Err, Err, Err, ReadError}));
    EXPECT_EQ(rig.Pauses(), std::vector<long>{100});
}

}  // namespace
