#include "program/receiver_command.h"

#include "keymap/key_map_file.h"
#include "log/untrusted_text.h"
#include "platform/utf8_path.h"
#include "program/key_source_choice.h"

std::optional<int> ReceiverCommand::Start(const CommandLine& options, KeyMap& keys,
                                          const StartOutput& output) {
    // Reading a file, a pipe or the user's own terminal as if it were the receiver would
    // feed the player garbage, or take the terminal over.
    if (const std::string why = WhyNotKeySources(options); !why.empty()) {
        output.err(why);
        return CommandLine::UsageError;
    }
    // A key map with mistakes is refused whole, every mistake named, before anything runs.
    KeyMapFile::Loaded loaded = KeyMapFile::Load(PathFromUtf8(options.keys));
    for (const std::string& problem : loaded.problems) {
        output.err("quorvel: " + options.SetAt("keys") +
                   UntrustedText(problem, StartOutput::LineLimit) + "\n");
    }
    if (!loaded.problems.empty()) {
        return CommandLine::UsageError;
    }
    for (const std::string& note : loaded.notes) {
        output.err("quorvel: " + options.SetAt("keys") +
                   UntrustedText(note, StartOutput::LineLimit) + "\n");
    }
    keys = std::move(loaded.keys);
    return std::nullopt;
}
