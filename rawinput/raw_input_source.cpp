#include "rawinput/raw_input_source.h"

#include <algorithm>
#include <system_error>

#include "log/untrusted_text.h"
#include "rawinput/raw_input_devices.h"
#include "rawinput/raw_input_log.h"
#include "text/win32_error_text.h"

namespace {

// A device for the user: its product and ids, else its path.
std::string Named(const HidDevice& device) {
    return device.product.empty()
               ? UntrustedText(device.path)
               : UntrustedText(device.product) + " (" +
                     HidDeviceChoice::IdsText(device.vendorId, device.productId) + ")";
}

bool ReportsKeys(const HidDevice& device) {
    return std::find(RemoteCollections.begin(), RemoteCollections.end(), device.collection) !=
           RemoteCollections.end();
}

}  // namespace

RawInputSource::RawInputSource(std::vector<std::string> wanted, bool grab)
    : choice_(std::move(wanted)), grab_(grab), deliveries_(choice_.EveryKeyboard()) {}

RawInputSource::~RawInputSource() {
    hook_.reset();
    if (window_) {
        window_->Ignore(*this);
    }
}

const LogCategory& RawInputSource::Log() const {
    return lcRawInput;
}

void RawInputSource::Open() {
    // Again after a failure further on: what is done already stays.
    if (!window_) {
        try {
            window_ = RawInputWindow::OfThisThread();
        } catch (const std::system_error& error) {
            registerError_ = static_cast<DWORD>(error.code().value());
            return;
        }
        window_->Listen(*this);
    }
    registerError_ = window_->Register();
    for (RawInputDevice& found : ListRawInputDevices()) {
        if (devices_.count(found.handle) == 0) {
            Take(found.handle, std::move(found.device));
        }
    }
    if (grab_ && registerError_ == 0 && !hook_) {
        hook_ = std::make_unique<LowLevelKeyboardHook>(
            [this](const LowLevelKeyboardHook::Keystroke& keystroke) { return Judge(keystroke); });
        if (const DWORD error = hook_->Install(); error != 0) {
            hook_.reset();
            QUORVEL_WARNING(lcRawInput)
                << "cannot keep the media keys from other programs (" << Win32ErrorText(error)
                << "); reading them all the same, so Windows and the program in front may act "
                   "on them too";
        }
    }
    deliveries_.SetGrabbing(hook_ != nullptr);
}

std::vector<SourceCondition> RawInputSource::Configure() {
    if (registerError_ != 0) {
        SourceCondition refused{SourceCondition::Kind::CannotOpen,
                                "cannot read HID devices and keyboards through Raw Input: " +
                                    Win32ErrorText(registerError_)};
        QUORVEL_WARNING(lcRawInput) << refused.reason;
        return {std::move(refused)};
    }
    if (choice_.EveryKeyboard() || AnyChosen()) {
        return {};
    }
    lost_ = true;
    SourceCondition missing{
        SourceCondition::Kind::Absent,
        "no HID device " + choice_.Wanted() + " (waiting for it to be plugged in)"};
    said_.News(missing.reason);
    QUORVEL_WARNING(lcRawInput) << missing.reason;
    return {std::move(missing)};
}

void RawInputSource::Attach(EventLoop& loop, SourceOutput& out) {
    loop_ = &loop;
    out_ = &out;
    retry_ = loop.MakeTimer([this] { RetryUndescribed(); });
    if (window_) {
        window_->Attach(loop);
    }
    if (const auto every = LowLevelKeyboardHook::AskEvery(); every && hook_) {
        asking_ = loop.MakeTimer([this, every = *every] {
            window_->TakeMessages();
            asking_->Set(EventLoop::Clock::now() + every);
        });
        asking_->Set(EventLoop::Clock::now() + *every);
    }
    Put(hooked_);  // what the hook kept before
}

bool RawInputSource::Judge(const LowLevelKeyboardHook::Keystroke& keystroke) {
    const bool keep =
        deliveries_.Hooked(keystroke.virtualKey, keystroke.up, keystroke.extra == OwnKeystrokeMark,
                           keystroke.time, hooked_);
    // The hook may be called within any wait of the thread's: the events wait for the loop.
    if (!hooked_.empty()) {
        window_->Post();
    }
    return keep;
}

void RawInputSource::Posted() {
    Put(hooked_);
}

void RawInputSource::Keystroke(HANDLE handle, unsigned virtualKey, bool up, std::uintptr_t extra,
                               std::uint32_t time) {
    // Every keystroke of the session comes here; only the media keys matter.
    if (FindMediaKeyByVirtualKey(virtualKey) == nullptr) {
        return;
    }
    // One made by a program comes from no device on Windows.
    bool chosen = choice_.EveryKeyboard() || (handle == nullptr && everyKeyboardChosen_);
    if (!chosen && handle != nullptr) {
        const Device* device = Find(handle);
        chosen = device != nullptr && device->chosen;
    }
    if (!deliveries_.Delivered(virtualKey, up, extra == OwnKeystrokeMark, chosen, handle != nullptr,
                               time, events_) &&
        hook_) {
        // Windows removes a hook that answered too late, without a word; Raw Input, which
        // no hook holds up, still brings its keys.
        if (!hookLossSaid_) {
            hookLossSaid_ = true;
            QUORVEL_WARNING(lcRawInput) << "Windows took the keyboard hook away (it answered "
                                           "too late); it is put back";
        }
        if (const DWORD error = hook_->Install(); error != 0) {
            hook_.reset();
            deliveries_.SetGrabbing(false);
            QUORVEL_WARNING(lcRawInput)
                << "cannot keep the media keys from other programs any more ("
                << Win32ErrorText(error) << ")";
        }
    }
    Put(events_);
}

void RawInputSource::Report(HANDLE handle, std::span<const std::uint8_t> report,
                            std::uint32_t time) {
    Device* device = Find(handle);
    if (device == nullptr || !device->chosen || !device->parser) {
        return;
    }
    device->parser->UsagesOn(report, usages_);
    decoded_.clear();
    device->decoder.Take(device->parser->ReportId(report), usages_, decoded_);
    deliveries_.Reported(decoded_, time, events_);
    Put(events_);
}

void RawInputSource::DeviceChange(HANDLE handle, bool arrived) {
    if (!arrived) {
        Drop(handle);
        return;
    }
    if (devices_.count(handle) > 0) {
        return;  // Windows says so of every device when the window registers
    }
    if (auto info = DescribeRawInputDevice(handle)) {
        Take(handle, std::move(*info));
        return;
    }
    // Its interface may be ready a moment after its arrival.
    const auto now = std::chrono::steady_clock::now();
    undescribed_[handle] = now + DescribeGrace;
    if (retry_ && !retry_->IsSet()) {
        retry_->Set(now + RetryEvery);
    }
}

void RawInputSource::RetryUndescribed() {
    const auto now = std::chrono::steady_clock::now();
    for (auto entry = undescribed_.begin(); entry != undescribed_.end();) {
        const HANDLE handle = entry->first;
        const bool late = now >= entry->second;
        ++entry;
        if (auto info = DescribeRawInputDevice(handle)) {
            Take(handle, std::move(*info));
        } else if (late) {
            undescribed_.erase(handle);
        }
    }
    if (!undescribed_.empty()) {
        retry_->Set(now + RetryEvery);
    }
}

RawInputSource::Device* RawInputSource::Find(HANDLE handle) {
    if (const auto found = devices_.find(handle); found != devices_.end()) {
        return &found->second;
    }
    auto info = DescribeRawInputDevice(handle);
    return info ? &Take(handle, std::move(*info)) : nullptr;
}

RawInputSource::Device& RawInputSource::Take(HANDLE handle, HidDevice info) {
    undescribed_.erase(handle);
    Device& device = devices_[handle];
    device.info = std::move(info);
    device.chosen = choice_.Chooses(device.info);
    if (device.chosen) {
        if (ReportsKeys(device.info)) {
            device.parser = HidpReportParser::Make(RawInputPreparsedData(handle));
        }
        QUORVEL_INFO(lcRawInput) << "reading " << Named(device.info);
    }
    CountKeyboards();
    if (device.chosen) {
        SayBack();
    }
    return device;
}

void RawInputSource::Drop(HANDLE handle) {
    undescribed_.erase(handle);
    const auto found = devices_.find(handle);
    if (found == devices_.end()) {
        return;
    }
    const bool chosen = found->second.chosen;
    if (chosen) {
        // Keys it held are up: a hold must not outlive its device.
        decoded_.clear();
        found->second.decoder.ReleaseAll(decoded_);
        deliveries_.Reported(decoded_, static_cast<std::uint32_t>(GetTickCount()), events_);
        if (found->second.info.collection == KeyboardCollection) {
            deliveries_.Drop(KeyDeliveries::Keystroke, events_);
        }
        QUORVEL_WARNING(lcRawInput)
            << "stopped reading " << Named(found->second.info) << ": it was unplugged";
    }
    devices_.erase(found);
    CountKeyboards();
    Put(events_);
    if (chosen && out_ != nullptr && !lost_ && !AnyChosen() && !choice_.EveryKeyboard()) {
        lost_ = true;
        out_->Put(SourceCondition{
            SourceCondition::Kind::Lost,
            "the HID device went away (it was unplugged); waiting for it to come back"});
    }
}

void RawInputSource::CountKeyboards() {
    bool any = false;
    bool all = true;
    for (const auto& [handle, device] : devices_) {
        if (device.info.collection == KeyboardCollection) {
            any = true;
            all = all && device.chosen;
        }
    }
    everyKeyboardChosen_ = any && all;
    deliveries_.SetEveryKeyboardChosen(everyKeyboardChosen_);
}

bool RawInputSource::AnyChosen() const {
    return std::any_of(devices_.begin(), devices_.end(),
                       [](const auto& entry) { return entry.second.chosen; });
}

void RawInputSource::SayBack() {
    if (lost_ && out_ != nullptr && AnyChosen()) {
        lost_ = false;
        said_.Clear();
        const auto chosen = std::find_if(devices_.begin(), devices_.end(),
                                         [](const auto& entry) { return entry.second.chosen; });
        const std::string back = "reading " + Named(chosen->second.info) + " again";
        QUORVEL_INFO(lcRawInput) << back;
        out_->Put(SourceCondition{SourceCondition::Kind::Back, back});
    }
}

void RawInputSource::Put(std::vector<KeyEvent>& events) {
    if (out_ == nullptr) {
        return;  // kept until the source joins the loop
    }
    for (KeyEvent& event : events) {
        out_->Put(std::move(event));
    }
    events.clear();
}
