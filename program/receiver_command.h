#pragma once

#include "program/program_command.h"

// What the window and the console share: both run the receiver, on the key sources the
// options name, with the key map read at start.
class ReceiverCommand : public ProgramCommand {
  public:
    bool Receives() const override { return true; }
    // Refuses what can never be a key source, and a key map with mistakes, every mistake
    // named; says the map's notes. None when the receiver is to run.
    std::optional<int> Start(const CommandLine& options, KeyMap& keys,
                             const StartOutput& output) override;
};
