// The Win32 comm device, and the serial line over it on the receiver loop, on COM ports that
// Wine maps to pty pairs.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "serial/win32_comm_device.h"
#include "tests/doubles/serial_reader.h"
#include "tests/windows/wine_test.h"

namespace {

using WineTest::AbsentPort;
using WineTest::SerialPeer;
using WineTest::SerialPort;

// A port that is not there fails every setup step as absent, and each try after.
TEST(CommDevice, AbsentPortFailsEverySetupStepAndEachTry) {
    const auto reader = SerialReader(AbsentPort);
    reader->Open();
    const std::vector<SourceCondition> setup = reader->Configure();
    ASSERT_EQ(setup.size(), 3u);
    EXPECT_EQ(setup[0].kind, SourceCondition::Kind::Absent);
    EXPECT_EQ(NextText(*reader), "absent");
}

TEST(CommDevice, MissingPortIsExplainedWithThePortsPresent) {
    Win32CommDevice device;
    const auto error = device.Open(AbsentPort);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, SerialError::Kind::Absent);
    const std::string& text = error->text;
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

// Every byte as sent (the prefixes, flow-control bytes, a zero; 0xFF doubled, as the tty
// marks it), and bytes that arrived together taken together, not one read each; a read
// that finds nothing says so and leaves the device's handle to say when something comes.
TEST(CommDevice, ReadTakesWhatHasArrived) {
    Win32CommDevice device;
    ASSERT_FALSE(device.Open(SerialPort));
    ASSERT_TRUE(device.ReadSettings() && device.WriteLineSettings() && device.PrepareQueues() &&
                device.WriteTimeouts());
    std::array<std::uint8_t, 64> buffer{};
    EXPECT_EQ(device.Read(buffer).status, SerialDevice::ReadStatus::Empty);
    std::vector<std::uint8_t> sent{0x0D, 0x11, 0x13, 0x00, 0x91, 0x0A};
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
    EXPECT_LT(reads, static_cast<int>(sent.size()) - 1);  // fewer than one a byte
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
