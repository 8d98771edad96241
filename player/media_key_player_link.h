#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "actions/player_link.h"
#include "player/unsupported_action.h"

// Commands whichever player the system gives the media keys to (and the system volume):
// each action is one key press, down and up, made with SendInput. All SendInput calls of
// the program are in media_key_player_link.cpp. There is no window to find and no reply to
// wait for; a press the system refuses (a program with higher rights in front) is logged.
// Play and pause both press play/pause, the only key there is for either.
class MediaKeyPlayerLink : public PlayerLink {
  public:
    struct MediaKey {
        PlayerAction action;
        WORD key;
    };
    // One row per action; an action without a row (seeking, raising) has no key.
    static constexpr std::array<MediaKey, 9> Keys = {{
        {PlayerAction::PlayPause, VK_MEDIA_PLAY_PAUSE},
        {PlayerAction::Previous, VK_MEDIA_PREV_TRACK},
        {PlayerAction::Next, VK_MEDIA_NEXT_TRACK},
        {PlayerAction::VolumeUp, VK_VOLUME_UP},
        {PlayerAction::VolumeDown, VK_VOLUME_DOWN},
        {PlayerAction::Play, VK_MEDIA_PLAY_PAUSE},
        {PlayerAction::Pause, VK_MEDIA_PLAY_PAUSE},
        {PlayerAction::Stop, VK_MEDIA_STOP},
        {PlayerAction::Mute, VK_VOLUME_MUTE},
    }};

    // The foreground window.
    PlayerChoice Choose() override;
    // The media keys go to whatever has the focus: the chosen window's executable name.
    std::vector<std::string> PlayerNames(const PlayerChoice& choice) override;
    using PlayerLink::Perform;
    // The key goes where the system sends it, which the choice only names.
    void Perform(const PlayerRequest& request, const PlayerChoice& choice) override;

    // Whether action has a key.
    static bool HasKey(PlayerAction action);

  private:
    UnsupportedAction unsupported_;
    bool refusalReported_ = false;
};
