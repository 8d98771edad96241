#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/event_loop.h"

// The thread's target of Raw Input: a message-only window on the thread that made it,
// registered for the collections a remote's keys come in and for keyboards, with
// RIDEV_INPUTSINK (keys while another program is in front) and RIDEV_DEVNOTIFY (devices
// coming and going). Raw Input takes one target a collection for the whole process, so
// every Raw Input source of the thread shares it. On the loop it takes the thread's
// messages (serving the thread's other windows as the loop would) and hands each listener
// what arrives. Every RegisterRawInputDevices and GetRawInputData call is in
// raw_input_window.cpp. Used on the thread that made it, with one loop at a time.
class RawInputWindow {
  public:
    class Listener {
      public:
        virtual ~Listener() = default;
        // A keystroke; extra is what its maker gave with it (dwExtraInfo), time when it was
        // made (the system's milliseconds).
        virtual void Keystroke(HANDLE device, unsigned virtualKey, bool up, std::uintptr_t extra,
                               std::uint32_t time) = 0;
        // One input report of a HID collection.
        virtual void Report(HANDLE device, std::span<const std::uint8_t> report,
                            std::uint32_t time) = 0;
        virtual void DeviceChange(HANDLE device, bool arrived) = 0;
        // After Post.
        virtual void Posted() = 0;
    };

    // Messages taken in one turn of the loop; the rest in the next.
    static constexpr int MessagesAtOnce = 64;

    // The thread's, made when it has none; throws std::system_error when it cannot be made.
    static std::shared_ptr<RawInputWindow> OfThisThread();
    ~RawInputWindow();
    RawInputWindow(const RawInputWindow&) = delete;
    RawInputWindow& operator=(const RawInputWindow&) = delete;

    // Registers the collections, once; 0, or the error.
    DWORD Register();
    void Listen(Listener& listener);
    void Ignore(Listener& listener);
    // Takes the thread's messages on loop from now on.
    void Attach(EventLoop& loop);
    // Each listener's Posted runs soon on the loop, once for the posts until then. Safe from
    // any thread (the keyboard hook's).
    void Post();
    // Takes the thread's messages there are, at most MessagesAtOnce; what the loop runs.
    void TakeMessages();

  private:
    RawInputWindow();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Input(HRAWINPUT input);
    std::vector<Listener*> Listeners() const { return listeners_; }

    HWND window_ = nullptr;
    bool registered_ = false;
    std::atomic<bool> posted_{false};  // a PostedMessage is on its way
    std::vector<Listener*> listeners_;
    std::vector<std::uint8_t> buffer_;
    EventLoop* loop_ = nullptr;
    std::unique_ptr<EventLoop::Watch> messages_;
};
