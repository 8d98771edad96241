#include "app/command_line.h"

#include <optional>

namespace {

// Status for a command line the program cannot use, as most tools report it.
constexpr int UsageError = 2;

CommandLine Fail(const std::string& message) {
    CommandLine result;
    result.action = CommandLine::Action::Exit;
    result.exitStatus = UsageError;
    result.err = "quorvel: " + message + " (try --help)\n";
    return result;
}

CommandLine Print(std::string text) {
    CommandLine result;
    result.action = CommandLine::Action::Exit;
    result.out = std::move(text);
    return result;
}

}  // namespace

std::string CommandLine::HelpText() {
#ifdef _WIN32
    return std::string(
               "Usage: quorvel [--port COMn] [--player window|keys] [--console]\n"
               "Shows the button events of a serial infrared receiver in a small window and\n"
               "sends play/pause, previous, next and volume to a media player.\n"
               "\n"
               "  --port COMn     serial port of the receiver (default ") +
           DefaultPort +
           ")\n"
           "  --player window commands to the window titled \"Windows Media Player\"\n"
           "                  (the default)\n"
           "  --player keys   the media and volume keys, for whichever player has them\n"
#else
    return std::string(
               "Usage: quorvel [--port DEVICE] [--player NAME] [--console]\n"
               "Shows the button events of a serial infrared receiver in a small window and\n"
               "sends play/pause, previous, next and volume to a media player over MPRIS.\n"
               "\n"
               "  --port DEVICE   serial port of the receiver (default ") +
           DefaultPort +
           ")\n"
           "  --player NAME   the MPRIS player to command: its bus name after\n"
           "                  org.mpris.MediaPlayer2. or its Identity, exactly; by default\n"
           "                  a playing player first, else the first by bus name\n"
#endif
           "  --console       no window: print the history on standard output\n"
           "  --help          show this help and exit\n"
           "  --version       show the version and exit\n";
}

CommandLine CommandLine::Parse(const std::vector<std::string>& args) {
    CommandLine result;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            return Print(HelpText());
        }
        if (arg == "--version") {
            return Print(std::string(VersionText) + "\n");
        }
        if (arg == "--console") {
            result.console = true;
            continue;
        }

        std::string name = arg;
        std::optional<std::string> value;
        if (const auto equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != arg.npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        std::string* target = nullptr;
        if (name == "--port") {
            target = &result.port;
        } else if (name == "--player") {
            target = &result.player;
        } else if (arg.rfind("-", 0) == 0) {
            return Fail("unknown option '" + name + "'");
        } else {
            return Fail("unexpected argument '" + arg + "'");
        }
        if (!value) {
            if (i + 1 == args.size()) {
                return Fail("option '" + name + "' needs a value");
            }
            value = args[++i];
        }
        if (value->empty()) {
            return Fail("option '" + name + "' needs a value");
        }
        *target = *value;
    }
    return result;
}
