#include "program/window_command.h"

#include "options/flag_value.h"

std::string WindowCommand::Usage() const {
#ifdef _WIN32
    return "quorvel [--port COMn]... [--input DEVICE]... [--no-grab]\n"
           "               [--mqtt URL [--mqtt-topic FILTER]... [--mqtt-publish]\n"
           "               [--mqtt-discovery[=PREFIX]]]\n"
           "               [--player window|keys|session] [--keys FILE] [--notify]\n"
           "               [--console | --minimized]\n";
#else
    return "quorvel [--port DEVICE]... [--lircd[=SOCKET]] [--input DEVICE]...\n"
           "               [--mqtt URL [--mqtt-topic FILTER]... [--mqtt-publish]\n"
           "               [--mqtt-discovery[=PREFIX]]]\n"
           "               [--player NAME[,NAME...]] [--ignore-player NAME] [--no-player]\n"
           "               [--notify] [--keys FILE] [--console | --minimized]\n";
#endif
}

void WindowCommand::Add(CLI::App& app, CommandLine& options) {
    // What the settings file can set, the command line can unset: --no-minimized, or
    // --minimized=false.
    for (const auto& [name, target] :
         {std::pair{"minimized", &options.minimized}, std::pair{"follow", &options.follow}}) {
        const std::string option = std::string("--") + name;
        app.add_flag(option + ",!--no-" + name, *target)->check(FlagValue(option));
    }
}

std::vector<std::string> WindowCommand::Flags() const {
    return {"--no-minimized", "--no-follow"};
}

void WindowCommand::NoteHere(const CLI::App&, const CommandLine& options, Here& here) const {
    if (options.minimized) {
        here.insert("--minimized");
    }
}

std::string WindowCommand::Check(const CLI::App&, CommandLine&, const Here& here) {
    // The console and learning run without the window. Asked for together here, that is a
    // slip; with one of them from the settings file, --minimized has nothing to do.
    for (const char* windowless : {"--learn", "--console"}) {
        if (here.count("--minimized") > 0 && here.count(windowless) > 0) {
            return std::string("options '--minimized' and '") + windowless + "' exclude each other";
        }
    }
    return {};
}

void WindowCommand::Chosen(CommandLine& options) const {
    options.minimized = options.minimized && options.command == Id();
}

std::string WindowCommand::Help(std::string_view option) const {
    if (option == "--minimized") {
#ifdef _WIN32
        return "  --minimized     start hidden in the notification area (click its icon)\n";
#else
        return "  --minimized     start with the window minimized\n";
#endif
    }
    if (option == "--follow") {
        return "  --follow        the window follows new lines from the start (else once\n"
               "                  you scroll to the end)\n";
    }
    return {};
}

int WindowCommand::Run(const CommandLine& options, ProgramPlatform& platform,
                       const IRThread::PlayerFactory& player, KeyMapReloader& keys) {
    if (const auto status = platform.PrepareWindow()) {
        return *status;
    }
    return Reported(platform, true, [&] { return platform.RunWindow(options, player, keys); });
}
