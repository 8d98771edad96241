// The serial line over the Win32 comm API, on COM ports that Wine maps to pty pairs.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "source/read_backoff.h"
#include "serial/serial_line.h"
#include "serial/win32_comm_device.h"
#include "tests/windows/wine_test.h"

namespace {

using WineTest::AbsentPort;
using WineTest::SerialPeer;
using WineTest::SerialPort;

struct Receiver {
    explicit Receiver(const std::string& port) : line(port, MakeSerialDevice()) {}
    // Opens and sets up the line as the receiver does: the setup steps that failed.
    std::vector<SourceCondition> Start() {
        line.Open();
        return line.Configure();
    }
    SerialLine line;
};

TEST(CommDevice, ConfiguredPortDeliversEveryByteAsSent) {
    Receiver receiver(SerialPort);
    EXPECT_TRUE(receiver.Start().empty());

    // The prefixes, 0xFF (which the tty doubles), flow-control bytes and a zero.
    const std::vector<std::uint8_t> sent = {0x91, 0x0D, 0xFF, 0x11, 0x13, 0x00, 0x60};
    ASSERT_TRUE(WineTest::WriteToPeer(SerialPeer, sent));
    std::vector<std::uint8_t> read;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        read.push_back(static_cast<std::uint8_t>(receiver.line.ReadByte()));
    }
    EXPECT_EQ(read, sent);
}

TEST(CommDevice, StopWakesABlockedRead) {
    Receiver receiver(SerialPort);
    receiver.Start();
    auto read = std::async(std::launch::async, [&] { return receiver.line.ReadByte(); });
    receiver.line.RequestStop();
    EXPECT_EQ(read.get(), SerialLine::Stopped);
}

TEST(CommDevice, AbsentPortFailsEverySetupStepAndPacesFailingReads) {
    Receiver receiver(AbsentPort);
    const std::vector<SourceCondition> setup = receiver.Start();
    ASSERT_EQ(setup.size(), 3u);
    EXPECT_EQ(setup[0].kind, SourceCondition::Kind::Absent);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(receiver.line.ReadByte(), SerialLine::ReadFailed);
    EXPECT_EQ(receiver.line.ReadByte(), SerialLine::ReadFailed);
    EXPECT_EQ(receiver.line.LastFailure().kind, SourceCondition::Kind::Absent);
    // The second failure waited for the first back-off step before trying the port again.
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

// Bytes that arrived together are taken together, not one read each.
TEST(CommDevice, ReadTakesWhatHasArrived) {
    Win32CommDevice device;
    ASSERT_EQ(device.Open(SerialPort), 0);
    ASSERT_TRUE(device.ReadSettings() && device.WriteLineSettings() && device.PrepareQueues() &&
                device.WriteTimeouts());
    std::vector<std::uint8_t> sent;
    for (int i = 0; i < 20; ++i) {
        sent.push_back(static_cast<std::uint8_t>(0x40 + i));
    }
    sent.push_back(0xFF);
    ASSERT_TRUE(WineTest::WriteToPeer(SerialPeer, sent));
    std::vector<std::uint8_t> read;
    int reads = 0;
    std::array<std::uint8_t, 64> buffer{};
    while (read.size() < sent.size() + 1 && reads < 100) {
        const auto result = device.Read(buffer);
        ASSERT_EQ(result.status, SerialDevice::ReadStatus::Data);
        read.insert(read.end(), buffer.begin(), buffer.begin() + result.count);
        ++reads;
    }
    sent.push_back(0xFF);  // doubled, as the tty marks it
    EXPECT_EQ(read, sent);
    EXPECT_LT(reads, 21);
}

}  // namespace

TEST(CommDevice, AWaitForAMissingPortEndsWhenThePortsChange) {
    Win32CommDevice device;
    auto waited = std::async(std::launch::async,
                             [&] { return device.AwaitPath(AbsentPort, std::chrono::hours(24)); });
    // What the serial driver does when an adapter arrives; again until the wait ends, since
    // its watch may not be armed yet.
    HKEY ports = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &ports, nullptr),
              ERROR_SUCCESS);
    const wchar_t name[] = L"COM30";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (waited.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready &&
           std::chrono::steady_clock::now() < deadline) {
        RegSetValueExW(ports, L"\\Device\\QuorvelTest", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(name), sizeof name);
    }
    const bool ended = waited.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    device.Wake();
    EXPECT_TRUE(ended) << "the wait went on after the ports changed";
    EXPECT_TRUE(waited.get());
    RegDeleteValueW(ports, L"\\Device\\QuorvelTest");
    RegCloseKey(ports);
}
