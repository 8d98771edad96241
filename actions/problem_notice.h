#pragma once

#include <string>

// Where the user is shown a problem met while running, besides the log: a key's action that
// reached no player, a run command refused, a key map reload refused. Each window program
// has one (the tray icon's tooltip, which shows the latest problem until Solved). Called
// from any thread, in the order things happened; must not wait.
class ProblemNotice {
  public:
    virtual ~ProblemNotice() = default;
    // why: the problem, in a sentence. notify: also as a notification where --notify asks
    // for them, for a problem no player link has told of.
    virtual void Show(const std::string& why, bool notify) = 0;
    // Things work again (an action reached its player, a reload was accepted): the latest
    // problem is no longer shown.
    virtual void Solved() = 0;
};
