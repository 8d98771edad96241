#pragma once

#include <windows.h>

#include "actions/player_probe.h"

// What Windows' links would find now (PlayerProbe), from any thread, sending no message to
// any window (so never waiting on a window's thread, this program's own included): for the
// window link, its player's window, found by the whole title as the link finds it, taking
// the actions that have its command or raise it, while the rest go as media keys; for the
// media-key link (mediaKeys), the window in front, and the actions that have a key.
class WindowPlayerProbe : public PlayerProbe {
  public:
    explicit WindowPlayerProbe(bool mediaKeys) : mediaKeys_(mediaKeys) {}

    // The executable of the window the link would command ("wmplayer.exe").
    std::vector<std::string> Names() const override;
    bool Takes(PlayerAction action) const override;

  private:
    HWND Window() const;

    bool mediaKeys_;
};
