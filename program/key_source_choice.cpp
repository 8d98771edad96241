#include "program/key_source_choice.h"

#ifndef _WIN32
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include <map>

#include "discovery/home_assistant_discovery.h"
#include "log/untrusted_text.h"
#include "mqtt/mqtt_source.h"
#include "mqtt/password_file.h"
#include "program/app_log.h"
#include "serial/serial_device.h"
#include "serial/serial_line.h"

#ifdef _WIN32
#include "hid/hid_device_choice.h"
#include "player/window_player_probe.h"
#include "rawinput/raw_input_source.h"
#else
#include "input/device_finder.h"
#include "input/input_device.h"
#include "input/input_source.h"
#include "lircd/lircd_source.h"
#endif

namespace {

// A line of ours around a path: longer than one untrusted piece.
constexpr std::size_t LineLimit = 1000;

// The broker's settings the options give (--mqtt must be given); empty, or why they cannot
// be used and the setting at fault.
std::string MqttSettingsFor(const CommandLine& options, MqttSettings& settings,
                            const char*& fault) {
    std::string why;
    fault = "mqtt";
    const std::optional<BrokerAddress> broker = BrokerAddress::Parse(options.mqtt, why);
    if (!broker) {
        return why;
    }
    settings.broker = *broker;
    settings.caFile = options.mqttCa;
    if (!options.mqttTopics.empty()) {
        settings.topics = options.mqttTopics;
    }
    settings.name = options.mqttName.empty() ? MqttSettings::DefaultName() : options.mqttName;
    settings.publish = options.mqttPublish;
    if (!options.mqttPasswordFile.empty()) {
        fault = "mqtt-password-file";
        if (std::string problem = ReadPasswordFile(options.mqttPasswordFile, settings.password);
            !problem.empty()) {
            return problem;
        }
    }
#ifndef _WIN32  // Windows has no TLS, and refuses mqtt-ca
    fault = "mqtt-ca";
    if (!options.mqttCa.empty() && ::access(options.mqttCa.c_str(), R_OK) != 0) {
        return "cannot read the certificates in " + options.mqttCa + ": " + std::strerror(errno);
    }
#endif
    return {};
}

// names with each device once, as identity tells them apart: a later name of a device
// named before would fight the first for it, so it is left out, and that is said.
std::vector<std::string> NamedOnce(const std::vector<std::string>& names, const char* option,
                                   std::string (*identity)(const std::string&)) {
    std::vector<std::string> once;
    std::map<std::string, std::string> first;  // by identity, the name it was first given
    for (const std::string& name : names) {
        const auto [named, fresh] = first.emplace(identity(name), name);
        if (fresh) {
            once.push_back(name);
            continue;
        }
        QUORVEL_WARNING(lcApp) << "--" << option << " " << UntrustedText(name)
                               << (name == named->second ? std::string(" is named twice")
                                                         : " names the same device as " +
                                                               UntrustedText(named->second))
                               << "; it is read once";
    }
    return once;
}

#ifdef _WIN32
// A HID device's choice, told apart as written.
std::string AsNamed(const std::string& name) {
    return name;
}
#endif

}  // namespace

std::vector<std::unique_ptr<KeySource>> MakeKeySources(
    const CommandLine& options, [[maybe_unused]] std::shared_ptr<const PressVerdict> verdict) {
    std::vector<std::unique_ptr<KeySource>> sources;
    for (const std::string& port : NamedOnce(options.SerialPorts(), "port", PortIdentity)) {
        sources.push_back(std::make_unique<SerialLine>(port, MakeSerialDevice()));
    }
#ifdef _WIN32
    if (!options.inputs.empty()) {
        sources.push_back(std::make_unique<RawInputSource>(
            NamedOnce(options.inputs, "input", AsNamed), options.grab, std::move(verdict)));
    }
#else
    if (!options.lircd.empty()) {
        sources.push_back(std::make_unique<LircdSource>(options.lircd));
    }
    if (!options.inputs.empty()) {
        sources.push_back(
            std::make_unique<InputSource>(NamedOnce(options.inputs, "input", InputSource::Identity),
                                          options.grab, MakeUdevDeviceFinder(), OpenInputDevice));
    }
#endif
    // Refused at the start when it cannot be used (WhyNotKeySources).
    if (auto broker = MakeBrokerSource(options)) {
        sources.push_back(std::move(broker));
    }
    return sources;
}

std::unique_ptr<KeySource> MakeBrokerSource(const CommandLine& options) {
    const char* fault = nullptr;
    if (MqttSettings settings;
        !options.mqtt.empty() && MqttSettingsFor(options, settings, fault).empty()) {
        return std::make_unique<MqttSource>(std::move(settings));
    }
    return nullptr;
}

std::shared_ptr<PressJudge> MakePressJudge(
    [[maybe_unused]] const CommandLine& options,
    [[maybe_unused]] std::shared_ptr<const SharedKeyMap> keys) {
#ifdef _WIN32
    if (!options.inputs.empty() && options.grab) {
        // A link without a probe: every action is taken as done.
        const bool mediaKeys = options.player == "keys";
        std::shared_ptr<const PlayerProbe> probe;
        if (mediaKeys || options.player.empty() || options.player == "window") {
            probe = std::make_shared<WindowPlayerProbe>(mediaKeys);
        }
        return std::make_shared<PressJudge>(std::move(keys), std::move(probe));
    }
#endif
    return nullptr;
}

std::unique_ptr<ReceiverLoop> MakeReceiverLoop(const CommandLine& options, KeyMapReloader& keys,
                                               std::shared_ptr<const PressVerdict> verdict) {
    auto loop = std::make_unique<ReceiverLoop>(MakeKeySources(options, std::move(verdict)));
    if (options.mqttDiscovery.empty() || !options.mqttPublish) {
        return loop;
    }
    // The discovery rides on the broker's connection, so it needs the broker itself.
    std::vector<std::string> kinds;
    MqttSource* broker = nullptr;
    for (const auto& source : loop->Sources()) {
        kinds.emplace_back(source->Kind());
        broker = broker != nullptr ? broker : dynamic_cast<MqttSource*>(source.get());
    }
    if (broker == nullptr) {
        return loop;
    }
    auto discovery = std::make_shared<HomeAssistantDiscovery>(
        *broker, keys.Keys(), *loop->Loop(),
        HomeAssistantDiscovery::Settings{options.mqttDiscovery, broker->Name(), kinds});
    keys.OnReloaded(discovery->Reloaded());
    loop->Follow(std::move(discovery));
    return loop;
}

std::string KeySourceNames(const CommandLine& options) {
    std::string names;
    const auto add = [&names](const std::string& name) {
        names += (names.empty() ? "" : ", ") + name;
    };
    for (const std::string& port : options.SerialPorts()) {
        add(port);
    }
    if (!options.lircd.empty()) {
        add("lircd at " + options.lircd);
    }
    for (const std::string& input : options.inputs) {
        add("input " + input);
    }
    if (!options.mqtt.empty()) {
        add("MQTT broker at " + options.mqtt);
    }
    return names;
}

std::string WhyNotKeySources(const CommandLine& options) {
    // Reading a file, a pipe or the user's own terminal as if it were the receiver would
    // feed the player garbage, or take the terminal over.
    const auto said = [&options](const char* setting, const std::string& why) {
        return "quorvel: " + options.SetAt(setting) + UntrustedText(why, LineLimit) + "\n";
    };
    for (const std::string& port : options.ports) {
        if (const std::string why = WhyNotASerialPort(port); !why.empty()) {
            return said("port", why);
        }
    }
#ifdef _WIN32
    for (const std::string& input : options.inputs) {
        if (const std::string why = HidDeviceChoice::WhyNot(input); !why.empty()) {
            return said("input", why);
        }
    }
    // The keyboards' own keys would reach the player, and the key link's after them.
    if (options.player == "keys" && !options.grab &&
        HidDeviceChoice(options.inputs).EveryKeyboard()) {
        return "quorvel: --input media-keys with --no-grab and --player keys would act twice a "
               "press (the player has the key, then the one Quorvel presses): leave out "
               "--no-grab, or choose another --player\n";
    }
#else
    if (const std::string why = LircdSource::WhyNotASocket(options.lircd);
        !options.lircd.empty() && !why.empty()) {
        return said("lircd", why);
    }
    for (const std::string& input : options.inputs) {
        if (const std::string why = InputSource::WhyNotAnInputDevice(input); !why.empty()) {
            return said("input", why);
        }
    }
#endif
    if (MqttSettings settings; !options.mqtt.empty()) {
        const char* fault = nullptr;
        if (const std::string why = MqttSettingsFor(options, settings, fault); !why.empty()) {
            return said(fault, why);
        }
    }
    return {};
}
