#include "player/window_message_player_link.h"

#include <mutex>
#include <set>
#include <string>

#include "player/player_log.h"
#include "player/window_executable.h"
#include "text/win32_error_text.h"

namespace {

// Explorer's folder windows: one showing the folder "Windows Media Player" has the
// player's whole title.
constexpr const wchar_t* ExplorerClasses[] = {L"CabinetWClass", L"ExploreWClass"};

struct PlayerSearch {
    std::wstring title;
    HWND found = nullptr;
};

BOOL CALLBACK ConsiderWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<PlayerSearch*>(context);
    wchar_t title[64] = {};
    // The caption the system keeps: no message goes to the window, so a hung one is no
    // wait.
    const int length = GetWindowTextW(window, title, 64);
    if (length != static_cast<int>(search->title.size()) || search->title != title) {
        return TRUE;
    }
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    for (const wchar_t* explorer : ExplorerClasses) {
        if (std::wstring_view(className) == explorer) {
            return TRUE;
        }
    }
    search->found = window;
    return FALSE;
}

// The late replies awaited and those answered, by token, for every link.
struct LateReplies {
    std::mutex mutex;
    std::set<ULONG_PTR> awaited;
    std::set<ULONG_PTR> answered;
    ULONG_PTR last = 0;
};
LateReplies lateReplies;

}  // namespace

WindowMessagePlayerLink::WindowMessagePlayerLink(PlayerFeedback* feedback) : feedback_(feedback) {
    FindPlayerWindow();
}

WindowMessagePlayerLink::~WindowMessagePlayerLink() {
    AbandonLateReply();
}

std::string WindowMessagePlayerLink::FindPlayerWindow() {
    AbandonLateReply();
    // The whole title: a window titled "Windows Media Player - x" is another program's.
    // Top-level windows in Z order, as FindWindow looks, but Explorer's are passed over.
    PlayerSearch search{
        std::wstring(PlayerTitle, PlayerTitle + std::char_traits<char>::length(PlayerTitle))};
    EnumWindows(ConsiderWindow, reinterpret_cast<LPARAM>(&search));
    PlayerWindow = search.found;
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

PlayerChoice WindowMessagePlayerLink::Choose() {
    if (!HoldsLiveWindow()) {
        FindPlayerWindow();
    }
    return PlayerChoice{.made = true, .window = reinterpret_cast<std::uintptr_t>(PlayerWindow)};
}

std::vector<std::string> WindowMessagePlayerLink::PlayerNames(const PlayerChoice& choice) {
    std::string name = WindowExecutableName(reinterpret_cast<HWND>(choice.window));
    return name.empty() ? std::vector<std::string>{} : std::vector<std::string>{std::move(name)};
}

void WindowMessagePlayerLink::Announce(const PlayerNews& news) {
    if (feedback_ != nullptr) {
        feedback_->Show(news);
    }
}

bool WindowMessagePlayerLink::SendPlayerCommand(int id) {
    if (!HoldsLiveWindow() && FindPlayerWindow().empty()) {
        whyNot_ = std::string("no window titled \"") + PlayerTitle + "\"";
        return false;
    }
    if (!PlayerCaughtUp()) {
        QUORVEL_DEBUG(lcPlayer) << "command " << id << " dropped: the player is not answering";
        whyNot_ = "the player is not answering";
        return false;
    }
    DWORD_PTR result = 0;
    const WPARAM command = MAKEWPARAM(id, 0);
    if (SendMessageTimeoutA(PlayerWindow, WM_COMMAND, command, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                            ReplyTimeoutMs, &result) != 0) {
        return true;
    }
    const DWORD error = GetLastError();
    if (!HoldsLiveWindow() || error == ERROR_INVALID_WINDOW_HANDLE) {
        QUORVEL_INFO(lcPlayer) << "the player's window closed before it handled command " << id
                               << "; looking again at the next command";
        whyNot_ = "the player's window closed before it handled the command";
        return false;
    }
    if (error != ERROR_TIMEOUT && error != ERROR_SUCCESS) {
        // Not a slow player: waiting for it would not help (a player with higher rights
        // than ours refuses with access denied).
        whyNot_ = "the command could not be sent to the player: " + DescribeSendError(error);
        QUORVEL_WARNING(lcPlayer) << "command " << id << " could not be sent to the player: "
                                  << DescribeSendError(error);
        return false;
    }
    QUORVEL_WARNING(lcPlayer) << "the player did not handle command " << id << " within "
                              << ReplyTimeoutMs
                              << " ms; commands are dropped until it has caught up";
    WatchForLateReply();
    whyNot_ =
        "the player did not handle the command within " + std::to_string(ReplyTimeoutMs) + " ms";
    return false;
}

std::string WindowMessagePlayerLink::DescribeSendError(DWORD error) {
    std::string text = Win32ErrorText(error);
    if (error == ERROR_ACCESS_DENIED) {
        text += " (the player runs with higher rights than Quorvel)";
    }
    return text;
}

std::optional<int> WindowMessagePlayerLink::CommandFor(PlayerAction action) {
    for (const Command& command : Commands) {
        if (command.action == action) {
            return command.id;
        }
    }
    return std::nullopt;
}

void WindowMessagePlayerLink::Perform(const PlayerRequest& request, const PlayerChoice& choice) {
    const bool toWindow = CommandFor(request.action) || request.action == PlayerAction::Raise;
    if (toWindow && choice.made &&
        (choice.window == 0 || reinterpret_cast<HWND>(choice.window) != PlayerWindow ||
         !HoldsLiveWindow())) {
        QUORVEL_DEBUG(lcPlayer) << ActionName(request.action)
                                << " dropped: the window chosen for its key is gone";
        TellFailed(choice, std::string("no window titled \"") + PlayerTitle + "\"");
        return;
    }
    if (const auto id = CommandFor(request.action)) {
        const bool up = request.action == PlayerAction::VolumeUp;
        if (!SendPlayerCommand(*id)) {
            TellFailed(choice, whyNot_);
            return;
        }
        TellReached(choice);
        if (feedback_ != nullptr && (up || request.action == PlayerAction::VolumeDown)) {
            feedback_->Show(
                {PlayerNews::Kind::Volume, PlayerTitle, up ? "Volume up" : "Volume down"});
        }
        return;
    }
    if (request.action == PlayerAction::Raise) {
        if (HoldsLiveWindow() || !FindPlayerWindow().empty()) {
            SetForegroundWindow(PlayerWindow);
            TellReached(choice);
        } else {
            TellFailed(choice, std::string("no window titled \"") + PlayerTitle + "\"");
        }
        return;
    }
    if (MediaKeyPlayerLink::HasKey(request.action)) {
        keys_.Perform(request, choice);
        return;
    }
    unsupported_.Say(request);
}

bool WindowMessagePlayerLink::HoldsLiveWindow() const {
    return PlayerWindow != nullptr && IsWindow(PlayerWindow);
}

bool WindowMessagePlayerLink::PlayerCaughtUp() {
    if (lateReply_ == 0) {
        return true;
    }
    // Reply callbacks run only while this thread looks at its message queue.
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    {
        const std::lock_guard guard(lateReplies.mutex);
        if (lateReplies.answered.erase(lateReply_) == 0) {
            return false;
        }
    }
    lateReply_ = 0;
    QUORVEL_INFO(lcPlayer) << "the player is answering again";
    return true;
}

void WindowMessagePlayerLink::WatchForLateReply() {
    // The player handles messages in the order sent, so once it has handled this one it
    // has handled the command that timed out.
    ULONG_PTR token = 0;
    {
        const std::lock_guard guard(lateReplies.mutex);
        token = ++lateReplies.last;
        lateReplies.awaited.insert(token);
    }
    if (SendMessageCallbackA(PlayerWindow, WM_NULL, 0, 0, OnLateReply, token)) {
        lateReply_ = token;
    } else {
        const std::lock_guard guard(lateReplies.mutex);
        lateReplies.awaited.erase(token);
    }
}

void WindowMessagePlayerLink::AbandonLateReply() {
    if (lateReply_ == 0) {
        return;
    }
    // A callback yet to come finds its token no longer awaited; one of a window that died
    // first never comes, and leaves nothing behind.
    const std::lock_guard guard(lateReplies.mutex);
    lateReplies.awaited.erase(lateReply_);
    lateReplies.answered.erase(lateReply_);
    lateReply_ = 0;
}

void CALLBACK WindowMessagePlayerLink::OnLateReply(HWND, UINT, ULONG_PTR data, LRESULT) {
    const std::lock_guard guard(lateReplies.mutex);
    if (lateReplies.awaited.erase(data) != 0) {
        lateReplies.answered.insert(data);
    }
}

void WindowMessagePlayerLink::TellOutcomes(PressOutcome* outcomes) {
    PlayerLink::TellOutcomes(outcomes);
    keys_.TellOutcomes(outcomes);
}
