#include "serial/port_listing.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>

#include "tests/doubles/eventually.h"
#include "tests/doubles/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using PortListing::Port;

// A scratch folder laid out like /dev, /sys or /proc.
struct Scratch : ScratchFolder {
    fs::path Touch(const fs::path& relative) {
        fs::create_directories((root / relative).parent_path());
        std::ofstream(root / relative) << "";
        return root / relative;
    }
    const fs::path root = Path();
};

// Stable names first, then adapters, then built-in ports (usable only with a UART).
TEST(PortListing, ListsStableNamesFirstThenAdaptersThenBuiltInPorts) {
    Scratch s;
    for (const char* name : {"ttyS1", "ttyS0", "ttyUSB1", "ttyUSB0", "ttyACM0", "tty1"}) {
        s.Touch(fs::path("dev") / name);
    }
    fs::create_directories(s.root / "dev/serial/by-id");
    fs::create_symlink("../../ttyUSB1", s.root / "dev/serial/by-id/usb-FTDI-port0");
    fs::create_directories(s.root / "sys/class/tty/ttyS0/device");
    std::ofstream(s.root / "sys/class/tty/ttyS0/type") << "4\n";  // a 16550A
    const std::string d = (s.root / "dev").string();
    const auto ports = PortListing::PortsUnder(d, (s.root / "sys").string());
    EXPECT_EQ(ports, (std::vector<Port>{{d + "/serial/by-id/usb-FTDI-port0", d + "/ttyUSB1"},
                                        {d + "/ttyUSB0", d + "/ttyUSB0"},
                                        {d + "/ttyUSB1", d + "/ttyUSB1"},
                                        {d + "/ttyACM0", d + "/ttyACM0"},
                                        {d + "/ttyS0", d + "/ttyS0", true, true},
                                        {d + "/ttyS1", d + "/ttyS1", false, true}}));
    EXPECT_EQ(PortListing::Named(ports),
              (Names{d + "/serial/by-id/usb-FTDI-port0", d + "/ttyUSB0", d + "/ttyUSB1",
                     d + "/ttyACM0", d + "/ttyS0", d + "/ttyS1"}));
    EXPECT_TRUE(PortListing::PortsUnder(d + "/missing", d + "/missing").empty());
}

TEST(PortListing, ManyBuiltInPortsAreNamedAsOneRange) {
    Scratch dev;
    for (int i = 0; i < 12; ++i) {
        dev.Touch("ttyS" + std::to_string(i));
    }
    const std::string d = dev.root.string();
    EXPECT_EQ(PortListing::Named(PortListing::PortsUnder(d, d)),
              Names{d + "/ttyS0 to ttyS11 (12 built-in ports)"});
}

TEST(PortListing, NamesTheProcessesThatHoldThePort) {
    Scratch scratch;
    const fs::path port = scratch.Touch("dev/ttyUSB0");
    const fs::path other = scratch.Touch("dev/ttyUSB1");
    const fs::path proc = scratch.root / "proc";
    const auto process = [&](const std::string& pid, const std::string& comm,
                             const fs::path& file) {
        fs::create_directories(proc / pid / "fd");
        std::ofstream(proc / pid / "comm") << comm << "\n";
        fs::create_symlink(file, proc / pid / "fd" / "3");
    };
    process("4242", "minicom", port);
    process("77", "gpsd", other);
    fs::create_directories(proc / "self" / "fd");  // not a pid: skipped

    EXPECT_EQ(PortListing::Holders(port.string(), proc.string()), Names{"minicom (pid 4242)"});
    EXPECT_TRUE(PortListing::Holders((scratch.root / "dev/none").string(), proc.string()).empty());
}

// A folder that fails to read on midway (a process going) ends the look, not the caller.
TEST(PortListing, AFolderThatFailsMidwayEndsTheLookForHolders) {
    Scratch s;
    const fs::path port = s.Touch("dev/ttyUSB0");
    const fs::path proc = s.root / "proc";
    fs::create_directories(proc / "4242" / "fd");
    fs::create_symlink(port, proc / "4242" / "fd" / "3");
    ASSERT_EQ(::mkfifo((proc / "4242" / "comm").c_str(), 0600), 0);
    auto holders = std::async(std::launch::async,
                              [&] { return PortListing::Holders(port.string(), proc.string()); });
    // The look has reached the holder's name, so it is reading proc.
    int name = -1;
    ASSERT_TRUE(Eventually([&] {
        return (name = ::open((proc / "4242" / "comm").c_str(), O_WRONLY | O_NONBLOCK)) >= 0;
    }));
    // proc's open descriptor now reads as no folder.
    const int nothing = ::open("/dev/null", O_RDONLY);
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(fd.path(), ec) == fs::canonical(proc)) {
            ::dup2(nothing, std::stoi(fd.path().filename().string()));
        }
    }
    ::close(nothing);
    ASSERT_EQ(::write(name, "minicom\n", 8), 8);
    ::close(name);
    EXPECT_EQ(holders.get(), Names{"minicom (pid 4242)"});
}

TEST(PortListing, OnlyALiveProcessesLockFileHoldsAPort) {
    ScratchFolder locks;
    const auto lock = [&](const std::string& name, long pid) {
        std::ofstream(locks.FilePath("LCK.." + name)) << "      " << pid << "\n";
    };
    lock("ttyUSB0", ::getpid());
    lock("ttyUSB1", 0x3fffffff);  // no such process: a stale lock
    EXPECT_EQ(PortListing::WhyLocked("/dev/ttyUSB0", locks.Path()),
              "busy: locked by process " + std::to_string(::getpid()) + " (" +
                  locks.FilePath("LCK..ttyUSB0") + ")");
    EXPECT_EQ(PortListing::WhyLocked("/dev/ttyUSB1", locks.Path()), "");
    EXPECT_EQ(PortListing::WhyLocked("/dev/ttyUSB2", locks.Path()), "");
}

}  // namespace
