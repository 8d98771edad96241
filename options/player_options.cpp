#include "options/player_options.h"

#include "log/untrusted_text.h"
#include "options/flag_value.h"
#include "options/option_checks.h"

void PlayerOptions::Add(CLI::App& app, CommandLine& result) {
    app.add_flag("--notify,!--no-notify", result.notify)->check(FlagValue("--notify"));
#ifndef _WIN32
    app.add_flag("--no-player", noPlayer_);
    app.add_option("--ignore-player", result.ignoredPlayers)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(NeedsValue("--ignore-player"))
        ->check(NoEmptyName("--ignore-player"));
#endif
    CLI::Option* player = app.add_option("--player", result.player)
                              ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
                              ->check(NeedsValue("--player"));
#ifdef _WIN32
    // Checked here, so that a slip in the settings file is named with its line.
    player->check([](const std::string& value) {
        return value == "window" || value == "keys" || value == "session"
                   ? std::string()
                   : "option '--player' takes window, keys or session, not '" +
                         UntrustedText(value) + "'";
    });
#else
    player->check(NoEmptyName("--player"));
#endif
}

std::vector<std::string> PlayerOptions::Flags() const {
#ifdef _WIN32
    return {"--no-notify"};
#else
    return {"--no-notify", "--no-player"};
#endif
}

void PlayerOptions::KeepWhole(const CLI::App& app, std::set<const CLI::Option*>& given) const {
    // --no-player, or names.
    const CLI::Option* noPlayer = app.get_option_no_throw("--no-player");
    if (noPlayer != nullptr && given.count(noPlayer) > 0) {
        given.insert(app.get_option("--player"));
        given.insert(app.get_option("--ignore-player"));
    } else if (noPlayer != nullptr && (given.count(app.get_option("--player")) > 0 ||
                                       given.count(app.get_option("--ignore-player")) > 0)) {
        given.insert(noPlayer);
    }
}

std::string PlayerOptions::Check(const CLI::App&, CommandLine& result, const Here&) {
    if (noPlayer_ && !result.player.empty()) {
        return "options '--player' and '--no-player' exclude each other";
    }
    if (noPlayer_ && !result.ignoredPlayers.empty()) {
        return "options '--ignore-player' and '--no-player' exclude each other";
    }
    result.commandsPlayer = !noPlayer_;
    return {};
}

std::string PlayerOptions::Help(std::string_view option) const {
#ifdef _WIN32
    if (option == "--player") {
        return "  --player window commands to the window titled \"Windows Media Player\"\n"
               "                  (the default)\n"
               "  --player keys   the media and volume keys, for whichever player has them\n"
               "  --player session\n"
               "                  the players in Windows' media controls (Spotify, browsers,\n"
               "                  Media Player, mpv...), in front or not, and each one's own\n"
               "                  volume; the media keys where Windows has none\n";
    }
    if (option == "--notify") {
        return "  --notify        show each volume key the player took (with session, the\n"
               "                  volume it left) in a balloon from the icon in the\n"
               "                  notification area\n";
    }
#else
    if (option == "--player") {
        return "  --player NAME[,NAME...]\n"
               "                  the MPRIS players to command, the first running one in this\n"
               "                  order; * stands for any other. A NAME is a bus name, with or\n"
               "                  without org.mpris.MediaPlayer2. (vlc takes vlc.instance1234),\n"
               "                  or an Identity, exactly. By default any player: the one that\n"
               "                  started playing last, else the one commanded last\n";
    }
    if (option == "--ignore-player") {
        return "  --ignore-player NAME\n"
               "                  never command this player (may be given again)\n";
    }
    if (option == "--no-player") {
        return "  --no-player     command no player, only show the events\n";
    }
    if (option == "--notify") {
        return "  --notify        show a desktop notification when the remote moves to another\n"
               "                  player, and of the volume or mute a key set\n";
    }
#endif
    return {};
}
