#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "serial/event_protocol.h"
#include "serial/posix_device_check.h"
#include "serial/serial_line.h"
#include "serial/termios_device.h"
#include "tests/doubles/files.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/doubles/serial_reader.h"
#include "tools/virtual_port.h"

namespace {

namespace fs = std::filesystem;

TEST(SerialLinePty, SettingsAreApplied) {
    auto pty = VirtualPort::CreatePty();
    // Start from cooked, wrong settings so each one is seen to change.
    termios before = pty->ReaderSettings();
    before.c_cflag = (before.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    before.c_iflag |= ICRNL | IXON | ISTRIP | IGNPAR;
    before.c_lflag |= ICANON | ECHO | ISIG;
    cfsetispeed(&before, B38400);
    cfsetospeed(&before, B38400);
    pty->SetReaderSettings(before);
    // As the pseudo-terminal keeps them (it forces 8 bits, no parity).
    before = pty->ReaderSettings();

    auto reader = SerialReader(pty->readerPath());
    EXPECT_TRUE(StartReader(*reader).empty());

    const termios s = pty->ReaderSettings();
    EXPECT_EQ(cfgetispeed(&s), B9600);
    EXPECT_EQ(cfgetospeed(&s), B9600);
    EXPECT_EQ(s.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(s.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(s.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
    EXPECT_EQ(s.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(s.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP | IGNPAR), 0u);
    EXPECT_EQ(s.c_iflag & (INPCK | PARMRK), static_cast<tcflag_t>(INPCK | PARMRK));
    EXPECT_EQ(s.c_cc[VMIN], 1);
    EXPECT_EQ(s.c_cc[VTIME], 0);

    // Closed, the port has its own settings back.
    reader.reset();
    const termios after = pty->ReaderSettings();
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(cfgetispeed(&after), B38400);
}

TEST(SerialLinePty, BytesArriveUnchanged) {
    auto pty = VirtualPort::CreatePty();
    const auto reader = SerialReader(pty->readerPath());
    EXPECT_TRUE(StartReader(*reader).empty());
    pty->Write({0x0D, 0x11, 0x13, 0xFF, 0x00, 0x91, 0x0A, 0x91, 0x03});
    for (const char* item : {"held 17", "stray 19", "stray 255", "stray 0", "down 10", "down 3"}) {
        EXPECT_EQ(NextText(*reader), item);
    }
}

// Bytes that arrived before the port was configured were cooked by the line discipline;
// they are dropped, not read as events.
TEST(SerialLinePty, InputFromBeforeConfigurationIsDiscarded) {
    auto pty = VirtualPort::CreatePty();
    auto line = std::make_unique<SerialLine>(pty->readerPath(), MakeSerialDevice());
    line->Open();
    pty->Write({0x05, 0x0D});
    line->Configure();
    pty->Write({0x91, 0x60});
    ReceiverLoop reader;
    reader.Attach(std::move(line));
    EXPECT_EQ(NextText(reader), "down 96");
}

// A sender (quorvel-send) starts as soon as it sees the line in raw mode; nothing it sends
// from then on may be discarded by the rest of the configuration. The window is a few
// microseconds wide, so the sender races the configuration many times.
TEST(SerialLinePty, BytesSentOnceTheLineIsRawAreKept) {
    int lost = 0;
    for (int run = 0; run < 1000; ++run) {
        auto pty = VirtualPort::CreatePty();
        const auto reader = SerialReader(pty->readerPath());
        std::thread sender([&pty] {
            while ((pty->ReaderSettings().c_lflag & ICANON) != 0) {
            }
            pty->Write({0x91});
        });
        StartReader(*reader);
        sender.join();
        // A code after the race: the press is read whole only if 0x91 was kept.
        pty->Write({0x05});
        lost += NextText(*reader) == "down 5" ? 0 : 1;
    }
    EXPECT_EQ(lost, 0);
}

// Nothing is lost on the way in: a long stream of random bytes, every value included,
// written while the line reads, comes out as events and strays that make the same bytes.
// (The lines each makes are the signal cycle's.)
TEST(SerialLinePty, ALongRandomStreamArrivesWhole) {
    std::mt19937 random(20261207);
    std::vector<std::uint8_t> sent;
    // It ends on an event's boundary: a prefix last gets its code.
    for (std::size_t boundary = 0; sent.size() < 1'000'000 || boundary > sent.size();) {
        sent.push_back(static_cast<std::uint8_t>(random() % 256));
        if (boundary == sent.size() - 1) {
            boundary += sent.back() == KeyPrefix || sent.back() == RepeatPrefix ? 2 : 1;
        }
    }
    auto pty = VirtualPort::CreatePty();
    const auto reader = SerialReader(pty->readerPath());
    ASSERT_TRUE(StartReader(*reader).empty());
    bool written = false;
    std::thread writer([&] { written = pty->Write(sent, std::chrono::seconds(30)); });
    std::vector<std::uint8_t> read;
    while (read.size() < sent.size()) {
        const SourceItem item = reader->NextBefore(Soon());
        if (const auto* event = std::get_if<KeyEvent>(&item)) {
            read.push_back(event->action == KeyAction::Press ? KeyPrefix : RepeatPrefix);
            read.push_back(static_cast<std::uint8_t>(event->key.CodeValue()));
        } else if (const auto* stray = std::get_if<StrayByte>(&item)) {
            read.push_back(static_cast<std::uint8_t>(stray->value));
        } else {
            ADD_FAILURE() << ItemText(item) << " after byte " << read.size();
            break;
        }
    }
    writer.join();
    EXPECT_TRUE(written) << "the port stopped taking bytes";
    EXPECT_TRUE(read == sent)
        << "first difference at byte "
        << std::mismatch(read.begin(), read.end(), sent.begin(), sent.end()).first - read.begin();
}

TEST(SerialLinePty, SecondOpenOfAHeldPortIsRefused) {
    LogCapture logs;
    auto pty = VirtualPort::CreatePty();
    auto first = SerialReader(pty->readerPath());
    EXPECT_TRUE(StartReader(*first).empty());
    EXPECT_EQ(StartReader(*SerialReader(pty->readerPath())).size(), 3u);
    EXPECT_EQ(logs.Count("another instance"), 1);

    // Released with its owner: a later instance gets the port.
    first.reset();
    const auto third = SerialReader(pty->readerPath());
    EXPECT_TRUE(StartReader(*third).empty());
    pty->Write({0x91, 0x60});
    EXPECT_EQ(NextText(*third), "down 96");
}

// Another program's exclusive hold stops us even where the open itself would pass (root).
TEST(TermiosDevice, APortAnotherProgramHoldsExclusivelyIsLeftAlone) {
    auto pty = VirtualPort::CreatePty();
    const int holder = ::open(pty->readerPath().c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(holder, &before), 0);
    TermiosDevice device;
    const auto refused = device.Open(pty->readerPath());
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->kind, SerialError::Kind::Busy);
    termios after{};
    ASSERT_EQ(::tcgetattr(holder, &after), 0);
    EXPECT_EQ(::cfgetispeed(&after), ::cfgetispeed(&before));
    ::close(holder);
}

TEST(HeldByLockFile, OnlyALiveProcessHolds) {
    ScratchFolder dir;
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    const std::int32_t ownBinary = ::getpid();
    const struct {
        const char* name;
        std::string content;  // empty: no lock file
        bool held;
    } cases[] = {
        {"no lock", "", false},
        {"live, as text", std::to_string(::getpid()) + "\n", true},
        {"live, padded", "      " + std::to_string(::getpid()) + "\n", true},
        {"live, four bytes of text", "  1\n", true},
        {"gone", std::to_string(gone) + "\n", false},
        {"live, binary", std::string(reinterpret_cast<const char*>(&ownBinary), 4), true},
        {"unreadable", "junk\n", true},
    };
    for (const auto& c : cases) {
        const auto lock = dir / "LCK..ttyUSB7";
        std::filesystem::remove(lock);
        if (!c.content.empty()) {
            std::ofstream(lock, std::ios::binary) << c.content;
        }
        EXPECT_EQ(HeldByLockFile(dir.Path(), "ttyUSB7"), c.held) << c.name;
    }
}

// A missing port is watched for: its path appearing is news, even when the folder on the
// way (serial/by-id) appears first.
TEST(PathWatch, SaysWhenThePathAppears) {
    ScratchFolder dir;
    auto pty = VirtualPort::CreatePty();
    const fs::path link = dir / "by-id" / "usb-receiver";
    auto loop = MakeEventLoop();
    int changes = 0;
    const auto watch = TermiosDevice().WatchArrival(*loop, link.string(), [&] { ++changes; });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (const auto& make : std::vector<std::function<void()>>{
             [&] { fs::create_directory(dir / "by-id"); },
             [&] { PointLink(link, pty->readerPath()); },
         }) {
        const int before = changes;
        make();
        while (changes == before && std::chrono::steady_clock::now() < deadline) {
            loop->RunOnce(deadline);
        }
        EXPECT_EQ(changes, before + 1);
    }
}

struct RefusedCase {
    const char* path;
    const char* says;  // empty: may be a serial port
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.path;
}

class WhyNotASerialPortTest : public testing::TestWithParam<RefusedCase> {};

TEST_P(WhyNotASerialPortTest, RefusesWhatCanNeverBeTheReceiver) {
    const std::string why = WhyNotASerialPort(GetParam().path);
    if (*GetParam().says == '\0') {
        EXPECT_EQ(why, "");
    } else {
        EXPECT_NE(why.find(GetParam().says), std::string::npos) << why;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, WhyNotASerialPortTest,
    testing::Values(RefusedCase{"/dev/zero", "no terminal"},
                    RefusedCase{"/dev/null", "no terminal"},
                    RefusedCase{"/dev/tty", "the terminal this program runs in"},
                    RefusedCase{"/etc/hostname", "a file"}, RefusedCase{"/tmp", "a folder"},
                    RefusedCase{"/nonexistent/ttyUSB0", ""},
                    RefusedCase{"/dev/ptmx", "the pseudo-terminal multiplexer"},
                    RefusedCase{"/dev/pts/ptmx", "the pseudo-terminal multiplexer"},
                    // No plugging in can ever make these.
                    RefusedCase{"/etc/hostname/ttyUSB0", "can never be a serial port"}));

TEST(WhyNotASerialPort, APathTooLongIsRefusedAndNotEchoedWhole) {
    const std::string path = "/dev/" + std::string(5000, 'x');
    const std::string why = WhyNotASerialPort(path);
    EXPECT_NE(why.find("can never be a serial port: File name too long"), std::string::npos) << why;
    EXPECT_LT(why.size(), 400u);
}

// Another user's pseudo-terminal (linked where ours is expected) is refused, at start and
// at the open; our own is fine.
TEST(WhyNotASerialPort, AnotherUsersDeviceIsRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "handing a pseudo-terminal to another user needs root";
    }
    auto port = VirtualPort::CreatePty();
    ASSERT_EQ(::chown(port->readerPath().c_str(), 65534, static_cast<gid_t>(-1)), 0);
    EXPECT_NE(WhyNotASerialPort(port->readerPath()).find("belongs to another user"),
              std::string::npos);
    TermiosDevice device;
    const auto refused = device.Open(port->readerPath());
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->kind, SerialError::Kind::NoPermission);
    ASSERT_EQ(::chown(port->readerPath().c_str(), ::geteuid(), static_cast<gid_t>(-1)), 0);
    EXPECT_EQ(WhyNotASerialPort(port->readerPath()), "");
    EXPECT_FALSE(device.Open(port->readerPath()));
}

TEST(WhyNotASerialPort, APipeIsRefusedAndAPseudoTerminalIsNot) {
    ScratchFolder dir;
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_NE(WhyNotASerialPort(fifo).find("a pipe"), std::string::npos);
    EXPECT_EQ(WhyNotASerialPort(VirtualPort::CreatePty()->readerPath()), "");
}

}  // namespace
