#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "input/device_finder.h"
#include "input/evdev_decoder.h"
#include "input/input_device.h"
#include "source/grace_retry.h"
#include "source/key_source.h"
#include "source/source_health.h"

// The kernel's input devices as one key source: every device that matches one of the
// wanted ones (a path, or name=TEXT for every device of that name, as one receiver often
// shows up as several). Keys are named as the kernel names them, with the receiver's
// scancode; holds end at the release. Devices are followed through hotplug: a wanted
// device that is not there is waited for with no CPU, one unplugged is taken again when it
// returns, and a permission refused just after a device appeared (before the seat's access
// is granted) is tried again for a while. Lost is said when the last device goes, Back when
// one returns.
//
// With grab, each device is taken for this program alone (EVIOCGRAB), so that the desktop
// does not act on its keys too; only while none of its keys is down, so the desktop never
// misses a release. A grab refused (another program holds the device) is said once, and the
// device is read all the same.
class InputSource : public KeySource {
  public:
    using Opener = std::function<std::unique_ptr<InputDevice>(const std::string& path, int& error)>;
    // Events of one device taken in at once; the rest when the loop comes back to it.
    static constexpr int EventsAtOnce = 64;

    // wanted: paths, or name=TEXT. finder and opener: the machine's (MakeUdevDeviceFinder,
    // OpenInputDevice), or a test's; without a finder, only paths are opened and hotplug
    // is not followed.
    InputSource(std::vector<std::string> wanted, bool grab, std::unique_ptr<DeviceFinder> finder,
                Opener opener);
    ~InputSource() override;
    InputSource(const InputSource&) = delete;
    InputSource& operator=(const InputSource&) = delete;

    // Whether node is one of wanted (a path, a link to the node, or name=TEXT).
    static bool Matches(const std::string& wanted, const InputNode& node);
    // What wanted names, so that two names of one device are told for one: a path with its
    // links resolved (as far as it exists yet), name=TEXT as it is.
    static std::string Identity(const std::string& wanted);
    // Why wanted can never be an input device (a file, a folder, a character device that is
    // no event device); empty when it may be (a path not there yet, name=TEXT).
    static std::string WhyNotAnInputDevice(const std::string& wanted);

    void Open() override;
    // When no wanted device could be opened: why, as one condition.
    std::vector<SourceCondition> Configure() override;
    void Attach(EventLoop& loop, SourceOutput& out) override;
    const LogCategory& Log() const override;
    std::string_view Kind() const override { return "input"; }

  private:
    struct Device {
        std::unique_ptr<InputDevice> device;
        EvdevDecoder decoder{KernelKeyName};
        std::unique_ptr<EventLoop::Watch> ready;
        bool grabDue = false;
    };

    // Opens node if it is wanted and not open yet; the errno, or 0.
    int Take(const InputNode& node);
    void Watch(const std::string& devnode, Device& device);
    void Grab(const std::string& devnode, Device& device);
    void Read(const std::string& devnode);
    // Reads every device again: some had more read ahead than a turn takes.
    void ReadAhead();
    void Drop(const std::string& devnode, const std::string& why);
    void TakeChanges();
    // One more try of a device that refused us just after it appeared; whether it is done.
    bool RetryRefused(const InputNode& node, bool last);
    SourceCondition Missing() const;
    std::string Wanted() const;

    std::vector<std::string> wanted_;
    bool grab_;
    std::unique_ptr<DeviceFinder> finder_;
    Opener opener_;
    EventLoop* loop_ = nullptr;
    std::unique_ptr<EventLoop::Watch> changes_;
    std::unique_ptr<EventLoop::Timer> readAhead_;  // due at once while a device has more
    std::map<std::string, Device> devices_;        // by device node
    // Devices that refused us just after they appeared, by device node.
    GraceRetry<std::string> refused_;
    int lastError_ = 0;
    std::string lastErrorNode_;
    std::set<std::string> saidGrab_;
    // Down once no device is read, after one was (or none was at the start).
    SourceHealth health_;
    std::vector<KeyEvent> events_;
};
