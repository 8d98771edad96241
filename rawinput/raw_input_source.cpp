#include "rawinput/raw_input_source.h"

#include <algorithm>
#include <optional>
#include <system_error>

#include "rawinput/raw_input_devices.h"
#include "rawinput/raw_input_log.h"
#include "text/win32_error_text.h"

namespace {

std::uintptr_t IdOf(HANDLE handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

}  // namespace

RawInputSource::RawInputSource(std::vector<std::string> wanted, bool grab,
                               std::shared_ptr<const PressVerdict> verdict)
    : roster_(HidDeviceChoice(std::move(wanted))),
      grab_(grab),
      verdict_(std::move(verdict)),
      judge_(roster_.Choice().EveryKeyboard(), facts_, verdict_.get()),
      health_(lcRawInput) {}

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
        if (!roster_.Knows(IdOf(found.handle))) {
            Take(found.handle, found.device);
        }
    }
    if (grab_ && registerError_ == 0 && !hook_) {
        InstallHook();
    }
}

void RawInputSource::InstallHook() {
    hook_ = std::make_unique<LowLevelKeyboardHook>(
        [this](const LowLevelKeyboardHook::Keystroke& keystroke) { return Judge(keystroke); });
    if (const DWORD error = hook_->Install(); error != 0) {
        hook_.reset();
        QUORVEL_WARNING(lcRawInput)
            << "cannot keep the media keys from other programs (" << Win32ErrorText(error)
            << "); reading them all the same, so Windows and the program in front may act "
               "on them too";
    }
    deliveries_.SetGrabbing(hook_ != nullptr);
}

std::vector<SourceCondition> RawInputSource::Configure() {
    if (registerError_ != 0) {
        return {health_.NotStarted({SourceCondition::Kind::CannotOpen,
                                    "cannot read HID devices and keyboards through Raw Input: " +
                                        Win32ErrorText(registerError_)})};
    }
    std::optional<SourceCondition> missing = roster_.Missing();
    if (!missing) {
        return {};
    }
    return {health_.NotStarted(std::move(*missing))};
}

void RawInputSource::Attach(EventLoop& loop, SourceOutput& out) {
    loop_ = &loop;
    health_.Attach(out);
    undescribed_.Attach(loop);
    expiry_ = loop.MakeTimer([this] { Expire(); });
    if (window_) {
        window_->Attach(loop);
    }
    TakeHookCalls();  // what the hook made before
    health_.Put(events_);
}

bool RawInputSource::Judge(const LowLevelKeyboardHook::Keystroke& keystroke) {
    // Every keystroke of the session comes here; only the media keys matter.
    if (FindMediaKeyByVirtualKey(keystroke.virtualKey) == nullptr) {
        return false;
    }
    const bool kept = judge_.Keep(keystroke.virtualKey, keystroke.up,
                                  keystroke.extra == OwnKeystrokeMark, keystroke.time);
    {
        const std::lock_guard lock(callsMutex_);
        calls_.push_back({keystroke, kept});
    }
    window_->Post();
    return kept;
}

void RawInputSource::Posted() {
    TakeHookCalls();
    ArmExpiry();
    health_.Put(events_);
}

void RawInputSource::TakeHookCalls() {
    {
        const std::lock_guard lock(callsMutex_);
        taking_.swap(calls_);
    }
    for (const HookCall& call : taking_) {
        const LowLevelKeyboardHook::Keystroke& k = call.keystroke;
        deliveries_.Hooked(k.virtualKey, k.up, k.extra == OwnKeystrokeMark, call.kept, k.time,
                           events_);
    }
    taking_.clear();
}

void RawInputSource::Keystroke(HANDLE handle, unsigned virtualKey, bool up, std::uintptr_t extra,
                               std::uint32_t time) {
    if (FindMediaKeyByVirtualKey(virtualKey) == nullptr) {
        return;
    }
    // The hook is called first: what it posted meanwhile is matched first.
    TakeHookCalls();
    // One made by a program comes from no device on Windows.
    const bool chosen = roster_.Choice().EveryKeyboard() ||
                        (handle == nullptr ? roster_.EveryKeyboardChosen()
                                           : Known(handle) && roster_.Chosen(IdOf(handle)));
    deliveries_.Delivered(virtualKey, up, extra == OwnKeystrokeMark, chosen, time, events_);
    ArmExpiry();
    health_.Put(events_);
}

void RawInputSource::ArmExpiry() {
    const auto due = deliveries_.NextExpiry();
    if (!expiry_ || !due) {
        return;
    }
    const auto wait = static_cast<std::int32_t>(*due - static_cast<std::uint32_t>(GetTickCount()));
    expiry_->Set(EventLoop::Clock::now() + std::chrono::milliseconds(std::max(wait, 0)));
}

void RawInputSource::Expire() {
    TakeHookCalls();
    if (deliveries_.Expire(static_cast<std::uint32_t>(GetTickCount()), events_) && hook_) {
        // Windows removes a hook that answered too late, without a word; Raw Input, which
        // no hook holds up, still brought the keystroke.
        health_.Say("Windows took the keyboard hook away (it answered too late)", LogLevel::Warning,
                    "; it is put back");
        facts_.ForgetKept();
        deliveries_.HookReplaced(events_);
        if (const DWORD error = hook_->Install(); error != 0) {
            hook_.reset();
            deliveries_.SetGrabbing(false);
            QUORVEL_WARNING(lcRawInput)
                << "cannot keep the media keys from other programs any more ("
                << Win32ErrorText(error) << ")";
        }
    }
    ArmExpiry();
    health_.Put(events_);
}

void RawInputSource::Report(HANDLE handle, std::span<const std::uint8_t> report,
                            std::uint32_t time) {
    if (!Known(handle) || !roster_.Chosen(IdOf(handle))) {
        return;
    }
    Device& device = devices_[handle];
    if (!device.parser) {
        return;
    }
    device.parser->UsagesOn(report, usages_);
    decoded_.clear();
    device.decoder.Take(device.parser->ReportId(report), usages_, decoded_);
    deliveries_.Reported(decoded_, time, events_);
    health_.Put(events_);
}

void RawInputSource::DeviceChange(HANDLE handle, bool arrived) {
    if (!arrived) {
        Drop(handle);
        return;
    }
    if (roster_.Knows(IdOf(handle))) {
        return;  // Windows says so of every device when the window registers
    }
    if (auto info = DescribeRawInputDevice(handle)) {
        Take(handle, *info);
        return;
    }
    // Its interface may be ready a moment after its arrival.
    undescribed_.Add(handle, [this, handle](bool) { return RetryUndescribed(handle); });
}

bool RawInputSource::RetryUndescribed(HANDLE handle) {
    auto info = DescribeRawInputDevice(handle);
    if (info) {
        Take(handle, *info);
    }
    return info.has_value();
}

bool RawInputSource::Known(HANDLE handle) {
    if (roster_.Knows(IdOf(handle))) {
        return true;
    }
    auto info = DescribeRawInputDevice(handle);
    if (info) {
        Take(handle, *info);
    }
    return info.has_value();
}

void RawInputSource::Take(HANDLE handle, const HidDevice& info) {
    undescribed_.Forget(handle);
    Device& device = devices_[handle];
    if (roster_.Choice().Chooses(info) && HidDeviceRoster::ReportsKeys(info)) {
        device.parser = HidpReportParser::Make(RawInputPreparsedData(handle));
    }
    Said(roster_.Arrived(IdOf(handle), info, device.parser != nullptr));
    facts_.SetEveryKeyboardChosen(roster_.EveryKeyboardChosen());
}

void RawInputSource::Drop(HANDLE handle) {
    undescribed_.Forget(handle);
    const auto found = devices_.find(handle);
    if (found == devices_.end()) {
        return;
    }
    // Keys it held are up: a hold must not outlive its device, nor a press the hook kept
    // whose release will never come.
    decoded_.clear();
    found->second.decoder.ReleaseAll(decoded_);
    deliveries_.Reported(decoded_, static_cast<std::uint32_t>(GetTickCount()), events_);
    devices_.erase(found);
    const HidDeviceRoster::Change change = roster_.Departed(IdOf(handle));
    if (change.chosen || change.keyboard) {
        facts_.ForgetKept();
        deliveries_.Drop(KeyDeliveries::Hook, events_);
    }
    if (change.chosen || (change.keyboard && roster_.Choice().EveryKeyboard())) {
        deliveries_.Drop(KeyDeliveries::Keystroke, events_);
    }
    facts_.SetEveryKeyboardChosen(roster_.EveryKeyboardChosen());
    health_.Put(events_);
    Said(change);
}

void RawInputSource::Said(const HidDeviceRoster::Change& change) {
    for (const std::string& line : change.said) {
        QUORVEL_INFO(lcRawInput) << line;
    }
    for (const std::string& line : change.warnings) {
        QUORVEL_WARNING(lcRawInput) << line;
    }
    // Shown once an outage, and back only after one.
    if (change.condition && change.condition->kind == SourceCondition::Kind::Back) {
        health_.Up(change.condition->reason);
    } else if (change.condition) {
        health_.Lost(*change.condition);
    }
}
