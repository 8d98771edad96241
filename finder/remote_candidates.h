#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hid/hid_device.h"
#include "source/key_source.h"

#ifndef _WIN32
#include "input/device_finder.h"
#include "input/input_source.h"
#endif

// A receiver a search listens on, besides the serial ports, and how it is kept when found.
struct RemoteCandidate {
    std::string label;    // for the user: "lircd at /run/lirc/lircd", "input /dev/input/..."
    std::string setting;  // the settings file's name for it: "lircd" or "input"
    std::string value;    // its value there
    // The source to listen on: shared, never taken from the desktop or another program.
    std::function<std::unique_ptr<KeySource>()> make;
};

// The remotes of other kinds than serial a search listens on: on Linux lircd when its socket
// is there, and the kernel's input devices that have a remote's keys; on Windows the HID
// devices Raw Input knows that have a remote's collections. Which devices there are is
// udev's or Raw Input's; choosing among them is plain.
namespace RemoteCandidates {

// One for each device with a consumer control, MCE, system control or keyboard collection
// (in the listing's order; its collections together), as name=PRODUCT, or VID:PID when it
// names no product; make gives the source for that value.
std::vector<RemoteCandidate> Hids(
    const std::vector<HidDevice>& devices,
    const std::function<std::unique_ptr<KeySource>(const std::string& wanted)>& make);

#ifndef _WIN32
// One for each device with media keys, in the listing's order, by its first by-id link (the
// name that stays across replugs), else as name=NAME: every device of that name at once, as
// one receiver often shows up as several.
std::vector<RemoteCandidate> Inputs(const std::vector<InputNode>& nodes,
                                    const InputSource::Opener& opener);
#endif

// This machine's.
std::vector<RemoteCandidate> Machine();

}  // namespace RemoteCandidates
