// What --help says: every option, on each platform, each part of the command line saying
// its own.
#include "keymap/key_map_file.h"
#include "options/command_line.h"
#include "options/player_options.h"
#include "options/settings_file.h"
#include "options/source_options.h"
#include "options/verb.h"
#include "platform/utf8_path.h"

namespace {

// The options in the order --help lists them, whichever part owns each.
constexpr const char* Listed[] = {"--port",
                                  "--lircd",
                                  "--input",
                                  "--no-grab",
                                  "--mqtt",
                                  "--mqtt-topic",
                                  "--mqtt-publish",
                                  "--mqtt-discovery",
                                  "--mqtt-name",
                                  "--mqtt-ca",
                                  "--mqtt-password-file",
                                  "--player",
                                  "--ignore-player",
                                  "--no-player",
                                  "--notify",
                                  "--minimized",
                                  "--console",
                                  "--keys",
                                  "--follow",
                                  "--print-keys",
                                  "--learn",
                                  "--replace",
                                  "--find-port",
                                  "--config",
                                  "--help",
                                  "--version"};

#ifdef _WIN32
constexpr const char* What =
    "Shows the button events of an infrared remote in a small window and sends\n"
    "play/pause, previous, next and volume to a media player. The remote's keys\n"
    "come from serial receivers, from the HID remotes and keyboards Windows sees\n"
    "and from IR bridges on an MQTT broker, every one named read at once.\n";
#else
constexpr const char* What =
    "Shows the button events of an infrared remote in a small window and sends\n"
    "play/pause, previous, next and volume to a media player over MPRIS. The\n"
    "remote's keys come from serial receivers, from lircd, from the kernel's\n"
    "input devices and from IR bridges on an MQTT broker, every one named read at\n"
    "once.\n";
#endif

constexpr const char* Settings =
    "The settings file holds options as NAME = VALUE lines (port = DEVICE,\n"
    "console = true); the command line wins over it. --config, --learn,\n"
    "--print-keys, --help and --version are for the command line only.\n"
    "A flag the file turns on is turned off here with --no-NAME (--no-console,\n"
    "--no-notify, --no-minimized, --no-follow) or --NAME=false.\n"
#ifdef _WIN32
    "port = COMn, input = DEVICE and mqtt = URL (a line each) name the key\n"
    "sources there, grab = false shares the keys; sources named on the command\n"
    "line take the place of the file's. mqtt-topic lines add up; mqtt-publish,\n"
    "mqtt-discovery (PREFIX, or true), mqtt-name and mqtt-password-file are set\n"
    "there as well. A relative path there is taken from the file's folder.\n"
    "--lircd is Linux's; --input reads remotes here.\n"
#else
    "port = DEVICE, lircd = SOCKET, input = DEVICE and mqtt = URL (a line each)\n"
    "name the key sources there, grab = false shares the input devices; sources\n"
    "named on the command line take the place of the file's. mqtt-topic lines add\n"
    "up; mqtt-publish, mqtt-discovery (PREFIX, or true), mqtt-name, mqtt-ca and\n"
    "mqtt-password-file are set there as well. A relative path there is taken from\n"
    "the file's folder.\n"
#endif
    ;

// The lines of the options the command line has whatever is done.
std::string OwnHelp(std::string_view option) {
    if (option == "--keys") {
        return "  --keys FILE     the key map to use; by default, when it exists,\n"
               "                  " +
               Utf8FromPath(KeyMapFile::DefaultPath()) + "\n";
    }
    if (option == "--config") {
        return "  --config FILE   the settings file to read; by default, when it exists,\n"
               "                  " +
               Utf8FromPath(DefaultSettingsPath()) + "\n";
    }
    if (option == "--help") {
        return "  --help          show this help and exit\n";
    }
    if (option == "--version") {
        return "  --version       show the version and exit\n";
    }
    return {};
}

}  // namespace

std::string CommandLine::HelpText(const std::vector<Verb*>& verbs) {
    std::string text = "Usage: ";
    bool first = true;
    for (const Verb* verb : verbs) {
        if (const std::string usage = verb->Usage(); !usage.empty()) {
            text += (first ? "" : "       ") + usage;
            first = false;
        }
    }
    text += What;
    text += "\n";
    SourceOptions sources;
    PlayerOptions players;
    std::vector<const OptionGroup*> groups{&sources, &players};
    groups.insert(groups.end(), verbs.begin(), verbs.end());
    for (const char* option : Listed) {
        text += OwnHelp(option);
        for (const OptionGroup* group : groups) {
            text += group->Help(option);
        }
    }
    return text + "\n" + Settings;
}
