#pragma once

#include <map>
#include <string>
#include <vector>

class Verb;

// What the user asked for on the command line. With no option the program behaves as it
// always has: the receiver on the first serial port.
struct CommandLine {
#ifdef _WIN32
    static constexpr const char* DefaultPort = "COM1";
#else
    static constexpr const char* DefaultPort = "/dev/ttyS0";
#endif
    // QUORVEL_VERSION is the project's version, defined by the build.
    static constexpr const char* VersionText = "quorvel " QUORVEL_VERSION;
    // Exit status for a command line the program cannot use, as most tools report it.
    static constexpr int UsageError = 2;

    // What the program is to do; the parser only says it, RunProgram does it (a Verb's Id).
    enum class Command {
        RunWindow,     // the receiver, its history in the window (no option)
        RunConsole,    // --console: the history on standard output
        PrintKeys,     // --print-keys: the built-in map, or --keys' map as it is read
        Learn,         // --learn
        FindPort,      // --find-port
        PrintHelp,     // --help
        PrintVersion,  // --version
        UsageError,    // a command line the program cannot use: problem says why
    };

    Command command = Command::RunWindow;
    // With UsageError: what is wrong, the whole line for standard error.
    std::string problem;

    // The key sources, here or in the settings file, read all at once. --port, as often as
    // given: serial receivers' ports.
    std::vector<std::string> ports;
    // --lircd (Linux; refused on Windows): lircd's socket; empty when lircd is not read.
    std::string lircd;
    // --input, as often as given: on Linux kernel input devices, paths or name=TEXT; on
    // Windows HID devices and keyboards (HidDeviceChoice: media-keys, name=TEXT, VID:PID
    // or a device path).
    std::vector<std::string> inputs;
    // --mqtt: the MQTT broker's URL, mqtt://[USER@]HOST[:PORT] or (Linux) mqtts://...;
    // empty when no broker is read.
    std::string mqtt;
    // --mqtt-topic, as often as given: the subscriptions, in place of the default ones.
    std::vector<std::string> mqttTopics;
    // --mqtt-publish: the keys of the other sources are published to the broker.
    bool mqttPublish = false;
    // --mqtt-name: this machine's name in topics; empty for the host name.
    std::string mqttName;
    // --mqtt-ca (Linux): the certificates an mqtts:// broker is verified by; empty for the
    // system's.
    std::string mqttCa;
    // --mqtt-password-file: the file holding the broker's password (never the command line).
    std::string mqttPasswordFile;
    // --mqtt-discovery[=PREFIX]: Home Assistant's discovery prefix (homeassistant when none
    // is given); empty when the keys are not announced there. It implies mqttPublish.
    std::string mqttDiscovery;
    // Whether any key source was named; --learn searches for one only when none was.
    bool SourceNamed() const {
        return !ports.empty() || !lircd.empty() || !inputs.empty() || !mqtt.empty();
    }
    // The serial ports read: those named, or the default one when no source was named.
    std::vector<std::string> SerialPorts() const;
    // --no-grab: the input devices (on Windows their media keystrokes) are shared with the
    // desktop, not taken for Quorvel alone.
    bool grab = true;
    // --player: on Linux the MPRIS players to command in order of preference, separated by
    // commas ("*" for any other; see Names); on Windows "window", "keys" or "session".
    std::string player;
    // --ignore-player, as often as given (Linux): players never commanded, each a name or
    // names separated by commas.
    std::vector<std::string> ignoredPlayers;
    // --no-player: the events are shown, no player is commanded.
    bool commandsPlayer = true;
    // The window starts out of the way: hidden in the notification area on Windows,
    // minimized on Linux.
    bool minimized = false;
    // The key map file; empty for the default place (KeyMapFile).
    std::string keys;
    // --notify: what the keys did (player switches, volume, mute) is shown on the desktop.
    bool notify = false;
    // --replace, with --learn: a key learnt takes the place of what the key map binds it
    // to besides, without asking.
    bool replace = false;
    // --find-port: search these ports (the machine's when none is named) for the receiver.
    std::vector<std::string> findPortCandidates;
    // The window follows new lines from the start, not only once the user scrolls to the end.
    bool follow = false;
    // The settings file in force: --config's, else the default one (which may not exist);
    // empty when none was asked for.
    std::string config;

    // Where the settings file set each option it set, by the option's name ("port"):
    // "FILE:LINE". Not for what the command line gave or left at its default.
    std::map<std::string, std::string> setAt;
    // The start of a problem found later with option's value: "FILE:LINE: setting 'port': "
    // when the settings file set it, else empty.
    std::string SetAt(const std::string& option) const;

    // The names of a comma-separated list ("vlc,spotify"), in order.
    static std::vector<std::string> Names(const std::string& list);

    // args excludes the program name. The options not given in args come from the settings
    // file (options/settings_file.h): --config's, which must exist, else settings (UTF-8)
    // when it exists; an empty settings reads none. Reads no other file. verbs: the things
    // the program can be asked to do, each with its options; a later one asked for is what
    // is done (the window always is; the console over it; a command that ends over both).
    static CommandLine Parse(const std::vector<std::string>& args, const std::string& settings,
                             const std::vector<Verb*>& verbs);
    // What --help says, verbs' usage and options with the rest.
    static std::string HelpText(const std::vector<Verb*>& verbs);
};
