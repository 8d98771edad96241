#include "player/media_key_player_link.h"

#include <algorithm>
#include <string>

#include "hid/media_keys.h"
#include "player/player_log.h"
#include "player/window_executable.h"

namespace {

const MediaKeyPlayerLink::MediaKey* Find(PlayerAction action) {
    const auto& keys = MediaKeyPlayerLink::Keys;
    const auto row = std::find_if(keys.begin(), keys.end(),
                                  [action](const auto& key) { return key.action == action; });
    return row == keys.end() ? nullptr : &*row;
}

}  // namespace

bool MediaKeyPlayerLink::HasKey(PlayerAction action) {
    return Find(action) != nullptr;
}

void MediaKeyPlayerLink::Perform(const PlayerRequest& request, const PlayerChoice& choice) {
    const MediaKey* row = Find(request.action);
    if (row == nullptr) {
        unsupported_.Say(request);
        return;
    }
    INPUT press[2] = {};
    for (INPUT& input : press) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = row->key;
        // Media and volume keys are extended keys on a real keyboard.
        input.ki.dwFlags = KEYEVENTF_EXTENDEDKEY;
        // So that our own key source never takes it for the remote's.
        input.ki.dwExtraInfo = OwnKeystrokeMark;
    }
    press[1].ki.dwFlags |= KEYEVENTF_KEYUP;
    if (SendInput(2, press, sizeof(INPUT)) == 2) {
        refusalReported_ = false;
        TellReached(choice);  // as far as it can tell: the system sends it on
        return;
    }
    TellFailed(choice,
               "the system refused the media key (error " + std::to_string(GetLastError()) + ")");
    if (!refusalReported_) {
        QUORVEL_WARNING(lcPlayer) << "the system refused the media key for "
                                  << ActionName(request.action) << " (error " << GetLastError()
                                  << ")";
        refusalReported_ = true;
    }
}

PlayerChoice MediaKeyPlayerLink::Choose() {
    return PlayerChoice{.made = true,
                        .window = reinterpret_cast<std::uintptr_t>(GetForegroundWindow())};
}

std::vector<std::string> MediaKeyPlayerLink::PlayerNames(const PlayerChoice& choice) {
    std::string name = WindowExecutableName(reinterpret_cast<HWND>(choice.window));
    return name.empty() ? std::vector<std::string>{} : std::vector<std::string>{std::move(name)};
}
