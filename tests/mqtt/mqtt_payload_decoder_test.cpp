#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "mqtt/broker_address.h"
#include "mqtt/key_message.h"
#include "mqtt/mqtt_payload_decoder.h"
#include "tests/doubles/hostile_names.h"
#include "tests/doubles/item_text.h"

namespace {

// A message as a test sends it: the topic, the payload, when (ms from the first), retained.
struct Sent {
    std::string topic;
    std::string payload;
    int at = 0;
    bool retained = false;
};

// What one decoder makes of messages in turn, joined by "; ": an item's text, or the number
// of the kind of what it ignored.
std::string Decoded(const std::vector<Sent>& messages) {
    MqttPayloadDecoder decoder("quorvel/here/key");
    std::string out;
    for (const Sent& sent : messages) {
        const auto decoded = decoder.Decode(
            sent.topic, sent.payload, sent.retained,
            std::chrono::steady_clock::time_point() + std::chrono::milliseconds(sent.at));
        out += (out.empty() ? "" : "; ") +
               (decoded.event ? ItemText(*decoded.event) + (decoded.event->releases ? "^" : "")
                              : std::to_string(static_cast<int>(decoded.ignored)));
    }
    return out;
}

Sent Tasmota(const std::string& inner, int at = 0) {
    return {"tele/ir/RESULT", R"({"Time":"2024-01-01T10:00","IrReceived":{)" + inner + "}}", at};
}

Sent Gateway(const std::string& fields, int at = 0) {
    return {"home/gw/IRtoMQTT", "{" + fields + "}", at};
}

Sent Quorvel(const std::string& fields) {
    return {"quorvel/den/key", "{" + fields + "}"};
}

TEST(MqttPayloadDecoder, ReadsEachBridgeAndQuorvelAndText) {
    const struct {
        const char* name;
        std::vector<Sent> messages;
        std::string decoded;
    } cases[] = {
        {"Tasmota, with the fields seen in the field",
         {Tasmota(R"("Protocol":"NEC","Bits":32,"Data":"0x20DF10EF","DataLSB":"0x04FB08F7",)"
                  R"("Repeat":0,"RawData":[9000,4500],"IRHVAC":{"Vendor":"LG"})")},
         "down NEC_20DF10EF"},
        {"Tasmota's decimal Data and OpenMQTTGateway, with hex or not: one name",
         {Tasmota(R"("Protocol":"NEC","Bits":32,"Data":551489775)"),
          Gateway(R"("value":551489775,"protocol_name":"NEC","bits":32,"hex":"0x20DF10EF")", 1000),
          Gateway(R"("value":16716015,"protocol_name":"NEC","bits":32)", 2000),
          Tasmota(R"("Protocol":"NEC","Bits":32,"Data":"0x00FF10EF")", 3000)},
         "down NEC_20DF10EF; down NEC_20DF10EF; down NEC_00FF10EF; down NEC_00FF10EF"},
        {"Tasmota's Hash",
         {Tasmota(R"("Protocol":"UNKNOWN","Bits":23,"Hash":"0xA32AB931")")},
         "down UNKNOWN_A32AB931"},
        {"Tasmota's Repeat, then the same code within 250 ms, then after a pause",
         {Tasmota(R"("Protocol":"SONY","Bits":12,"Data":"0xA90","Repeat":0)", 0),
          Tasmota(R"("Protocol":"SONY","Bits":12,"Data":"0xA90","Repeat":1)", 45),
          Tasmota(R"("Protocol":"SONY","Bits":12,"Data":"0xA90","Repeat":0)", 295),
          Tasmota(R"("Protocol":"SONY","Bits":12,"Data":"0xA90","Repeat":0)", 546)},
         "down SONY_A90; held SONY_A90; held SONY_A90; down SONY_A90"},
        {"NEC repeat frames (0 bits, all ones) repeat their topic's key of just before",
         {Tasmota(R"("Protocol":"NEC","Bits":0,"Data":"0x0")", 0),
          Tasmota(R"("Protocol":"NEC","Bits":32,"Data":"0x20DF40BF")", 100),
          Tasmota(R"("Protocol":"NEC","Bits":0,"Data":"0xFFFFFFFFFFFFFFFF")", 208),
          Tasmota(R"("Protocol":"NEC","Bits":32,"Data":"0xFFFFFFFF")", 316),
          Gateway(R"("value":4294967295,"protocol_name":"NEC","bits":32)", 400)},
         "7; down NEC_20DF40BF; held NEC_20DF40BF; held NEC_20DF40BF; 7"},
        {"another Quorvel's keys, as their sources named them",
         {Quorvel(R"("key":"24","action":"press","remote":"","source":"serial")"),
          Quorvel(R"("key":"KEY_OK","action":"repeat","remote":"tv","source":"lircd")"),
          Quorvel(R"("key":"KEY_VOLUMEUP","action":"release","remote":"","source":"input")"),
          Quorvel(R"("key":"scan:0x800f0410","action":"press")")},
         "down 24; held KEY_OK@tv; up KEY_VOLUMEUP^; down scan:0x800f0410"},
        {"plain text is the key's name",
         {{"esp/ir", "KEY_NEXT\n", 0}, {"esp/ir", "KEY_NEXT", 100}, {"esp/ir", "my code", 400}},
         "down KEY_NEXT; held KEY_NEXT; down my code"},
        {"own, retained, empty, oversized, malformed",
         {{"quorvel/here/key", R"({"key":"24","action":"press"})"},
          {"tele/ir/RESULT", R"({"IrReceived":{"Protocol":"NEC","Data":"0x1"}})", 0, true},
          {"tele/ir/RESULT", " \r\n"},
          {"tele/ir/RESULT", "{" + std::string(MqttPayloadDecoder::LargestPayload, ' ') + "}"},
          {"tele/ir/RESULT", R"({"IrReceived":)"},
          {"tele/ir/RESULT", "KEY\x01"},
          {"tele/ir/RESULT", std::string(65, 'K')},
          {"tele/ir/RESULT", std::string(R"({"key":"1","action":"press"})") + '\0'}},
         "1; 2; 3; 4; 5; 9; 9; 5"},
        {"a Quorvel's status is never a key; a repeat goes by its own topic's last key",
         {{"quorvel/den/status", "online"},
          {"tele/kitchen/RESULT", "KEY_OK", 0},
          {"tele/den/RESULT", "KEY_BACK", 50},
          {"tele/kitchen/RESULT", "KEY_OK", 100},
          Tasmota(R"("Protocol":"NEC","Bits":32,"Data":"0x20DF10EF")", 1000),
          {"tele/den/RESULT", R"({"IrReceived":{"Protocol":"NEC","Bits":0,"Data":"0x0"}})", 1100},
          Tasmota(R"("Protocol":"NEC","Bits":0,"Data":"0x0")", 1200),
          Tasmota(R"("Protocol":"NEC","Bits":0,"Data":"0x0")", 1500)},
         "8; down KEY_OK; down KEY_BACK; held KEY_OK; down NEC_20DF10EF; 7; held NEC_20DF10EF; "
         "7"},
        {"a Quorvel's event delivered again acts once; one without an identity each time",
         {Quorvel(R"("key":"1","kind":"name","action":"press","from":"q-a","seq":7)"),
          Quorvel(R"("key":"1","kind":"name","action":"press","from":"q-a","seq":7)"),
          Quorvel(R"("key":"1","kind":"name","action":"press","from":"q-b","seq":7)"),
          Quorvel(R"("key":"1","action":"press")"), Quorvel(R"("key":"1","action":"press")")},
         "down 1; 10; down 1; down 1; down 1"},
        {"JSON of the wrong shape",
         {{"tele/ir/RESULT", R"({"POWER":"ON"})"},
          {"tele/ir/RESULT", "[1,2]"},
          Tasmota(R"("Bits":32,"Data":"0x1")"),
          Tasmota(R"("Protocol":"RC5","Bits":12,"Data":"0xZZ")"),
          Tasmota(R"("Protocol":"RC5","Bits":-1,"Data":"0x1")"),
          {"tele/ir/RESULT", R"({"IrReceived":"NEC"})"},
          Gateway(R"("value":-5,"protocol_name":"NEC","bits":32)"),
          Gateway(R"("value":5)"),
          Quorvel(R"("key":"24","action":"tap")"),
          Quorvel(R"("key":"300","action":"press")"),
          Quorvel(R"("key":"24","action":"press","remote":7)"),
          Tasmota(R"("Protocol":"NEC","Bits":65536,"Data":"0x1")"),
          Tasmota(R"("Protocol":"NEC","Bits":32,"Data":"0x1FFFFFFFFFFFFFFFF")"),
          Quorvel(R"("key":"24","kind":"button","action":"press")"),
          Quorvel(R"("key":"24","action":"press","from":"q-a")")},
         "6; 6; 6; 6; 6; 6; 6; 6; 6; 6; 6; 6; 6; 6; 6"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Decoded(c.messages), c.decoded) << c.name;
    }
}

// What one Quorvel publishes, another reads as the same key, of every kind.
TEST(KeyMessage, EveryKindOfKeyGoesOverAsItself) {
    KeyEvent named{KeyAction::Press, Key::Name("KEY_OK"), "", 0x800f0422u};
    named.releases = true;
    const struct {
        KeyEvent event;
        const char* source;
        std::string read;
    } cases[] = {
        {{KeyAction::Press, Key::Code(1)}, "serial", "down 1"},
        {{KeyAction::Repeat, Key::Name("1"), "tv"}, "lircd", "held 1@tv"},
        {{KeyAction::Press, Key::Name("scan:0x10")}, "lircd", "down scan:0x10"},
        {{KeyAction::Press, Key::Scancode(0x10)}, "input", "down scan:0x10^"},
        {named, "input", "down KEY_OK/scan:0x800f0422^"},
    };
    std::uint64_t seq = 0;
    for (const auto& c : cases) {
        MqttPayloadDecoder decoder("quorvel/here/key");
        const auto decoded = decoder.Decode(
            "quorvel/den/key", KeyMessage::Encode(c.event, c.source, "q-a", ++seq), false, {});
        ASSERT_TRUE(decoded.event) << c.read << ": " << decoded.detail;
        EXPECT_EQ(ItemText(*decoded.event) + (decoded.event->releases ? "^" : ""), c.read);
        EXPECT_EQ(decoded.event->key.GetKind(), c.event.key.GetKind()) << c.read;
    }
}

// No name that breaks the rule becomes a key, as text, in JSON, or as a remote.
TEST(MqttPayloadDecoder, NoHostileNameBecomesAKey) {
    for (const std::string& name : HostileNames()) {
        std::string quoted = "\"";  // JSON's escapes for controls; other bytes as they are
        for (const char c : name) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            quoted += static_cast<unsigned char>(c) < 0x20 ? escaped : std::string(1, c);
        }
        quoted += "\"";
        for (const Sent& sent :
             {Sent{"esp/ir", "X" + name}, Quorvel(R"("key":)" + quoted + R"(,"action":"press")"),
              Quorvel(R"("key":"OK","action":"press","remote":)" + quoted)}) {
            EXPECT_NE(Decoded({sent}).substr(0, 4), "down") << name;
        }
    }
}

TEST(BrokerAddress, ReadsTheUrlOrSaysWhyNot) {
    const std::pair<const char*, std::string> cases[] = {
        {"mqtt://broker.lan", "mqtt://broker.lan:1883"},
        {"mqtts://alice@broker.lan", "mqtts://broker.lan:8883 alice"},
        {"mqtt://10.0.0.2:1884/", "mqtt://10.0.0.2:1884"},
        {"mqtt://bob@[fd00::1]:1885", "mqtt://[fd00::1]:1885 bob"},
        {"http://broker.lan", "'http://broker.lan' is no broker's address"},
        {"mqtt://me:pw@broker.lan", "'mqtt://me:(password not shown)@broker.lan' holds a password"},
        {"mqtt://broker.lan:1883/tele?x", "'mqtt://broker.lan:1883/tele?x' has a path, query"},
        {"mqtt://broker.lan:0", "'mqtt://broker.lan:0' has no port"},
        {"mqtt://broker.lan:99999", "'mqtt://broker.lan:99999' has no port"},
        {"mqtt://", "'mqtt://' names no host"},
        {"mqtt://[broker]", "'mqtt://[broker]' has no IPv6"},
    };
    for (const auto& [url, read] : cases) {
        std::string why;
        const auto address = BrokerAddress::Parse(url, why);
        const std::string said =
            address ? address->Text() + (address->user.empty() ? "" : " " + address->user) : why;
        EXPECT_EQ(said.substr(0, read.size()), read) << url;
    }
}

}  // namespace
