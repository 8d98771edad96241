// What --help says: every option, on each platform.
#include "keymap/key_map_file.h"
#include "options/command_line.h"
#include "options/settings_file.h"
#include "platform/utf8_path.h"

#ifndef _WIN32
#include "lircd/lircd_source.h"
#endif

namespace {

// The broker's options, on both platforms; Windows' build has no TLS.
std::string MqttHelp() {
    return "  --mqtt URL      read the codes IR bridges (Tasmota, OpenMQTTGateway, ESPHome)\n"
           "                  and other Quorvels publish to an MQTT broker:\n"
#ifdef _WIN32
           "                  mqtt://[USER@]HOST[:PORT] (this build has no TLS); a code is\n"
#else
           "                  mqtt://[USER@]HOST[:PORT], or mqtts://... over TLS; a code is\n"
#endif
           "                  the key PROTOCOL_HEX (NEC_20DF10EF)\n"
           "  --mqtt-topic FILTER\n"
           "                  subscribe to this topic filter instead of tele/+/RESULT,\n"
           "                  tele/+/IRRECEIVED, home/+/IRtoMQTT and quorvel/+/key (may be\n"
           "                  given again)\n"
           "  --mqtt-publish  publish the keys of the other sources to quorvel/NAME/key,\n"
           "                  and online or offline to quorvel/NAME/status\n"
           "  --mqtt-discovery[=PREFIX]\n"
           "                  announce the keys to Home Assistant (MQTT discovery under\n"
           "                  PREFIX, default homeassistant): a device whose keys' presses,\n"
           "                  doubles, long presses and held repeats are triggers, each\n"
           "                  published to quorvel/NAME/event once decided; implies\n"
           "                  --mqtt-publish\n"
           "  --mqtt-name NAME\n"
           "                  this machine's NAME in topics (default: the host name)\n"
#ifndef _WIN32
           "  --mqtt-ca FILE  the certificates an mqtts:// broker is verified by (default:\n"
           "                  the system's)\n"
#endif
           "  --mqtt-password-file FILE\n"
           "                  the broker's password, the file's first line; the file must\n"
           "                  not be writable by others (there is no password option)\n";
}

}  // namespace

std::string CommandLine::HelpText() {
#ifdef _WIN32
    return std::string(
               "Usage: quorvel [--port COMn]... [--input DEVICE]... [--no-grab]\n"
               "               [--mqtt URL [--mqtt-topic FILTER]... [--mqtt-publish]\n"
               "               [--mqtt-discovery[=PREFIX]]]\n"
               "               [--player window|keys|session] [--keys FILE] [--notify]\n"
               "               [--console | --minimized]\n"
               "       quorvel --learn [--port COMn]... [--input DEVICE]... [--keys FILE]\n"
               "       quorvel --find-port [COMn...]\n"
               "Shows the button events of an infrared remote in a small window and sends\n"
               "play/pause, previous, next and volume to a media player. The remote's keys\n"
               "come from serial receivers, from the HID remotes and keyboards Windows sees\n"
               "and from IR bridges on an MQTT broker, every one named read at once.\n"
               "\n"
               "  --port COMn     serial port of a receiver (default ") +
           DefaultPort +
           ", when no other\n"
           "                  source is named); may be given again\n"
           "  --input DEVICE  read the keys of a HID remote: name=NAME (its product name),\n"
           "                  VID:PID (such as 045e:006d) or its device path; or\n"
           "                  media-keys, the media and volume keys of every keyboard; may\n"
           "                  be given again\n"
           "  --no-grab       share those keys with Windows and the program in front\n"
           "                  instead of keeping them for Quorvel alone (then they act\n"
           "                  twice)\n" +
           MqttHelp() +
           "  --player window commands to the window titled \"Windows Media Player\"\n"
           "                  (the default)\n"
           "  --player keys   the media and volume keys, for whichever player has them\n"
           "  --player session\n"
           "                  the players in Windows' media controls (Spotify, browsers,\n"
           "                  Media Player, mpv...), in front or not, and each one's own\n"
           "                  volume; the media keys where Windows has none\n"
           "  --notify        show each volume key the player took (with session, the\n"
           "                  volume it left) in a balloon from the icon in the\n"
           "                  notification area\n"
           "  --minimized     start hidden in the notification area (click its icon)\n"
#else
    return std::string(
               "Usage: quorvel [--port DEVICE]... [--lircd[=SOCKET]] [--input DEVICE]...\n"
               "               [--mqtt URL [--mqtt-topic FILTER]... [--mqtt-publish]\n"
               "               [--mqtt-discovery[=PREFIX]]]\n"
               "               [--player NAME[,NAME...]] [--ignore-player NAME] [--no-player]\n"
               "               [--notify] [--keys FILE] [--console | --minimized]\n"
               "       quorvel --learn [--port DEVICE]... [--lircd[=SOCKET]] [--input DEVICE]...\n"
               "               [--keys FILE]\n"
               "       quorvel --find-port [DEVICE...]\n"
               "Shows the button events of an infrared remote in a small window and sends\n"
               "play/pause, previous, next and volume to a media player over MPRIS. The\n"
               "remote's keys come from serial receivers, from lircd, from the kernel's\n"
               "input devices and from IR bridges on an MQTT broker, every one named read at\n"
               "once.\n"
               "\n"
               "  --port DEVICE   serial port of a receiver (default ") +
           DefaultPort +
           ", when no other\n"
           "                  source is named); may be given again\n"
           "  --lircd[=SOCKET]\n"
           "                  read the keys lircd decodes, from its socket\n"
           "                  (default " +
           LircdSource::DefaultSocket +
           ")\n"
           "  --input DEVICE  read the keys of a kernel input device: /dev/input/eventN, a\n"
           "                  link under /dev/input/by-id or by-path, or name=NAME for\n"
           "                  every device of that name; may be given again\n"
           "  --no-grab       share the input devices with the desktop instead of taking\n"
           "                  them for Quorvel alone (then the desktop acts on their keys\n"
           "                  too)\n" +
           MqttHelp() +
           "  --player NAME[,NAME...]\n"
           "                  the MPRIS players to command, the first running one in this\n"
           "                  order; * stands for any other. A NAME is a bus name, with or\n"
           "                  without org.mpris.MediaPlayer2. (vlc takes vlc.instance1234),\n"
           "                  or an Identity, exactly. By default any player: the one that\n"
           "                  started playing last, else the one commanded last\n"
           "  --ignore-player NAME\n"
           "                  never command this player (may be given again)\n"
           "  --no-player     command no player, only show the events\n"
           "  --notify        show a desktop notification when the remote moves to another\n"
           "                  player, and of the volume or mute a key set\n"
           "  --minimized     start with the window minimized\n"
#endif
           "  --console       no window: print the history on standard output\n"
           "  --keys FILE     the key map to use; by default, when it exists,\n"
           "                  " +
           Utf8FromPath(KeyMapFile::DefaultPath()) +
           "\n"
           "  --follow        the window follows new lines from the start (else once\n"
           "                  you scroll to the end)\n"
           "  --print-keys    print the built-in key map, a start for your own, and exit;\n"
           "                  with --keys, that map as it is read\n"
           "  --learn         learn a remote's keys in the terminal and write the key map,\n"
           "                  from every source named; with none, find one first as\n"
           "                  --find-port does\n"
#ifdef _WIN32
           "  --find-port [PORT...], --find-remote\n"
           "                  listen on these ports (by default on every serial port and\n"
           "                  every HID remote and keyboard here) and say the one on which\n"
           "                  a key of the remote arrives, to save it beside the sources\n"
           "                  of the settings file or in their place\n"
#else
           "  --find-port [PORT...], --find-remote\n"
           "                  listen on these ports (by default on every serial port here,\n"
           "                  lircd and every input device with media keys) and say the\n"
           "                  one on which a key of the remote arrives, to save it beside\n"
           "                  the sources of the settings file or in their place\n"
#endif
           "  --config FILE   the settings file to read; by default, when it exists,\n"
           "                  " +
           Utf8FromPath(DefaultSettingsPath()) +
           "\n"
           "  --help          show this help and exit\n"
           "  --version       show the version and exit\n"
           "\n"
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
}
