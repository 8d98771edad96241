#pragma once

#include <memory>
#include <set>
#include <string>

#include "input/evdev_decoder.h"

// One opened kernel input device (libevdev), behind the little the source needs.
class InputDevice {
  public:
    enum class Status {
        Event,   // event holds the next event
        Again,   // nothing more for now
        Failed,  // error holds why; ENODEV when it was unplugged
    };

    virtual ~InputDevice() = default;
    // Readable when events wait.
    virtual int Fd() const = 0;
    // The next event, never waiting. Events were lost when one is SYN_DROPPED; those that
    // follow it bring the keys in line with the device's state (libevdev's sync).
    virtual Status Next(RawInputEvent& event, int& error) = 0;
    // Whether events wait, in the kernel or already read ahead (libevdev takes in all
    // there is at once): Fd says nothing of those read ahead.
    virtual bool Pending() = 0;
    // The key codes down now, as the device's state says.
    virtual std::set<unsigned> KeysDown() const = 0;
    // Takes the device for this program alone (EVIOCGRAB); 0, or the errno (EBUSY: another
    // program holds it).
    virtual int Grab() = 0;
};

// The kernel's name of a key code (KEY_PLAYPAUSE), or empty.
std::string KernelKeyName(unsigned code);

// Opens the event device at path read-only; null with error set when it cannot.
std::unique_ptr<InputDevice> OpenInputDevice(const std::string& path, int& error);
