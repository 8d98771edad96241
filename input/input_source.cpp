#include "input/input_source.h"

#include <linux/input-event-codes.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "input/input_log.h"
#include "log/untrusted_text.h"

namespace {

constexpr std::string_view NamePrefix = "name=";

bool IsPermission(int error) {
    return error == EACCES || error == EPERM;
}

}  // namespace

InputSource::InputSource(std::vector<std::string> wanted, bool grab,
                         std::unique_ptr<DeviceFinder> finder, Opener opener)
    : wanted_(std::move(wanted)),
      grab_(grab),
      finder_(std::move(finder)),
      opener_(std::move(opener)),
      health_(lcInput) {}

InputSource::~InputSource() {
    // Each device leaves the loop before it closes.
    for (auto& [devnode, device] : devices_) {
        device.ready.reset();
    }
}

const LogCategory& InputSource::Log() const {
    return lcInput;
}

bool InputSource::Matches(const std::string& wanted, const InputNode& node) {
    if (std::string_view(wanted).starts_with(NamePrefix)) {
        return node.name == wanted.substr(NamePrefix.size());
    }
    if (wanted == node.devnode ||
        std::find(node.links.begin(), node.links.end(), wanted) != node.links.end()) {
        return true;
    }
    std::error_code error;
    const auto resolved = std::filesystem::canonical(wanted, error);
    return !error && resolved == std::filesystem::path(node.devnode);
}

std::string InputSource::Identity(const std::string& wanted) {
    std::error_code error;
    const auto resolved = std::filesystem::weakly_canonical(wanted, error);
    return std::string_view(wanted).starts_with(NamePrefix) || error ? wanted : resolved.string();
}

std::string InputSource::WhyNotAnInputDevice(const std::string& wanted) {
    if (std::string_view(wanted).starts_with(NamePrefix)) {
        return {};
    }
    struct stat st {};
    if (::stat(wanted.c_str(), &st) != 0) {
        return {};  // not plugged in yet
    }
    const std::string what = UntrustedText(wanted);
    if (S_ISDIR(st.st_mode)) {
        return what + " is a folder, not an input device";
    }
    if (!S_ISCHR(st.st_mode)) {
        return what + " is a file, not an input device";
    }
    // The kernel's own word: an event device's node is named eventN in sysfs.
    const std::string sys = "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                            std::to_string(minor(st.st_rdev));
    std::error_code error;
    const auto target = std::filesystem::read_symlink(sys, error);
    if (error) {
        return {};  // no sysfs here to ask: the open will tell
    }
    if (!target.filename().string().starts_with("event")) {
        return what + " is not an input event device (/dev/input/eventN, or a link to one)";
    }
    return {};
}

std::string InputSource::Wanted() const {
    std::string text;
    for (const std::string& wanted : wanted_) {
        text += (text.empty() ? "" : ", ") + UntrustedText(wanted);
    }
    return text;
}

void InputSource::Open() {
    std::vector<InputNode> nodes;
    if (finder_) {
        nodes = finder_->List();
    }
    // Paths are opened even where udev does not know them (a container, a test).
    for (const std::string& wanted : wanted_) {
        if (!std::string_view(wanted).starts_with(NamePrefix) &&
            std::none_of(nodes.begin(), nodes.end(),
                         [&](const InputNode& node) { return Matches(wanted, node); })) {
            std::error_code error;
            const auto resolved = std::filesystem::canonical(wanted, error);
            nodes.push_back({error ? wanted : resolved.string(), {}, {wanted}, false});
        }
    }
    for (const InputNode& node : nodes) {
        if (const int error = Take(node); error != 0) {
            lastError_ = error;
            lastErrorNode_ = node.devnode;
        }
    }
}

std::vector<SourceCondition> InputSource::Configure() {
    if (!devices_.empty()) {
        return {};
    }
    return {health_.NotStarted(Missing())};
}

SourceCondition InputSource::Missing() const {
    if (lastError_ != 0 && lastError_ != ENOENT && lastError_ != ENODEV) {
        std::string why = "cannot open input device " + UntrustedText(lastErrorNode_) + ": " +
                          std::strerror(lastError_);
        if (IsPermission(lastError_)) {
            why +=
                " (the user needs access to it: see the README on the udev rule for "
                "receivers, or the input group)";
        }
        return {SourceCondition::Kind::CannotOpen, why};
    }
    return {SourceCondition::Kind::Absent,
            "no input device " + Wanted() + " (waiting for it to be plugged in)"};
}

void InputSource::Attach(EventLoop& loop, SourceOutput& out) {
    loop_ = &loop;
    health_.Attach(out);
    refused_.Attach(loop);
    readAhead_ = loop.MakeTimer([this] { ReadAhead(); });
    if (finder_ && finder_->Fd() >= 0) {
        changes_ = loop.WatchHandle(finder_->Fd(), [this] { TakeChanges(); });
    }
    // A read may drop a device, so not over the map itself.
    std::vector<std::string> open;
    for (const auto& [devnode, device] : devices_) {
        open.push_back(devnode);
    }
    for (const std::string& devnode : open) {
        if (const auto device = devices_.find(devnode); device != devices_.end()) {
            Watch(devnode, device->second);
        }
    }
}

void InputSource::ReadAhead() {
    std::vector<std::string> open;
    for (const auto& [devnode, device] : devices_) {
        open.push_back(devnode);
    }
    for (const std::string& devnode : open) {
        Read(devnode);
    }
}

void InputSource::Watch(const std::string& devnode, Device& device) {
    device.ready = loop_->WatchHandle(device.device->Fd(), [this, devnode] { Read(devnode); });
    Read(devnode);  // what came before it was watched
}

int InputSource::Take(const InputNode& node) {
    if (devices_.count(node.devnode) != 0 ||
        std::none_of(wanted_.begin(), wanted_.end(),
                     [&](const std::string& wanted) { return Matches(wanted, node); })) {
        return 0;
    }
    int error = 0;
    std::unique_ptr<InputDevice> device = opener_(node.devnode, error);
    if (!device) {
        return error != 0 ? error : EIO;
    }
    refused_.Forget(node.devnode);
    Device& taken = devices_[node.devnode];
    taken.device = std::move(device);
    taken.grabDue = grab_;
    QUORVEL_INFO(lcInput) << "reading " << UntrustedText(node.devnode)
                          << (node.name.empty() ? "" : " (" + UntrustedText(node.name) + ")");
    Grab(node.devnode, taken);
    if (loop_ != nullptr) {
        // Back, before what it reads, when it is taken again after all were lost.
        health_.Up("reading " + UntrustedText(node.devnode) + " again");
        Watch(node.devnode, taken);
    }
    return 0;
}

void InputSource::Grab(const std::string& devnode, Device& device) {
    if (!device.grabDue || device.decoder.AnyKeyDown() || !device.device->KeysDown().empty()) {
        return;
    }
    device.grabDue = false;
    const int error = device.device->Grab();
    if (error != 0 && saidGrab_.insert(devnode).second) {
        QUORVEL_WARNING(lcInput) << "cannot take " << UntrustedText(devnode)
                                 << " for Quorvel alone (" << std::strerror(error)
                                 << (error == EBUSY ? ": another program holds it" : "")
                                 << "); reading it all the same, so the desktop may act on "
                                    "its keys too";
    }
}

void InputSource::Read(const std::string& devnode) {
    const auto found = devices_.find(devnode);
    if (found == devices_.end()) {
        return;
    }
    Device& device = found->second;
    RawInputEvent event{};
    int error = 0;
    events_.clear();
    int taken = 0;
    for (; taken < EventsAtOnce; ++taken) {
        const InputDevice::Status status = device.device->Next(event, error);
        if (status == InputDevice::Status::Again) {
            break;
        }
        if (status == InputDevice::Status::Failed) {
            health_.Put(events_);
            Drop(devnode, error == ENODEV ? std::string("it was unplugged")
                                          : std::string(std::strerror(error)));
            return;
        }
        if (event.type == EV_SYN && event.code == SYN_DROPPED) {
            QUORVEL_INFO(lcInput) << UntrustedText(devnode)
                                  << " sent more than was read in time; its keys are brought "
                                     "in line with its state";
        }
        device.decoder.Take(event, events_);
    }
    health_.Put(events_);
    Grab(devnode, device);
    // libevdev reads ahead: what it holds leaves the descriptor quiet, so the next turn
    // is the timer's.
    if (taken == EventsAtOnce && device.device->Pending()) {
        readAhead_->Set(EventLoop::Clock::now());
    }
}

void InputSource::Drop(const std::string& devnode, const std::string& why) {
    const auto device = devices_.find(devnode);
    if (device == devices_.end()) {
        return;
    }
    // Keys it held are up: a hold must not outlive its device.
    device->second.decoder.ReleaseAll(events_);
    device->second.ready.reset();
    devices_.erase(device);
    health_.Put(events_);
    QUORVEL_WARNING(lcInput) << "stopped reading " << UntrustedText(devnode) << ": " << why;
    if (devices_.empty()) {
        health_.Lost(SourceCondition{
            SourceCondition::Kind::Lost,
            "the input device went away (" + why + "); waiting for it to come back"});
    }
}

void InputSource::TakeChanges() {
    for (DeviceFinder::Change& change : finder_->Changes()) {
        if (!change.added) {
            Drop(change.node.devnode, "it was unplugged");
            continue;
        }
        const int error = Take(change.node);
        if (IsPermission(error)) {
            // The seat's access comes a moment after the device.
            refused_.Add(change.node.devnode, [this, node = change.node](bool last) {
                return RetryRefused(node, last);
            });
        } else if (error != 0) {
            QUORVEL_WARNING(lcInput) << "cannot open " << UntrustedText(change.node.devnode) << ": "
                                     << std::strerror(error);
        }
    }
}

bool InputSource::RetryRefused(const InputNode& node, bool last) {
    const int error = Take(node);
    if (error != 0 && last) {
        QUORVEL_WARNING(lcInput) << "cannot open " << UntrustedText(node.devnode) << ": "
                                 << std::strerror(error)
                                 << " (the user needs access to it: see the README)";
    }
    return error == 0;
}
