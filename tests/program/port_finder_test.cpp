#include "program/port_finder.h"

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

#include "program/port_candidates.h"
#include "tests/doubles/ready_serial_device.h"
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

// Ports, and key sources of other kinds, whose reads follow a script, each step waiting for
// the others' where it matters.
class Script {
  public:
    struct Step {
        std::vector<std::uint8_t> bytes;   // read at once
        int waitFor = 0;                   // else: wait until this mark is made
        int mark = 0;                      // else: make this mark (the bytes before are taken)
        std::optional<SourceItem> item{};  // a key source's, in place of bytes
    };

    class Device : public ReadySerialDevice {
      public:
        Device(Script& script, std::vector<Step> steps)
            : script_(script), steps_(std::move(steps)) {}
        // The next step that gives something, once the marks before it are made; null once
        // woken.
        const Step* Take() {
            std::unique_lock lock(script_.mutex_);
            for (; next_ < steps_.size() && !woken_; ++next_) {
                const Step& step = steps_[next_];
                if (step.mark != 0) {
                    script_.marks_.insert(step.mark);
                    script_.changed_.notify_all();
                } else if (step.waitFor != 0) {
                    script_.changed_.wait(
                        lock, [&] { return woken_ || script_.marks_.count(step.waitFor) > 0; });
                } else {
                    return &steps_[next_++];
                }
            }
            script_.changed_.wait(lock, [&] { return woken_; });
            return nullptr;
        }
        ReadResult Read(std::span<std::uint8_t> buffer) override {
            const Step* step = Take();
            if (step == nullptr) {
                return {ReadStatus::Stopped};
            }
            std::copy(step->bytes.begin(), step->bytes.end(), buffer.begin());
            return {ReadStatus::Data, step->bytes.size()};
        }
        void Wake() override {
            std::lock_guard lock(script_.mutex_);
            woken_ = true;
            script_.changed_.notify_all();
        }

      private:
        Script& script_;
        std::vector<Step> steps_;
        std::size_t next_ = 0;
        bool woken_ = false;
    };

    class Source : public KeySource {
      public:
        Source(Script& script, std::vector<Step> steps) : steps_(script, std::move(steps)) {}
        void Open() override {}
        std::vector<SourceCondition> Configure() override { return {}; }
        SourceItem Next() override {
            const Step* step = steps_.Take();
            return step == nullptr ? SourceItem(SourceStopped{}) : *step->item;
        }
        // The finder never asks for a deadline.
        SourceItem NextBefore(Deadline) override { return Next(); }
        void RequestStop() override { steps_.Wake(); }

      private:
        Device steps_;
    };

    void Mark(int mark) {
        std::lock_guard lock(mutex_);
        marks_.insert(mark);
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<int> marks_;
};

using Step = Script::Step;
constexpr int NoiseHeard = 1, AskedAgain = 2, NoisePressed = 3, ReceiverHeard = 4;
const Step Press{{0x91, 0x2A}};
// A remote's key on lircd, and a keyboard's key going up (the Enter that started the search).
const Step LircdPress{{}, 0, 0, KeyEvent{KeyAction::Press, Key::Name("KEY_PLAY"), "mce"}};
const Step KeyboardPress{{}, 0, 0, KeyEvent{KeyAction::Press, Key::Name("KEY_A")}};
const Step KeyboardRelease{{}, 0, 0, KeyEvent{KeyAction::Release, Key::Name("KEY_ENTER")}};

struct NoiseCase {
    const char* what;
    std::vector<Step> noise;
    std::vector<Step> receiver;
    bool asked;
};

void PrintTo(const NoiseCase& c, std::ostream* os) {
    *os << c.what;
}

class PortFinderNoise : public ::testing::TestWithParam<NoiseCase> {};

TEST_P(PortFinderNoise, NamesAPortBesideNoiseOnlyAfterTwoPresses) {
    const NoiseCase& c = GetParam();
    Script script;
    const std::vector<Step>* steps = nullptr;
    PortFinder finder([&]() -> std::unique_ptr<SerialDevice> {
        return std::make_unique<Script::Device>(script, *steps);
    });
    // A script of items is a key source's of another kind (lircd, an input device).
    for (const auto& [name, its] : {std::pair{"noise", &c.noise}, {"receiver", &c.receiver}}) {
        steps = its;
        EXPECT_TRUE(std::none_of(its->begin(), its->end(), [](const Step& s) { return s.item; })
                        ? finder.Listen({name}).size() == 1
                        : finder.ListenTo(name, std::make_unique<Script::Source>(script, *its)));
    }
    int asked = 0;
    EXPECT_EQ(finder.Await(std::chrono::minutes(1),
                           [&] {
                               ++asked;
                               script.Mark(AskedAgain);
                           }),
              "receiver");
    EXPECT_EQ(asked, c.asked ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortFinderNoise,
    ::testing::Values(
        NoiseCase{"a port alone is named at its first press", {}, {{{0x33}}, Press}, false},
        NoiseCase{"noise elsewhere asks for a second press",
                  {{{0x33}}, {{}, 0, NoiseHeard}},
                  {{{}, NoiseHeard}, Press, {{}, AskedAgain}, Press},
                  true},
        NoiseCase{"a press in the noise is not taken for the receiver's",
                  {{{0x33}}, {{}, 0, NoiseHeard}, {{}, AskedAgain}, Press, {{}, 0, NoisePressed}},
                  {{{}, NoiseHeard}, Press, {{}, NoisePressed}, Press},
                  true},
        NoiseCase{"a press in the noise first is not taken either",
                  {{{}, ReceiverHeard}, Press},
                  {{{0x33}}, {{}, 0, ReceiverHeard}, {{}, AskedAgain}, Press, Press},
                  true},
        NoiseCase{"an input device alone is named at its first press",
                  {},
                  {KeyboardRelease, KeyboardPress},
                  false},
        NoiseCase{"lircd beside a noisy port is named at its second press",
                  {{{0x33}}, {{}, 0, NoiseHeard}},
                  {{{}, NoiseHeard}, LircdPress, {{}, AskedAgain}, LircdPress},
                  true},
        NoiseCase{"a keyboard's keys are noise beside the receiver",
                  {KeyboardRelease,
                   {{}, 0, NoiseHeard},
                   {{}, AskedAgain},
                   KeyboardPress,
                   {{}, 0, NoisePressed}},
                  {{{}, NoiseHeard}, Press, {{}, NoisePressed}, Press},
                  true}));

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

// What the user is told, and when the port found is kept: only when asked and answered.
struct KeepCase {
    bool ask;
    const char* answer;
    bool canSave;
    const char* said;  // the end of standard output; <FOUND> for the value found
    bool kept;
    const char* setting = "port";  // where the key arrives: the port, else a remote of this kind
};

// Names the case in test listings (the default printer would dump its bytes, padding and all).
void PrintTo(const KeepCase& c, std::ostream* os) {
    *os << (c.ask ? "asked" : "not asked") << (c.canSave ? ", can save" : ", cannot save")
        << (c.answer[0] == 'y' ? ", yes" : ", no") << ", " << c.setting;
}

class FindPortSessionKeeping : public ::testing::TestWithParam<KeepCase> {};

TEST_P(FindPortSessionKeeping, KeepsWhatItFoundOnlyWhenTheUserSaysSo) {
    const KeepCase& c = GetParam();
    auto receiver = VirtualPort::CreatePty();
    const bool port = std::string(c.setting) == "port";
    const std::string value = port ? receiver->readerPath() : "name=IR Receiver";
    std::vector<RemoteCandidate> others;
    if (!port) {
        others.push_back({"the remote", c.setting, value, [] {
                              return std::make_unique<ScriptedKeySource>(std::vector{
                                  SourceItem(KeyEvent{KeyAction::Press, Key::Name("KEY_OK")})});
                          }});
    }
    std::istringstream in(c.answer);
    std::ostringstream out;
    std::ostringstream err;
    std::string kept;
    PortKeeping keeping{"the settings", {}};
    if (c.canSave) {
        keeping.save = [&kept](const std::string& setting, const std::string& value, std::string&) {
            kept = setting + "=" + value;
            return true;
        };
    }
    FoundRemote found;
    std::thread session([&] {
        found = FindPortSession({receiver->readerPath()}, others, in, c.ask, out, err, keeping,
                                std::chrono::minutes(1));
    });
    // Else the key comes on its own, and the port may be closed before it is ready.
    EXPECT_TRUE(!port || (receiver->WaitForRawReader() && receiver->Write({0x91, 0x2A})));
    session.join();
    EXPECT_EQ(found.setting + "=" + found.value, c.setting + ("=" + value));
    EXPECT_EQ(kept, c.kept ? c.setting + ("=" + value) : "");
    const std::string said = out.str();
    std::string end = c.said;
    if (const auto at = end.find("<FOUND>"); at != std::string::npos) {
        end.replace(at, 7, value);
    }
    EXPECT_EQ(said.substr(said.size() - std::min(said.size(), end.size())), end) << said;
    EXPECT_NE(said.find("Press any key on the remote"), std::string::npos) << said;
    EXPECT_EQ(err.str(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindPortSessionKeeping,
    ::testing::Values(KeepCase{true, "y\n", true, "? [y/N] Saved.\n", true},
                      KeepCase{true, "\n", true, "? [y/N] ", false},
                      KeepCase{false, "y\n", true, "  port = <FOUND>\n", false},
                      KeepCase{true, "y\n", false, "  port = <FOUND>\n", false},
                      KeepCase{true, "y\n", true,
                               "as the lircd socket in the settings? [y/N] Saved.\n", true,
                               "lircd"},
                      KeepCase{false, "y\n", true, "  input = <FOUND>\n", false, "input"}));

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

}  // namespace
