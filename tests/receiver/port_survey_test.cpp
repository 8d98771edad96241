#include "receiver/port_survey.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/doubles/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// A scratch folder laid out like /dev or /proc.
struct Scratch : ScratchFolder {
    fs::path Touch(const fs::path& relative) {
        fs::create_directories((root / relative).parent_path());
        std::ofstream(root / relative) << "";
        return root / relative;
    }
    const fs::path root = Path();
};

TEST(PortSurvey, ListsStableNamesFirstThenAdaptersThenBuiltInPorts) {
    Scratch dev;
    dev.Touch("ttyS0");
    dev.Touch("ttyS1");
    dev.Touch("ttyUSB1");
    dev.Touch("ttyUSB0");
    dev.Touch("ttyACM0");
    dev.Touch("tty1");
    dev.Touch("serial/by-id/usb-FTDI_FT232R-if00-port0");
    const std::string d = dev.root.string();
    EXPECT_EQ(PortSurvey::SerialPortsPresent(d),
              (Names{d + "/serial/by-id/usb-FTDI_FT232R-if00-port0", d + "/ttyUSB0", d + "/ttyUSB1",
                     d + "/ttyACM0", d + "/ttyS0", d + "/ttyS1"}));
}

TEST(PortSurvey, ManyBuiltInPortsAreSummarisedInNumericOrder) {
    Scratch dev;
    for (int i = 0; i < 12; ++i) {
        dev.Touch("ttyS" + std::to_string(i));
    }
    const std::string d = dev.root.string();
    EXPECT_EQ(PortSurvey::SerialPortsPresent(d), Names{d + "/ttyS0 to ttyS11 (12 built-in ports)"});
}

TEST(PortSurvey, NothingThereMeansAnEmptyList) {
    Scratch dev;
    EXPECT_TRUE(PortSurvey::SerialPortsPresent(dev.root.string()).empty());
    EXPECT_TRUE(PortSurvey::SerialPortsPresent((dev.root / "missing").string()).empty());
}

TEST(PortSurvey, NamesTheProcessesThatHoldThePort) {
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

    EXPECT_EQ(PortSurvey::ProcessesHolding(port.string(), proc.string()),
              Names{"minicom (pid 4242)"});
    EXPECT_TRUE(
        PortSurvey::ProcessesHolding((scratch.root / "dev/none").string(), proc.string()).empty());
}

}  // namespace
