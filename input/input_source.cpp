#include "input/input_source.h"

#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
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
      wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

InputSource::~InputSource() {
    devices_.clear();
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
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
    lost_ = true;
    return {Missing()};
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
    refused_.erase(node.devnode);
    Device& taken = devices_[node.devnode];
    taken.device = std::move(device);
    taken.grabDue = grab_;
    QUORVEL_INFO(lcInput) << "reading " << UntrustedText(node.devnode)
                          << (node.name.empty() ? "" : " (" + UntrustedText(node.name) + ")");
    Grab(node.devnode, taken);
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

SourceItem InputSource::Next() {
    return NextBefore(Deadline::max());
}

SourceItem InputSource::NextBefore(Deadline until) {
    // What was read already, or is there to read, was waiting: a hold's repeats that
    // queued behind a slow player act once at most.
    const bool waiting = !pending_.Empty() || InputWaiting();
    for (;;) {
        if (auto item = pending_.Take(waiting, [this] { return InputWaiting(); })) {
            return *std::move(item);
        }
        if (stopRequested_) {
            return SourceStopped{};
        }
        const int left = PollTimeout(until);
        if (left == 0) {
            return TimedOut{};
        }
        std::vector<pollfd> fds{{wakeFd_, POLLIN, 0}, {finder_ ? finder_->Fd() : -1, POLLIN, 0}};
        std::vector<std::string> order;
        for (const auto& [devnode, device] : devices_) {
            fds.push_back({device.device->Fd(), POLLIN, 0});
            order.push_back(devnode);
        }
        const int retry = refused_.empty() ? -1 : static_cast<int>(RetryEvery.count());
        const int timeout = left < 0 || (retry >= 0 && retry < left) ? retry : left;
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            // A poll that fails would fail again at once: pause instead of spinning.
            ::poll(nullptr, 0, static_cast<int>(RetryEvery.count()));
            continue;
        }
        if (fds[0].revents != 0) {
            continue;  // asked to stop
        }
        for (std::size_t i = 0; i < order.size(); ++i) {
            const auto device = devices_.find(order[i]);
            if (fds[i + 2].revents != 0 && device != devices_.end()) {
                Read(order[i], device->second);
            }
        }
        if (fds[1].revents != 0) {
            TakeChanges();
        }
        RetryRefused();
    }
}

bool InputSource::InputWaiting() const {
    std::vector<pollfd> fds;
    for (const auto& [devnode, device] : devices_) {
        fds.push_back({device.device->Fd(), POLLIN, 0});
    }
    return !fds.empty() && ::poll(fds.data(), fds.size(), 0) > 0;
}

void InputSource::Read(const std::string& devnode, Device& device) {
    RawInputEvent event{};
    int error = 0;
    events_.clear();
    for (;;) {
        const InputDevice::Status status = device.device->Next(event, error);
        if (status == InputDevice::Status::Again) {
            break;
        }
        if (status == InputDevice::Status::Failed) {
            for (KeyEvent& key : events_) {
                pending_.Push(std::move(key));
            }
            events_.clear();
            Drop(devnode, error == ENODEV ? std::string("it was unplugged")
                                          : std::string(std::strerror(error)));
            return;
        }
        if (status == InputDevice::Status::Dropped) {
            QUORVEL_INFO(lcInput) << UntrustedText(devnode)
                                  << " sent more than was read in time; its keys are taken "
                                     "again from its state";
            device.decoder.Take({EV_SYN, SYN_DROPPED, 0}, events_);
            device.decoder.Take({EV_SYN, SYN_REPORT, 0}, events_);
            device.decoder.Resync(device.device->KeysDown(), events_);
            continue;
        }
        device.decoder.Take(event, events_);
    }
    for (KeyEvent& key : events_) {
        pending_.Push(std::move(key));
    }
    const auto still = devices_.find(devnode);
    if (still != devices_.end()) {
        Grab(devnode, still->second);
    }
}

void InputSource::Drop(const std::string& devnode, const std::string& why) {
    const auto device = devices_.find(devnode);
    if (device == devices_.end()) {
        return;
    }
    // Keys it held are up: a hold must not outlive its device.
    std::vector<KeyEvent> released;
    device->second.decoder.Resync({}, released);
    devices_.erase(device);
    for (KeyEvent& key : released) {
        pending_.Push(std::move(key));
    }
    QUORVEL_WARNING(lcInput) << "stopped reading " << UntrustedText(devnode) << ": " << why;
    if (devices_.empty() && !lost_) {
        lost_ = true;
        pending_.Push(SourceCondition{
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
            refused_[change.node.devnode] = {change.node,
                                             std::chrono::steady_clock::now() + PermissionGrace};
        } else if (error != 0) {
            QUORVEL_WARNING(lcInput) << "cannot open " << UntrustedText(change.node.devnode) << ": "
                                     << std::strerror(error);
        }
    }
    SayBack();
}

void InputSource::SayBack() {
    if (lost_ && !devices_.empty()) {
        lost_ = false;
        pending_.Push(SourceCondition{SourceCondition::Kind::Back,
                                      "reading " + devices_.begin()->first + " again"});
    }
}

void InputSource::RetryRefused() {
    const auto now = std::chrono::steady_clock::now();
    for (auto entry = refused_.begin(); entry != refused_.end();) {
        auto& [node, until] = entry->second;
        const InputNode retried = node;
        const bool late = now >= until;
        ++entry;
        const int error = Take(retried);
        if (error != 0 && late) {
            refused_.erase(retried.devnode);
            QUORVEL_WARNING(lcInput)
                << "cannot open " << UntrustedText(retried.devnode) << ": " << std::strerror(error)
                << " (the user needs access to it: see the README)";
        }
    }
    SayBack();
}

void InputSource::RequestStop() {
    stopRequested_ = true;
    const std::uint64_t one = 1;
    // Fails only if the counter would overflow, and then it is readable anyway.
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}
