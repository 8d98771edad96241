#pragma once

#include <windows.h>

#include "player/media_key_player_link.h"
#include "player/player_link.h"

// Commands Windows Media Player through its main window: WM_COMMAND with the command
// identifier (notification code 0) sent to the top-level window whose whole title is
// PlayerTitle. Every window message of the program's player side is in
// window_message_player_link.cpp. The actions with no command identifier go as media keys
// (MediaKeyPlayerLink); raise brings the window to the front.
//
// The window is looked up again whenever none is held or the held one is gone, so a player
// started or restarted later is reached. A command waits for the player to handle it, at
// most ReplyTimeoutMs, and not at all for a player the system already calls hung. After a
// command that timed out, the commands that follow are dropped without waiting until the
// player has handled the one that timed out: a hung player costs one wait, not one per key.
// Failures go to the lcPlayer log only. One thread at a time; the thread that sends
// learns that a late player has answered when it next sends.
class WindowMessagePlayerLink : public PlayerLink {
  public:
    static constexpr const char* PlayerTitle = "Windows Media Player";
    static constexpr UINT ReplyTimeoutMs = 1000;

    WindowMessagePlayerLink() = default;
    ~WindowMessagePlayerLink() override;
    WindowMessagePlayerLink(const WindowMessagePlayerLink&) = delete;
    WindowMessagePlayerLink& operator=(const WindowMessagePlayerLink&) = delete;

    std::string FindPlayerWindow() override;
    void SendPlayerCommand(int id) override;
    void Perform(const PlayerRequest& request) override;

  private:
    // Whether the player has caught up since a command timed out; shared with the reply
    // callback, which may come after the link is gone.
    struct LateReply {
        bool answered = false;
        bool abandoned = false;
    };
    static void CALLBACK OnLateReply(HWND window, UINT message, ULONG_PTR data, LRESULT result);

    bool HoldsLiveWindow() const;
    // Runs reply callbacks that are due; true when no command is still waiting for one.
    bool PlayerCaughtUp();
    void WatchForLateReply();
    void AbandonLateReply();

    HWND window_ = nullptr;
    LateReply* lateReply_ = nullptr;
    MediaKeyPlayerLink keys_;
    bool noPlayerReported_ = false;
};
