#include "player/media_key_player_link.h"

#include <algorithm>

#include "player/player_log.h"

void MediaKeyPlayerLink::SendPlayerCommand(int id) {
    const auto row = std::find_if(Keys.begin(), Keys.end(),
                                  [id](const MediaKey& key) { return key.command == id; });
    if (row == Keys.end()) {
        return;
    }
    INPUT press[2] = {};
    for (INPUT& input : press) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = row->key;
        // Media and volume keys are extended keys on a real keyboard.
        input.ki.dwFlags = KEYEVENTF_EXTENDEDKEY;
    }
    press[1].ki.dwFlags |= KEYEVENTF_KEYUP;
    if (SendInput(2, press, sizeof(INPUT)) == 2) {
        refusalReported_ = false;
        return;
    }
    if (!refusalReported_) {
        QUORVEL_WARNING(lcPlayer) << "the system refused the media key for command " << id
                                  << " (error " << GetLastError() << ")";
        refusalReported_ = true;
    }
}
