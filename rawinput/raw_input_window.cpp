#include "rawinput/raw_input_window.h"

#include <algorithm>
#include <system_error>

#include "hid/hid_device.h"
#include "hid/hid_report_block.h"

namespace {

constexpr const wchar_t* ClassName = L"QuorvelRawInput";
constexpr UINT PostedMessage = WM_APP + 1;

thread_local std::weak_ptr<RawInputWindow> threadWindow;

std::vector<RAWINPUTDEVICE> Collections(DWORD flags, HWND target) {
    std::vector<RAWINPUTDEVICE> devices;
    for (const HidUsage& collection : RemoteCollections) {
        devices.push_back({collection.page, collection.usage, flags, target});
    }
    devices.push_back({KeyboardCollection.page, KeyboardCollection.usage, flags, target});
    return devices;
}

}  // namespace

std::shared_ptr<RawInputWindow> RawInputWindow::OfThisThread() {
    if (auto window = threadWindow.lock()) {
        return window;
    }
    std::shared_ptr<RawInputWindow> window(new RawInputWindow());
    threadWindow = window;
    return window;
}

RawInputWindow::RawInputWindow() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (!GetClassInfoExW(instance, ClassName, &windowClass)) {
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = ClassName;
        RegisterClassExW(&windowClass);
    }
    window_ =
        CreateWindowExW(0, ClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (window_ == nullptr) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "CreateWindowEx");
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

RawInputWindow::~RawInputWindow() {
    messages_.reset();
    if (registered_) {
        std::vector<RAWINPUTDEVICE> devices = Collections(RIDEV_REMOVE, nullptr);
        RegisterRawInputDevices(devices.data(), static_cast<UINT>(devices.size()),
                                sizeof(RAWINPUTDEVICE));
    }
    // A window goes with its thread; one still there goes here.
    DWORD process = 0;
    if (IsWindow(window_) && GetWindowThreadProcessId(window_, &process) == GetCurrentThreadId()) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

DWORD RawInputWindow::Register() {
    if (registered_) {
        return 0;
    }
    std::vector<RAWINPUTDEVICE> devices = Collections(RIDEV_INPUTSINK | RIDEV_DEVNOTIFY, window_);
    if (!RegisterRawInputDevices(devices.data(), static_cast<UINT>(devices.size()),
                                 sizeof(RAWINPUTDEVICE))) {
        return GetLastError();
    }
    registered_ = true;
    return 0;
}

void RawInputWindow::Listen(Listener& listener) {
    if (std::find(listeners_.begin(), listeners_.end(), &listener) == listeners_.end()) {
        listeners_.push_back(&listener);
    }
}

void RawInputWindow::Ignore(Listener& listener) {
    std::erase(listeners_, &listener);
}

void RawInputWindow::Attach(EventLoop& loop) {
    if (loop_ != &loop) {
        messages_.reset();
        messages_ = loop.WatchMessages([this] { TakeMessages(); });
        loop_ = &loop;
    }
}

void RawInputWindow::Post() {
    if (!posted_.exchange(true) && !PostMessageW(window_, PostedMessage, 0, 0)) {
        posted_ = false;
    }
}

void RawInputWindow::TakeMessages() {
    MSG message;
    for (int taken = 0; taken < MessagesAtOnce && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);
         ++taken) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void RawInputWindow::Input(HRAWINPUT input) {
    UINT size = 0;
    if (GetRawInputData(input, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER)) != 0) {
        return;
    }
    buffer_.resize(std::max<std::size_t>(size, sizeof(RAWINPUT)));
    if (GetRawInputData(input, RID_INPUT, buffer_.data(), &size, sizeof(RAWINPUTHEADER)) ==
        static_cast<UINT>(-1)) {
        return;
    }
    const auto* raw = reinterpret_cast<const RAWINPUT*>(buffer_.data());
    const auto time = static_cast<std::uint32_t>(GetMessageTime());
    if (raw->header.dwType == RIM_TYPEKEYBOARD) {
        const RAWKEYBOARD& key = raw->data.keyboard;
        for (Listener* listener : Listeners()) {
            listener->Keystroke(raw->header.hDevice, key.VKey, (key.Flags & RI_KEY_BREAK) != 0,
                                key.ExtraInformation, time);
        }
    } else if (raw->header.dwType == RIM_TYPEHID) {
        const RAWHID& hid = raw->data.hid;
        const std::size_t data = offsetof(RAWINPUT, data.hid.bRawData);
        const std::size_t reports = WholeReports(size, data, hid.dwSizeHid, hid.dwCount);
        for (std::size_t i = 0; i < reports; ++i) {
            const std::span<const std::uint8_t> report(buffer_.data() + data + i * hid.dwSizeHid,
                                                       hid.dwSizeHid);
            for (Listener* listener : Listeners()) {
                listener->Report(raw->header.hDevice, report, time);
            }
        }
    }
}

LRESULT CALLBACK RawInputWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    auto* self = reinterpret_cast<RawInputWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr) {
        switch (message) {
            case WM_INPUT:
                self->Input(reinterpret_cast<HRAWINPUT>(lParam));
                break;  // the system frees the input in DefWindowProc
            case WM_INPUT_DEVICE_CHANGE:
                for (Listener* listener : self->Listeners()) {
                    listener->DeviceChange(reinterpret_cast<HANDLE>(lParam),
                                           wParam == GIDC_ARRIVAL);
                }
                return 0;
            case PostedMessage:
                self->posted_ = false;
                for (Listener* listener : self->Listeners()) {
                    listener->Posted();
                }
                return 0;
            default:
                break;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
