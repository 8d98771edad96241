#include "player/window_player_probe.h"

#include <string_view>

#include "player/media_key_player_link.h"
#include "player/window_executable.h"
#include "player/window_message_player_link.h"

namespace {

struct Search {
    std::wstring_view title;
    HWND found = nullptr;
};

BOOL CALLBACK Consider(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    wchar_t text[64] = {};
    // The caption the system keeps, with no message to the window (GetWindowText sends one
    // to this program's own).
    const int length = InternalGetWindowText(window, text, 64);
    if (std::wstring_view(text, static_cast<std::size_t>(length)) != search->title) {
        return TRUE;
    }
    // Explorer's folder windows: one showing the folder "Windows Media Player" has the
    // player's whole title.
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    const std::wstring_view kind = className;
    if (kind == L"CabinetWClass" || kind == L"ExploreWClass") {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

}  // namespace

HWND WindowPlayerProbe::Window() const {
    if (mediaKeys_) {
        return GetForegroundWindow();
    }
    const std::string_view title = WindowMessagePlayerLink::PlayerTitle;
    const std::wstring wide(title.begin(), title.end());
    Search search{wide};
    EnumWindows(Consider, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<std::string> WindowPlayerProbe::Names() const {
    std::string name = WindowExecutableName(Window());
    return name.empty() ? std::vector<std::string>{} : std::vector<std::string>{std::move(name)};
}

bool WindowPlayerProbe::Takes(PlayerAction action) const {
    if (!mediaKeys_ &&
        (WindowMessagePlayerLink::CommandFor(action) || action == PlayerAction::Raise)) {
        return Window() != nullptr;
    }
    return MediaKeyPlayerLink::HasKey(action);
}
