#pragma once

#include <string>
#include <vector>

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

    enum class Action { Run, Exit };

    Action action = Action::Run;
    // Meaningful when action is Exit; out and err are printed as they stand.
    int exitStatus = 0;
    std::string out;
    std::string err;

    std::string port = DefaultPort;
    // --port was given: --learn searches for the port only when it was not.
    bool portGiven = false;
    // --player: on Linux the MPRIS players to command in order of preference, separated by
    // commas ("*" for any other; see Names); on Windows "window" or "keys".
    std::string player;
    // --ignore-player, as often as given (Linux): players never commanded, each a name or
    // names separated by commas.
    std::vector<std::string> ignoredPlayers;
    // --no-player: the events are shown, no player is commanded.
    bool commandsPlayer = true;
    // No window: the history goes to standard output.
    bool console = false;
    // The window starts out of the way: hidden in the notification area on Windows,
    // minimized on Linux.
    bool minimized = false;
    // The key map file; empty for the default place (KeyMapFile).
    std::string keys;
    // Learn the remote's keys in the terminal instead of running.
    bool learn = false;
    // --notify: what the keys did (player switches, volume, mute) is shown on the desktop.
    bool notify = false;
    // --find-port: search these ports (the machine's when none is named) for the receiver.
    bool findPort = false;
    std::vector<std::string> findPortCandidates;
    // The window follows new lines from the start, not only once the user scrolls to the end.
    bool follow = false;
    // The settings file in force: --config's, else the default one (which may not exist);
    // empty when none was asked for.
    std::string config;

    // The names of a comma-separated list ("vlc,spotify"), in order.
    static std::vector<std::string> Names(const std::string& list);

    // args excludes the program name. The options not given in args come from the settings
    // file (program/settings_file.h): --config's, which must exist, else settings (UTF-8) when it
    // exists; an empty settings reads none.
    static CommandLine Parse(const std::vector<std::string>& args,
                             const std::string& settings = {});
    static std::string HelpText();
};
