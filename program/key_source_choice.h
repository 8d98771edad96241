#pragma once

#include <memory>
#include <string>
#include <vector>

#include "program/command_line.h"
#include "source/key_source.h"
#include "source/receiver_loop.h"

// The key sources the options ask for, all read at once: the serial receiver on each port
// (the default port when no source is named), lircd (--lircd, Linux) and the input devices
// (--input: the kernel's on Linux, Raw Input's HID devices and keyboards on Windows).
std::vector<std::unique_ptr<KeySource>> MakeKeySources(const CommandLine& options);
// The one loop over them.
std::unique_ptr<ReceiverLoop> MakeReceiverLoop(const CommandLine& options);
// What they read, for the user: the ports, "lircd at SOCKET", "input DEVICE", joined.
std::string KeySourceNames(const CommandLine& options);
// Why one of them can never be a key source (a file given as a port or an input device, a
// socket path too long for a socket), as a line for standard error naming the setting's line
// when it came from the settings file; empty when each may be.
std::string WhyNotKeySources(const CommandLine& options);
