#pragma once

#include <windows.h>

#include <array>

#include "player/player_commands.h"
#include "player/player_link.h"

// Commands whichever player the system gives the media keys to (and the system volume):
// each command is one key press, down and up, made with SendInput. All SendInput calls of
// the program are in media_key_player_link.cpp. There is no window to find and no reply to
// wait for; a press the system refuses (a program with higher rights in front) is logged.
class MediaKeyPlayerLink : public PlayerLink {
  public:
    struct MediaKey {
        int command;
        WORD key;
    };
    // One row per command; a command without a row sends nothing.
    static constexpr std::array<MediaKey, 5> Keys = {{
        {PlayerCommand::CmdPlay, VK_MEDIA_PLAY_PAUSE},
        {PlayerCommand::CmdPrev, VK_MEDIA_PREV_TRACK},
        {PlayerCommand::CmdNext, VK_MEDIA_NEXT_TRACK},
        {PlayerCommand::CmdVolUp, VK_VOLUME_UP},
        {PlayerCommand::CmdVolDown, VK_VOLUME_DOWN},
    }};
    static constexpr const char* Name = "media keys";

    std::string FindPlayerWindow() override { return Name; }
    void SendPlayerCommand(int id) override;

  private:
    bool refusalReported_ = false;
};
