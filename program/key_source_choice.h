#pragma once

#include <memory>
#include <string>
#include <vector>

#include "options/command_line.h"
#include "program/key_map_reloader.h"
#include "receiver/press_judge.h"
#include "source/key_source.h"
#include "source/receiver_loop.h"

// The key sources the options ask for, all read at once: the serial receiver on each port
// (the default port when no source is named), lircd (--lircd, Linux), the input devices
// (--input: the kernel's on Linux, Raw Input's HID devices and keyboards on Windows) and an
// MQTT broker (--mqtt). verdict, when given, says which presses would act, for a source that
// keeps keys from the rest of the system (Raw Input's hook).
std::vector<std::unique_ptr<KeySource>> MakeKeySources(
    const CommandLine& options, std::shared_ptr<const PressVerdict> verdict = {});
// The broker --mqtt names, as a source of its own, or none when there is none or it
// cannot be used.
std::unique_ptr<KeySource> MakeBrokerSource(const CommandLine& options);
// The one loop over them; with --mqtt-publish, each key the other sources read is
// published to the broker as the cycle passes it on (KeySource::Publish; never one learnt
// in the keys window); with --mqtt-discovery, Home Assistant is told of the keys keys binds,
// whose reloads it follows, and of each gesture the cycle decides (ReceiverLoop::Follow).
std::unique_ptr<ReceiverLoop> MakeReceiverLoop(const CommandLine& options, KeyMapReloader& keys,
                                               std::shared_ptr<const PressVerdict> verdict = {});
// What judges whether a press would act, for the sources that keep keys from the system
// (Windows' --input, grabbing): the map in force, the receiver's mode, and the player the
// options choose, as that link would find it; none where no source needs one.
std::shared_ptr<PressJudge> MakePressJudge(const CommandLine& options,
                                           std::shared_ptr<const SharedKeyMap> keys);
// What they read, for the user: the ports, "lircd at SOCKET", "input DEVICE", "MQTT broker
// at URL", joined.
std::string KeySourceNames(const CommandLine& options);
// Why one of them can never be a key source (a file given as a port or an input device, a
// socket path too long for a socket, a broker's password file others may write), as a line for
// standard error naming the setting's line when it came from the settings file; empty when each may
// be.
std::string WhyNotKeySources(const CommandLine& options);
