#pragma once

#include <memory>
#include <string>

#include "program/command_line.h"
#include "source/key_source.h"

// The key source the options ask for: the serial receiver on --port (the default), lircd
// (--lircd) or the kernel's input devices (--input; Linux only).
std::unique_ptr<KeySource> MakeKeySource(const CommandLine& options);
// What it reads, for the user: the port, "lircd at SOCKET" or the devices.
std::string KeySourceName(const CommandLine& options);
// Whether it is the serial receiver.
bool ReadsSerialPort(const CommandLine& options);
