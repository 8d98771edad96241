#include "options/source_options.h"

#ifndef _WIN32
#include "lircd/lircd_source.h"
#endif

#include <algorithm>
#include <map>

#include "options/flag_value.h"
#include "options/mqtt_options.h"
#include "options/option_checks.h"

namespace {

#ifdef _WIN32
// What Windows has where Linux has lircd.
constexpr const char* LircdInstead =
    "on Windows, read a HID remote or the keyboards' media keys with --input (quorvel "
    "--find-remote finds it), or a serial receiver with --port";
#endif

// The options that name a key source.
constexpr const char* SourceNames[] = {"--port", "--lircd", "--input", "--mqtt"};

bool Given(const CLI::App& app, const std::string& name) {
    const CLI::Option* option = app.get_option_no_throw(name);
    return option != nullptr && option->count() > 0;
}

// Each option's lines in --help.
const std::map<std::string_view, std::string>& HelpLines() {
    static const std::map<std::string_view, std::string> lines{
#ifdef _WIN32
        {"--port", std::string("  --port COMn     serial port of a receiver (default ") +
                       CommandLine::DefaultPort +
                       ", when no other\n"
                       "                  source is named); may be given again\n"},
        {"--input",
         "  --input DEVICE  read the keys of a HID remote: name=NAME (its product name),\n"
         "                  VID:PID (such as 045e:006d) or its device path; or\n"
         "                  media-keys, the media and volume keys of every keyboard; may\n"
         "                  be given again\n"},
        {"--no-grab",
         "  --no-grab       share those keys with Windows and the program in front\n"
         "                  instead of keeping them for Quorvel alone (then they act\n"
         "                  twice)\n"},
#else
        {"--port", std::string("  --port DEVICE   serial port of a receiver (default ") +
                       CommandLine::DefaultPort +
                       ", when no other\n"
                       "                  source is named); may be given again\n"},
        {"--lircd", std::string("  --lircd[=SOCKET]\n"
                                "                  read the keys lircd decodes, from its socket\n"
                                "                  (default ") +
                        LircdSource::DefaultSocket + ")\n"},
        {"--input",
         "  --input DEVICE  read the keys of a kernel input device: /dev/input/eventN, a\n"
         "                  link under /dev/input/by-id or by-path, or name=NAME for\n"
         "                  every device of that name; may be given again\n"},
        {"--no-grab",
         "  --no-grab       share the input devices with the desktop instead of taking\n"
         "                  them for Quorvel alone (then the desktop acts on their keys\n"
         "                  too)\n"},
#endif
        // The broker's options, on both platforms; Windows' build has no TLS.
        {"--mqtt",
         "  --mqtt URL      read the codes IR bridges (Tasmota, OpenMQTTGateway, ESPHome)\n"
         "                  and other Quorvels publish to an MQTT broker:\n"
#ifdef _WIN32
         "                  mqtt://[USER@]HOST[:PORT] (this build has no TLS); a code is\n"
#else
         "                  mqtt://[USER@]HOST[:PORT], or mqtts://... over TLS; a code is\n"
#endif
         "                  the key PROTOCOL_HEX (NEC_20DF10EF)\n"},
        {"--mqtt-topic",
         "  --mqtt-topic FILTER\n"
         "                  subscribe to this topic filter instead of tele/+/RESULT,\n"
         "                  tele/+/IRRECEIVED, home/+/IRtoMQTT and quorvel/+/key (may be\n"
         "                  given again)\n"},
        {"--mqtt-publish",
         "  --mqtt-publish  publish the keys of the other sources to quorvel/NAME/key,\n"
         "                  and online or offline to quorvel/NAME/status\n"},
        {"--mqtt-discovery",
         "  --mqtt-discovery[=PREFIX]\n"
         "                  announce the keys to Home Assistant (MQTT discovery under\n"
         "                  PREFIX, default homeassistant): a device whose keys' presses,\n"
         "                  doubles, long presses and held repeats are triggers, each\n"
         "                  published to quorvel/NAME/event once decided; implies\n"
         "                  --mqtt-publish\n"},
        {"--mqtt-name",
         "  --mqtt-name NAME\n"
         "                  this machine's NAME in topics (default: the host name)\n"},
#ifndef _WIN32
        {"--mqtt-ca",
         "  --mqtt-ca FILE  the certificates an mqtts:// broker is verified by (default:\n"
         "                  the system's)\n"},
#endif
        {"--mqtt-password-file",
         "  --mqtt-password-file FILE\n"
         "                  the broker's password, the file's first line; the file must\n"
         "                  not be writable by others (there is no password option)\n"},
    };
    return lines;
}

}  // namespace

void SourceOptions::Add(CLI::App& app, CommandLine& result) {
    // The other key sources: lircd's socket (its default when given no value; on Windows
    // only taken to be refused in words of its own), and input devices.
    app.add_option("--lircd", lircd_)
        ->expected(0, 1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--input", result.inputs)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(NeedsValue("--input"));
    app.add_flag("--grab,!--no-grab", result.grab)->check(FlagValue("--grab"));
    flags_ = {"--no-grab"};
    AddMqttOptions(app, result, flags_);
    app.add_option("--port", result.ports)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(NeedsValue("--port"));
}

void SourceOptions::NoteHere(const CLI::App& app, const CommandLine&, Here& here) const {
    for (const char* name : SourceNames) {
        if (Given(app, name)) {
            here.insert(name);
        }
    }
    for (const char* name : MqttOptionNames) {
        if (Given(app, std::string("--") + name)) {
            here.insert(std::string("--") + name);
        }
    }
}

void SourceOptions::KeepWhole(const CLI::App& app, std::set<const CLI::Option*>& given) const {
    // A port on the command line leaves the file's lircd or input devices out.
    std::vector<const CLI::Option*> sources;
    for (const char* name : SourceNames) {
        if (const CLI::Option* option = app.get_option_no_throw(name)) {
            sources.push_back(option);
        }
    }
    if (std::any_of(sources.begin(), sources.end(),
                    [&](const CLI::Option* option) { return given.count(option) > 0; })) {
        given.insert(sources.begin(), sources.end());
        // The file's broker goes with what it says of it.
        for (const char* name : MqttOptionNames) {
            if (const CLI::Option* option = app.get_option_no_throw(std::string("--") + name)) {
                given.insert(option);
            }
        }
    }
}

std::vector<std::string> SourceOptions::Files() const {
    return {"--mqtt-ca", "--mqtt-password-file"};
}

std::string SourceOptions::Check(const CLI::App& app, CommandLine& result, const Here& here) {
#ifdef _WIN32
    if (app.count("--lircd") > 0) {
        return result.SetAt("lircd").empty()
                   ? "option '--lircd' reads lircd, which runs on Linux only: " +
                         std::string(LircdInstead)
                   : result.SetAt("lircd") + "lircd runs on Linux only: " + LircdInstead;
    }
#else
    if (app.count("--lircd") > 0) {
        result.lircd =
            lircd_.empty() || lircd_.back().empty() ? LircdSource::DefaultSocket : lircd_.back();
    }
#endif
    SettleMqttDiscovery(app, result);
    std::set<std::string> mqttOptionsHere;
    for (const char* name : MqttOptionNames) {
        if (here.count(std::string("--") + name) > 0) {
            mqttOptionsHere.insert(name);
        }
    }
    return MqttProblem(app, result, mqttOptionsHere, SourceHere(here));
}

std::string SourceOptions::Help(std::string_view option) const {
    const auto lines = HelpLines().find(option);
    return lines == HelpLines().end() ? std::string() : lines->second;
}

bool SourceOptions::SourceHere(const Here& here) {
    return std::any_of(std::begin(SourceNames), std::end(SourceNames),
                       [&](const char* name) { return here.count(name) > 0; });
}
