#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "serial/posix_device_check.h"
#include "serial/serial_line.h"
#include "serial/termios_device.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/memory_history_list.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/serial/blocked_thread.h"
#include "tests/serial/shown_line.h"
#include "tools/virtual_port.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
const std::string Err = "Err";
const std::string ReadError = "COM READ ERROR!";

// The real device, except that back-off waits are recorded instead of slept; a stop still
// cuts them short.
class RecordedPauseDevice : public TermiosDevice {
  public:
    bool Pause(std::chrono::milliseconds duration) override {
        pauses.push_back(static_cast<long>(duration.count()));
        return TermiosDevice::Pause(std::chrono::milliseconds(0));
    }
    bool AwaitPath(const std::string&, std::chrono::milliseconds duration) override {
        return Pause(duration);
    }
    std::vector<long> pauses;
};

struct Rig : ShownLine {
    explicit Rig(const std::string& path) {
        auto owned = std::make_unique<RecordedPauseDevice>();
        device = owned.get();
        line = std::make_unique<SerialLine>(path, std::move(owned));
    }
    RecordedPauseDevice* device;
};

// A read on its own thread; it is idle once it sleeps on the port and the wake-up, with
// no time-out.
struct BackgroundRead : BlockedCall<int> {
    explicit BackgroundRead(SerialLine& line) : BlockedCall([&line] { return line.ReadByte(); }) {}
    bool Blocked() { return Polling(2, true); }
    int Result() { return Get(); }
};

// Points link at target, replacing whatever it pointed at in one step.
void PointLink(const fs::path& link, const std::string& target) {
    const fs::path next = link.string() + ".next";
    fs::create_symlink(target, next);
    fs::rename(next, link);
}

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

    Rig rig(pty->readerPath());
    rig.Start();
    EXPECT_TRUE(rig.list.lines.empty());

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
    rig.line.reset();
    const termios after = pty->ReaderSettings();
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(cfgetispeed(&after), B38400);
}

TEST(SerialLinePty, BytesArriveUnchanged) {
    auto pty = VirtualPort::CreatePty();
    Rig rig(pty->readerPath());
    rig.Start();
    const std::vector<std::uint8_t> sent = {0x0D, 0x11, 0x13, 0xFF, 0x00, 0x91, 0x60, 0x03, 0x0A};
    pty->Write(sent);
    for (const std::uint8_t byte : sent) {
        EXPECT_EQ(rig.ReadByte(), byte);
    }
    EXPECT_TRUE(rig.list.lines.empty());
}

// Bytes that arrived before the port was configured were cooked by the line discipline;
// they are dropped, not read as events.
TEST(SerialLinePty, InputFromBeforeConfigurationIsDiscarded) {
    auto pty = VirtualPort::CreatePty();
    Rig rig(pty->readerPath());
    rig.line->Open();
    pty->Write({0x05, 0x0D});
    rig.Configure();
    pty->Write({0x91});
    EXPECT_EQ(rig.ReadByte(), 0x91);
}

// A sender (quorvel-send) starts as soon as it sees the line in raw mode; nothing it sends
// from then on may be discarded by the rest of the configuration. The window is a few
// microseconds wide, so the sender races the configuration many times.
TEST(SerialLinePty, BytesSentOnceTheLineIsRawAreKept) {
    int lost = 0;
    for (int run = 0; run < 1000; ++run) {
        auto pty = VirtualPort::CreatePty();
        Rig rig(pty->readerPath());
        std::thread sender([&pty] {
            while ((pty->ReaderSettings().c_lflag & ICANON) != 0) {
            }
            pty->Write({0x91});
        });
        rig.Start();
        sender.join();
        // A marker after the race: it is read first only if 0x91 was thrown away.
        pty->Write({0x05});
        lost += rig.ReadByte() == 0x91 ? 0 : 1;
    }
    EXPECT_EQ(lost, 0);
}

TEST(SerialLinePty, IdleReadSleepsUntilAByteArrives) {
    auto pty = VirtualPort::CreatePty();
    Rig rig(pty->readerPath());
    rig.Start();
    BackgroundRead read(*rig.line);
    ASSERT_TRUE(read.Blocked());
    pty->Write({0x91});
    EXPECT_EQ(read.Result(), 145);
    EXPECT_TRUE(rig.list.lines.empty());
}

TEST(SerialLinePty, StopWakesAnIdleRead) {
    auto pty = VirtualPort::CreatePty();
    Rig rig(pty->readerPath());
    rig.Start();
    BackgroundRead read(*rig.line);
    ASSERT_TRUE(read.Blocked());
    rig.line->RequestStop();
    EXPECT_EQ(read.Result(), SerialLine::Stopped);
    pty->Write({0x91});
    EXPECT_EQ(rig.ReadByte(), SerialLine::Stopped);
    EXPECT_TRUE(rig.list.lines.empty());
}

TEST(SerialLinePty, SecondOpenOfAHeldPortIsRefused) {
    LogCapture logs;
    auto pty = VirtualPort::CreatePty();
    auto first = std::make_unique<Rig>(pty->readerPath());
    first->Start();
    Rig second(pty->readerPath());
    second.Start();
    EXPECT_TRUE(first->list.lines.empty());
    EXPECT_EQ(second.list.lines, Lines(3, Err));
    EXPECT_EQ(logs.Count("another instance"), 1);

    // Released with its owner: a later instance gets the port.
    first.reset();
    Rig third(pty->readerPath());
    third.Start();
    EXPECT_TRUE(third.list.lines.empty());
    pty->Write({0x60});
    EXPECT_EQ(third.line->ReadByte(), 0x60);
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
    EXPECT_EQ(device.Open(pty->readerPath()), EBUSY);
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

// A port that appears while a wait bounded by a deadline (a pending gesture) is paced by
// the back-off is opened at once, not after the next whole back-off.
TEST(SerialLinePty, APortAppearingBeforeTheDeadlineIsOpenedAtOnce) {
    ScratchFolder dir;
    auto pty = VirtualPort::CreatePty();
    const std::string link = dir.FilePath("port");
    SerialLine line(link, MakeSerialDevice());
    line.Open();
    line.Configure();
    for (int i = 0; i < 3; ++i) {
        line.Next();  // failed reads: the back-off grows past the deadline below
    }
    std::filesystem::create_symlink(pty->readerPath(), link);
    const SourceItem item =
        line.NextBefore(std::chrono::steady_clock::now() + std::chrono::milliseconds(200));
    ASSERT_TRUE(std::holds_alternative<SourceCondition>(item)) << item.index();
    EXPECT_EQ(std::get<SourceCondition>(item).kind, SourceCondition::Kind::Back);
}

// A missing port's wait ends when its path appears, however long the back-off, even when
// the folder on the way (serial/by-id) appears first.
TEST(TermiosDeviceAwaitPath, EndsWhenThePathAppears) {
    ScratchFolder dir;
    auto pty = VirtualPort::CreatePty();
    const fs::path link = dir / "by-id" / "usb-receiver";
    TermiosDevice device;
    for (const auto& make : std::vector<std::function<void()>>{
             [&] { fs::create_directory(dir / "by-id"); },
             [&] { PointLink(link, pty->readerPath()); },
         }) {
        // A day: only the path appearing ends the wait before the test's time-out.
        BlockedCall<bool> waiter(
            [&] { return device.AwaitPath(link.string(), std::chrono::hours(24)); });
        ASSERT_TRUE(waiter.Polling(2, false));
        make();
        EXPECT_TRUE(waiter.Get());
    }
    EXPECT_EQ(device.Open(link.string()), 0);
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
    EXPECT_EQ(device.Open(port->readerPath()), EPERM);
    ASSERT_EQ(::chown(port->readerPath().c_str(), ::geteuid(), static_cast<gid_t>(-1)), 0);
    EXPECT_EQ(WhyNotASerialPort(port->readerPath()), "");
    EXPECT_EQ(device.Open(port->readerPath()), 0);
}

TEST(WhyNotASerialPort, APipeIsRefusedAndAPseudoTerminalIsNot) {
    ScratchFolder dir;
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_NE(WhyNotASerialPort(fifo).find("a pipe"), std::string::npos);
    EXPECT_EQ(WhyNotASerialPort(VirtualPort::CreatePty()->readerPath()), "");
}

TEST(TermiosDevicePause, RunsItsCourseWithoutAWakeUp) {
    TermiosDevice device;
    EXPECT_TRUE(device.Pause(std::chrono::milliseconds(1)));
}

TEST(TermiosDevicePause, WakeCutsALongWaitShort) {
    TermiosDevice device;
    BlockedCall<bool> waiter([&] { return device.Pause(std::chrono::hours(1)); });
    EXPECT_TRUE(waiter.Polling(1, false));
    device.Wake();
    EXPECT_FALSE(waiter.Get());
    // The wake-up lasts: later waits end at once.
    EXPECT_FALSE(device.Pause(std::chrono::hours(1)));
}

// A wait that poll cannot make (here: one descriptor more than the process may have) still
// takes its time, or a back-off built on it would spin.
TEST(TermiosDevicePause, TakesItsTimeWhenPollFails) {
    TermiosDevice device;
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    rlimit one = limit;
    one.rlim_cur = 0;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &one), 0);
    const auto start = std::chrono::steady_clock::now();
    const bool ranItsCourse = device.Pause(std::chrono::milliseconds(100));
    const auto took = std::chrono::steady_clock::now() - start;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    EXPECT_TRUE(ranItsCourse);
    EXPECT_GE(took, std::chrono::milliseconds(100));
}

// Unplug, a while without the device, replug at the same name: reads fail at a slowing
// pace, then resume on the new device with no "Err" lines.
TEST(SerialLinePty, RecoversAfterHangUpAndReplug) {
    LogCapture logs;
    ScratchFolder dir;
    const fs::path link = dir / "ttyUSB0";
    auto first = VirtualPort::CreatePty();
    PointLink(link, first->readerPath());
    Rig rig(link.string());
    rig.Start();
    first->Write({0x91});
    EXPECT_EQ(rig.ReadByte(), 145);

    first.reset();
    EXPECT_EQ(rig.ReadByte(), SerialLine::ReadFailed);
    fs::remove(link);
    EXPECT_EQ(rig.ReadByte(), SerialLine::ReadFailed);

    auto second = VirtualPort::CreatePty();
    PointLink(link, second->readerPath());
    BackgroundRead read(*rig.line);
    ASSERT_TRUE(read.Blocked());
    second->Write({0x60});
    EXPECT_EQ(read.Result(), 0x60);
    second->Write({0x91});
    EXPECT_EQ(rig.ReadByte(), 145);

    EXPECT_EQ(rig.list.lines, Lines(2, ReadError));
    EXPECT_EQ(rig.device->pauses, (std::vector<long>{100, 200}));
    EXPECT_EQ(logs.Count("hung up"), 1);
    EXPECT_EQ(logs.Count("is back"), 1);
}

}  // namespace
