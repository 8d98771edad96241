// From another process, as a user's desktop sees it: how fast the window's list box answers
// LB_GETCOUNT, ten times a second for SECONDS, and then how long a close (WM_CLOSE, as the
// window's close button sends) takes until the window and then the process are gone.
// Usage: quorvel_list_box_probe SECONDS
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    HWND window = nullptr;
    for (int i = 0; i < 400 && window == nullptr; ++i) {
        window = FindWindowW(nullptr, L"Quorvel V0.1");
        Sleep(window == nullptr ? 50 : 0);
    }
    const HWND list =
        window == nullptr ? nullptr : FindWindowExW(window, nullptr, L"ListBox", nullptr);
    if (list == nullptr) {
        std::fprintf(stderr, "no Quorvel window with a list box\n");
        return 1;
    }
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);

    std::vector<double> answers;
    int unanswered = 0;
    DWORD_PTR count = 0;
    for (const auto end = Clock::now() + std::chrono::seconds(seconds); Clock::now() < end;
         Sleep(100)) {
        const auto asked = Clock::now();
        unanswered += SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, 20000, &count) == 0;
        answers.push_back(Ms(Clock::now() - asked));
    }
    std::sort(answers.begin(), answers.end());
    std::printf("LB_GETCOUNT: %zu asked, p50 %.1f ms, p99 %.1f ms, max %.1f ms, %d unanswered "
                "in 20 s, %lu lines\n",
                answers.size(), answers[answers.size() / 2], answers[answers.size() * 99 / 100],
                answers.back(), unanswered, static_cast<unsigned long>(count));

    const auto asked = Clock::now();
    PostMessageW(window, WM_CLOSE, 0, 0);
    while (IsWindow(window) && Clock::now() - asked < std::chrono::seconds(60)) {
        Sleep(1);
    }
    const double windowGone = Ms(Clock::now() - asked);
    WaitForSingleObject(process, 60000);
    std::printf("close: window gone in %.0f ms, program ended in %.0f ms\n", windowGone,
                Ms(Clock::now() - asked));
    return 0;
}
