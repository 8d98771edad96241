// The serial line over the Win32 comm API on the receiver loop, on COM ports that Wine maps
// to pty pairs.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "serial/serial_line.h"
#include "serial/win32_comm_device.h"
#include "source/read_backoff.h"
#include "source/receiver_loop.h"
#include "tests/doubles/item_text.h"
#include "tests/windows/wine_test.h"

namespace {

using WineTest::AbsentPort;
using WineTest::SerialPeer;
using WineTest::SerialPort;
using Lines = std::vector<std::string>;

std::chrono::steady_clock::time_point Soon() {
    return std::chrono::steady_clock::now() + std::chrono::seconds(20);
}

// A serial line over the real device, on the real receiver loop.
struct Receiver {
    explicit Receiver(const std::string& port) {
        std::vector<std::unique_ptr<KeySource>> sources;
        sources.push_back(std::make_unique<SerialLine>(port, MakeSerialDevice()));
        reader = std::make_unique<ReceiverLoop>(std::move(sources));
    }
    // Opens and sets up the line as the receiver does: the setup steps that failed.
    std::vector<SourceCondition> Start() {
        reader->Open();
        return reader->Configure();
    }
    // The next item, as text; "timed out" when none comes within a while.
    std::string Next() { return ItemText(reader->NextBefore(Soon())); }
    std::unique_ptr<ReceiverLoop> reader;
};

// The prefixes, 0xFF (which the tty doubles), flow-control bytes and a zero: read as the
// pseudo-terminal's are on Linux.
TEST(CommDevice, ConfiguredPortDeliversEveryByteAsSent) {
    Receiver receiver(SerialPort);
    EXPECT_TRUE(receiver.Start().empty());
    ASSERT_TRUE(
        WineTest::WriteToPeer(SerialPeer, {0x0D, 0x11, 0x13, 0xFF, 0x00, 0x91, 0x0A, 0x91, 0x03}));
    Lines read;
    for (int i = 0; i < 6; ++i) {
        read.push_back(receiver.Next());
    }
    EXPECT_EQ(read, Lines({"held 17", "stray 19", "stray 255", "stray 0", "down 10", "down 3"}));
}

TEST(CommDevice, AbsentPortFailsEverySetupStepAndPacesItsReopening) {
    Receiver receiver(AbsentPort);
    const std::vector<SourceCondition> setup = receiver.Start();
    ASSERT_EQ(setup.size(), 3u);
    EXPECT_EQ(setup[0].kind, SourceCondition::Kind::Absent);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(receiver.Next(), "absent");
    EXPECT_EQ(receiver.Next(), "absent");
    // The second try waited for the first back-off step.
    EXPECT_GE(std::chrono::steady_clock::now() - start, ReadBackoff::FirstWait);
}

TEST(CommDevice, MissingPortIsExplainedWithThePortsPresent) {
    Win32CommDevice device;
    const int error = device.Open(AbsentPort);
    ASSERT_EQ(error, ERROR_FILE_NOT_FOUND);
    const std::string text = device.DescribeOpenError(AbsentPort, error);
    EXPECT_NE(text.find(std::string("cannot open serial port ") + AbsentPort), std::string::npos)
        << text;
    EXPECT_NE(text.find(std::string(SerialPort) + ","), std::string::npos) << text;
}

// What can never be the receiver is refused before anything runs; a port, present or not
// yet, is not.
TEST(CommDevice, FilesFoldersAndOtherDevicesAreNoSerialPorts) {
    struct Case {
        std::string path;
        std::string why;
    };
    const Case cases[] = {
        {"C:\\windows\\win.ini", "C:\\windows\\win.ini is a file, not a serial port"},
        {"C:\\windows", "C:\\windows is a folder, not a serial port"},
        {"NUL", "NUL is not a serial port"},
        {SerialPort, ""},
        {AbsentPort, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WhyNotASerialPort(c.path), c.why) << c.path;
    }
}

// Bytes that arrived together are taken together, not one read each; a read that finds
// nothing says so and leaves the device's handle to say when something comes.
TEST(CommDevice, ReadTakesWhatHasArrived) {
    Win32CommDevice device;
    ASSERT_EQ(device.Open(SerialPort), 0);
    ASSERT_TRUE(device.ReadSettings() && device.WriteLineSettings() && device.PrepareQueues() &&
                device.WriteTimeouts());
    std::array<std::uint8_t, 64> buffer{};
    EXPECT_EQ(device.Read(buffer).status, SerialDevice::ReadStatus::Empty);
    std::vector<std::uint8_t> sent;
    for (int i = 0; i < 20; ++i) {
        sent.push_back(static_cast<std::uint8_t>(0x40 + i));
    }
    sent.push_back(0xFF);
    ASSERT_TRUE(WineTest::WriteToPeer(SerialPeer, sent));
    std::vector<std::uint8_t> read;
    int reads = 0;
    while (read.size() < sent.size() + 1 &&
           WaitForSingleObject(device.ReadyHandle(), 20000) == WAIT_OBJECT_0) {
        const auto result = device.Read(buffer);
        if (result.status == SerialDevice::ReadStatus::Empty) {
            continue;
        }
        ASSERT_EQ(result.status, SerialDevice::ReadStatus::Data);
        read.insert(read.end(), buffer.begin(), buffer.begin() + result.count);
        ++reads;
    }
    sent.push_back(0xFF);  // doubled, as the tty marks it
    EXPECT_EQ(read, sent);
    EXPECT_LT(reads, 21);
}

// A missing port is watched for: a change to the system's ports is news, and a port that is
// there already is news at once.
TEST(CommDevice, AWatchForAPortSaysWhenThePortsChange) {
    auto loop = MakeEventLoop();
    Win32CommDevice device;
    int changes = 0;
    const auto watch = device.WatchArrival(*loop, AbsentPort, [&] { ++changes; });
    loop->RunOnce(EventLoop::TimePoint::min());
    EXPECT_EQ(changes, 0);
    // What the serial driver does when an adapter arrives.
    HKEY ports = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &ports, nullptr),
              ERROR_SUCCESS);
    const wchar_t name[] = L"COM30";
    RegSetValueExW(ports, L"\\Device\\QuorvelTest", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                   sizeof name);
    const auto deadline = Soon();
    while (changes == 0 && loop->RunOnce(deadline)) {
    }
    EXPECT_EQ(changes, 1) << "the ports changed unseen";
    RegDeleteValueW(ports, L"\\Device\\QuorvelTest");
    RegCloseKey(ports);

    int present = 0;
    const auto there = device.WatchArrival(*loop, SerialPort, [&] { ++present; });
    while (present == 0 && loop->RunOnce(deadline)) {
    }
    EXPECT_EQ(present, 1);
}

}  // namespace
