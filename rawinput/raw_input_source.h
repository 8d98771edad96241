#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "hid/hid_device_choice.h"
#include "hid/hid_key_decoder.h"
#include "hid/key_deliveries.h"
#include "rawinput/hidp_report_parser.h"
#include "rawinput/low_level_keyboard_hook.h"
#include "rawinput/raw_input_window.h"
#include "source/key_source.h"
#include "source/said_once.h"

// Windows: the remotes Windows itself sees as one key source, through Raw Input: the HID
// reports of the chosen devices' consumer control, MCE and system control collections
// (decoded with the HID parser into usages, then by HidKeyDecoder), and the media and
// volume keystrokes of their keyboard collections, or of every keyboard (media-keys). Keys
// are named as on Linux, with the same scancodes; holds end at the release. Devices are
// followed as they come and go (WM_INPUT_DEVICE_CHANGE): one not there is waited for with
// no CPU, Lost is said when the last chosen one goes and Back when one returns.
//
// With grab, a low-level keyboard hook on this thread keeps the chosen devices' media
// keystrokes from the system and the program in front, so that play-pause does not act
// twice; the keystrokes Quorvel makes itself (OwnKeystrokeMark) always pass, and are never
// taken. KeyDeliveries makes one press of what comes several ways, and judges for the
// hook. Made on any thread; used, from Open on, on the loop's thread.
class RawInputSource : public KeySource, private RawInputWindow::Listener {
  public:
    // How long a device that arrived but could not be described yet is tried again.
    static constexpr std::chrono::seconds DescribeGrace{2};
    static constexpr std::chrono::milliseconds RetryEvery{100};

    // wanted: as HidDeviceChoice takes them.
    RawInputSource(std::vector<std::string> wanted, bool grab);
    ~RawInputSource() override;
    RawInputSource(const RawInputSource&) = delete;
    RawInputSource& operator=(const RawInputSource&) = delete;

    void Open() override;
    // Raw Input refused, or no chosen device there: why.
    std::vector<SourceCondition> Configure() override;
    void Attach(EventLoop& loop, SourceOutput& out) override;
    const LogCategory& Log() const override;

  private:
    struct Device {
        HidDevice info;
        bool chosen = false;
        std::unique_ptr<HidpReportParser> parser;  // a chosen HID collection's
        HidKeyDecoder decoder;
    };

    void Keystroke(HANDLE device, unsigned virtualKey, bool up, std::uintptr_t extra,
                   std::uint32_t time) override;
    void Report(HANDLE device, std::span<const std::uint8_t> report, std::uint32_t time) override;
    void DeviceChange(HANDLE device, bool arrived) override;
    void Posted() override;

    bool Judge(const LowLevelKeyboardHook::Keystroke& keystroke);
    // The device behind handle, described on first sight; null when it cannot be.
    Device* Find(HANDLE handle);
    Device& Take(HANDLE handle, HidDevice info);
    void Drop(HANDLE handle);
    void RetryUndescribed();
    void CountKeyboards();
    bool AnyChosen() const;
    void SayBack();
    void Put(std::vector<KeyEvent>& events);

    HidDeviceChoice choice_;
    bool grab_;
    KeyDeliveries deliveries_;
    std::shared_ptr<RawInputWindow> window_;
    std::unique_ptr<LowLevelKeyboardHook> hook_;
    DWORD registerError_ = 0;
    EventLoop* loop_ = nullptr;
    SourceOutput* out_ = nullptr;
    std::map<HANDLE, Device> devices_;
    // Devices that arrived but could not be described, and until when they are tried.
    std::map<HANDLE, std::chrono::steady_clock::time_point> undescribed_;
    std::unique_ptr<EventLoop::Timer> retry_;
    // Under Wine: the thread's messages asked for now and then, so the hook is called.
    std::unique_ptr<EventLoop::Timer> asking_;
    // What the hook made, handed out when the loop comes back (Posted).
    std::vector<KeyEvent> hooked_;
    std::vector<KeyEvent> events_;
    std::vector<KeyEvent> decoded_;
    std::vector<HidUsage> usages_;
    bool everyKeyboardChosen_ = false;
    bool lost_ = false;
    bool hookLossSaid_ = false;
    SaidOnce said_;
};
