// The window: its layout and the history's writes in this process, then quorvel.exe itself
// on a COM port Wine maps to a pty, with a stand-in player.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "finder/remote_candidates.h"
#include "history/history_log.h"
#include "keys_window/window_state.h"
#include "player/window_message_player_link.h"
#include "program/window_layout.h"
#include "rawinput/raw_input_devices.h"
#include "tests/doubles/eventually.h"
#include "tests/windows/linux_broker.h"
#include "tests/windows/stand_in_player.h"
#include "tests/windows/stand_in_sessions.h"
#include "tests/windows/wine_test.h"
#include "text/wide_text.h"
#include "win32_app/autostart.h"
#include "win32_app/form1.h"
#include "win32_app/tray_icon.h"

namespace {

using Lines = std::vector<std::string>;

// The list box's lines, read as a screen reader or another program would.
Lines ListLines(HWND listBox) {
    Lines lines;
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutA(listBox, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count)) {
        return lines;
    }
    for (DWORD_PTR i = 0; i < count; ++i) {
        // Wide: the system copies the text across processes in its own form.
        wchar_t wide[256] = {};
        SendMessageTimeoutW(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide), SMTO_NORMAL,
                            5000, nullptr);
        char text[256] = {};
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        lines.emplace_back(text);
    }
    return lines;
}

// Handles what the receiver's writes posted to this thread.
void HandlePosted() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageA(window, message, wParam, lParam);
}

// A form whose receiver is the test: writes go through history.
struct FormUnderTest {
    FormUnderTest()
        : form(GetModuleHandleA(nullptr),
               [this](ReceiverHost& receivers, TrayIcon&) { history = &receivers.List(); }) {}
    HistoryList* history = nullptr;
    TForm1 form;
};

TEST(Form1, ListBoxIsAPlainListHoldingTheGreeting) {
    FormUnderTest test;
    const HWND history = test.form.History;
    char className[32] = {};
    GetClassNameA(history, className, sizeof className);
    EXPECT_STREQ(className, "ListBox");
    const LONG style = GetWindowLongA(history, GWL_STYLE);
    EXPECT_EQ(style & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL | LBS_OWNERDRAWFIXED |
                       LBS_OWNERDRAWVARIABLE),
              0);
    RECT bounds;
    GetWindowRect(history, &bounds);
    MapWindowPoints(HWND_DESKTOP, test.form.Handle(), reinterpret_cast<POINT*>(&bounds), 2);
    EXPECT_EQ(Lines({std::to_string(bounds.left), std::to_string(bounds.top),
                     std::to_string(bounds.right - bounds.left),
                     std::to_string(bounds.bottom - bounds.top)}),
              Lines({"8", "8", "161", "329"}));
    EXPECT_EQ(ListLines(history), Lines{WindowLayout::GreetingLine});
}

// The tooltip beside the pointer on an explained line: what the form shows for its reason.
std::wstring TipText(HWND form) {
    HWND tip = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM found) -> BOOL {
            char name[32] = {};
            GetClassNameA(window, name, sizeof name);
            if (std::string(name) != "tooltips_class32") {
                return TRUE;
            }
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&tip));
    if (tip == nullptr || !IsWindowVisible(tip)) {
        return L"";
    }
    wchar_t text[256] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = GetDlgItem(form, TForm1::HistoryId);
    tool.uId = reinterpret_cast<UINT_PTR>(tool.hwnd);
    tool.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    return text;
}

// The pointer rests on a line of the list box.
void PointAt(HWND listBox, int row) {
    RECT line;
    Send(listBox, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&line));
    Send(listBox, WM_MOUSEMOVE, 0, MAKELPARAM(line.left + 5, line.top + 3));
}

TEST(Form1, AnExplainedLineShowsItsReasonBesideThePointer) {
    FormUnderTest test;
    test.form.Show(SW_SHOWNOACTIVATE);
    test.history->InsertLine(1, "Err");
    test.history->ExplainLine(1, "cannot open serial port COM30: not found");
    test.history->InsertLine(2, "42");
    HandlePosted();
    PointAt(test.form.History, 1);
    EXPECT_EQ(TipText(test.form.Handle()), L"cannot open serial port COM30: not found");
    PointAt(test.form.History, 2);
    EXPECT_EQ(TipText(test.form.Handle()), L"");
    // The reason moves with its line.
    test.history->DeleteLine(0);
    HandlePosted();
    PointAt(test.form.History, 0);
    EXPECT_EQ(TipText(test.form.Handle()), L"cannot open serial port COM30: not found");
}

// A line the list box cuts shows whole beside the pointer, before its reason.
TEST(Form1, ALineTheListCutsShowsWholeBesideThePointer) {
    FormUnderTest test;
    test.form.Show(SW_SHOWNOACTIVATE);
    const std::string code = "  >>REP>>SAMSUNG_E0E0E01F_E0E0D02F_E0E0E01F";
    test.history->InsertLine(1, code);
    test.history->InsertLine(2, code);
    test.history->ExplainLine(2, "no player");
    HandlePosted();
    const std::vector<std::wstring> tips = {L"", Widen(code), Widen(code) + L"\r\nno player"};
    for (int row = 0; row < 3; ++row) {
        PointAt(test.form.History, row);
        EXPECT_EQ(TipText(test.form.Handle()), tips[row]) << row;
    }
}

// The list's menu: a right click selects its line, and Copy takes the line's code.
TEST(Form1, TheHistoryMenuCopiesTheLineRightClicked) {
    FormUnderTest test;
    test.form.Show(SW_SHOWNOACTIVATE);
    const HWND list = test.form.History;
    test.history->InsertLine(1, "  >>REP>>PANASONIC_40040100BCBD");
    HandlePosted();
    RECT line;
    Send(list, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&line));
    POINT at{line.left + 5, line.top + 3};
    ClientToScreen(list, &at);
    // The menu's own loop runs the timer, which closes it.
    SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        EndMenu();
    });
    Send(test.form.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list),
         MAKELPARAM(at.x, at.y));
    EXPECT_EQ(Send(list, LB_GETCURSEL), 1);

    Send(test.form.Handle(), WM_COMMAND, TForm1::CopyId);
    ASSERT_TRUE(OpenClipboard(nullptr));
    const HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* copied = static_cast<const wchar_t*>(GlobalLock(data));
    EXPECT_EQ(std::wstring(copied != nullptr ? copied : L"?"), L"PANASONIC_40040100BCBD");
    GlobalUnlock(data);
    CloseClipboard();
}

TEST(Form1, WritesNeitherScrollNorSelectUntilTheUserScrollsToTheEnd) {
    FormUnderTest test;
    const HWND list = test.form.History;
    HistoryLog log(*test.history);
    log.RemoveFirstLine();
    for (int i = 0; i < 30; ++i) {
        log.AppendLine("line " + std::to_string(i));
    }
    log.ReplaceLastLine("last");
    HandlePosted();
    Lines lines = ListLines(list);
    ASSERT_EQ(lines.size(), 30u);
    EXPECT_EQ(lines[28], "line 28");
    EXPECT_EQ(lines[29], "last");
    EXPECT_EQ(Send(list, LB_GETTOPINDEX), 0);
    EXPECT_EQ(Send(list, LB_GETCURSEL), LB_ERR);

    // Scrolled to the very end, the view follows the lines that arrive...
    Send(list, WM_VSCROLL, SB_BOTTOM);
    const LRESULT bottomTop = Send(list, LB_GETTOPINDEX);
    ASSERT_GT(bottomTop, 0);
    log.AppendLine("31");
    log.AppendLine("32");
    HandlePosted();
    EXPECT_EQ(Send(list, LB_GETTOPINDEX), bottomTop + 2);
    // ...until the user scrolls up again.
    Send(list, WM_VSCROLL, SB_LINEUP);
    const LRESULT upTop = Send(list, LB_GETTOPINDEX);
    log.AppendLine("33");
    HandlePosted();
    EXPECT_EQ(Send(list, LB_GETTOPINDEX), upTop);
    EXPECT_EQ(Send(list, LB_GETCURSEL), LB_ERR);
}

// --follow: the end is in sight from the first lines on.
TEST(Form1, FollowingFromTheStartKeepsTheLastLineInSight) {
    FormUnderTest test;
    test.form.FollowTheEnd();
    const HWND list = test.form.History;
    for (int i = 1; i <= 40; ++i) {
        test.history->InsertLine(i, std::to_string(i));
    }
    HandlePosted();
    RECT last{};
    RECT client{};
    ASSERT_NE(Send(list, LB_GETITEMRECT, 40, reinterpret_cast<LPARAM>(&last)), LB_ERR);
    GetClientRect(list, &client);
    EXPECT_GT(Send(list, LB_GETTOPINDEX), 0);
    EXPECT_LE(last.bottom, client.bottom);
}

TEST(Form1, DropsTheFirstLinesInOneWrite) {
    FormUnderTest test;
    test.history->DeleteLine(0);
    for (int i = 0; i < 5; ++i) {
        test.history->InsertLine(i, std::to_string(i));
    }
    test.history->DeleteFirstLines(3);
    test.history->InsertLine(2, "5");
    HandlePosted();
    EXPECT_EQ(ListLines(test.form.History), Lines({"3", "4", "5"}));
}

// The stand-in player on a thread of this test, so quorvel.exe has one to command.
class StandInThread {
  public:
    explicit StandInThread(const char* title = WindowMessagePlayerLink::PlayerTitle)
        : title_(title), thread_([this] { Run(); }) {
        Eventually([this] { return window_ != nullptr; });
    }
    ~StandInThread() {
        PostMessageA(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    std::vector<WPARAM> Commands() const { return StandInPlayer::Commands(window_); }
    std::vector<WPARAM> Keys() const { return StandInPlayer::Keys(window_); }
    HWND Window() const { return window_; }

  private:
    void Run() {
        StandInPlayer player(title_);
        window_ = player.Handle();
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            DispatchMessageA(&message);
        }
    }
    const char* title_;
    std::atomic<HWND> window_{nullptr};
    std::thread thread_;
};

// The exit status of a program that should have ended by now; one still running is ended
// (and STILL_ACTIVE returned). Closes the handle.
DWORD ExitStatus(HANDLE process) {
    DWORD status = 1;
    GetExitCodeProcess(process, &status);
    if (status == STILL_ACTIVE) {
        TerminateProcess(process, 1);
        // Gone, with all it held (the port, the mark of a running Quorvel), when it returns.
        WaitForSingleObject(process, 20000);
    }
    CloseHandle(process);
    return status;
}

std::string ProgramPath() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path = self;
    return path.substr(0, path.find_last_of('\\')) + "\\..\\..\\quorvel.exe";
}

// Starts quorvel.exe with arguments (UTF-8, given as a wide command line): as how says
// (CREATE_NEW_CONSOLE: as Explorer starts it, a console of its own, which no one reads;
// DETACHED_PROCESS: no console at all), with the standard input and output (standard error
// too) given.
PROCESS_INFORMATION StartAlone(const std::string& arguments, DWORD how = CREATE_NEW_CONSOLE,
                               HANDLE in = nullptr, HANDLE out = nullptr) {
    std::wstring commandLine = Widen("\"" + ProgramPath() + "\" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    const bool given = in != nullptr || out != nullptr;
    if (given) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = out;
    }
    PROCESS_INFORMATION process{};
    EXPECT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, given, how, nullptr,
                               nullptr, &startup, &process))
        << arguments;
    CloseHandle(process.hThread);
    return process;
}

const std::string Waiting = "Waiting for new signal...";

// quorvel.exe with its window, started with arguments; history is its list box once it
// waits on its sources, open and configured, so no key sent now is lost (null if it never
// does). Ended with the object, if it has not ended before.
class Quorvel {
  public:
    explicit Quorvel(const std::string& arguments) : process_(StartAlone(arguments, 0)) {
        const bool waiting = Eventually([&] {
            const HWND window = FindWindowA(TForm1::ClassName, WindowLayout::Caption().c_str());
            // The frame exists a moment before its list box does.
            history = window != nullptr ? GetDlgItem(window, TForm1::HistoryId) : nullptr;
            return history != nullptr && ListLines(history) == Lines{Waiting};
        });
        history = waiting ? history : nullptr;
    }
    ~Quorvel() { Close(); }
    HWND Window() const { return GetParent(history); }
    // The lines it shows once they are these, or when they have not come to be.
    Lines Await(const Lines& lines) const {
        Eventually([&] { return ListLines(history) == lines; });
        return ListLines(history);
    }
    // Closes its window: its exit status once it has ended, STILL_ACTIVE if it did not.
    DWORD Close() {
        if (process_.hProcess == nullptr) {
            return STILL_ACTIVE;
        }
        if (history != nullptr) {
            PostMessageA(Window(), WM_CLOSE, 0, 0);
            WaitForSingleObject(process_.hProcess, 20000);
        }
        return ExitStatus(std::exchange(process_.hProcess, nullptr));
    }
    HWND history = nullptr;

  private:
    PROCESS_INFORMATION process_;
};

// A file in a folder of its own in the temporary folder, both removed with the object.
struct TempFile {
    TempFile(const std::wstring& folderName, const std::string& text,
             const wchar_t* name = L"keys.conf")
        : folder(WineTest::TempFolder(folderName)), path(folder / name) {
        std::ofstream(path, std::ios::binary) << text;
    }
    ~TempFile() { std::filesystem::remove_all(folder); }
    std::string Name() const { return Narrow(path.wstring()); }
    std::string Quoted() const { return "\"" + Name() + "\""; }
    const std::filesystem::path folder;
    const std::filesystem::path path;
};

TEST(QuorvelExe, ShowsTheHistoryOfTheBytesCommandsThePlayerAndClosesAtOnce) {
    StandInThread player;
    Quorvel quorvel("--port " + std::string(WineTest::WindowPort));
    ASSERT_NE(quorvel.history, nullptr);

    // Written after the call to the player, so the volume's repeat did not wait behind it
    // (such a repeat acts only if it is the newest of what waited).
    ASSERT_TRUE(WineTest::WriteToPeer(WineTest::WindowPeer, {0x91, 0x60, 0x91, 0x2A}));
    EXPECT_EQ(quorvel.Await({"PLAY!", "42", Waiting}), (Lines{"PLAY!", "42", Waiting}));
    ASSERT_TRUE(
        WineTest::WriteToPeer(WineTest::WindowPeer, {0x0D, 0xB0, 0x05, 0x0D, 0x60, 0x91, 0x91}));
    const Lines expected = {"PLAY!", "42",   "  >>REP>>VOL_UP!", Waiting, "5", "  >>REP>>96",
                            "145",   Waiting};
    EXPECT_EQ(quorvel.Await(expected), expected);
    EXPECT_EQ(player.Commands(), (std::vector<WPARAM>{WindowMessagePlayerLink::CmdPlay,
                                                      WindowMessagePlayerLink::CmdVolUp}));

    RECT outer;
    RECT client;
    GetWindowRect(quorvel.Window(), &outer);
    GetClientRect(quorvel.Window(), &client);
    EXPECT_EQ(Lines({std::to_string(outer.left), std::to_string(outer.top),
                     std::to_string(client.right), std::to_string(client.bottom)}),
              Lines({"330", "117", "175", "350"}));
    const LONG style = GetWindowLongA(quorvel.Window(), GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
    // Our icon is in the program's resources.
    const HMODULE resources =
        LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    EXPECT_NE(LoadIconA(resources, TForm1::IconName), nullptr);
    FreeLibrary(resources);

    // The receiver waits for a byte; closing does not.
    EXPECT_EQ(quorvel.Close(), 0u);
}

// --player session commands the system's media sessions (the stand-in's), and a key map's
// section goes by the chosen session's app id, case aside.
TEST(QuorvelExe, CommandsTheMediaSessionThatPlaysAndItsSectionsKeys) {
    const StandInSessions sessions("Chrome playing\nSpotify.exe paused\n");
    const TempFile keys(L"quorvel-session-keys",
                        "key 0x60 play-pause\n[player=spotify*]\nkey 0x60 next\n");
    Quorvel quorvel(std::string("--player session --port ") + WineTest::WindowPort + " --keys " +
                    keys.Quoted());
    ASSERT_NE(quorvel.history, nullptr);
    ASSERT_TRUE(WineTest::WriteToPeer(WineTest::WindowPeer, {0x91, 0x60}));
    EXPECT_EQ(quorvel.Await({"PLAY!", Waiting}), (Lines{"PLAY!", Waiting}));
    sessions.Script("Chrome paused\nSpotify.EXE playing\n");
    ASSERT_TRUE(WineTest::WriteToPeer(WineTest::WindowPeer, {0x91, 0x60}));
    EXPECT_EQ(quorvel.Await({"PLAY!", "NEXT!", Waiting}), (Lines{"PLAY!", "NEXT!", Waiting}));
    EXPECT_TRUE(Eventually([&] { return sessions.Calls().size() >= 3; }));
    EXPECT_EQ(sessions.Calls(),
              (std::vector<std::string>{"RequestAsync", "Chrome TryTogglePlayPauseAsync",
                                        "Spotify.EXE TrySkipNextAsync"}));
    EXPECT_EQ(quorvel.Close(), 0u);
}

// Presses and releases key (with modifier held, if any) as a keyboard would, injected with
// SendInput: Wine's Raw Input and hooks see it as they see a keyboard's.
void Type(WORD key, WORD modifier = 0) {
    std::vector<INPUT> strokes;
    const auto stroke = [&strokes](WORD virtualKey, DWORD flags) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = virtualKey;
        input.ki.dwFlags = flags;
        strokes.push_back(input);
    };
    const DWORD extended = modifier == 0 ? KEYEVENTF_EXTENDEDKEY : 0;
    if (modifier != 0) {
        stroke(modifier, 0);
    }
    stroke(key, extended);
    stroke(key, extended | KEYEVENTF_KEYUP);
    if (modifier != 0) {
        stroke(modifier, KEYEVENTF_KEYUP);
    }
    SendInput(static_cast<UINT>(strokes.size()), strokes.data(), sizeof(INPUT));
}

bool BringToFront(HWND window) {
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    return Eventually([&] { return GetForegroundWindow() == window; });
}

// --input media-keys, or a keyboard by name: each media key is one player command; grabbed
// (the default), the window in front never sees it; shared (--no-grab), it does. (A held
// key's repeats and release, one hold, are KeyDeliveries' and the hold tracker's.)
TEST(QuorvelExe, TakesEachMediaKeyOnceAndKeepsItFromTheWindowInFront) {
    using Keys = std::vector<WPARAM>;
    const Keys media = {VK_MEDIA_NEXT_TRACK, VK_MEDIA_PLAY_PAUSE, VK_VOLUME_UP,
                        VK_MEDIA_NEXT_TRACK};
    std::string keyboard;
    for (const RawInputDevice& listed : ListRawInputDevices()) {
        if (listed.device.collection == KeyboardCollection) {
            keyboard = listed.device.product;
        }
    }
    ASSERT_FALSE(keyboard.empty());
    for (const auto& [input, grab] : {std::pair<std::string, bool>{"media-keys", true},
                                      {"media-keys --no-grab", false},
                                      {"\"name=" + keyboard + "\"", true}}) {
        StandInThread player;
        Quorvel quorvel("--input " + input);
        ASSERT_NE(quorvel.history, nullptr) << input;
        ASSERT_TRUE(BringToFront(player.Window()));
        for (const WPARAM key : media) {
            Type(static_cast<WORD>(key));
        }
        // Not a media key: once the window has it, it has had every key before it.
        Type('Z');
        EXPECT_TRUE(Eventually([&] {
            const Keys keys = player.Keys();
            return !keys.empty() && keys.back() == 'Z';
        }));
        Keys shared = grab ? Keys{} : media;
        shared.push_back('Z');
        EXPECT_EQ(player.Keys(), shared) << input;
        // A second action of any key would show before the last key's line.
        const Lines expected = {"NEXT!", "PLAY!", "VOL_UP!", "NEXT!", Waiting};
        EXPECT_EQ(quorvel.Await(expected), expected);
        EXPECT_EQ(player.Commands(),
                  (std::vector<WPARAM>{
                      WindowMessagePlayerLink::CmdNext, WindowMessagePlayerLink::CmdPlay,
                      WindowMessagePlayerLink::CmdVolUp, WindowMessagePlayerLink::CmdNext}));
        EXPECT_EQ(quorvel.Close(), 0u);
    }
}

// With --player keys a [player=GLOB] section follows the program in front, and the key
// Quorvel presses for it reaches that program once: its own keystrokes pass its grab and are
// never taken for the remote's.
TEST(QuorvelExe, AMediaKeysSectionFollowsTheProgramInFrontWhichGetsQuorvelsKeyOnce) {
    StandInThread player;
    const TempFile keys(
        L"quorvel-media-section",
        "key KEY_NEXTSONG next\n[player=WINDOW_*.exe]\nkey KEY_NEXTSONG previous\n");
    Quorvel quorvel("--input media-keys --player keys --keys " + keys.Quoted());
    ASSERT_NE(quorvel.history, nullptr);
    Lines expected{Waiting};
    for (const auto& [front, line] :
         {std::pair<HWND, std::string>{player.Window(), "PREV!"}, {quorvel.Window(), "NEXT!"}}) {
        ASSERT_TRUE(BringToFront(front));
        Type(VK_MEDIA_NEXT_TRACK);
        expected.back() = line;
        expected.push_back(Waiting);
        EXPECT_EQ(quorvel.Await(expected), expected);
    }
    EXPECT_TRUE(Eventually([&] { return !player.Keys().empty(); }));
    EXPECT_EQ(player.Keys(), std::vector<WPARAM>{VK_MEDIA_PREV_TRACK});
    EXPECT_EQ(quorvel.Close(), 0u);
}

// Types keys into the window in front, then Z: once the window has Z, it has had every key
// before it that reached it. The keys it had.
std::vector<WPARAM> TypedInto(const StandInThread& front, const std::vector<WORD>& keys) {
    const std::size_t before = front.Keys().size();
    for (const WORD key : keys) {
        Type(key);
    }
    Type('Z');
    Eventually([&] {
        const std::vector<WPARAM> got = front.Keys();
        return got.size() > before && got.back() == 'Z';
    });
    std::vector<WPARAM> got = front.Keys();
    got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(before));
    return got;
}

// The hook keeps a media key only when its press will act: bound in the map in force, with
// a player to take it. Every other key reaches the window in front, and a saved map
// changes what is kept.
TEST(QuorvelExe, KeepsOnlyTheMediaKeysThatWillAct) {
    using Keys = std::vector<WPARAM>;
    {
        StandInThread player;
        const TempFile keys(L"quorvel-kept-keys", "key KEY_PLAYPAUSE play-pause\n");
        Quorvel quorvel("--input media-keys --keys " + keys.Quoted());
        ASSERT_NE(quorvel.history, nullptr);
        ASSERT_TRUE(BringToFront(player.Window()));
        EXPECT_EQ(TypedInto(player, {VK_VOLUME_UP, VK_MEDIA_NEXT_TRACK, VK_MEDIA_PLAY_PAUSE}),
                  (Keys{VK_VOLUME_UP, VK_MEDIA_NEXT_TRACK, 'Z'}));
        std::ofstream(keys.path) << "key KEY_PLAYPAUSE play-pause\nkey KEY_VOLUMEUP volume-up\n";
        EXPECT_TRUE(Eventually([&] { return TypedInto(player, {VK_VOLUME_UP}) == Keys{'Z'}; }));
        // Play, then volume up once the new map is in force: one typed as the reload lands
        // may have been judged by the old map and acted by the new one.
        EXPECT_TRUE(Eventually([&] {
            const Keys commands = player.Commands();
            return commands.size() >= 2 && commands.front() == WindowMessagePlayerLink::CmdPlay &&
                   std::all_of(commands.begin() + 1, commands.end(), [](WPARAM command) {
                       return command == WindowMessagePlayerLink::CmdVolUp;
                   });
        })) << testing::PrintToString(player.Commands());
        EXPECT_EQ(quorvel.Close(), 0u);
    }
    // No window of the player: nothing would take them, so they are the system's.
    StandInThread other("Another program");
    Quorvel quorvel("--input media-keys");
    ASSERT_NE(quorvel.history, nullptr);
    ASSERT_TRUE(BringToFront(other.Window()));
    EXPECT_EQ(TypedInto(other, {VK_VOLUME_UP, VK_MEDIA_NEXT_TRACK}),
              (Keys{VK_VOLUME_UP, VK_MEDIA_NEXT_TRACK, 'Z'}));
    EXPECT_EQ(quorvel.Close(), 0u);
}

// What --find-remote listens on: each keyboard and HID remote, by its product name.
TEST(RemoteCandidates, ListTheKeyboardsAndHidRemotesRawInputKnows) {
    std::vector<std::string> values;
    for (const RemoteCandidate& candidate : RemoteCandidates::Machine()) {
        values.push_back(candidate.value);
    }
    bool remotes = false;
    for (const RawInputDevice& listed : ListRawInputDevices()) {
        if (listed.device.collection == KeyboardCollection) {
            EXPECT_NE(std::find(values.begin(), values.end(), "name=" + listed.device.product),
                      values.end())
                << listed.device.path;
        }
        remotes = remotes || listed.device.collection == RemoteCollections[0];
    }
    if (!remotes) {
        GTEST_SKIP() << "HID-type Raw Input: this Wine lists no consumer control or MCE "
                        "collection, and delivers none of their reports";
    }
}

// The message box process shows, and its text, read as a screen reader would; null when
// none came up.
HWND MessageBoxOf(DWORD process, std::string& text) {
    struct Search {
        DWORD process;
        HWND box;
    } search{process, nullptr};
    const auto findBox = [](HWND window, LPARAM context) -> BOOL {
        auto* wanted = reinterpret_cast<Search*>(context);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (owner == wanted->process && std::string(name) == "#32770") {
            wanted->box = window;
            return FALSE;
        }
        return TRUE;
    };
    // The dialog exists a moment before its controls do.
    Eventually([&] {
        EnumWindows(findBox, reinterpret_cast<LPARAM>(&search));
        wchar_t wide[4096] = {};
        if (search.box != nullptr) {
            GetDlgItemTextW(search.box, 0xFFFF, wide, 4096);
        }
        text = Narrow(wide);
        return !text.empty();
    });
    return search.box;
}

// The exit status of a program that showed box (if it did), once the box is answered.
DWORD Answered(HWND box, const PROCESS_INFORMATION& process) {
    if (box != nullptr) {
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    WaitForSingleObject(process.hProcess, 20000);
    return ExitStatus(process.hProcess);
}

// Started as Explorer starts it (no one reading standard error), a refusal is shown in a
// message box with the console's text, and the status is kept. A dozen mistakes, on lines
// the box wraps several times: the box shows the first ones, how many more, and where all
// of them are, and fits the screen's work area.
TEST(QuorvelExe, ShowsWhyItCannotStartInAMessageBoxThatFitsTheScreen) {
    std::string mistakes;
    for (int line = 0; line < 12; ++line) {
        mistakes += "key 300 play\n";
    }
    const TempFile keys(L"quorvel WWWW WWWW WWWW WWWW WWWW WWWW WWWW WWWW WWWW WWWW WWWW WWWW",
                        mistakes);
    const PROCESS_INFORMATION process = StartAlone("--keys " + keys.Quoted());
    std::string text;
    const HWND box = MessageBoxOf(process.dwProcessId, text);
    EXPECT_EQ(text.rfind("quorvel: ", 0), 0u) << text;
    EXPECT_NE(text.find("keys.conf:1: "), std::string::npos) << text;
    EXPECT_NE(text.find("\xE2\x80\xA6"
                        "and "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("quorvel.log"), std::string::npos) << text;
    RECT shown{};
    RECT work{};
    GetWindowRect(box, &shown);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_GE(shown.top, work.top);
    EXPECT_LE(shown.bottom, work.bottom);
    EXPECT_EQ(Answered(box, process), 2u);
}

// "quorvel --find-port > found.txt < NUL", detached: it writes to the file, and with no
// terminal to ask in, ends once the key has come.
TEST(QuorvelExe, FindsThePortIntoAFileWithoutATerminal) {
    const TempFile found(L"quorvel-find", "", L"found.txt");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE out = CreateFileW(found.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, 0, nullptr);
    const HANDLE in = CreateFileA("NUL", GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr);
    const PROCESS_INFORMATION process =
        StartAlone("--find-port " + std::string(WineTest::WindowPort), DETACHED_PROCESS, in, out);
    CloseHandle(in);
    CloseHandle(out);
    // A press, until one arrives after the port is open.
    EXPECT_TRUE(Eventually([&] {
        WineTest::WriteToPeer(WineTest::WindowPeer, {0x91, 0x2A});
        return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
    }));
    EXPECT_EQ(ExitStatus(process.hProcess), 0u);
    std::ifstream file(found.path);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    EXPECT_NE(text.find("port = COM25"), std::string::npos) << text;
}

// How much a pipe quorvel.exe writes holds, when a test asks for a small one.
constexpr DWORD PipeHolds = 4096;
// More than any history line quorvel.exe writes for a media key.
constexpr DWORD LongestLine = 64;

// Starts quorvel.exe with arguments, its standard output and error one pipe (holding size
// bytes; 0: the system's choice), whose read end comes back in output.
PROCESS_INFORMATION StartQuorvel(const std::string& arguments, HANDLE& output, DWORD size = 0) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE writeEnd = nullptr;
    EXPECT_TRUE(CreatePipe(&output, &writeEnd, &inherit, size));
    SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
    const PROCESS_INFORMATION process = StartAlone(arguments, 0, nullptr, writeEnd);
    CloseHandle(writeEnd);
    return process;
}

// Runs quorvel.exe with arguments: its exit status and what it wrote.
std::pair<DWORD, std::string> RunQuorvel(const std::string& arguments) {
    HANDLE output = nullptr;
    const PROCESS_INFORMATION process = StartQuorvel(arguments, output);
    std::string text;
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(output, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        text.append(chunk, got);
    }
    CloseHandle(output);
    WaitForSingleObject(process.hProcess, 20000);
    return {ExitStatus(process.hProcess), text};
}

// What it cannot run is refused on standard error, with status 2: a file as its port, a
// player it does not know, lircd (from the command line or the settings file), which is
// Linux's, naming what Windows has instead, and a broker over TLS, which this build has not;
// a key map's path under a folder named in Japanese arrives whole from the command line and
// is named as it is. /? is the help.
TEST(QuorvelExe, RefusesWhatItCannotRunSayingWhy) {
    const TempFile settings(L"quorvel-lircd", "lircd = /run/lirc/lircd\n", L"quorvel.conf");
    const TempFile port(L"quorvel-linux-port", "port = /dev/ttyUSB0\n", L"quorvel.conf");
    const TempFile keys(L"\u30AD\u30FC\u30DE\u30C3\u30D7", "key 300 play\n");
    const std::string linux =
        "/dev/ttyUSB0 is a Linux path, not a serial port on Windows: give "
        "the port's COM name (such as COM3; quorvel --find-port finds it)\r\n";
    const std::string instead =
        "on Windows, read a HID remote or the keyboards' media keys with --input (quorvel "
        "--find-remote finds it), or a serial receiver with --port (try --help)\r\n";
    const struct {
        std::string args;
        DWORD status;
        std::string said;  // the whole of it when it ends a line, else how it starts
    } cases[] = {
        {"--port C:\\windows\\win.ini", 2,
         "quorvel: C:\\windows\\win.ini is a file, not a serial port\r\n"},
        {"--player nothing", 2,
         "quorvel: option '--player' takes window, keys or session, not 'nothing' (try "
         "--help)\r\n"},
        {"--lircd", 2,
         "quorvel: option '--lircd' reads lircd, which runs on Linux only: " + instead},
        {"--config " + settings.Quoted(), 2,
         "quorvel: " + settings.Name() +
             ":1: setting 'lircd': lircd runs on Linux only: " + instead},
        {"--mqtt mqtts://broker.lan", 2,
         "quorvel: option '--mqtt': 'mqtts://broker.lan' is a broker over TLS, and this build of "
         "Quorvel (for Windows) has no TLS: use mqtt:// (try --help)\r\n"},
        {"--keys " + keys.Quoted(), 2, "quorvel: " + keys.Name() + ":1: "},
        {"--port /dev/ttyUSB0", 2, "quorvel: " + linux},
        {"--config " + port.Quoted(), 2,
         "quorvel: " + port.Name() + ":1: setting 'port': " + linux},
        {"--input media-keys --no-grab --player keys", 2,
         "quorvel: --input media-keys with --no-grab and --player keys would act twice a press "
         "(the player has the key, then the one Quorvel presses): leave out --no-grab, or "
         "choose another --player\r\n"},
        {"/?", 0, "Usage: quorvel [--port COMn]"},
    };
    for (const auto& c : cases) {
        const auto [status, text] = RunQuorvel(c.args);
        EXPECT_EQ(status, c.status) << c.args;
        EXPECT_EQ(c.said.ends_with("\r\n") ? text : text.substr(0, c.said.size()), c.said);
    }
}

// On a Linux broker: a Tasmota bridge's code acts on the player through the key map, and a
// key of the serial receiver reaches a Linux subscriber; the status is online, then offline.
TEST(QuorvelExe, ReadsAndPublishesKeysOnALinuxBroker) {
    const LinuxBroker broker;
    ASSERT_NE(broker.Port(), 0) << "wine_mosquitto has not started a broker";
    const TempFile keys(L"quorvel-mqtt", "key NEC_20DF10EF play-pause\n");
    StandInThread player;
    {
        Quorvel quorvel("--port " + std::string(WineTest::WindowPort) + " --mqtt " + broker.Url() +
                        " --mqtt-publish --mqtt-name wine --keys " + keys.Quoted());
        ASSERT_NE(quorvel.history, nullptr);
        // Online once every subscription is in place.
        ASSERT_TRUE(Eventually([&] {
            return broker.Received().find("quorvel/wine/status online\n") != std::string::npos;
        })) << broker.Received();
        ASSERT_TRUE(
            broker.Publish("tele/ir/RESULT",
                           R"({"IrReceived":{"Protocol":"NEC","Bits":32,"Data":"0x20DF10EF"}})"));
        EXPECT_EQ(quorvel.Await({"PLAY!", Waiting}), (Lines{"PLAY!", Waiting}));
        EXPECT_EQ(player.Commands(), std::vector<WPARAM>{WindowMessagePlayerLink::CmdPlay});

        ASSERT_TRUE(WineTest::WriteToPeer(WineTest::WindowPeer, {0x91, 0x18}));
        const std::string topic = "quorvel/wine/key ";
        ASSERT_TRUE(Eventually([&] { return broker.Received().find(topic) != std::string::npos; }))
            << broker.Received();
        const std::string received = broker.Received();
        const std::size_t at = received.find(topic) + topic.size();
        const auto key = nlohmann::json::parse(received.substr(at, received.find('\n', at) - at));
        EXPECT_EQ(key["key"], "24");
        EXPECT_EQ(key["kind"], "code");
        EXPECT_EQ(key["action"], "press");
        EXPECT_EQ(key["source"], "serial");
        EXPECT_EQ(quorvel.Close(), 0u);
    }
    // What came from the broker never went back to it.
    EXPECT_EQ(broker.Received().find("NEC_20DF10EF"), std::string::npos);
    EXPECT_TRUE(Eventually([&] {
        return broker.Received().ends_with("quorvel/wine/status offline\n");
    })) << broker.Received();
    // Online once: connected once, and never taken for another Quorvel of its name.
    const std::string received = broker.Received();
    EXPECT_EQ(received.find("online"), received.rfind("online")) << received;
}

// "quorvel --console | more", the reader gone: it ends, as a filter does.
TEST(QuorvelExe, ConsoleEndsWhenNobodyReadsItsOutput) {
    HANDLE output = nullptr;
    const PROCESS_INFORMATION process =
        StartQuorvel("--console --port " + std::string(WineTest::WindowPort), output);
    CloseHandle(output);
    // Bytes until it has lines to print: those before the port is open are discarded.
    EXPECT_TRUE(Eventually([&] {
        WineTest::WriteToPeer(WineTest::WindowPeer, {0x60, 0x2A, 0x60, 0x05});
        return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
    }));
    EXPECT_EQ(ExitStatus(process.hProcess), 0u);
}

// The hook answers on a thread of its own: with a console nobody reads backed up, a media
// key the receiver acts on is still kept from the window in front.
TEST(QuorvelExe, TheHookKeepsKeysWhileTheReceiverIsHeldUp) {
    StandInThread player;
    HANDLE output = nullptr;
    const PROCESS_INFORMATION process =
        StartQuorvel("--console --input media-keys", output, PipeHolds);
    ASSERT_TRUE(BringToFront(player.Window()));
    // Keys it acts on, each a line, until the pipe, never read, has no room for another
    // line (the console writes whole lines while the pipe is short of room).
    EXPECT_TRUE(Eventually([&] {
        Type(VK_MEDIA_NEXT_TRACK);
        DWORD waiting = 0;
        return PeekNamedPipe(output, nullptr, 0, nullptr, &waiting, nullptr) &&
               waiting + LongestLine >= PipeHolds;
    }));
    EXPECT_EQ(TypedInto(player, {VK_MEDIA_NEXT_TRACK}), std::vector<WPARAM>{'Z'});
    CloseHandle(output);
    ExitStatus(process.hProcess);
}

// --console is text: it never waits on a message box. Refused (a file as its port, or
// nowhere to print), it says why where its output goes, here nowhere or NUL, and ends at
// once; with its output sent to NUL (a device the user chose) it runs.
TEST(QuorvelExe, TheConsoleNeverWaitsOnAMessageBox) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE nul =
        CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
    const std::string win = "--console --port C:\\windows\\win.ini";
    const std::string serial = "--console --port " + std::string(WineTest::WindowPort);
    for (const auto& [arguments, how, output] :
         {std::tuple{win, DWORD{CREATE_NEW_CONSOLE}, HANDLE{nullptr}},
          std::tuple{win, DWORD{DETACHED_PROCESS}, nul},
          std::tuple{serial, DWORD{DETACHED_PROCESS}, HANDLE{nullptr}}}) {
        const PROCESS_INFORMATION refused = StartAlone(arguments, how, output, output);
        EXPECT_EQ(WaitForSingleObject(refused.hProcess, 20000), WAIT_OBJECT_0) << arguments;
        EXPECT_EQ(ExitStatus(refused.hProcess), 2u) << arguments;
    }
    StandInThread player;
    const PROCESS_INFORMATION running = StartAlone(serial, DETACHED_PROCESS, nul, nul);
    EXPECT_TRUE(Eventually([&] {
        WineTest::WriteToPeer(WineTest::WindowPeer, {0x91, 0x60});
        return !player.Commands().empty();
    }));
    ExitStatus(running.hProcess);
    CloseHandle(nul);
}

// One Quorvel a session: a second start brings the first one's window up (restored from the
// taskbar) and ends, saying so, while the first runs on.
TEST(QuorvelExe, ASecondStartShowsTheFirstOnesWindowAndEnds) {
    Quorvel first("--port " + std::string(WineTest::WindowPort));
    ASSERT_NE(first.history, nullptr);
    ShowWindow(first.Window(), SW_MINIMIZE);
    ASSERT_TRUE(Eventually([&] { return IsIconic(first.Window()) != FALSE; }));
    const std::string said =
        "quorvel: Quorvel runs already in this session: its window is "
        "shown; one at a time, or each key would act twice\r\n";
    EXPECT_EQ(RunQuorvel("--minimized"), (std::pair<DWORD, std::string>{0, said}));
    EXPECT_TRUE(Eventually([&] { return IsIconic(first.Window()) == FALSE; }));
    EXPECT_TRUE(IsWindowVisible(first.Window()));
    EXPECT_EQ(RunQuorvel("--console").first, 1u);
    EXPECT_EQ(first.Close(), 0u);
}

// Explorer's Details tab and Apps & features read these.
TEST(QuorvelExe, CarriesItsVersionAndManifest) {
    const std::string path = ProgramPath();
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    char* text = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904B0\\ProductVersion",
                               reinterpret_cast<void**>(&text), &size));
    EXPECT_STREQ(text, QUORVEL_VERSION);
    const HMODULE resources = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    EXPECT_NE(FindResourceA(resources, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)), nullptr);
    FreeLibrary(resources);
}

// A control's text in another process, as a screen reader reads it.
std::string ControlText(HWND control) {
    wchar_t text[512] = {};
    SendMessageTimeoutW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000,
                        nullptr);
    return Narrow(text);
}

// The message box the window opened over owner, once it is up; null if none came.
HWND QuestionOver(HWND owner) {
    struct Search {
        HWND owner;
        HWND box;
    } search{owner, nullptr};
    Eventually([&] {
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto& search = *reinterpret_cast<Search*>(data);
                char kind[16] = {};
                GetClassNameA(window, kind, sizeof kind);
                if (std::string(kind) == "#32770" && GetWindow(window, GW_OWNER) == search.owner &&
                    IsWindowVisible(window)) {
                    search.box = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.box != nullptr;
    });
    return search.box;
}

// Ctrl+K in the history window opens the keys window within the screen's work area, however
// large the size kept; a screen reader names it and the keyboard goes through it; it stays
// when the history window is minimised. "Learn…" takes a key from the receiver (asked
// twice), which does not act meanwhile; Enter saves, once asked to add the binding the
// fields hold, and the map is in force at once. Its size, down to its least, is kept.
TEST(QuorvelExe, TheKeysWindowLearnsAKeyAndSavesAMapThatActsAtOnce) {
    StandInThread player;
    const TempFile keys(L"quorvel-keys-window", "# mine\r\nkey 0x60 play-pause\r\n");
    std::filesystem::create_directories(DefaultWindowStatePath().parent_path());
    std::ofstream(DefaultWindowStatePath()) << "keys-window-size = 100000x100000\n";
    Quorvel quorvel("--keys " + keys.Quoted() + " --port " + WineTest::WindowPort);
    ASSERT_NE(quorvel.history, nullptr);
    ASSERT_TRUE(BringToFront(quorvel.Window()));
    Type('K', VK_CONTROL);
    HWND dialog = nullptr;
    // Shown once its controls are made.
    const auto opened = [&] {
        dialog = FindWindowW(L"#32770", KeysDialog::Title);
        return IsWindowVisible(dialog) != FALSE;
    };
    ASSERT_TRUE(Eventually(opened));
    const auto control = [&](int id) { return GetDlgItem(dialog, id); };
    RECT frame{};
    GetWindowRect(dialog, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT within{};
    IntersectRect(&within, &frame, &monitor.rcWork);
    EXPECT_TRUE(EqualRect(&within, &frame));

    for (const auto& [id, name] :
         std::initializer_list<std::pair<int, std::string>>{{KeysDialog::LearnId, "Learn…"},
                                                            {KeysDialog::ActionId, "Action"},
                                                            {KeysDialog::SaveId, "Save"},
                                                            {KeysDialog::CancelId, "Cancel"},
                                                            {KeysDialog::SearchId, "Search"},
                                                            {KeysDialog::TableId, "Bindings"}}) {
        char kind[16] = {};
        GetClassNameA(control(id), kind, sizeof kind);
        // A button by its text, another control by the label just before it.
        std::string said = ControlText(
            std::string(kind) == "Button" ? control(id) : GetWindow(control(id), GW_HWNDPREV));
        std::erase(said, '&');
        EXPECT_EQ(said.substr(0, said.find(':')), name);
    }
    std::vector<int> tabs;
    HWND at = control(KeysDialog::SearchId);
    do {
        tabs.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(dialog, at, FALSE);
    } while (at != nullptr && at != control(KeysDialog::SearchId) && tabs.size() < 40);
    using D = KeysDialog;
    EXPECT_EQ(tabs, (std::vector<int>{D::SearchId, D::TableId, D::KeyId, D::LearnId, D::GestureId,
                                      D::ActionId, D::SectionId, D::AddId, D::ChangeId, D::MoveId,
                                      D::RemoveId, D::AddSectionId, D::RemoveSectionId, D::SaveId,
                                      D::CancelId}));

    const auto click = [&](int id) {
        SendMessageTimeoutW(control(id), BM_CLICK, 0, 0, SMTO_NORMAL, 5000, nullptr);
    };
    click(KeysDialog::LearnId);
    ASSERT_TRUE(WineTest::WriteToPeer(WineTest::WindowPeer, {0x91, 0x2A}));
    ASSERT_TRUE(Eventually([&] {
        return ControlText(control(KeysDialog::PromptId)).find("again") != std::string::npos;
    }));
    ASSERT_TRUE(WineTest::WriteToPeer(WineTest::WindowPeer, {0x91, 0x2A}));
    ASSERT_TRUE(Eventually([&] { return ControlText(control(KeysDialog::KeyId)) == "42"; }));
    EXPECT_EQ(ListLines(quorvel.history), Lines{Waiting});
    SendMessageTimeoutW(control(KeysDialog::ActionId), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(L"next"), SMTO_NORMAL, 5000, nullptr);

    SetWindowPos(dialog, nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT least{};
    GetClientRect(dialog, &least);
    EXPECT_EQ(Lines({std::to_string(least.right), std::to_string(least.bottom)}),
              Lines({std::to_string(KeysDialog::MinimumSize.cx),
                     std::to_string(KeysDialog::MinimumSize.cy)}));

    SendMessageTimeoutW(quorvel.Window(), WM_SYSCOMMAND, SC_MINIMIZE, 0, SMTO_NORMAL, 5000,
                        nullptr);
    ASSERT_TRUE(Eventually([&] { return IsIconic(quorvel.Window()) != FALSE; }));
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_FALSE(IsIconic(dialog));

    ASSERT_TRUE(BringToFront(dialog));
    SendMessageTimeoutW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control(KeysDialog::KeyId)),
                        TRUE, SMTO_NORMAL, 5000, nullptr);
    Type(VK_RETURN);
    const HWND question = QuestionOver(dialog);
    ASSERT_NE(question, nullptr);
    PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(question, IDYES)));
    EXPECT_TRUE(Eventually([&] { return !IsWindow(dialog); }));
    std::ifstream saved(keys.path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}),
              "# mine\r\nkey 0x60 play-pause\r\nkey  42 next\r\n");
    saved.close();
    ASSERT_TRUE(WineTest::WriteToPeer(WineTest::WindowPeer, {0x91, 0x2A}));
    EXPECT_EQ(quorvel.Await({"NEXT!", Waiting}), (Lines{"NEXT!", Waiting}));
    EXPECT_EQ(player.Commands(), std::vector<WPARAM>{WindowMessagePlayerLink::CmdNext});

    // Opened again (from the system menu), at the size it had.
    PostMessageW(quorvel.Window(), WM_SYSCOMMAND, TrayIcon::KeysId, 0);
    ASSERT_TRUE(Eventually(opened));
    RECT kept{};
    GetClientRect(dialog, &kept);
    EXPECT_EQ(kept.right, least.right);
    EXPECT_EQ(kept.bottom, least.bottom);

    EXPECT_EQ(quorvel.Close(), 0u);
    std::filesystem::remove(DefaultWindowStatePath());
}

// The notification-area icon's menu: "Start with Windows" writes and removes the Run value
// (this test program's path stands in for quorvel.exe's); the window shows (restored when
// minimised) and hides.
TEST(Form1, TrayMenuTurnsStartWithWindowsOnAndOffAndShowsAndHidesTheWindow) {
    std::string error;
    ASSERT_TRUE(Autostart::Set(false, error)) << error;
    FormUnderTest test;
    test.form.Show(SW_SHOWNOACTIVATE);
    Send(test.form.Handle(), WM_COMMAND, TrayIcon::AutostartId);
    EXPECT_TRUE(Autostart::IsOn());
    wchar_t value[MAX_PATH + 32] = {};
    DWORD size = sizeof value;
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, Autostart::RunKey, Autostart::ValueName,
                           RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ(std::wstring(value), L"\"" + std::wstring(self) + L"\" --minimized");
    Send(test.form.Handle(), WM_COMMAND, TrayIcon::AutostartId);
    EXPECT_FALSE(Autostart::IsOn());

    Send(test.form.Handle(), WM_COMMAND, TrayIcon::ShowHideId);
    EXPECT_FALSE(IsWindowVisible(test.form.Handle()));
    Send(test.form.Handle(), WM_COMMAND, TrayIcon::ShowHideId);
    EXPECT_TRUE(IsWindowVisible(test.form.Handle()));
    // Minimised on the taskbar, Show brings it back as it was.
    ShowWindow(test.form.Handle(), SW_MINIMIZE);
    Send(test.form.Handle(), WM_COMMAND, TrayIcon::ShowHideId);
    EXPECT_TRUE(IsWindowVisible(test.form.Handle()));
    EXPECT_FALSE(IsIconic(test.form.Handle()));
}

// Another copy's value (the zip's beside the installed one) is neither shown as ours nor
// removed; turning it on takes the value over.
TEST(Autostart, CountsTheValueAsOursOnlyWhenItStartsThisCopy) {
    const std::filesystem::path program =
        L"C:\\Users\\Ann\\AppData\\Local\\Programs\\Quorvel\\quorvel.exe";
    const struct Case {
        const wchar_t* value;
        bool ours;
    } cases[] = {
        {L"\"C:\\Users\\Ann\\AppData\\Local\\Programs\\Quorvel\\quorvel.exe\" --minimized", true},
        {L"\"c:\\users\\ann\\appdata\\local\\programs\\quorvel\\QUORVEL.EXE\"", true},
        {L"\"C:/Users/Ann/AppData/Local/Programs/Quorvel/./x/../quorvel.exe\" --minimized", true},
        {L"\"\\\\?\\C:\\Users\\Ann\\AppData\\Local\\Programs\\Quorvel\\quorvel.exe\"", true},
        {L"C:\\Users\\Ann\\AppData\\Local\\Programs\\Quorvel\\quorvel.exe --minimized", true},
        {L"\"C:\\Users\\Ann\\Downloads\\quorvel\\quorvel.exe\" --minimized", false},
        {L"\"C:\\Users\\Ann\\AppData\\Local\\Programs\\Quorvel\\quorvel.exe.old\"", false},
        {L"C:\\Users\\Ann\\AppData\\Local\\Programs\\Quorvel\\quorvel.exec", false},
        {L"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Autostart::Starts(c.value, program), c.ours) << Narrow(c.value);
    }

    const std::wstring other = L"\"C:\\zip\\quorvel.exe\" --minimized";
    const auto setOther = [&] {
        return RegSetKeyValueW(HKEY_CURRENT_USER, Autostart::RunKey, Autostart::ValueName, REG_SZ,
                               other.c_str(),
                               static_cast<DWORD>((other.size() + 1) * sizeof(wchar_t)));
    };
    ASSERT_EQ(setOther(), ERROR_SUCCESS);
    EXPECT_FALSE(Autostart::IsOn());
    std::string error;
    EXPECT_TRUE(Autostart::Set(false, error)) << error;
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value;
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, Autostart::RunKey, Autostart::ValueName,
                           RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(value), other);
    EXPECT_TRUE(Autostart::Set(true, error)) << error;
    EXPECT_TRUE(Autostart::IsOn());
    EXPECT_TRUE(Autostart::Set(false, error)) << error;
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, Autostart::RunKey, Autostart::ValueName,
                           RRF_RT_REG_SZ, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
}

}  // namespace
