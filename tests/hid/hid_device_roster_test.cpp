#include "hid/hid_device_roster.h"

#include <gtest/gtest.h>

#include "hid/hid_report_block.h"

namespace {

const HidDevice Keyboard{"\\\\?\\HID#VID_1D57&PID_AD03&Col01#1", "Flirc", 0x1D57, 0xAD03,
                         KeyboardCollection};
const HidDevice Remote{"\\\\?\\HID#VID_1D57&PID_AD03&Col02#1", "Flirc", 0x1D57, 0xAD03,
                       RemoteCollections[0]};
const HidDevice Other{"\\\\?\\HID#VID_0627&PID_0001#1", "Wine Keyboard", 0x0627, 0x0001,
                      KeyboardCollection};

// The log's lines and the condition, as one list.
std::vector<std::string> Said(const HidDeviceRoster::Change& change) {
    std::vector<std::string> said = change.said;
    said.insert(said.end(), change.warnings.begin(), change.warnings.end());
    if (change.condition) {
        said.push_back(std::to_string(static_cast<int>(change.condition->kind)) + " " +
                       change.condition->reason);
    }
    return said;
}

// A device named in the wrong case, or as a pattern, is said to be missing, with what is
// there; when it comes it is read (Back, should the source have been away), one whose reports
// cannot be read says so, and the last chosen one going is Lost.
TEST(HidDeviceRoster, SaysWhatIsThereWhenTheChosenDeviceIsNotAndFollowsItsComings) {
    HidDeviceRoster roster(HidDeviceChoice({"name=flirc", "name=Wine*"}));
    roster.Arrived(1, Other, true);
    roster.Arrived(2, Remote, true);
    roster.Arrived(3, HidDevice{"\\\\?\\HID#VID_0000&PID_0000#2", "", 0, 0, {1, 2}}, true);
    const auto missing = roster.Missing();
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->reason,
              "no HID device name=flirc, name=Wine* (waiting for it to be plugged in); here now: "
              "name=Flirc, name=Wine Keyboard (a name is matched exactly, case and all)");
    EXPECT_FALSE(roster.EveryKeyboardChosen());

    HidDeviceRoster flirc(HidDeviceChoice({"name=Flirc"}));
    EXPECT_TRUE(flirc.Missing());
    EXPECT_EQ(Said(flirc.Arrived(4, Keyboard, true)),
              (std::vector<std::string>{"reading Flirc (1d57:ad03)",
                                        "5 reading Flirc (1d57:ad03) again"}));
    EXPECT_TRUE(flirc.EveryKeyboardChosen());
    EXPECT_EQ(Said(flirc.Arrived(5, Remote, false)),
              (std::vector<std::string>{
                  "reading Flirc (1d57:ad03)",
                  "Flirc (1d57:ad03) gives no keys: Windows gave no HID description of its "
                  "reports",
                  "5 reading Flirc (1d57:ad03) again"}));
    flirc.Arrived(6, Other, true);
    EXPECT_FALSE(flirc.EveryKeyboardChosen());
    EXPECT_EQ(Said(flirc.Departed(4)).size(), 1u);
    EXPECT_EQ(Said(flirc.Departed(5)),
              (std::vector<std::string>{"stopped reading Flirc (1d57:ad03): it was unplugged",
                                        "4 the HID device went away (it was unplugged); waiting "
                                        "for it to come back"}));
    EXPECT_TRUE(Said(flirc.Departed(6)).empty());
}

// A block's own numbers never reach past its bytes.
TEST(WholeReports, CountsOnlyTheReportsTheBytesHold) {
    EXPECT_EQ(WholeReports(40, 24, 4, 4), 4u);
    EXPECT_EQ(WholeReports(40, 24, 4, 9), 4u);
    EXPECT_EQ(WholeReports(30, 24, 4, 9), 1u);
    EXPECT_EQ(WholeReports(20, 24, 4, 9), 0u);
    EXPECT_EQ(WholeReports(40, 24, 0, 9), 0u);
}

}  // namespace
