#include "finder/port_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "finder/port_candidates.h"
#include "finder/press_tally.h"
#include "finder/remote_candidates.h"
#include "tests/doubles/fed_key_source.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/doubles/scripted_key_source.h"
#include "tools/virtual_port.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using Listed = PortListing::Port;

struct ChooseCase {
    const char* what;
    std::vector<Listed> listed;
    Names chosen;
};

void PrintTo(const ChooseCase& c, std::ostream* os) {
    *os << c.what;
}

class PortCandidatesChoose : public ::testing::TestWithParam<ChooseCase> {};

TEST_P(PortCandidatesChoose, ListensOnEachUsableDeviceOnceByItsFirstName) {
    EXPECT_EQ(PortCandidates::Choose(GetParam().listed), GetParam().chosen) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortCandidatesChoose,
    ::testing::Values(ChooseCase{"nothing", {}, {}},
                      ChooseCase{"a stable name stands for its device",
                                 {{"/dev/serial/by-id/usb-FTDI-port0", "/dev/ttyUSB0", true},
                                  {"/dev/ttyUSB0", "/dev/ttyUSB0", true},
                                  {"/dev/ttyUSB1", "/dev/ttyUSB1", true}},
                                 {"/dev/serial/by-id/usb-FTDI-port0", "/dev/ttyUSB1"}},
                      ChooseCase{
                          "built-in nodes without a UART are left out",
                          {{"/dev/ttyS0", "/dev/ttyS0", true}, {"/dev/ttyS1", "/dev/ttyS1", false}},
                          {"/dev/ttyS0"}},
                      ChooseCase{"COM ports as the registry lists them",
                                 {{"COM3", "COM3", true}, {"COM10", "COM10", true}},
                                 {"COM3", "COM10"}}));

TEST(PortCandidatesStableName, PrefersALinkToTheSameDevice) {
    const std::vector<Listed> listed{{"/dev/serial/by-id/usb-IR-port0", "/dev/ttyUSB1", true},
                                     {"/dev/ttyUSB1", "/dev/ttyUSB1", true},
                                     {"/dev/ttyUSB0", "/dev/ttyUSB0", true}};
    EXPECT_EQ(PortCandidates::StableName("/dev/ttyUSB1", "/dev/ttyUSB1", listed),
              "/dev/serial/by-id/usb-IR-port0");
    EXPECT_EQ(PortCandidates::StableName("/dev/ttyUSB0", "/dev/ttyUSB0", listed), "/dev/ttyUSB0");
    EXPECT_EQ(PortCandidates::StableName("COM3", "COM3", {{"COM3", "COM3", true}}), "COM3");
}

// Two pseudo-terminals, one silent: the one a key press arrives on is found, and what
// cannot be a port is said with why.
TEST(PortFinder, FindsThePortAKeyArrivesOnAndSaysWhyOthersCannotBeUsed) {
    auto silent = VirtualPort::CreatePty();
    auto receiver = VirtualPort::CreatePty();
    ScratchFolder folder;
    const std::string file = folder.FilePath("file");
    std::ofstream(file) << "";
    const std::string missing = folder.FilePath("missing");

    PortFinder finder;
    EXPECT_EQ(finder.Listen({silent->readerPath(), file, receiver->readerPath(), missing}),
              (Names{silent->readerPath(), receiver->readerPath()}));
    ASSERT_EQ(finder.Problems().size(), 2u);
    EXPECT_NE(finder.Problems()[0].find(file + " is a file"), std::string::npos)
        << finder.Problems()[0];
    EXPECT_NE(finder.Problems()[1].find("No such file"), std::string::npos) << finder.Problems()[1];

    ASSERT_TRUE(receiver->WaitForRawReader());
    // A stray byte and a repeat are no key press; the press is.
    ASSERT_TRUE(receiver->Write({0x33, 0x0D, 0x21, 0x91, 0x21}));
    EXPECT_EQ(finder.Await(std::chrono::minutes(1)), receiver->readerPath());
    // Listening has ended: the ports can be opened again.
    PortFinder again;
    EXPECT_EQ(again.Listen({receiver->readerPath()}).size(), 1u);
}

// Which source a press names, as the items come from two sources (0 the receiver, 1 the
// other): "p" a key press, "n" anything else (a stray byte, a repeat, a key going up).
TEST(PressTally, NamesASourceBesideNoiseOnlyAfterTwoPresses) {
    const struct {
        const char* what;
        std::vector<std::pair<std::size_t, char>> heard;
        bool asked;
    } cases[] = {
        {"a source alone is named at its first press", {{0, 'n'}, {0, 'p'}}, false},
        {"noise elsewhere asks for a second press", {{1, 'n'}, {0, 'p'}, {0, 'p'}}, true},
        {"a press in the noise is not taken for the receiver's",
         {{1, 'n'}, {0, 'p'}, {1, 'p'}, {0, 'p'}},
         true},
        {"a press in the noise first is not taken either",
         {{0, 'n'}, {1, 'p'}, {0, 'p'}, {0, 'p'}},
         true},
    };
    for (const auto& c : cases) {
        PressTally tally;
        for (const auto& [source, what] : c.heard) {
            EXPECT_FALSE(tally.Found()) << c.what;
            tally.Heard(source, what == 'p');
        }
        EXPECT_EQ(tally.Found(), std::optional<std::size_t>(0)) << c.what;
        EXPECT_EQ(tally.AgainWanted(), c.asked) << c.what;
    }
}

// A port this process holds (as another program would) is not taken.
TEST(PortFinder, LeavesAHeldPortAlone) {
    auto pty = VirtualPort::CreatePty();
    PortFinder holder;
    ASSERT_EQ(holder.Listen({pty->readerPath()}).size(), 1u);
    PortFinder finder;
    EXPECT_TRUE(finder.Listen({pty->readerPath()}).empty());
    ASSERT_EQ(finder.Problems().size(), 1u);
    EXPECT_NE(finder.Problems()[0].find("held by another"), std::string::npos)
        << finder.Problems()[0];
}

// Nothing arrives within the limit: nothing is found.
TEST(PortFinder, FindsNothingWhenNoKeyArrivesInTime) {
    auto silent = VirtualPort::CreatePty();
    PortFinder finder;
    ASSERT_EQ(finder.Listen({silent->readerPath()}).size(), 1u);
    EXPECT_EQ(finder.Await(std::chrono::milliseconds(0)), "");
}

#ifndef _WIN32
// Input devices with a remote's keys, each by the name that outlasts a replug.
TEST(RemoteCandidatesInputs, NamesEachDeviceWithMediaKeysStably) {
    const std::vector<InputNode> nodes{
        {"/dev/input/event2", "AT Keyboard", {"/dev/input/by-path/platform-i8042"}, false},
        {"/dev/input/event5", "IR", {"/dev/input/by-path/usb-0", "/dev/input/by-id/usb-IR"}, true},
        {"/dev/input/event6", "MCE IR", {}, true},
        {"/dev/input/event7", "MCE IR", {}, true}};
    std::vector<std::string> opened;
    const auto candidates =
        RemoteCandidates::Inputs(nodes, [&](const std::string& path, int& error) {
            opened.push_back(path);
            error = ENOENT;
            return nullptr;
        });
    ASSERT_EQ(candidates.size(), 2u);
    EXPECT_EQ(candidates[0].label + "|" + candidates[0].value,
              "input /dev/input/by-id/usb-IR (IR)|/dev/input/by-id/usb-IR");
    EXPECT_EQ(candidates[1].label + "|" + candidates[1].value, "input name=MCE IR|name=MCE IR");
    // Every device of a name is read, as one receiver.
    candidates[1].make()->Open();
    EXPECT_EQ(opened, (Names{"/dev/input/event6", "/dev/input/event7"}));
}
#endif

// Windows' HID devices with a remote's collections, each once, by product name or ids.
TEST(RemoteCandidatesHids, NamesEachDeviceWithARemotesCollectionsOnce) {
    const std::vector<HidDevice> devices{
        {"\\\\?\\HID#VID_046D&PID_C077", "USB Optical Mouse", 0x046D, 0xC077, {0x01, 0x02}},
        {"\\\\?\\HID#VID_20A0&PID_0006&Col01", "flirc", 0x20A0, 0x0006, KeyboardCollection},
        {"\\\\?\\HID#VID_20A0&PID_0006&Col02", "flirc", 0x20A0, 0x0006, {HidPage::Consumer, 1}},
        {"\\\\?\\HID#VID_045E&PID_006D&Col03", "", 0x045E, 0x006D, {HidPage::MceRemote, 0x88}}};
    Names made;
    const auto candidates = RemoteCandidates::Hids(devices, [&](const std::string& wanted) {
        made.push_back(wanted);
        return std::unique_ptr<KeySource>();
    });
    Names named;
    for (const RemoteCandidate& candidate : candidates) {
        named.push_back(candidate.setting + " " + candidate.label + "|" + candidate.value);
        candidate.make();
    }
    EXPECT_EQ(named, (Names{"input input name=flirc (20a0:0006)|name=flirc",
                            "input input 045e:006d|045e:006d"}));
    EXPECT_EQ(made, (Names{"name=flirc", "045e:006d"}));
}

}  // namespace
