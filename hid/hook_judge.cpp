#include "hid/hook_judge.h"

#include <string>

#include "hid/media_keys.h"

bool HookJudge::Keep(unsigned virtualKey, bool up, bool ours, std::uint32_t time) {
    const MediaKey* key = FindMediaKeyByVirtualKey(virtualKey);
    if (key == nullptr || ours) {
        return false;
    }
    if (const std::uint32_t epoch = facts_.KeptEpoch(); epoch != epoch_) {
        epoch_ = epoch;
        kept_.reset();
    }
    if (kept_.test(virtualKey)) {
        // The repeats and the release of a kept press.
        if (up) {
            kept_.reset(virtualKey);
        }
        return true;
    }
    if (up) {
        return false;
    }
    const bool theirs = everyKeyboard_ || facts_.EveryKeyboardChosen() ||
                        facts_.Reporting(virtualKey, time, ReportWindow);
    if (!theirs) {
        return false;
    }
    if (verdict_ != nullptr && !verdict_->WouldAct(KeyEvent{KeyAction::Press,
                                                            Key::Name(std::string(key->name)),
                                                            {},
                                                            key->hid.Scancode(),
                                                            false,
                                                            false,
                                                            true})) {
        return false;
    }
    kept_.set(virtualKey);
    return true;
}
