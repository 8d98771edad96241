#include "program/print_keys_command.h"

#include "keymap/key_map_file.h"
#include "log/untrusted_text.h"
#include "platform/utf8_path.h"

void PrintKeysCommand::Add(CLI::App& app, CommandLine&) {
    app.add_flag("--print-keys", asked_)->configurable(false);
}

void PrintKeysCommand::NoteHere(const CLI::App&, const CommandLine&, Here& here) const {
    if (asked_) {
        here.insert("--print-keys");
    }
}

std::string PrintKeysCommand::Help(std::string_view option) const {
    return option == "--print-keys"
               ? "  --print-keys    print the built-in key map, a start for your own, and exit;\n"
                 "                  with --keys, that map as it is read\n"
               : "";
}

std::optional<int> PrintKeysCommand::Start(const CommandLine& options, KeyMap&,
                                           const StartOutput& output) {
    const std::string& file = options.keys;
    if (file.empty()) {
        output.out(KeyMapFile::Header() + KeyMap::Standard().Format());
        return 0;
    }
    const KeyMapFile::Loaded loaded = KeyMapFile::Load(PathFromUtf8(file));
    std::string said;
    for (const std::string& problem : loaded.problems) {
        said += "quorvel: " + options.SetAt("keys") +
                UntrustedText(problem, StartOutput::LineLimit) + "\n";
    }
    if (!said.empty()) {
        output.err(said);
        return CommandLine::UsageError;
    }
    output.out(KeyMapFile::Header() + loaded.keys.Format());
    for (const std::string& note : loaded.notes) {
        said += "quorvel: " + options.SetAt("keys") + UntrustedText(note, StartOutput::LineLimit) +
                "\n";
    }
    if (!said.empty()) {
        output.err(said);
    }
    return 0;
}
