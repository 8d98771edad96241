// The player links: window messages to a stand-in "Windows Media Player" in another
// process (this program started again with --stand-in), and the media keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/media_key_player_link.h"
#include "player/window_message_player_link.h"
#include "tests/doubles/eventually.h"
#include "tests/doubles/log_capture.h"
#include "tests/windows/stand_in_player.h"
#include "tests/windows/wine_test.h"

namespace {

constexpr int CmdPlay = WindowMessagePlayerLink::CmdPlay;
constexpr int CmdPrev = WindowMessagePlayerLink::CmdPrev;
constexpr int CmdNext = WindowMessagePlayerLink::CmdNext;
constexpr int CmdVolUp = WindowMessagePlayerLink::CmdVolUp;
constexpr int CmdVolDown = WindowMessagePlayerLink::CmdVolDown;
const std::string PlayerTitle = WindowMessagePlayerLink::PlayerTitle;

// The stand-in player in a process of its own, closed at the end.
class StandInProcess {
  public:
    explicit StandInProcess(const std::string& title) {
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string commandLine = "\"" + std::string(self) + "\" --stand-in \"" + title + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (CreateProcessA(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process_)) {
            CloseHandle(process_.hThread);
            Eventually([&] {
                window_ = FindWindowA(nullptr, title.c_str());
                return window_ != nullptr;
            });
        }
    }
    ~StandInProcess() { Close(); }

    void Close() {
        if (process_.hProcess == nullptr) {
            return;
        }
        PostMessageA(window_, WM_CLOSE, 0, 0);
        WaitForSingleObject(process_.hProcess, 20000);
        CloseHandle(process_.hProcess);
        process_.hProcess = nullptr;
    }

    HWND Window() const { return window_; }
    std::vector<WPARAM> Commands() const { return StandInPlayer::Commands(window_); }
    // Hangs until Release.
    void Hang() const { SendMessageA(window_, StandInPlayer::HangMessage, 0, 0); }
    void Release() const {
        const HANDLE release =
            OpenEventA(EVENT_MODIFY_STATE, FALSE,
                       StandInPlayer::ReleaseEventName(process_.dwProcessId).c_str());
        SetEvent(release);
        CloseHandle(release);
    }

  private:
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

TEST(WindowMessagePlayerLink, SendsEachCommandAsWmCommandInOrder) {
    StandInProcess player(PlayerTitle);
    ASSERT_NE(player.Window(), nullptr);
    WindowMessagePlayerLink link;
    EXPECT_EQ(link.FindPlayerWindow(), PlayerTitle);
    // The built-in actions, each as its command identifier.
    const std::vector<WPARAM> sent = {CmdPlay, CmdPrev, CmdNext, CmdVolUp, CmdVolDown};
    for (const auto action : {PlayerAction::PlayPause, PlayerAction::Previous, PlayerAction::Next,
                              PlayerAction::VolumeUp, PlayerAction::VolumeDown}) {
        link.Perform(PlayerRequest(action));
    }
    // wParam is the identifier alone: notification code 0 in the high word.
    EXPECT_EQ(player.Commands(), sent);
}

// What a key map's [player=GLOB] section matches: the executable behind the window the link
// commands, and for the media keys the foreground window's.
TEST(PlayerLinks, NameThePlayerByItsWindowsExecutable) {
    StandInProcess player(PlayerTitle);
    ASSERT_NE(player.Window(), nullptr);
    const std::vector<std::string> self{"player_link_test.exe"};
    WindowMessagePlayerLink link;
    EXPECT_EQ(link.PlayerNames(link.Choose()), self);
    SetForegroundWindow(player.Window());
    MediaKeyPlayerLink keys;
    EXPECT_TRUE(Eventually([&] { return keys.PlayerNames(keys.Choose()) == self; }));
}

// --notify: what the window link knows of a volume key, the key alone, once it was handled.
TEST(WindowMessagePlayerLink, TellsTheVolumeKeysItSent) {
    struct Recorded : PlayerFeedback {
        void Show(const PlayerNews& news) override {
            texts.push_back(news.player + ": " + news.text);
        }
        std::vector<std::string> texts;
    } feedback;
    StandInProcess player(PlayerTitle);
    ASSERT_NE(player.Window(), nullptr);
    WindowMessagePlayerLink link(&feedback);
    for (const auto action :
         {PlayerAction::VolumeUp, PlayerAction::PlayPause, PlayerAction::VolumeDown}) {
        link.Perform(PlayerRequest(action));
    }
    player.Close();
    link.Perform(PlayerRequest(PlayerAction::VolumeUp));  // to no window: not told
    EXPECT_EQ(feedback.texts, (std::vector<std::string>{PlayerTitle + ": Volume up",
                                                        PlayerTitle + ": Volume down"}));
}

TEST(WindowMessagePlayerLink, FindsOnlyTheWholeTitle) {
    StandInProcess player(PlayerTitle + " - a song");
    ASSERT_NE(player.Window(), nullptr);
    WindowMessagePlayerLink link;
    EXPECT_EQ(link.FindPlayerWindow(), "");
}

// An Explorer window showing the folder "Windows Media Player", made here after the
// player, so it is first in Z order where FindWindow would take it.
class ExplorerFolderWindow {
  public:
    explicit ExplorerFolderWindow(const char* className) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = className;
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, className, PlayerTitle.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                  100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~ExplorerFolderWindow() { DestroyWindow(window_); }
    HWND Window() const { return window_; }

  private:
    HWND window_;
};

TEST(WindowMessagePlayerLink, PassesOverExplorerFolderWindowsWithThePlayersTitle) {
    for (const char* className : {"CabinetWClass", "ExploreWClass"}) {
        {
            const ExplorerFolderWindow folder(className);
            ASSERT_NE(folder.Window(), nullptr);
            WindowMessagePlayerLink link;
            EXPECT_EQ(link.FindPlayerWindow(), "") << className;
        }
        StandInProcess player(PlayerTitle);
        ASSERT_NE(player.Window(), nullptr);
        const ExplorerFolderWindow folder(className);
        ASSERT_EQ(FindWindowA(nullptr, PlayerTitle.c_str()), folder.Window());
        WindowMessagePlayerLink link;
        EXPECT_EQ(link.FindPlayerWindow(), PlayerTitle);
        EXPECT_EQ(link.PlayerWindow, player.Window()) << className;
        link.SendPlayerCommand(CmdPlay);
        EXPECT_EQ(player.Commands(), std::vector<WPARAM>{CmdPlay});
    }
}

TEST(WindowMessagePlayerLink, NamesWhyACommandCouldNotBeSent) {
    EXPECT_NE(WindowMessagePlayerLink::DescribeSendError(ERROR_ACCESS_DENIED)
                  .find("(the player runs with higher rights than Quorvel)"),
              std::string::npos);
    EXPECT_EQ(WindowMessagePlayerLink::DescribeSendError(ERROR_TIMEOUT).find("error "),
              std::string::npos);
}

TEST(WindowMessagePlayerLink, ReachesAPlayerStartedOrRestartedLater) {
    WindowMessagePlayerLink link;
    EXPECT_EQ(link.FindPlayerWindow(), "");
    {
        StandInProcess first(PlayerTitle);
        link.SendPlayerCommand(CmdPlay);
        EXPECT_EQ(first.Commands(), std::vector<WPARAM>{CmdPlay});
    }
    StandInProcess second(PlayerTitle);
    link.SendPlayerCommand(CmdNext);
    EXPECT_EQ(second.Commands(), std::vector<WPARAM>{CmdNext});
}

TEST(WindowMessagePlayerLink, HungPlayerCostsOneWaitNotOnePerKey) {
    StandInProcess player(PlayerTitle);
    WindowMessagePlayerLink link;
    link.FindPlayerWindow();
    player.Hang();
    LogCapture log;
    link.SendPlayerCommand(CmdPlay);  // waits out the bound
    link.SendPlayerCommand(CmdPrev);
    link.SendPlayerCommand(CmdNext);
    // One command waited and timed out; the two after it were dropped without a wait.
    EXPECT_EQ(log.Count("did not handle"), 1);
    player.Release();
    // Once it has caught up, commands go through again. (Whether the command that timed
    // out is still handled is the system's choice: Windows hands it over late, Wine drops
    // it.)
    player.Commands();
    link.SendPlayerCommand(CmdVolUp);
    std::vector<WPARAM> handled = player.Commands();
    std::erase(handled, static_cast<WPARAM>(CmdPlay));
    EXPECT_EQ(handled, std::vector<WPARAM>{CmdVolUp});
}

// Records the keys pressed while it has the focus.
LRESULT CALLBACK KeyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN) {
        reinterpret_cast<std::vector<WPARAM>*>(GetWindowLongPtrA(window, GWLP_USERDATA))
            ->push_back(wParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(MediaKeyPlayerLink, PressesTheMediaKeyOfEachCommand) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = KeyWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QuorvelKeyWindow";
    RegisterClassA(&windowClass);
    const HWND window =
        CreateWindowExA(0, windowClass.lpszClassName, "keys", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                        nullptr, nullptr, windowClass.hInstance, nullptr);
    std::vector<WPARAM> keys;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&keys));
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(window);

    MediaKeyPlayerLink link;
    for (const auto& command : WindowMessagePlayerLink::Commands) {
        link.Perform(PlayerRequest(command.action));
    }
    const std::vector<WPARAM> expected = {VK_MEDIA_PLAY_PAUSE, VK_MEDIA_PREV_TRACK,
                                          VK_MEDIA_NEXT_TRACK, VK_VOLUME_UP, VK_VOLUME_DOWN};
    Eventually([&] {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        return keys.size() >= expected.size();
    });
    EXPECT_EQ(keys, expected);
    DestroyWindow(window);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--stand-in") {
        return StandInPlayer::RunProcess(argv[2]);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
