#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "actions/player_feedback.h"
#include "actions/player_link.h"
#include "player/media_key_player_link.h"
#include "player/unsupported_action.h"

// Commands Windows Media Player through its main window: the five built-in actions are
// WM_COMMAND messages with the player's command identifiers (notification code 0) sent to
// the top-level window whose whole title is PlayerTitle, passing over Explorer's folder
// windows (a folder named so has that title). Every window message of the
// program's player side is in window_message_player_link.cpp. The actions with no command
// identifier go as media keys (MediaKeyPlayerLink); raise brings the window to the front.
//
// The window is looked up again whenever none is held or the held one is gone, so a player
// started or restarted later is reached. A command waits for the player to handle it, at
// most ReplyTimeoutMs, and not at all for a player the system already calls hung. After a
// command that timed out, the commands that follow are dropped without waiting until the
// player has handled the one that timed out: a hung player costs one wait, not one per key.
// Failures go to the lcPlayer log, each with its cause (a time-out, the window gone, the
// message refused), and to the key's outcome (TellOutcomes). One thread at a time; the thread that
// sends learns that a late player has answered when it next sends. With a feedback (--notify), a
// volume key the player handled is told as such: the window does not say the volume it set.
class WindowMessagePlayerLink : public PlayerLink {
  public:
    static constexpr const char* PlayerTitle = "Windows Media Player";
    static constexpr UINT ReplyTimeoutMs = 1000;

    // The player's command identifiers, one per built-in action.
    static constexpr int CmdPlay = 18808;     // 0x4978
    static constexpr int CmdPrev = 18810;     // 0x497A
    static constexpr int CmdNext = 18811;     // 0x497B
    static constexpr int CmdVolUp = 18815;    // 0x497F
    static constexpr int CmdVolDown = 18816;  // 0x4980
    struct Command {
        PlayerAction action;
        int id;
    };
    static constexpr std::array<Command, 5> Commands{{
        {PlayerAction::PlayPause, CmdPlay},
        {PlayerAction::Previous, CmdPrev},
        {PlayerAction::Next, CmdNext},
        {PlayerAction::VolumeUp, CmdVolUp},
        {PlayerAction::VolumeDown, CmdVolDown},
    }};
    // The identifier that carries action; none when the player has no command for it.
    static std::optional<int> CommandFor(PlayerAction action);

    // Looks the player's window up at once: the receiver makes its link before it opens
    // the port. feedback, when given, must outlive the link.
    explicit WindowMessagePlayerLink(PlayerFeedback* feedback = nullptr);
    ~WindowMessagePlayerLink() override;
    WindowMessagePlayerLink(const WindowMessagePlayerLink&) = delete;
    WindowMessagePlayerLink& operator=(const WindowMessagePlayerLink&) = delete;

    // Looks the player's window up and keeps it as PlayerWindow; returns its title, empty
    // when there is none (not an error: it is looked up again at the next command).
    std::string FindPlayerWindow();
    // Sends one command identifier to PlayerWindow, on the terms above; true when the
    // player handled it.
    bool SendPlayerCommand(int id);
    // The player's window, looked up if none is held.
    PlayerChoice Choose() override;
    // The executable name of the chosen window ("wmplayer.exe").
    std::vector<std::string> PlayerNames(const PlayerChoice& choice) override;
    using PlayerLink::Perform;
    // A command for the window goes only to the window chosen: none, when it has closed
    // since or there was none. The media keys go where the system sends them.
    void Perform(const PlayerRequest& request, const PlayerChoice& choice) override;
    // Also for the actions it presses as media keys.
    void TellOutcomes(PressOutcome* outcomes) override;
    // To the feedback, when there is one.
    void Announce(const PlayerNews& news) override;
    // What a SendMessageTimeout failure other than a time-out means, for the log.
    static std::string DescribeSendError(DWORD error);

    HWND PlayerWindow = nullptr;

  private:
    UnsupportedAction unsupported_;
    static void CALLBACK OnLateReply(HWND window, UINT message, ULONG_PTR data, LRESULT result);

    bool HoldsLiveWindow() const;
    // Runs reply callbacks that are due; true when no command is still waiting for one.
    bool PlayerCaughtUp();
    void WatchForLateReply();
    void AbandonLateReply();

    PlayerFeedback* feedback_;
    // The token of the reply that tells the player has caught up since a command timed
    // out; 0 when none is awaited. The callback may come after the link is gone, so it
    // finds the token, not the link.
    ULONG_PTR lateReply_ = 0;
    MediaKeyPlayerLink keys_;
    std::string whyNot_;  // why the last SendPlayerCommand failed
    bool noPlayerReported_ = false;
};
