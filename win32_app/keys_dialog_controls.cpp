#include "win32_app/keys_dialog_controls.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <stdexcept>

#include "keymap/key_map_words.h"
#include "keys_window/binding_fields.h"
#include "keys_window/keys_view.h"
#include "text/wide_text.h"
#include "win32_app/window_dpi.h"

namespace {

constexpr int LabelId = -1;
// Pixels at 96 dpi.
constexpr int LeastRowHeight = 23;
constexpr int TableColumnWidth = 80;

void AddChoice(HWND combo, std::string_view text, LPARAM data = 0) {
    const LRESULT index =
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
    SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), data);
}

void CueBanner(HWND control, UINT message, const wchar_t* text) {
    SendMessageW(control, message, message == EM_SETCUEBANNER ? TRUE : 0,
                 reinterpret_cast<LPARAM>(text));
}

// The font dialogs use, for dpi.
LOGFONTW MessageFont(UINT dpi) {
    static const auto forDpi =
        User32Function<BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT)>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (forDpi != nullptr && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
        return metrics.lfMessageFont;
    }
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi),
                                            static_cast<int>(ScreenDpi()));
    return metrics.lfMessageFont;
}

}  // namespace

KeysDialogControls::KeysDialogControls(HWND dialog, HINSTANCE instance)
    : dialog_(dialog), instance_(instance) {
    comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    IAccPropServices* annotations = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IAccPropServices, reinterpret_cast<void**>(&annotations)))) {
        annotations_ = annotations;
    }
    try {
        MakeTable();
        MakeFields();
        MakeButtons();
    } catch (...) {
        Free();
        throw;
    }
}

KeysDialogControls::~KeysDialogControls() {
    Free();
}

void KeysDialogControls::Free() {
    if (auto* annotations = static_cast<IAccPropServices*>(annotations_)) {
        for (HWND control : named_) {
            const MSAAPROPID name = PROPID_ACC_NAME;
            annotations->ClearHwndProps(control, OBJID_CLIENT, CHILDID_SELF, &name, 1);
        }
        annotations->Release();
        annotations_ = nullptr;
    }
    if (comInitialized_) {
        CoUninitialize();
        comInitialized_ = false;
    }
    DeleteObject(font_);
    DeleteObject(bold_);
    font_ = bold_ = nullptr;
}

HWND KeysDialogControls::Make(const wchar_t* windowClass, const std::string& text, DWORD style,
                              int id, DWORD exStyle) {
    const HWND control = CreateWindowExW(
        exStyle, windowClass, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
        dialog_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (control == nullptr) {
        throw std::runtime_error("cannot make the keys window's controls (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    return control;
}

KeysDialogControls::Field KeysDialogControls::MakeField(const std::string& label,
                                                        const wchar_t* windowClass, DWORD style,
                                                        int id) {
    Field field;
    field.label = Make(WC_STATICW, label, SS_LEFT, LabelId);
    const bool edit = std::wstring_view(windowClass) == WC_EDITW;
    field.control =
        Make(windowClass, {}, WS_TABSTOP | style, id,
             edit || std::wstring_view(windowClass) == WC_LISTVIEWW ? WS_EX_CLIENTEDGE : 0);
    field.dropDown = std::wstring_view(windowClass) == WC_COMBOBOXW;
    // The label's words, without its mnemonic, unit and colon.
    std::string name = label;
    std::erase(name, '&');
    Name(field.control, name.substr(0, std::min(name.find(" ("), name.find(':'))));
    return field;
}

KeysDialogControls::Field KeysDialogControls::MakeNumber(const std::string& label, int id, int low,
                                                         int high, int value) {
    Field field = MakeField(label, WC_EDITW, ES_NUMBER | ES_AUTOHSCROLL, id);
    field.arrows =
        Make(UPDOWN_CLASSW, {}, UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, LabelId);
    SendMessageW(field.arrows, UDM_SETBUDDY, reinterpret_cast<WPARAM>(field.control), 0);
    SendMessageW(field.arrows, UDM_SETRANGE32, static_cast<WPARAM>(low), high);
    field.low = low;
    field.high = high;
    SetNumber(field, value);
    return field;
}

void KeysDialogControls::MakeTable() {
    readOnly = Make(WC_EDITW, {}, ES_MULTILINE | ES_READONLY | WS_TABSTOP, ReadOnlyId);
    Name(readOnly, "Read only");
    search = MakeField("S&earch:", WC_EDITW, ES_AUTOHSCROLL, SearchId);
    CueBanner(search.control, EM_SETCUEBANNER, L"Search keys and actions");
    table = MakeField("&Bindings:", WC_LISTVIEWW,
                      LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, TableId);
    SendMessageW(table.control, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_INFOTIP | LVS_EX_DOUBLEBUFFER);
    const std::array<const wchar_t*, 5> columns = {L"Key", L"Gesture", L"Action", L"Options",
                                                   L"Note"};
    for (std::size_t i = 0; i < columns.size(); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<wchar_t*>(columns[i]);
        column.cx = TableColumnWidth;
        SendMessageW(table.control, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    mistakes = Make(WC_EDITW, {}, ES_MULTILINE | ES_READONLY | WS_TABSTOP | WS_VSCROLL, MistakesId);
    Name(mistakes, "Mistakes");
}

void KeysDialogControls::MakeFields() {
    key = MakeField("&Key:", WC_COMBOBOXW, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL, KeyId);
    for (const std::string& name : binding_fields::KeyChoices()) {
        AddChoice(key.control, name);
    }
    CueBanner(key.control, CB_SETCUEBANNER, L"KEY_PLAYPAUSE, 42, 0x2a or scan:0x800f0422");
    learn = Make(WC_BUTTONW, "&Learn…", BS_PUSHBUTTON | WS_TABSTOP, LearnId);
    gesture = MakeField("&Gesture:", WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL, GestureId);
    for (const auto& [text, kind] : binding_fields::GestureChoices()) {
        AddChoice(gesture.control, text, static_cast<LPARAM>(kind));
    }
    SendMessageW(gesture.control, CB_SETCURSEL, 0, 0);
    action = MakeField("&Action:", WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL, ActionId);
    for (const auto& [text, value] : binding_fields::ActionChoices()) {
        AddChoice(action.control, text, value);
    }
    SendMessageW(action.control, CB_SETCURSEL, 0, 0);
    section = MakeField("Sect&ion:", WC_COMBOBOXW, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL,
                        SectionId);
    CueBanner(section.control, CB_SETCUEBANNER, L"Defaults, player=vlc or mode=tv");

    seconds = MakeNumber("Seco&nds (s):", SecondsId, 1, KeysView::LongestSeek, DefaultSeekSeconds);
    command = MakeField("&Command:", WC_EDITW, ES_AUTOHSCROLL, CommandId);
    mode = MakeField("&Mode:", WC_COMBOBOXW, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL, ModeId);
    CueBanner(mode.control, CB_SETCUEBANNER, L"Empty: back to no mode");
    timeout = MakeNumber("&Time-out (s, 0: none):", TimeoutId, 0, KeysView::LongestModeTimeout, 0);
    delay = MakeNumber("Dela&y (ms):", DelayId, 0, HoldShape::LongestDelayMs, 0);
    gap = MakeNumber("Ga&p (ms):", GapId, 1, KeysView::LongestGap, KeyMap::DefaultGapMs);
    every = MakeNumber("Every (repeats):", EveryId, 1, HoldShape::LargestEvery, 1);
    once = Make(WC_BUTTONW, "&Once a hold", BS_AUTOCHECKBOX | WS_TABSTOP, OnceId);
    accel = Make(WC_BUTTONW, "Accelerate", BS_AUTOCHECKBOX | WS_TABSTOP, AccelId);
    prompt = Make(WC_STATICW, {}, SS_LEFT | SS_NOPREFIX, PromptId);
    Name(prompt, "Learning");
    why = Make(WC_STATICW, {}, SS_LEFT | SS_NOPREFIX, WhyId);
    Name(why, "Why not");
}

void KeysDialogControls::MakeButtons() {
    for (const auto& [text, id] :
         std::initializer_list<std::pair<const char*, int>>{{"A&dd", AddId},
                                                            {"C&hange", ChangeId},
                                                            {"Mo&ve", MoveId},
                                                            {"&Remove", RemoveId},
                                                            {"Add section", AddSectionId},
                                                            {"Remove section", RemoveSectionId}}) {
        edits.push_back(Make(WC_BUTTONW, text, BS_PUSHBUTTON | WS_TABSTOP, id));
    }
    save = Make(WC_BUTTONW, "&Save", BS_DEFPUSHBUTTON | WS_TABSTOP, SaveId);
    cancel = Make(WC_BUTTONW, "Cancel", BS_PUSHBUTTON | WS_TABSTOP, CancelId);
    SendMessageW(dialog_, DM_SETDEFID, SaveId, 0);
}

void KeysDialogControls::Name(HWND control, const std::string& name) {
    auto* annotations = static_cast<IAccPropServices*>(annotations_);
    if (annotations != nullptr &&
        SUCCEEDED(annotations->SetHwndPropStr(control, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME,
                                              Widen(name).c_str()))) {
        named_.push_back(control);
    }
}

void KeysDialogControls::Scale(UINT dpi) {
    dpi_ = dpi;
    LOGFONTW face = MessageFont(dpi);
    const HFONT font = CreateFontIndirectW(&face);
    face.lfWeight = FW_BOLD;
    const HFONT bold = CreateFontIndirectW(&face);
    EnumChildWindows(
        dialog_,
        [](HWND control, LPARAM font) {
            SendMessageW(control, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(font));
    DeleteObject(font_);
    DeleteObject(bold_);
    font_ = font;
    bold_ = bold;
    const HDC dc = GetDC(dialog_);
    const HGDIOBJ before = SelectObject(dc, font_);
    TEXTMETRICW measures{};
    GetTextMetricsW(dc, &measures);
    SelectObject(dc, before);
    ReleaseDC(dialog_, dc);
    rowHeight_ = std::max<int>(Scaled(LeastRowHeight, dpi), measures.tmHeight + Scaled(8, dpi));
}

int KeysDialogControls::TextWidth(const std::string& text, HFONT font) const {
    std::wstring wide = Widen(text);
    std::erase(wide, L'&');
    const HDC dc = GetDC(dialog_);
    const HGDIOBJ before = SelectObject(dc, font != nullptr ? font : font_);
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc, before);
    ReleaseDC(dialog_, dc);
    return size.cx;
}

int KeysDialogControls::TextHeight(const std::string& text, int width) const {
    const std::wstring wide = Widen(text);
    const HDC dc = GetDC(dialog_);
    const HGDIOBJ before = SelectObject(dc, font_);
    RECT bounds{0, 0, width, 0};
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &bounds,
              DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    SelectObject(dc, before);
    ReleaseDC(dialog_, dc);
    return bounds.bottom;
}

int KeysDialogControls::Number(const Field& field) const {
    wchar_t wide[32] = {};
    GetWindowTextW(field.control, wide, 32);
    const std::string text(key_map_words::Trimmed(Narrow(wide)));
    int value = field.low;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return std::clamp(value, field.low, field.high);
}

void KeysDialogControls::SetNumber(const Field& field, int value) const {
    SendMessageW(field.arrows, UDM_SETPOS32, 0, std::clamp(value, field.low, field.high));
}

void KeysDialogControls::Show(const Field& field, bool shown) {
    for (HWND control : {field.label, field.control, field.arrows}) {
        if (control != nullptr) {
            ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
        }
    }
}
