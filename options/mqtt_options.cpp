#include "options/mqtt_options.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "log/untrusted_text.h"
#include "mqtt/broker_address.h"
#include "mqtt/mqtt_settings.h"
#include "options/flag_value.h"

namespace {

#ifdef _WIN32
// The Windows build's libmosquitto has no TLS (cmake/libmosquitto.cmake).
constexpr const char* NoTlsHere = "this build of Quorvel (for Windows) has no TLS";
#endif

// A value's own check: why it cannot be one, or empty.
auto Checked(const std::string& option, std::string (*why)(const std::string&)) {
    return [option, why](const std::string& value) {
        if (value.empty() || value[0] == '-') {
            return "option '" + option + "' needs a value";
        }
        const std::string problem = why(value);
        return problem.empty() ? problem : "option '" + option + "': " + problem;
    };
}

std::string WhyNotABroker(const std::string& url) {
    std::string why;
    [[maybe_unused]] const std::optional<BrokerAddress> broker = BrokerAddress::Parse(url, why);
#ifdef _WIN32
    if (broker && broker->tls) {
        return "'" + UntrustedText(url) + "' is a broker over TLS, and " + NoTlsHere +
               ": use mqtt://";
    }
#endif
    return why;
}

std::string AnyValue(const std::string&) {
    return {};
}

std::string APrefix(const std::string& prefix) {
    const std::string why = MqttSettings::WhyNotAPrefix(prefix);
    return prefix.empty() || why.empty() ? std::string() : "option '--mqtt-discovery': " + why;
}

#ifdef _WIN32
std::string NoCertificates(const std::string&) {
    return std::string(NoTlsHere) + ", so no certificates to verify a broker by";
}
#endif

}  // namespace

void AddMqttOptions(CLI::App& app, CommandLine& result, std::vector<std::string>& flags) {
    // An MQTT broker, and what is read and published there.
    app.add_option("--mqtt", result.mqtt)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(Checked("--mqtt", WhyNotABroker));
    app.add_option("--mqtt-topic", result.mqttTopics)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(Checked("--mqtt-topic", MqttSettings::WhyNotATopic));
    app.add_flag("--mqtt-publish,!--no-mqtt-publish", result.mqttPublish)
        ->check(FlagValue("--mqtt-publish"));
    flags.push_back("--no-mqtt-publish");
    app.add_option("--mqtt-name", result.mqttName)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(Checked("--mqtt-name", MqttSettings::WhyNotAName));
#ifdef _WIN32
    std::string (*const caCheck)(const std::string&) = NoCertificates;
#else
    std::string (*const caCheck)(const std::string&) = AnyValue;
#endif
    app.add_option("--mqtt-ca", result.mqttCa)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(Checked("--mqtt-ca", caCheck));
    app.add_option("--mqtt-password-file", result.mqttPasswordFile)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(Checked("--mqtt-password-file", AnyValue));
    // Given alone, Home Assistant's own prefix (SettleMqttDiscovery).
    app.add_option("--mqtt-discovery", result.mqttDiscovery)
        ->expected(0, 1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->check(APrefix);
}

void SettleMqttDiscovery(const CLI::App& app, CommandLine& options) {
    std::string lower = options.mqttDiscovery;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (app.count("--mqtt-discovery") == 0 || lower == "false" || lower == "no" || lower == "off") {
        options.mqttDiscovery.clear();
    } else if (lower.empty() || lower == "true" || lower == "yes" || lower == "on") {
        options.mqttDiscovery = DefaultDiscoveryPrefix;
    }
    options.mqttPublish =
        options.mqttPublish || (!options.mqtt.empty() && !options.mqttDiscovery.empty());
}

std::string MqttProblem(const CLI::App& app, const CommandLine& options,
                        const std::set<std::string>& here, bool sourcesHere) {
    const auto named = [&](const std::string& setting, const std::string& problem) {
        const auto at = options.setAt.find(setting);
        return here.count(setting) > 0 || at == options.setAt.end()
                   ? "option '--" + setting + "' " + problem
                   : at->second + ": setting '" + setting + "' " + problem;
    };
    if (options.mqtt.empty()) {
        for (const char* setting : MqttOptionNames) {
            // A flag the settings file turns off asks for nothing.
            const std::string_view name(setting);
            const bool set = app.count(std::string("--") + setting) > 0 &&
                             (name != "mqtt-publish" || options.mqttPublish) &&
                             (name != "mqtt-discovery" || !options.mqttDiscovery.empty());
            if (set && (here.count(setting) > 0 || !sourcesHere)) {
                return named(setting, "needs a broker: --mqtt URL (mqtt = URL in the settings)");
            }
        }
        return {};
    }
    std::string why;
    const std::optional<BrokerAddress> broker = BrokerAddress::Parse(options.mqtt, why);
    if (!options.mqttCa.empty() && broker && !broker->tls) {
        return named("mqtt-ca", "is for a broker over TLS, mqtts://...");
    }
    if (!options.mqttPasswordFile.empty() && broker && broker->user.empty()) {
        return named("mqtt-password-file", "needs a user in the broker's URL: mqtt://USER@HOST");
    }
    return {};
}
