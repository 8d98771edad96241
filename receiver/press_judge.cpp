#include "receiver/press_judge.h"

void PressJudge::SetMode(const std::string& mode) {
    const std::lock_guard lock(modeMutex_);
    mode_ = mode;
}

bool PressJudge::Takes(const PlayerRequest& request) const {
    return request.action == PlayerAction::Run || request.action == PlayerAction::Mode ||
           player_ == nullptr || player_->Takes(request.action);
}

bool PressJudge::WouldAct(const KeyEvent& press) const {
    const std::shared_ptr<const KeyMap> keys = keys_->Current();
    KeyContext context;
    {
        const std::lock_guard lock(modeMutex_);
        context.mode = mode_;
    }
    if (keys->FollowsPlayer() && player_ != nullptr) {
        context.player = player_->Names();
    }
    const auto acts = [this](const std::optional<PlayerRequest>& request) {
        return request && Takes(*request);
    };
    for (const KeyAction action : {KeyAction::Press, KeyAction::Repeat}) {
        KeyEvent event = press;
        event.action = action;
        const KeyEffect effect = keys->Decode(event, context);
        if (acts(effect.request)) {
            return true;
        }
        if (const auto& gestures = effect.gestures) {
            for (const auto& gesture : {gestures->tap, gestures->twice, gestures->hold}) {
                if (gesture && acts(gesture->request)) {
                    return true;
                }
            }
        }
    }
    return false;
}
