#include "player/window_message_player_link.h"

#include "player/player_log.h"

WindowMessagePlayerLink::~WindowMessagePlayerLink() {
    AbandonLateReply();
}

std::string WindowMessagePlayerLink::FindPlayerWindow() {
    AbandonLateReply();
    // No class name, and the whole title: a window titled "Windows Media Player - x" is
    // another program's.
    PlayerWindow = FindWindowA(nullptr, PlayerTitle);
    if (PlayerWindow == nullptr) {
        if (!noPlayerReported_) {
            QUORVEL_INFO(lcPlayer)
                << "no window titled \"" << PlayerTitle << "\"; looking again at the next command";
            noPlayerReported_ = true;
        }
        return {};
    }
    noPlayerReported_ = false;
    return PlayerTitle;
}

void WindowMessagePlayerLink::SendPlayerCommand(int id) {
    if (!HoldsLiveWindow() && FindPlayerWindow().empty()) {
        return;
    }
    if (!PlayerCaughtUp()) {
        QUORVEL_DEBUG(lcPlayer) << "command " << id << " dropped: the player is not answering";
        return;
    }
    DWORD_PTR result = 0;
    const WPARAM command = MAKEWPARAM(id, 0);
    if (SendMessageTimeoutA(PlayerWindow, WM_COMMAND, command, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                            ReplyTimeoutMs, &result) != 0) {
        return;
    }
    if (!HoldsLiveWindow()) {
        return;  // closed meanwhile: looked up again at the next command
    }
    QUORVEL_WARNING(lcPlayer) << "the player did not handle command " << id << " within "
                              << ReplyTimeoutMs
                              << " ms; commands are dropped until it has caught up";
    WatchForLateReply();
}

std::optional<int> WindowMessagePlayerLink::CommandFor(PlayerAction action) {
    for (const Command& command : Commands) {
        if (command.action == action) {
            return command.id;
        }
    }
    return std::nullopt;
}

void WindowMessagePlayerLink::Perform(const PlayerRequest& request) {
    if (const auto id = CommandFor(request.action)) {
        SendPlayerCommand(*id);
        return;
    }
    if (request.action == PlayerAction::Raise) {
        if (HoldsLiveWindow() || !FindPlayerWindow().empty()) {
            SetForegroundWindow(PlayerWindow);
        }
        return;
    }
    if (MediaKeyPlayerLink::HasKey(request.action)) {
        keys_.Perform(request);
        return;
    }
    PerformWithoutPlayer(request);
}

bool WindowMessagePlayerLink::HoldsLiveWindow() const {
    return PlayerWindow != nullptr && IsWindow(PlayerWindow);
}

bool WindowMessagePlayerLink::PlayerCaughtUp() {
    if (lateReply_ == nullptr) {
        return true;
    }
    // Reply callbacks run only while this thread looks at its message queue.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    if (!lateReply_->answered) {
        return false;
    }
    delete lateReply_;
    lateReply_ = nullptr;
    QUORVEL_INFO(lcPlayer) << "the player is answering again";
    return true;
}

void WindowMessagePlayerLink::WatchForLateReply() {
    // The player handles messages in the order sent, so once it has handled this one it
    // has handled the command that timed out.
    lateReply_ = new LateReply;
    if (!SendMessageCallbackA(PlayerWindow, WM_NULL, 0, 0, OnLateReply,
                              reinterpret_cast<ULONG_PTR>(lateReply_))) {
        delete lateReply_;
        lateReply_ = nullptr;
    }
}

void WindowMessagePlayerLink::AbandonLateReply() {
    if (lateReply_ == nullptr) {
        return;
    }
    // The callback still owns it if it is yet to come; a window that died first never
    // calls it, and the few bytes stay.
    if (lateReply_->answered) {
        delete lateReply_;
    } else {
        lateReply_->abandoned = true;
    }
    lateReply_ = nullptr;
}

void CALLBACK WindowMessagePlayerLink::OnLateReply(HWND, UINT, ULONG_PTR data, LRESULT) {
    auto* reply = reinterpret_cast<LateReply*>(data);
    if (reply->abandoned) {
        delete reply;
        return;
    }
    reply->answered = true;
}
