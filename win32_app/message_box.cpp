#include "win32_app/message_box.h"

#include <windows.h>

#include <algorithm>

#include "program/box_text.h"
#include "text/wide_text.h"

namespace {

// A message box's rows beside its text, in rows of its font: the space above and below the
// text and the row of its button.
constexpr int FrameRows = 6;
// The box wraps its text at a width of its own choosing, at least this many of its font's
// average characters (wider on a wide screen): the rows are counted at that width, so a
// wider box shows fewer lines than it could, never more.
constexpr int NarrowestWrap = 44;

}  // namespace

bool StandardErrorIsSeen() {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) {
        return false;
    }
    switch (GetFileType(error)) {
        case FILE_TYPE_DISK:
        case FILE_TYPE_PIPE:
            return true;
        case FILE_TYPE_CHAR: {
            DWORD processes[2];
            return GetConsoleProcessList(processes, 2) > 1;
        }
        default:
            return false;
    }
}

std::string FitForScreen(const std::string& text, const std::string& whereAll) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    // The monitor MessageBox centres a box without an owner on.
    if (!GetMonitorInfoW(MonitorFromWindow(GetActiveWindow(), MONITOR_DEFAULTTOPRIMARY),
                         &monitor) ||
        !SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        return FitForBox(text, whereAll);
    }
    const HDC dc = CreateCompatibleDC(nullptr);
    const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    const HGDIOBJ before = SelectObject(dc, font);
    TEXTMETRICW measures{};
    GetTextMetricsW(dc, &measures);
    const int row = std::max<int>(measures.tmHeight, 1);
    const int title = metrics.iCaptionHeight +
                      2 * (GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CXPADDEDBORDER));
    BoxLimits limits;
    limits.rows = static_cast<std::size_t>(
        std::max<LONG>((monitor.rcWork.bottom - monitor.rcWork.top - title) / row - FrameRows, 1));
    limits.rowsOf = [&](const std::string& line) {
        const std::wstring wide = Widen(line);
        RECT wrapped{0, 0, NarrowestWrap * measures.tmAveCharWidth, 0};
        DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &wrapped,
                  DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        return static_cast<std::size_t>((wrapped.bottom - wrapped.top + row - 1) / row);
    };
    std::string fitted = FitForBox(text, whereAll, limits);
    SelectObject(dc, before);
    DeleteObject(font);
    DeleteDC(dc);
    return fitted;
}

void ShowMessageBox(const std::string& text, bool error) {
    MessageBoxW(nullptr, Widen(text).c_str(), L"Quorvel",
                MB_OK | MB_SETFOREGROUND | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}
