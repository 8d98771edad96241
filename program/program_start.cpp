#include "program/program_start.h"

#include <cstdio>
#include <iostream>

#include "log/untrusted_text.h"
#include "program/key_learner.h"
#include "program/key_map_file.h"
#include "receiver/serial_device.h"

namespace {

// A line of ours around a path or a line of a file: longer than one untrusted piece.
constexpr std::size_t LineLimit = 1000;

}  // namespace

StartOutput StartOutput::Standard() {
    return {[](const std::string& text) { std::fputs(text.c_str(), stdout); },
            [](const std::string& text) { std::fputs(text.c_str(), stderr); }};
}

std::optional<int> StartProgram(const CommandLine& options, KeyMap& keys,
                                const StartOutput& output) {
    if (options.action == CommandLine::Action::Exit) {
        if (!options.out.empty()) {
            output.out(options.out);
        }
        if (!options.err.empty()) {
            output.err(options.err);
        }
        return options.exitStatus;
    }
    // Reading a file, a pipe or the user's own terminal as if it were the receiver would
    // feed the player garbage, or take the terminal over.
    if (const std::string why = WhyNotASerialPort(options.port); !why.empty()) {
        output.err("quorvel: " + UntrustedText(why, LineLimit) + "\n");
        return CommandLine::UsageError;
    }
    if (options.learn) {
        KeyLearner learner(std::cin, std::cout, std::cerr);
        return learner.Run(options.port,
                           options.keys.empty() ? KeyMapFile::DefaultPath() : options.keys);
    }
    // A key map with mistakes is refused whole, every mistake named, before anything runs.
    KeyMapFile::Loaded loaded = KeyMapFile::Load(options.keys);
    for (const std::string& problem : loaded.problems) {
        output.err("quorvel: " + UntrustedText(problem, LineLimit) + "\n");
    }
    if (!loaded.problems.empty()) {
        return CommandLine::UsageError;
    }
    keys = std::move(loaded.keys);
    return std::nullopt;
}
