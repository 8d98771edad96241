#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "actions/player_probe.h"
#include "keymap/shared_key_map.h"
#include "source/press_verdict.h"

// Whether a press would act now, for a source that must decide before the receiver has the
// key (Windows' keyboard hook, on a thread of its own): the key map in force (a reload
// applies at once), in the section of the mode the signal cycle last set and of the player
// the probe names; its press, repeat, tap, double or long bound to an action something
// takes: a command or a mode always, a player's action when the probe says a player takes
// it (without a probe, always). Answers never wait on the receiver: the map and the mode are
// taken under locks held only to copy them.
class PressJudge : public PressVerdict {
  public:
    PressJudge(std::shared_ptr<const SharedKeyMap> keys, std::shared_ptr<const PlayerProbe> player)
        : keys_(std::move(keys)), player_(std::move(player)) {}

    // Safe from any thread.
    bool WouldAct(const KeyEvent& press) const override;
    // The remote's mode now (empty: none); the signal cycle's, from its thread.
    void SetMode(const std::string& mode);

  private:
    bool Takes(const PlayerRequest& request) const;

    const std::shared_ptr<const SharedKeyMap> keys_;
    const std::shared_ptr<const PlayerProbe> player_;
    mutable std::mutex modeMutex_;
    std::string mode_;  // guarded by modeMutex_
};
