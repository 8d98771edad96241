#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mqtt/mqtt_source.h"
#include "tests/doubles/eventually.h"
#include "tests/doubles/fake_event_loop.h"
#include "tests/doubles/fed_key_source.h"
#include "tests/doubles/hurried_event_loop.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/source_loop.h"
#include "tests/mqtt/mosquitto_rig.h"
#include "tests/mqtt/stand_in_broker.h"
#include "tests/mqtt/test_authority.h"

namespace {

using Lines = std::vector<std::string>;
constexpr const char* Press = R"({"IrReceived":{"Protocol":"NEC","Bits":32,"Data":"0x20DF10EF"}})";
// Each source subscribes to the four default filters.
constexpr std::size_t Filters = 4;

MqttSettings Settings(const std::string& url, const std::string& name = "here") {
    MqttSettings settings;
    std::string why;
    settings.broker = *BrokerAddress::Parse(url, why);
    settings.name = name;
    return settings;
}

// The source on a receiver loop, set up: the whys of its setup.
struct Listening {
    explicit Listening(MqttSettings settings, std::unique_ptr<EventLoop> loop = MakeEventLoop())
        : reader(LoopOver(std::make_unique<MqttSource>(std::move(settings)), std::move(loop))),
          configured(StartReader(*reader)) {}
    std::unique_ptr<ReceiverLoop> reader;
    std::vector<std::string> configured;
};

class MqttSourceTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!MosquittoRig::Available()) {
            GTEST_SKIP() << "skipped: mosquitto and its clients are not installed (Debian's "
                            "mosquitto and mosquitto-clients)";
        }
    }
};

// Old news, empty, oversized and junk messages never act, and each kind is said once a topic.
TEST_F(MqttSourceTest, WhatIsNoKeyNeverActsAndIsSaidOncePerTopic) {
    MosquittoRig broker;
    ASSERT_TRUE(broker.Start()) << broker.Error();
    ASSERT_TRUE(broker.Publish("tele/ir/RESULT", Press, true));
    LogCapture log;
    Listening listening(Settings(broker.Url()));
    ASSERT_TRUE(broker.WaitSubscribed(Filters));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(broker.Publish("tele/ir/RESULT", "{junk"));
        ASSERT_TRUE(broker.Publish("tele/ir/RESULT", ""));
        ASSERT_TRUE(broker.Publish("home/gw/IRtoMQTT", std::string(5000, 'x')));
    }
    ASSERT_TRUE(broker.Publish("tele/tv/RESULT", "{junk"));
    ASSERT_TRUE(broker.Publish("tele/ir/RESULT", Press));
    EXPECT_EQ(NextText(*listening.reader), "down NEC_20DF10EF");
    EXPECT_EQ(log.Count("ignored a retained message"), 1);
    EXPECT_EQ(log.Count("ignored a message that is neither JSON"), 2);  // a topic each
    EXPECT_EQ(log.Count("ignored an empty message"), 1);
    EXPECT_EQ(log.Count("ignored a message over 4 KiB"), 1);
    // Subscribed once: the connection the start made is the one the receiver reads.
    EXPECT_EQ(broker.Logged("Sending SUBACK to quorvel-"), Filters);
}

// A refused login is said at the start with the broker's reason, once however often it is
// tried again, and never as a lost read.
TEST_F(MqttSourceTest, ARefusedLoginIsSaidOnceWithTheBrokersReason) {
    MosquittoRig broker("alice", "secret");
    ASSERT_TRUE(broker.Start()) << broker.Error();
    LogCapture log;
    MqttSettings settings = Settings(broker.Url("alice"));
    settings.password = "wrong";
    Listening listening(settings);
    ASSERT_EQ(listening.configured.size(), 1u);
    EXPECT_NE(listening.configured[0].find("refused the login: "), std::string::npos)
        << listening.configured[0];
    while (broker.Logged("not authorised") < 3) {
        ASSERT_EQ(ItemText(listening.reader->NextBefore(std::chrono::steady_clock::now() +
                                                        std::chrono::milliseconds(50))),
                  "timed out");
    }
    EXPECT_EQ(log.Count("refused the login"), 1);
}

// Alone under its name, a publishing source says it is online once, and never takes its own
// status for another Quorvel's.
TEST_F(MqttSourceTest, AloneItSaysOnlineOnceAndNoClash) {
    MosquittoRig broker;
    ASSERT_TRUE(broker.Start()) << broker.Error();
    LogCapture log;
    MqttSettings settings = Settings(broker.Url(), "den");
    settings.publish = true;
    settings.clientId = "quorvel-den";
    Listening listening(settings);
    ASSERT_TRUE(broker.WaitSubscribed(Filters + 1));
    // Its status goes out as the loop turns; what came back of it came before the next key.
    ASSERT_TRUE(broker.Publish("tele/ir/RESULT", Press));
    EXPECT_EQ(NextText(*listening.reader), "down NEC_20DF10EF");
    const std::string online = "PUBLISH to quorvel-den (d0, q0, r0, m0, 'quorvel/den/status'";
    ASSERT_TRUE(Eventually([&] { return broker.Logged(online) > 0; }));
    ASSERT_TRUE(broker.Publish(
        "tele/ir/RESULT", R"({"IrReceived":{"Protocol":"NEC","Bits":32,"Data":"0x20DF906F"}})"));
    EXPECT_EQ(NextText(*listening.reader), "down NEC_20DF906F");
    EXPECT_EQ(broker.Logged("Received PUBLISH from quorvel-den (d0, q0, r1, m0, "
                            "'quorvel/den/status'"),
              1u);
    EXPECT_EQ(log.Count("another Quorvel named"), 0);
}

// Two of one name each say so once, and neither marks the name offline when it stops.
TEST_F(MqttSourceTest, TwoOfOneNameSayItOnceAndNeverMarkItOffline) {
    MosquittoRig broker;
    ASSERT_TRUE(broker.Start()) << broker.Error();
    LogCapture log;
    MqttSettings settings = Settings(broker.Url(), "den");
    settings.publish = true;
    settings.topics = {"tele/+/RESULT"};
    auto first = std::make_unique<Listening>(settings);
    auto second = std::make_unique<Listening>(settings);
    const std::string clash = "another Quorvel named den is online";
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    // Each connects again without its will once it has seen the other: 4 connections.
    while ((log.Count(clash) < 2 || broker.Logged("Sending SUBACK to quorvel-") < 8) &&
           std::chrono::steady_clock::now() < end) {
        for (Listening* each : {first.get(), second.get()}) {
            each->reader->NextBefore(std::chrono::steady_clock::now() +
                                     std::chrono::milliseconds(10));
        }
    }
    ASSERT_TRUE(broker.Publish("tele/ir/RESULT", Press));
    EXPECT_EQ(NextText(*first->reader), "down NEC_20DF10EF");
    EXPECT_EQ(NextText(*second->reader), "down NEC_20DF10EF");
    EXPECT_EQ(log.Count(clash), 2);
    second.reset();
    EXPECT_EQ(broker.Retained("quorvel/den/status"), "online");
    first.reset();
    EXPECT_EQ(broker.Retained("quorvel/den/status"), "online");
}

// The broker away (at the start, here) is tried at most a second apart; a refusal (here,
// certificates that cannot be read) at the slow pace.
TEST_F(MqttSourceTest, TriesAgainFastForABrokerAwaySlowlyForARefusal) {
    MosquittoRig broker;  // never started: its port is free
    MqttSettings tls = Settings("mqtts://127.0.0.1:" + std::to_string(broker.Port()));
    tls.caFile = broker.Folder().FilePath("missing.pem");
    const struct {
        MqttSettings settings;
        const char* said;
        std::vector<long> waits;
    } cases[] = {
        {Settings(broker.Url()), "Connection refused", {100, 200, 400, 800, 1000, 1000}},
        {tls, "cannot read the certificates", {100, 200, 400, 800, 1600, 3200}},
    };
    for (const auto& c : cases) {
        auto owned = std::make_unique<FakeEventLoop>();
        FakeEventLoop& loop = *owned;
        Listening listening(c.settings, std::move(owned));
        ASSERT_EQ(listening.configured.size(), 1u);
        EXPECT_NE(listening.configured[0].find(c.said), std::string::npos);
        EXPECT_EQ(loop.Waits(c.waits.size()), c.waits) << c.settings.broker.Text();
    }
}

// A broker's certificate refused says why: expired, not yet valid, for another host, from an
// authority not trusted, self-signed.
TEST_F(MqttSourceTest, ARefusedCertificateSaysWhy) {
    const TestAuthority trusted("Quorvel Test CA"), unknown("Somebody Else's CA"),
        self("broker", {"IP:127.0.0.1"});
    const std::vector<std::string> here{"DNS:localhost", "IP:127.0.0.1"};
    MosquittoRig broker;
    const std::string ca = broker.Folder().FilePath("ca.pem");
    std::ofstream(ca) << trusted.Own().certificate;
    const struct {
        TestAuthority::Issued served;
        std::string host;
        std::string said;  // after "failed: "; empty when it connects
    } cases[] = {
        {trusted.Issue(here), "127.0.0.1", ""},
        {trusted.Issue(here, -30, -2), "127.0.0.1", "its certificate expired on 20"},
        {trusted.Issue(here, 2, 30), "127.0.0.1", "its certificate is not valid before 20"},
        {trusted.Issue({"DNS:broker.example", "IP:10.0.0.1"}), "localhost",
         "its certificate is for broker.example, 10.0.0.1, not for localhost"},
        {trusted.Issue({"DNS:localhost"}), "127.0.0.1",
         "its certificate is for localhost, not for 127.0.0.1"},
        {unknown.Issue(here), "127.0.0.1",
         "its certificate comes from Somebody Else's CA, an authority not among the "
         "certificates in " +
             ca},
        {self.Own(), "127.0.0.1",
         "its certificate is self-signed, and not among the "
         "certificates in " +
             ca},
    };
    std::vector<int> ports;
    for (const auto& c : cases) {
        ports.push_back(broker.AddTlsListener(c.served.certificate, c.served.key));
    }
    ASSERT_TRUE(broker.Start()) << broker.Error();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        MqttSettings settings =
            Settings("mqtts://" + cases[i].host + ":" + std::to_string(ports[i]));
        settings.caFile = ca;
        const Listening listening(settings);
        const std::string failed = "the TLS connection to the MQTT broker at " +
                                   settings.broker.Text() + " failed: " + cases[i].said;
        if (cases[i].said.empty()) {
            EXPECT_EQ(listening.configured, Lines{}) << i;
        } else {
            ASSERT_EQ(listening.configured.size(), 1u) << i;
            EXPECT_EQ(listening.configured[0].substr(0, failed.size()), failed);
        }
    }
}

// This process's memory in use, in bytes.
long Resident() {
    long size = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

// A packet over the limit, from a broker that sends it all the same (or, speaking 3.1.1 only,
// was never told the limit), is thrown away as it comes, a piece a turn: another source's key
// is taken while it still comes, the packet is never held whole, and the key behind it acts.
TEST(MqttSource, APacketOverTheLimitIsThrownAwayAsItComes) {
    constexpr std::size_t Huge = 64 << 20;
    const std::string topic = "tele/ir/RESULT", press = Press;
    for (const bool mqtt311Only : {false, true}) {
        StandInBroker broker(mqtt311Only,
                             {{PublishStart(topic, Huge, !mqtt311Only), Huge},
                              {PublishStart(topic, press.size(), !mqtt311Only) + press}});
        LogCapture log;
        MqttSettings settings = Settings("mqtt://127.0.0.1:" + std::to_string(broker.Port()));
        settings.topics = {"tele/+/RESULT"};
        std::vector<std::unique_ptr<KeySource>> sources;
        sources.push_back(std::make_unique<MqttSource>(settings));
        auto fed = std::make_unique<FedKeySource>();
        FedKeySource& other = *fed;
        sources.push_back(std::move(fed));
        ReceiverLoop reader(std::move(sources));
        ASSERT_EQ(StartReader(reader), Lines{});
        // Maximum Packet Size, 8 KiB, asked for where the broker speaks MQTT 5.
        EXPECT_EQ(broker.Login().find(std::string("\x27\x00\x00\x20\x00", 5)) != std::string::npos,
                  !mqtt311Only);
        const long before = Resident();

        // Pressed once much more has come than the sockets between them hold.
        std::thread presser([&] {
            Eventually([&] { return broker.Sent() > Huge / 2; });
            other.Push({KeyEvent{KeyAction::Press, Key::Code(0x18)}});
        });
        const ReceiverLoop::Taken taken = reader.Take(Soon());
        const std::size_t sent = broker.Sent();
        const long held = Resident() - before;
        presser.join();
        EXPECT_EQ(ItemText(taken.item), "down 24");
        EXPECT_LT(sent, Huge) << "the key waited for the whole packet";
        // What came of the packet, half of it and more, was never kept.
        EXPECT_LT(held, static_cast<long>(Huge / 4));

        EXPECT_EQ(NextText(reader), "down NEC_20DF10EF");
        EXPECT_EQ(broker.Sent(), broker.Total());
        const std::size_t size = PublishStart(topic, Huge, !mqtt311Only).size() + Huge;
        EXPECT_EQ(log.Count("ignored a message over 4 KiB (" + std::to_string(size) +
                            " bytes, dropped unread) on tele/ir/RESULT"),
                  1);
    }
}

// A session that another client of the same id takes over is said as such, and tried again
// ever more slowly while it is taken over each time, though each try was accepted.
TEST(MqttSource, ASessionTakenOverIsSaidAndTriedEverMoreSlowly) {
    StandInBroker broker(false, {{std::string{'\xe0', 1, '\x8e'}}});  // DISCONNECT: taken over
    LogCapture log;
    MqttSettings settings = Settings("mqtt://127.0.0.1:" + std::to_string(broker.Port()));
    settings.topics = {"tele/+/RESULT"};
    settings.clientId = "quorvel-twice";
    // The back-off hurried; an attempt's limit and the keep-alive not.
    auto owned = std::make_unique<HurriedEventLoop>(MqttSource::ConnectLimit / 2);
    HurriedEventLoop& loop = *owned;
    Listening listening(settings, std::move(owned));
    ASSERT_EQ(listening.configured, Lines{});
    while (loop.waits.size() < 6) {
        ASSERT_NE(NextText(*listening.reader), "timed out");
    }
    EXPECT_EQ(loop.waits, (std::vector<long>{100, 200, 400, 800, 1600, 3200}));
    EXPECT_GE(log.Count("another client took the connection to the MQTT broker at " +
                        settings.broker.Text() + " over: it uses the same client id quorvel-twice"),
              1);
}

TEST(MqttSource, RefusesTopicFiltersAndNamesItCannotUse) {
    EXPECT_EQ(MqttSettings::WhyNotATopic("tele/+/RESULT") + MqttSettings::WhyNotAName("den"), "");
    EXPECT_NE(MqttSettings::WhyNotATopic("a/#/b"), "");
    EXPECT_NE(MqttSettings::WhyNotAName("my/pc"), "");
}

}  // namespace
