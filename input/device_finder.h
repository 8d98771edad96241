#pragma once

#include <memory>
#include <string>
#include <vector>

// An event device of the kernel's input layer, as udev knows it.
struct InputNode {
    std::string devnode;             // /dev/input/eventN
    std::string name;                // the name the kernel reports for the device
    std::vector<std::string> links;  // its links under /dev/input/by-id and by-path
    bool mediaKeys = false;          // it has keys a remote has (play, volume, ...)
};

// The input devices there are, and their comings and goings (udev).
class DeviceFinder {
  public:
    struct Change {
        bool added;  // or changed (permissions given, udevadm trigger); else removed
        InputNode node;
    };

    virtual ~DeviceFinder() = default;
    // Every event device now.
    virtual std::vector<InputNode> List() = 0;
    // Readable when a device came or went; -1 when hotplug cannot be followed.
    virtual int Fd() const = 0;
    // What came and went since the last call.
    virtual std::vector<Change> Changes() = 0;
};

// The machine's own, through libudev; null when udev cannot be reached.
std::unique_ptr<DeviceFinder> MakeUdevDeviceFinder();
