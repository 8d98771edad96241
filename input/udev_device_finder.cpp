// The machine's input devices, and their hotplug, through libudev.
#include <libudev.h>

#include <cstring>

#include "input/device_finder.h"
#include "input/input_device.h"

namespace {

// The keys that make a device a remote's, or a keyboard's with media keys.
constexpr unsigned MediaKeys[] = {164 /* KEY_PLAYPAUSE */, 163 /* KEY_NEXTSONG */,
                                  115 /* KEY_VOLUMEUP */, 207 /* KEY_PLAY */};

InputNode Describe(udev_device* device) {
    InputNode node;
    node.devnode = udev_device_get_devnode(device);
    if (udev_device* parent =
            udev_device_get_parent_with_subsystem_devtype(device, "input", nullptr)) {
        if (const char* name = udev_device_get_sysattr_value(parent, "name")) {
            node.name = name;
        }
        // The capabilities/key bitmap: hexadecimal words, the highest first.
        if (const char* keys = udev_device_get_sysattr_value(parent, "capabilities/key")) {
            std::vector<unsigned long> words;
            for (const char* at = keys; *at != '\0';) {
                char* end = nullptr;
                words.insert(words.begin(), std::strtoul(at, &end, 16));
                at = end;
                while (*at == ' ') {
                    ++at;
                }
                if (end == at && *at != '\0' && *at != ' ') {
                    break;
                }
            }
            constexpr unsigned Bits = sizeof(unsigned long) * 8;
            for (const unsigned key : MediaKeys) {
                node.mediaKeys = node.mediaKeys || (key / Bits < words.size() &&
                                                    (words[key / Bits] >> (key % Bits)) & 1);
            }
        }
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_device_get_devlinks_list_entry(device)) {
        node.links.emplace_back(udev_list_entry_get_name(entry));
    }
    return node;
}

bool IsEventNode(udev_device* device) {
    const char* node = udev_device_get_devnode(device);
    const char* sysname = udev_device_get_sysname(device);
    return node != nullptr && sysname != nullptr && std::strncmp(sysname, "event", 5) == 0;
}

class UdevDeviceFinder : public DeviceFinder {
  public:
    explicit UdevDeviceFinder(udev* context) : udev_(context) {
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        if (monitor_ != nullptr &&
            (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "input", nullptr) < 0 ||
             udev_monitor_enable_receiving(monitor_) < 0)) {
            udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
    }
    ~UdevDeviceFinder() override {
        if (monitor_ != nullptr) {
            udev_monitor_unref(monitor_);
        }
        udev_unref(udev_);
    }
    UdevDeviceFinder(const UdevDeviceFinder&) = delete;
    UdevDeviceFinder& operator=(const UdevDeviceFinder&) = delete;

    std::vector<InputNode> List() override {
        std::vector<InputNode> nodes;
        udev_enumerate* enumerate = udev_enumerate_new(udev_);
        udev_enumerate_add_match_subsystem(enumerate, "input");
        udev_enumerate_scan_devices(enumerate);
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
            udev_device* device =
                udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
            if (device != nullptr && IsEventNode(device)) {
                nodes.push_back(Describe(device));
            }
            if (device != nullptr) {
                udev_device_unref(device);
            }
        }
        udev_enumerate_unref(enumerate);
        return nodes;
    }

    int Fd() const override { return monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1; }

    std::vector<Change> Changes() override {
        std::vector<Change> changes;
        while (monitor_ != nullptr) {
            udev_device* device = udev_monitor_receive_device(monitor_);
            if (device == nullptr) {
                break;
            }
            const char* action = udev_device_get_action(device);
            if (IsEventNode(device) && action != nullptr &&
                (std::strcmp(action, "add") == 0 || std::strcmp(action, "change") == 0 ||
                 std::strcmp(action, "remove") == 0)) {
                // A change (new permissions, udevadm trigger) is a device to try again; one
                // already read is left as it is.
                changes.push_back({std::strcmp(action, "remove") != 0, Describe(device)});
            }
            udev_device_unref(device);
        }
        return changes;
    }

  private:
    udev* udev_;
    udev_monitor* monitor_ = nullptr;
};

}  // namespace

std::unique_ptr<DeviceFinder> MakeUdevDeviceFinder() {
    udev* context = udev_new();
    if (context == nullptr) {
        return nullptr;
    }
    return std::make_unique<UdevDeviceFinder>(context);
}
