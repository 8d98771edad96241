// What every key source does, checked the same way for each against the real thing where
// the machine has it: the serial line over a pseudo-terminal, lircd over a real lircd, the
// input devices over recorded event streams, an MQTT broker over a real mosquitto. Each runs
// on the receiver loop.
#include <linux/input-event-codes.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "input/input_source.h"
#include "lircd/lircd_source.h"
#include "mqtt/mqtt_source.h"
#include "serial/serial_line.h"
#include "source/receiver_loop.h"
#include "tests/doubles/blocked_call.h"
#include "tests/doubles/fed_key_source.h"
#include "tests/doubles/files.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/doubles/source_loop.h"
#include "tests/input/input_doubles.h"
#include "tests/lircd/lircd_rig.h"
#include "tests/mqtt/mosquitto_rig.h"
#include "tools/virtual_port.h"

namespace {

namespace fs = std::filesystem;

// One kind of source, and its device driven from outside as a remote would drive it.
class SourceRig {
  public:
    virtual ~SourceRig() = default;
    // Why the machine cannot have this kind here; empty when it can.
    virtual std::string Missing() const { return {}; }
    // The device, there and working.
    virtual bool Start() = 0;
    virtual std::unique_ptr<KeySource> Make() = 0;
    // A key event on the device, and the key as the source names it.
    virtual void Send(KeyAction action) = 0;
    virtual std::string KeyText() const = 0;
    virtual bool GivesReleases() const { return false; }
    // What is no key on the device, and what it gives: a serial stray byte is an item.
    virtual std::string Junk() = 0;
    // The device goes, and comes back.
    virtual void Lose() = 0;
    virtual void Return() = 0;
};

class SerialRig : public SourceRig {
  public:
    bool Start() override {
        Return();
        return true;
    }
    std::unique_ptr<KeySource> Make() override {
        return std::make_unique<SerialLine>(link_.string(), MakeSerialDevice());
    }
    void Send(KeyAction action) override {
        Write({static_cast<unsigned char>(action == KeyAction::Press ? 0x91 : 0x0D), 0x60});
    }
    std::string KeyText() const override { return "96"; }
    std::string Junk() override {
        Write({0x05});
        return "stray 5";
    }
    void Lose() override { pty_.reset(); }
    void Return() override {
        pty_ = VirtualPort::CreatePty();
        PointLink(link_, pty_->readerPath());
    }

  private:
    void Write(const std::vector<unsigned char>& bytes) {
        ASSERT_TRUE(pty_->WaitForRawReader(std::chrono::seconds(20)));
        ASSERT_TRUE(pty_->Write(bytes));
    }
    ScratchFolder folder_;
    fs::path link_ = folder_ / "ttyUSB0";
    std::unique_ptr<VirtualPort> pty_;
};

class LircdSourceRig : public SourceRig {
  public:
    std::string Missing() const override {
        return LircdRig::Available() ? "" : "lircd and irsend are not installed (Debian's lirc)";
    }
    bool Start() override { return lircd_.Start(); }
    std::unique_ptr<KeySource> Make() override {
        return std::make_unique<LircdSource>(lircd_.Socket());
    }
    void Send(KeyAction action) override {
        ASSERT_TRUE(lircd_.Send("KEY_VOLUMEUP", action == KeyAction::Press ? 0 : 1));
    }
    std::string KeyText() const override { return "KEY_VOLUMEUP@remote"; }
    // lircd itself sends only what it decoded; its junk is the decoder's to test.
    std::string Junk() override { return {}; }
    void Lose() override { lircd_.Stop(); }
    void Return() override { ASSERT_TRUE(lircd_.Start()) << lircd_.Error(); }

  private:
    LircdRig lircd_;
};

class InputRig : public SourceRig {
  public:
    bool Start() override { return true; }
    std::unique_ptr<KeySource> Make() override {
        auto finder = std::make_unique<FakeFinder>(std::vector<InputNode>{Receiver});
        finder_ = finder.get();
        return std::make_unique<InputSource>(
            std::vector<std::string>{Receiver.devnode}, true, std::move(finder),
            [this](const std::string& path, int&) -> std::unique_ptr<InputDevice> {
                auto device = std::make_unique<FakeDevice>(machine_, path);
                device_ = device.get();
                return device;
            });
    }
    void Send(KeyAction action) override {
        const int value = action == KeyAction::Press ? 1 : action == KeyAction::Repeat ? 2 : 0;
        Queue({{EV_MSC, MSC_SCAN, static_cast<int>(0x800f0410)}, {EV_KEY, KEY_VOLUMEUP, value}});
    }
    std::string KeyText() const override { return "KEY_VOLUMEUP/scan:0x800f0410"; }
    bool GivesReleases() const override { return true; }
    std::string Junk() override {
        Queue({{EV_REL, REL_X, 5}});
        return {};
    }
    void Lose() override {
        machine_.unplugged.insert(Receiver.devnode);
        finder_->Plug(Receiver, false);
    }
    void Return() override {
        machine_.unplugged.clear();
        finder_->Plug(Receiver, true);
    }

  private:
    void Queue(const std::vector<RawInputEvent>& events) {
        auto& queue = machine_.events[Receiver.devnode];
        queue.insert(queue.end(), events.begin(), events.end());
        queue.push_back({EV_SYN, SYN_REPORT, 0});
        device_->Refresh();
    }
    const InputNode Receiver{"/dev/input/event5", "MCE IR Keyboard/Mouse", {}, true};
    FakeMachine machine_;
    FakeFinder* finder_ = nullptr;
    FakeDevice* device_ = nullptr;
};

class MqttRig : public SourceRig {
  public:
    std::string Missing() const override {
        return MosquittoRig::Available()
                   ? ""
                   : "mosquitto and its clients are not installed (Debian's mosquitto and "
                     "mosquitto-clients)";
    }
    bool Start() override { return broker_.Start(); }
    std::unique_ptr<KeySource> Make() override {
        MqttSettings settings;
        std::string why;
        settings.broker = *BrokerAddress::Parse(broker_.Url(), why);
        settings.topics = {"tele/+/RESULT"};
        settings.name = "here";
        return std::make_unique<MqttSource>(std::move(settings));
    }
    // A Tasmota bridge: a press, then the same code with its Repeat count.
    void Send(KeyAction action) override {
        Publish(R"({"IrReceived":{"Protocol":"NEC","Bits":32,"Data":"0x20DF10EF","Repeat":)" +
                std::string(action == KeyAction::Press ? "0" : "1") + "}}");
    }
    std::string KeyText() const override { return "NEC_20DF10EF"; }
    std::string Junk() override {
        Publish("{not json");
        return {};
    }
    void Lose() override { broker_.Stop(); }
    void Return() override { ASSERT_TRUE(broker_.Start()) << broker_.Error(); }

  private:
    // Once the source has subscribed (without the loop's help: it subscribes as it connects).
    void Publish(const std::string& payload) {
        ASSERT_TRUE(broker_.WaitSubscribed());
        ASSERT_TRUE(broker_.Publish("tele/ir/RESULT", payload));
    }
    MosquittoRig broker_;
};

using RigMaker = std::function<std::unique_ptr<SourceRig>()>;

struct Kind {
    const char* name;
    RigMaker make;
};

void PrintTo(const Kind& kind, std::ostream* os) {
    *os << kind.name;
}

class KeySourceContract : public testing::TestWithParam<Kind> {
  protected:
    void SetUp() override {
        rig_ = GetParam().make();
        if (const std::string missing = rig_->Missing(); !missing.empty()) {
            GTEST_SKIP() << "skipped: " << missing;
        }
        ASSERT_TRUE(rig_->Start());
    }
    // The rig's source, with others beside it, on one loop, set up.
    void Listen(std::vector<std::unique_ptr<KeySource>> others = {}) {
        others.insert(others.begin(), rig_->Make());
        reader_ = std::make_unique<ReceiverLoop>(std::move(others));
        ASSERT_TRUE(StartReader(*reader_).empty());
    }
    ReceiverLoop::Taken Take() { return reader_->Take(Soon()); }
    // The next item of the rig's source, as text (past another's).
    std::string Next() {
        for (;;) {
            const ReceiverLoop::Taken taken = Take();
            const std::string text = ItemText(taken.item);
            if (taken.source == 0 || text == "timed out") {
                return text;
            }
        }
    }
    // Whether the source comes back: a serial port says each try that fails on the way.
    bool Back() {
        for (std::string item = Next();; item = Next()) {
            if (item != "absent" && item != "cannot open") {
                return item == "back";
            }
        }
    }
    std::string Key(const char* action) { return std::string(action) + " " + rig_->KeyText(); }

    std::unique_ptr<SourceRig> rig_;
    std::unique_ptr<ReceiverLoop> reader_;
};

TEST_P(KeySourceContract, PressRepeatAndReleaseWhereItKnowsIt) {
    Listen();
    rig_->Send(KeyAction::Press);
    EXPECT_EQ(Next(), Key("down"));
    rig_->Send(KeyAction::Repeat);
    EXPECT_EQ(Next(), Key("held"));
    if (rig_->GivesReleases()) {
        rig_->Send(KeyAction::Release);
        const SourceItem up = Take().item;
        EXPECT_EQ(ItemText(up), Key("up"));
        EXPECT_TRUE(std::get<KeyEvent>(up).releases);
    }
}

TEST_P(KeySourceContract, WhatIsNoKeyIsNoKey) {
    Listen();
    const std::string stray = rig_->Junk();
    if (!stray.empty()) {
        EXPECT_EQ(Next(), stray);
    }
    rig_->Send(KeyAction::Press);
    EXPECT_EQ(Next(), Key("down"));
}

// Lost once, then back by itself, its keys acting again.
TEST_P(KeySourceContract, LostOnceThenBack) {
    Listen();
    rig_->Lose();
    EXPECT_EQ(Next(), "lost");
    rig_->Return();
    EXPECT_TRUE(Back());
    rig_->Send(KeyAction::Press);
    EXPECT_EQ(Next(), Key("down"));
}

// Idle, the loop sleeps with no time-out; a stop ends it at once.
TEST_P(KeySourceContract, IdleSleepsAndAStopWakesIt) {
    Listen();
    BlockedCall<std::string> next([this] { return ItemText(reader_->Next()); });
    EXPECT_TRUE(next.Idle());
    reader_->RequestStop();
    EXPECT_EQ(next.Get(), "stopped");
}

TEST_P(KeySourceContract, ADeadlineEndsAWaitAndKeysComeAfter) {
    Listen();
    EXPECT_EQ(ItemText(reader_->NextBefore(std::chrono::steady_clock::now() +
                                           std::chrono::milliseconds(20))),
              "timed out");
    rig_->Send(KeyAction::Press);
    EXPECT_EQ(Next(), Key("down"));
}

// Another source's keys come while this one is away, and its own when it is back.
TEST_P(KeySourceContract, AnOutageNeverHoldsUpAnotherSource) {
    auto fed = std::make_unique<FedKeySource>();
    FedKeySource& other = *fed;
    std::vector<std::unique_ptr<KeySource>> others;
    others.push_back(std::move(fed));
    Listen(std::move(others));
    rig_->Send(KeyAction::Press);
    other.Push({KeyEvent{KeyAction::Press, Key::Code(0x18)}});
    std::vector<std::string> both{ItemText(Take().item), ItemText(Take().item)};
    std::sort(both.begin(), both.end());
    EXPECT_EQ(both, (std::vector<std::string>{"down 24", Key("down")}));
    if (rig_->GivesReleases()) {
        rig_->Send(KeyAction::Release);
        EXPECT_EQ(Next(), Key("up"));
    }

    rig_->Lose();
    EXPECT_EQ(Next(), "lost");
    other.Push({KeyEvent{KeyAction::Press, Key::Code(0x60)}});
    ReceiverLoop::Taken taken = Take();
    while (taken.source == 0 && ItemText(taken.item) != "back") {
        taken = Take();  // the tries of a serial port, failing
    }
    EXPECT_EQ(taken.source, 1u);
    EXPECT_EQ(ItemText(taken.item), "down 96");
}

INSTANTIATE_TEST_SUITE_P(
    Sources, KeySourceContract,
    testing::Values(Kind{"serial", [] { return std::make_unique<SerialRig>(); }},
                    Kind{"lircd", [] { return std::make_unique<LircdSourceRig>(); }},
                    Kind{"input", [] { return std::make_unique<InputRig>(); }},
                    Kind{"mqtt", [] { return std::make_unique<MqttRig>(); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
