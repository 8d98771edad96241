#pragma once

#include <CLI/CLI.hpp>
#include <set>
#include <string>
#include <vector>

#include "options/command_line.h"

// The options of an MQTT broker, --mqtt and those that go with it, for CommandLine::Parse:
// each checked on its own as it is read (mqtts:// refused on Windows, whose build has no
// TLS), then together once the settings file is read too.

// The options of the broker that mean nothing without one, without their --.
inline constexpr const char* MqttOptionNames[] = {
    "mqtt-topic", "mqtt-publish", "mqtt-name", "mqtt-ca", "mqtt-password-file", "mqtt-discovery"};
// Home Assistant's discovery prefix when --mqtt-discovery names none.
inline constexpr const char* DefaultDiscoveryPrefix = "homeassistant";

// Adds them to app, to be read into result; the flags that take no value join flags.
void AddMqttOptions(CLI::App& app, CommandLine& result, std::vector<std::string>& flags);

// Once the settings file is read too: the discovery's prefix, as given (none: the default;
// true or false in the settings file turn it on or off), which implies publishing to a
// broker.
void SettleMqttDiscovery(const CLI::App& app, CommandLine& options);

// What is wrong with the broker's options together, or empty: those that mean nothing
// without a broker (but for the settings file's, when the command line named the sources
// in its place, sourcesHere), a CA for no TLS, a password for no user. here: the options
// the command line itself gave.
std::string MqttProblem(const CLI::App& app, const CommandLine& options,
                        const std::set<std::string>& here, bool sourcesHere);
