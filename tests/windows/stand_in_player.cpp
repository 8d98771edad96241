#include "tests/windows/stand_in_player.h"

namespace {
constexpr const char* ClassName = "QuorvelStandInPlayer";
constexpr UINT AnswerTimeoutMs = 20000;
}  // namespace

StandInPlayer::StandInPlayer(const std::string& title) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    if (!GetClassInfoA(instance, ClassName, &windowClass)) {
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = ClassName;
        RegisterClassA(&windowClass);
    }
    window_ = CreateWindowExA(0, ClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                              nullptr, nullptr, instance, nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

StandInPlayer::~StandInPlayer() {
    if (IsWindow(window_)) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

int StandInPlayer::RunProcess(const std::string& title) {
    StandInPlayer player(title);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    return 0;
}

namespace {

std::vector<WPARAM> Asked(HWND window, UINT countMessage, UINT itemMessage) {
    std::vector<WPARAM> items;
    DWORD_PTR count = 0;
    SendMessageTimeoutA(window, countMessage, 0, 0, SMTO_NORMAL, AnswerTimeoutMs, &count);
    for (DWORD_PTR i = 0; i < count; ++i) {
        DWORD_PTR item = 0;
        SendMessageTimeoutA(window, itemMessage, i, 0, SMTO_NORMAL, AnswerTimeoutMs, &item);
        items.push_back(item);
    }
    return items;
}

}  // namespace

std::vector<WPARAM> StandInPlayer::Commands(HWND window) {
    return Asked(window, CountMessage, CommandMessage);
}

std::vector<WPARAM> StandInPlayer::Keys(HWND window) {
    return Asked(window, KeyCountMessage, KeyMessage);
}

std::string StandInPlayer::ReleaseEventName(DWORD processId) {
    return "QuorvelStandInRelease" + std::to_string(processId);
}

LRESULT CALLBACK StandInPlayer::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    auto* player = reinterpret_cast<StandInPlayer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case WM_COMMAND:
            if (player != nullptr) {
                player->commands_.push_back(wParam);
            }
            return 0;
        case WM_KEYDOWN:
            if (player != nullptr) {
                player->keys_.push_back(wParam);
            }
            return 0;
        case KeyCountMessage:
            return player != nullptr ? static_cast<LRESULT>(player->keys_.size()) : 0;
        case KeyMessage:
            return player != nullptr && wParam < player->keys_.size()
                       ? static_cast<LRESULT>(player->keys_[wParam])
                       : -1;
        case CountMessage:
            return player != nullptr ? static_cast<LRESULT>(player->commands_.size()) : 0;
        case CommandMessage:
            return player != nullptr && wParam < player->commands_.size()
                       ? static_cast<LRESULT>(player->commands_[wParam])
                       : -1;
        case HangMessage: {
            const HANDLE release =
                CreateEventA(nullptr, TRUE, FALSE, ReleaseEventName(GetCurrentProcessId()).c_str());
            ReplyMessage(0);
            WaitForSingleObject(release, INFINITE);
            CloseHandle(release);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}
