#pragma once

#include <string>

#include "options/command_line.h"
#include "options/option_group.h"

// A thing the program can be asked to do, with the options it owns: the window, --console,
// --learn, --find-port, --print-keys. The program's commands (program/) are verbs that also
// run.
class Verb : public OptionGroup {
  public:
    virtual CommandLine::Command Id() const = 0;
    // Whether it was asked for, on the command line or in the settings file, once both are
    // read. The window always is: it is what runs when nothing else was asked.
    virtual bool Asked() const = 0;
    // Its lines of --help's usage, without what goes before the first ("Usage: "), each with
    // its line end; empty when it has none of its own.
    virtual std::string Usage() const { return {}; }
};
