#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "hid/hid_device_roster.h"
#include "hid/hid_key_decoder.h"
#include "hid/hook_facts.h"
#include "hid/hook_judge.h"
#include "hid/key_deliveries.h"
#include "rawinput/hidp_report_parser.h"
#include "rawinput/low_level_keyboard_hook.h"
#include "rawinput/raw_input_window.h"
#include "source/grace_retry.h"
#include "source/key_source.h"
#include "source/press_verdict.h"
#include "source/source_health.h"

// Windows: the remotes Windows itself sees as one key source, through Raw Input: the HID
// reports of the chosen devices' consumer control, MCE and system control collections
// (decoded with the HID parser into usages, then by HidKeyDecoder), and the media and
// volume keystrokes of their keyboard collections, or of every keyboard (media-keys). Keys
// are named as on Linux, with the same scancodes; holds end at the release. Devices are
// followed as they come and go (WM_INPUT_DEVICE_CHANGE, HidDeviceRoster): one not there is
// waited for with no CPU, Lost is said when the last chosen one goes and Back when one
// returns.
//
// With grab, a low-level keyboard hook on a thread of its own keeps from the system and the
// program in front the chosen devices' media keystrokes that will act (HookJudge, asking
// verdict), so that play-pause does not act twice, and passes every other keystroke at once;
// the keystrokes Quorvel makes itself (OwnKeystrokeMark) always pass, and are never taken.
// The hook's thread posts its calls to this one; KeyDeliveries makes one press of what comes
// several ways. Made on any thread; used, from Open on, on the loop's thread.
class RawInputSource : public KeySource, private RawInputWindow::Listener {
  public:
    // wanted: as HidDeviceChoice takes them. verdict, when given, says which presses would
    // act (safe from any thread); without it every press of the chosen devices does.
    RawInputSource(std::vector<std::string> wanted, bool grab,
                   std::shared_ptr<const PressVerdict> verdict = {});
    ~RawInputSource() override;
    RawInputSource(const RawInputSource&) = delete;
    RawInputSource& operator=(const RawInputSource&) = delete;

    void Open() override;
    // Raw Input refused, or no chosen device there: why.
    std::vector<SourceCondition> Configure() override;
    void Attach(EventLoop& loop, SourceOutput& out) override;
    const LogCategory& Log() const override;
    // Its keys are named as the kernel's input devices name theirs.
    std::string_view Kind() const override { return "input"; }

  private:
    struct Device {
        std::unique_ptr<HidpReportParser> parser;  // a chosen HID collection's
        HidKeyDecoder decoder;
    };
    // A call of the hook, as its thread judged it.
    struct HookCall {
        LowLevelKeyboardHook::Keystroke keystroke;
        bool kept;
    };

    void Keystroke(HANDLE device, unsigned virtualKey, bool up, std::uintptr_t extra,
                   std::uint32_t time) override;
    void Report(HANDLE device, std::span<const std::uint8_t> report, std::uint32_t time) override;
    void DeviceChange(HANDLE device, bool arrived) override;
    void Posted() override;

    void InstallHook();
    // On the hook's thread: judges, and posts the call here.
    bool Judge(const LowLevelKeyboardHook::Keystroke& keystroke);
    // The hook's calls posted so far, matched in the order made.
    void TakeHookCalls();
    // Keystrokes whose hook call never came: Windows removed the hook, which is put back.
    void Expire();
    void ArmExpiry();
    // Whether the device behind handle is known (described on first sight).
    bool Known(HANDLE handle);
    void Take(HANDLE handle, const HidDevice& info);
    void Drop(HANDLE handle);
    void Said(const HidDeviceRoster::Change& change);
    // One more try of a device that arrived but could not be described; whether it is done.
    bool RetryUndescribed(HANDLE handle);

    HidDeviceRoster roster_;
    bool grab_;
    std::shared_ptr<const PressVerdict> verdict_;
    HookFacts facts_;
    HookJudge judge_;  // the hook's thread's
    KeyDeliveries deliveries_{&facts_};
    std::shared_ptr<RawInputWindow> window_;
    DWORD registerError_ = 0;
    EventLoop* loop_ = nullptr;
    std::map<HANDLE, Device> devices_;
    // Devices that arrived but could not be described yet.
    GraceRetry<HANDLE> undescribed_;
    std::unique_ptr<EventLoop::Timer> expiry_;
    std::mutex callsMutex_;
    std::vector<HookCall> calls_;  // guarded by callsMutex_: posted by the hook's thread
    std::vector<HookCall> taking_;
    std::vector<KeyEvent> events_;  // kept until the source joins the loop
    std::vector<KeyEvent> decoded_;
    std::vector<HidUsage> usages_;
    // Down once no chosen device is read, after one was (or none was at the start).
    SourceHealth health_;
    // Last: its thread, which calls Judge, ends before anything Judge uses goes.
    std::unique_ptr<LowLevelKeyboardHook> hook_;
};
