#include "win32_app/keys_dialog.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <set>
#include <stdexcept>

#include "hid/media_keys.h"
#include "keymap/key_list_text.h"
#include "keymap/key_map_words.h"
#include "keys_window/window_state.h"
#include "program/app_log.h"
#include "text/wide_text.h"
#include "win32_app/window_dpi.h"

namespace {

constexpr DWORD DialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                              WS_MAXIMIZEBOX | WS_CLIPCHILDREN;
// A button on the taskbar, though the history window owns it.
constexpr DWORD DialogExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
constexpr int LabelId = -1;
constexpr LPARAM NothingAction = static_cast<LPARAM>(LastAction) + 1;
constexpr LPARAM HeadingRow = -1;
constexpr int LongestSeek = 3600;
constexpr int LongestModeTimeout = 86400;
constexpr int LongestGap = 5000;
constexpr const char* Defaults = "Defaults";
enum Column { KeyColumn, GestureColumn, ActionColumn, OptionsColumn, NoteColumn };
// Pixels at 96 dpi.
constexpr int Margin = 11;
constexpr int Spacing = 6;
constexpr int RowHeight = 23;
constexpr int ButtonWidth = 75;
constexpr int ArrowsWidth = 17;
constexpr int DropDownHeight = 240;
constexpr int MistakeLines = 4;

// A dialog template without controls or font: the dialog makes and lays out its own.
struct EmptyTemplate {
    DLGTEMPLATE dialog;
    WORD menu;
    WORD windowClass;
    WORD title;
};

std::string TextOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

std::string TrimmedText(HWND control) {
    return std::string(key_map_words::Trimmed(TextOf(control)));
}

void SetText(HWND control, const std::string& text) {
    SetWindowTextW(control, Widen(text).c_str());
}

// Whether the control is shown while its dialog is.
bool Shown(HWND control) {
    return (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Place(HWND control, int x, int y, int width, int height) {
    SetWindowPos(control, nullptr, x, y, std::max(width, 0), std::max(height, 0),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void AddChoice(HWND combo, std::string_view text, LPARAM data = 0) {
    const LRESULT index =
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
    SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), data);
}

// The data of the choice made, or CB_ERR.
LPARAM Chosen(HWND combo) {
    const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? CB_ERR : SendMessageW(combo, CB_GETITEMDATA, index, 0);
}

void Choose(HWND combo, LPARAM data) {
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        if (SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == data) {
            SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
            return;
        }
    }
}

std::string SectionTitle(const KeySection& section) {
    return section == KeySection{} ? Defaults : SectionHeader(section);
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

KeysDialog::KeysDialog(HINSTANCE instance, HWND owner, Setup setup)
    : setup_(std::move(setup)), editor_(setup_.keysOption), instance_(instance) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    alignas(4) EmptyTemplate empty{};
    empty.dialog.style = DialogStyle;
    empty.dialog.dwExtendedStyle = DialogExStyle;
    if (CreateDialogIndirectParamW(instance, &empty.dialog, owner, DialogProc,
                                   reinterpret_cast<LPARAM>(this)) == nullptr) {
        throw std::runtime_error("cannot make the keys window (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    try {
        Open(owner);
    } catch (...) {
        SetWindowLongPtrW(dialog_, DWLP_USER, 0);
        DestroyWindow(dialog_);
        dialog_ = nullptr;
        Free();
        throw;
    }
}

void KeysDialog::Open(HWND owner) {
    SetWindowTextW(dialog_, Title);
    if (const auto icon = static_cast<LPARAM>(GetClassLongPtrW(owner, GCLP_HICON))) {
        SendMessageW(dialog_, WM_SETICON, ICON_BIG, icon);
        SendMessageW(dialog_, WM_SETICON, ICON_SMALL, icon);
    }
    // Its own layout at every scale: none of the dialog manager's (Windows 10 1703 on).
    static const auto dpiBehavior =
        User32Function<BOOL(WINAPI*)(HWND, DIALOG_DPI_CHANGE_BEHAVIORS,
                                     DIALOG_DPI_CHANGE_BEHAVIORS)>("SetDialogDpiChangeBehavior");
    if (dpiBehavior != nullptr) {
        dpiBehavior(dialog_, DDC_DISABLE_ALL, DDC_DISABLE_ALL);
    }
    comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    IAccPropServices* annotations = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IAccPropServices, reinterpret_cast<void**>(&annotations)))) {
        annotations_ = annotations;
    }
    MakeControls();

    const std::optional<WindowSize> kept =
        setup_.statePath.empty() ? std::nullopt : ReadKeysWindowSize(setup_.statePath);
    if (kept) {
        normal_ = {std::max<LONG>(kept->width, MinimumSize.cx),
                   std::max<LONG>(kept->height, MinimumSize.cy)};
    }
    // Centred on the history window's monitor, at its scale.
    const UINT dpi = WindowDpi(owner);
    Scale(dpi);
    const SIZE frame = FrameSize({Scaled(normal_.cx, dpi), Scaled(normal_.cy, dpi)}, DialogStyle,
                                 DialogExStyle, dpi);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    SetWindowPos(dialog_, nullptr,
                 std::max(work.left, work.left + (work.right - work.left - frame.cx) / 2),
                 std::max(work.top, work.top + (work.bottom - work.top - frame.cy) / 2), frame.cx,
                 frame.cy, SWP_NOZORDER | SWP_NOACTIVATE);

    Fill({});
    ShowFields();
    Say(prompt_, {});
    Say(why_, {});
    ShowWindow(dialog_, SW_SHOW);
    SetForegroundWindow(dialog_);
    SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(search_.control), TRUE);
}

KeysDialog::~KeysDialog() {
    if (dialog_ != nullptr) {
        DestroyWindow(dialog_);
    }
    Free();
}

void KeysDialog::Free() {
    // The receiver holds no handler of a dialog gone.
    if (setup_.capture != nullptr) {
        setup_.capture->Disarm();
    }
    if (annotations_ != nullptr) {
        static_cast<IAccPropServices*>(annotations_)->Release();
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

void KeysDialog::Raise() const {
    if (IsIconic(dialog_)) {
        ShowWindow(dialog_, SW_RESTORE);
    }
    ShowWindow(dialog_, SW_SHOW);
    SetForegroundWindow(dialog_);
}

bool KeysDialog::Translate(MSG& message) const {
    return dialog_ != nullptr && IsDialogMessageW(dialog_, &message);
}

HWND KeysDialog::Make(const wchar_t* windowClass, const std::string& text, DWORD style, int id,
                      DWORD exStyle) {
    const HWND control = CreateWindowExW(
        exStyle, windowClass, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
        dialog_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    if (control == nullptr) {
        throw std::runtime_error("cannot make the keys window's controls (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    return control;
}

KeysDialog::Field KeysDialog::MakeField(const std::string& label, const wchar_t* windowClass,
                                        DWORD style, int id) {
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

KeysDialog::Field KeysDialog::MakeNumber(const std::string& label, int id, int low, int high,
                                         int value) {
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

void KeysDialog::MakeControls() {
    // Made in the order Tab visits them; each field's label just before it.
    readOnly_ = Make(WC_EDITW, {}, ES_MULTILINE | ES_READONLY | WS_TABSTOP, ReadOnlyId);
    Name(readOnly_, "Read only");
    search_ = MakeField("S&earch:", WC_EDITW, ES_AUTOHSCROLL, SearchId);
    SendMessageW(search_.control, EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(L"Search keys and actions"));
    table_ = MakeField("&Bindings:", WC_LISTVIEWW,
                       LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, TableId);
    SendMessageW(table_.control, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
    const std::array<const wchar_t*, 5> columns = {L"Key", L"Gesture", L"Action", L"Options",
                                                   L"Note"};
    for (std::size_t i = 0; i < columns.size(); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<wchar_t*>(columns[i]);
        column.cx = 80;
        SendMessageW(table_.control, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    mistakes_ =
        Make(WC_EDITW, {}, ES_MULTILINE | ES_READONLY | WS_TABSTOP | WS_VSCROLL, MistakesId);
    Name(mistakes_, "Mistakes");

    key_ = MakeField("&Key:", WC_COMBOBOXW, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL, KeyId);
    std::set<std::string_view> names;
    for (const MediaKey& media : MediaKeys) {
        names.insert(media.name);
    }
    for (const std::string_view name : names) {
        AddChoice(key_.control, name);
    }
    SendMessageW(key_.control, CB_SETCUEBANNER, 0,
                 reinterpret_cast<LPARAM>(L"KEY_PLAYPAUSE, 42, 0x2a or scan:0x800f0422"));
    learn_ = Make(WC_BUTTONW, "&Learn…", BS_PUSHBUTTON | WS_TABSTOP, LearnId);
    gesture_ = MakeField("&Gesture:", WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL, GestureId);
    for (const KeyMap::Kind kind :
         {KeyMap::Kind::Press, KeyMap::Kind::Held, KeyMap::Kind::Double, KeyMap::Kind::Long}) {
        AddChoice(gesture_.control, KeyMapDocument::GestureText(kind), static_cast<LPARAM>(kind));
    }
    SendMessageW(gesture_.control, CB_SETCURSEL, 0, 0);
    action_ = MakeField("&Action:", WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL, ActionId);
    for (int i = 0; i <= static_cast<int>(LastAction); ++i) {
        AddChoice(action_.control, ActionName(static_cast<PlayerAction>(i)), i);
    }
    AddChoice(action_.control, key_map_words::Nothing, NothingAction);
    SendMessageW(action_.control, CB_SETCURSEL, 0, 0);
    section_ = MakeField("Sect&ion:", WC_COMBOBOXW, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL,
                         SectionId);
    SendMessageW(section_.control, CB_SETCUEBANNER, 0,
                 reinterpret_cast<LPARAM>(L"Defaults, player=vlc or mode=tv"));

    seconds_ = MakeNumber("Seco&nds (s):", SecondsId, 1, LongestSeek, DefaultSeekSeconds);
    command_ = MakeField("&Command:", WC_EDITW, ES_AUTOHSCROLL, CommandId);
    mode_ = MakeField("&Mode:", WC_COMBOBOXW, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL, ModeId);
    SendMessageW(mode_.control, CB_SETCUEBANNER, 0,
                 reinterpret_cast<LPARAM>(L"Empty: back to no mode"));
    timeout_ = MakeNumber("&Time-out (s, 0: none):", TimeoutId, 0, LongestModeTimeout, 0);
    delay_ = MakeNumber("Dela&y (ms):", DelayId, 0, HoldShape::LongestDelayMs, 0);
    gap_ = MakeNumber("Ga&p (ms):", GapId, 1, LongestGap, KeyMap::DefaultGapMs);
    every_ = MakeNumber("Every (repeats):", EveryId, 1, HoldShape::LargestEvery, 1);
    once_ = Make(WC_BUTTONW, "&Once a hold", BS_AUTOCHECKBOX | WS_TABSTOP, OnceId);
    accel_ = Make(WC_BUTTONW, "Accelerate", BS_AUTOCHECKBOX | WS_TABSTOP, AccelId);
    prompt_ = Make(WC_STATICW, {}, SS_LEFT | SS_NOPREFIX, PromptId);
    Name(prompt_, "Learning");
    why_ = Make(WC_STATICW, {}, SS_LEFT | SS_NOPREFIX, WhyId);
    Name(why_, "Why not");

    for (const auto& [text, id] :
         std::initializer_list<std::pair<const char*, int>>{{"A&dd", AddId},
                                                            {"C&hange", ChangeId},
                                                            {"Mo&ve", MoveId},
                                                            {"&Remove", RemoveId},
                                                            {"Add section", AddSectionId},
                                                            {"Remove section", RemoveSectionId}}) {
        edits_.push_back(Make(WC_BUTTONW, text, BS_PUSHBUTTON | WS_TABSTOP, id));
    }
    save_ = Make(WC_BUTTONW, "&Save", BS_PUSHBUTTON | WS_TABSTOP, SaveId);
    cancel_ = Make(WC_BUTTONW, "Cancel", BS_PUSHBUTTON | WS_TABSTOP, CancelId);

    const bool readOnly = !editor_.ReadOnlyWhy().empty();
    ShowWindow(readOnly_, readOnly ? SW_SHOW : SW_HIDE);
    SetText(readOnly_, "Read only: " + editor_.ReadOnlyWhy());
    for (int id = KeyId; readOnly && id < CancelId; ++id) {
        if (id != PromptId && id != WhyId) {
            EnableWindow(GetDlgItem(dialog_, id), FALSE);
        }
    }
    if (setup_.capture == nullptr) {
        EnableWindow(learn_, FALSE);
    }
}

void KeysDialog::Scale(UINT dpi) {
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
    rowHeight_ = std::max<int>(Scaled(RowHeight, dpi), measures.tmHeight + Scaled(8, dpi));
    Layout();
    SizeColumns();
    InvalidateRect(dialog_, nullptr, TRUE);
}

int KeysDialog::TextWidth(const std::string& text, HFONT font) const {
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

int KeysDialog::TextHeight(const std::string& text, int width) const {
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

void KeysDialog::Layout() {
    if (font_ == nullptr) {
        return;
    }
    RECT client;
    GetClientRect(dialog_, &client);
    const int margin = Scaled(Margin, dpi_);
    const int space = Scaled(Spacing, dpi_);
    const int row = rowHeight_;
    const int width = client.right - 2 * margin;
    const int labelDrop = (row - TextHeight("Ag", width)) / 2;
    const auto buttonWidth = [&](HWND button) {
        return std::max(Scaled(ButtonWidth, dpi_), TextWidth(TextOf(button)) + Scaled(20, dpi_));
    };

    // From the top: why the map is read only, the search, the table.
    int top = margin;
    if (Shown(readOnly_)) {
        const int height = TextHeight(TextOf(readOnly_), width - Scaled(8, dpi_));
        Place(readOnly_, margin, top, width, height);
        top += height + space;
    }
    const int searchWidth = std::min(width / 2, Scaled(320, dpi_));
    const int searchLabel = TextWidth(TextOf(search_.label)) + space;
    Place(table_.label, margin, top + labelDrop, width - searchWidth - searchLabel, row);
    Place(search_.label, margin + width - searchWidth - searchLabel, top + labelDrop, searchLabel,
          row);
    Place(search_.control, margin + width - searchWidth, top, searchWidth, row);
    top += row + space;

    // From the bottom: Save and Cancel, the edits, what is said, the fields, the mistakes.
    int bottom = client.bottom - margin;
    int right = margin + width;
    for (HWND button : {cancel_, save_}) {
        right -= buttonWidth(button);
        Place(button, right, bottom - row, buttonWidth(button), row);
        right -= space;
    }
    bottom -= row + 2 * space;
    int left = margin;
    for (std::size_t i = 0; i < 4; ++i) {
        Place(edits_[i], left, bottom - row, buttonWidth(edits_[i]), row);
        left += buttonWidth(edits_[i]) + space;
    }
    right = margin + width;
    for (std::size_t i = edits_.size(); i-- > 4;) {
        right -= buttonWidth(edits_[i]);
        Place(edits_[i], right, bottom - row, buttonWidth(edits_[i]), row);
        right -= space;
    }
    bottom -= row + space;
    for (HWND line : {why_, prompt_}) {
        if (Shown(line)) {
            const int height = TextHeight(TextOf(line), width);
            Place(line, margin, bottom - height, width, height);
            bottom -= height + space;
        }
    }

    // Two columns: the binding's key, gesture, action and section; what they need.
    const std::array<const Field*, 4> leftFields = {&key_, &gesture_, &action_, &section_};
    std::vector<const Field*> rightFields;
    for (const Field* field : {&seconds_, &command_, &mode_, &timeout_, &delay_, &gap_, &every_}) {
        if (Shown(field->control)) {
            rightFields.push_back(field);
        }
    }
    const int checks = Shown(once_) ? 1 : 0;
    const int rows = std::max<int>(4, static_cast<int>(rightFields.size()) + checks);
    bottom -= rows * (row + space) + space;
    const int column = (width - 3 * space) / 2;
    const auto labelsWidth = [&](const auto& fields) {
        int widest = 0;
        for (const Field* field : fields) {
            widest = std::max(widest, TextWidth(TextOf(field->label)));
        }
        return widest + space;
    };
    const auto place = [&](const Field& field, int x, int y, int labels, int fieldWidth) {
        Place(field.label, x, y + labelDrop, labels, row);
        const int arrows = field.arrows != nullptr ? Scaled(ArrowsWidth, dpi_) : 0;
        Place(field.control, x + labels, y, fieldWidth - labels - arrows,
              field.dropDown ? row + Scaled(DropDownHeight, dpi_) : row);
        if (field.arrows != nullptr) {
            Place(field.arrows, x + fieldWidth - arrows, y, arrows, row);
        }
    };
    int y = bottom + space;
    const int leftLabels = labelsWidth(leftFields);
    const int learnWidth = buttonWidth(learn_);
    for (const Field* field : leftFields) {
        place(*field, margin, y, leftLabels, column - (field == &key_ ? learnWidth + space : 0));
        y += row + space;
    }
    Place(learn_, margin + column - learnWidth, bottom + space, learnWidth, row);
    const int rightAt = margin + column + 3 * space;
    const int rightLabels = labelsWidth(rightFields);
    y = bottom + space;
    for (const Field* field : rightFields) {
        place(*field, rightAt, y, rightLabels, width + margin - rightAt);
        y += row + space;
    }
    const int onceWidth = TextWidth(TextOf(once_)) + Scaled(24, dpi_);
    Place(once_, rightAt + rightLabels, y, onceWidth, row);
    Place(accel_, rightAt + rightLabels + onceWidth + space, y,
          TextWidth(TextOf(accel_)) + Scaled(24, dpi_), row);

    if (Shown(mistakes_)) {
        const int height = std::min(TextHeight(TextOf(mistakes_), width - Scaled(24, dpi_)),
                                    MistakeLines * TextHeight("Ag", width)) +
                           Scaled(4, dpi_);
        bottom -= height + space;
        Place(mistakes_, margin, bottom, width, height);
    }
    Place(table_.control, margin, top, width, bottom - space - top);
    // What moved leaves nothing of itself where it was.
    RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void KeysDialog::Fill(const std::string& selected) {
    const KeyMapDocument& document = editor_.Document();
    for (const Field* field : {&section_, &mode_}) {
        const std::string shown = TextOf(field->control);
        SendMessageW(field->control, CB_RESETCONTENT, 0, 0);
        SetText(field->control, shown);
    }
    AddChoice(mode_.control, "");
    std::set<std::string> modes;
    for (const KeySection& section : document.Sections()) {
        AddChoice(section_.control, SectionTitle(section));
        if (!section.mode.empty() && modes.insert(section.mode).second) {
            AddChoice(mode_.control, section.mode);
        }
    }
    if (TextOf(section_.control).empty()) {
        SetText(section_.control, Defaults);
    }

    std::string problems;
    for (const std::string& problem : editor_.Problems()) {
        problems += "\r\n" + problem;
    }
    SetText(mistakes_, "Not saved while the map has mistakes:" + problems);
    ShowWindow(mistakes_, !problems.empty() && editor_.ReadOnlyWhy().empty() ? SW_SHOW : SW_HIDE);

    selected_ = -1;
    for (std::size_t i = 0; i < document.Rows().size(); ++i) {
        if (document.Rows()[i].line >= 0 && document.Rows()[i].text == selected) {
            selected_ = static_cast<int>(i);
        }
    }
    Filter();
    Layout();
}

void KeysDialog::Filter() {
    const KeyMapDocument& document = editor_.Document();
    const std::string search = TrimmedText(search_.control);
    const HWND table = table_.control;
    filling_ = true;
    SendMessageW(table, WM_SETREDRAW, FALSE, 0);
    SendMessageW(table, LVM_DELETEALLITEMS, 0, 0);
    int items = 0;
    int select = -1;
    const auto add = [&](LPARAM data, const std::array<std::string, 5>& texts) {
        const std::wstring first = Widen(texts[0]);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = items++;
        item.pszText = const_cast<wchar_t*>(first.c_str());
        item.lParam = data;
        const auto index = static_cast<WPARAM>(
            SendMessageW(table, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        for (int column = GestureColumn; column <= NoteColumn; ++column) {
            const std::wstring text = Widen(texts[static_cast<std::size_t>(column)]);
            item.iSubItem = column;
            item.pszText = const_cast<wchar_t*>(text.c_str());
            SendMessageW(table, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
        }
        if (data == selected_ && data != HeadingRow) {
            select = static_cast<int>(index);
        }
    };
    const auto addRow = [&](std::size_t i) {
        const KeyMapDocument::Row& row = document.Rows()[i];
        if (!KeyMapDocument::Matches(row, search)) {
            return;
        }
        if (row.binding) {
            add(static_cast<LPARAM>(i),
                {KeyMapDocument::KeysText(*row.binding),
                 std::string(KeyMapDocument::GestureText(row.binding->kind)),
                 KeyMapDocument::ActionWords(*row.binding),
                 KeyMapDocument::OptionsText(*row.binding), KeyMapDocument::NoteText(row)});
        } else {
            add(static_cast<LPARAM>(i), {"", "", row.text, "", KeyMapDocument::NoteText(row)});
        }
    };
    for (const KeySection& section : document.Sections()) {
        add(HeadingRow, {SectionTitle(section)});
        for (std::size_t i = 0; i < document.Rows().size(); ++i) {
            if (document.Rows()[i].line >= 0 && document.Rows()[i].section == section) {
                addRow(i);
            }
        }
    }
    bool builtIn = false;
    for (std::size_t i = 0; i < document.Rows().size(); ++i) {
        if (document.Rows()[i].line < 0) {
            if (!builtIn) {
                add(HeadingRow, {"Built in"});
                builtIn = true;
            }
            addRow(i);
        }
    }
    SizeColumns();
    if (select >= 0) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = state.stateMask;
        SendMessageW(table, LVM_SETITEMSTATE, static_cast<WPARAM>(select),
                     reinterpret_cast<LPARAM>(&state));
        SendMessageW(table, LVM_ENSUREVISIBLE, static_cast<WPARAM>(select), FALSE);
    }
    SendMessageW(table, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(table, nullptr, TRUE);
    filling_ = false;
}

void KeysDialog::SizeColumns() {
    if (font_ == nullptr) {
        return;
    }
    const HWND table = table_.control;
    const auto width = [&](int column) {
        return static_cast<int>(
            SendMessageW(table, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
    };
    // As wide as its widest text and its header's, the headings' in bold in the first.
    int headings = 0;
    const int count = static_cast<int>(SendMessageW(table, LVM_GETITEMCOUNT, 0, 0));
    for (int item = 0; item < count; ++item) {
        wchar_t text[256] = {};
        LVITEMW data{};
        data.mask = LVIF_PARAM | LVIF_TEXT;
        data.iItem = item;
        data.pszText = text;
        data.cchTextMax = 256;
        SendMessageW(table, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
        if (data.lParam == HeadingRow) {
            headings = std::max(headings, TextWidth(Narrow(text), bold_));
        }
    }
    int total = 0;
    for (int column = KeyColumn; column <= NoteColumn; ++column) {
        wchar_t header[32] = {};
        LVCOLUMNW data{};
        data.mask = LVCF_TEXT;
        data.pszText = header;
        data.cchTextMax = 32;
        SendMessageW(table, LVM_GETCOLUMNW, static_cast<WPARAM>(column),
                     reinterpret_cast<LPARAM>(&data));
        SendMessageW(table, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), LVSCW_AUTOSIZE);
        const int padding = Scaled(16, dpi_);
        int wanted = std::max(width(column), TextWidth(Narrow(header), font_) + padding);
        if (column == KeyColumn) {
            wanted = std::max(wanted, headings + padding);
        }
        if (column == NoteColumn) {
            // The last fills what is left, beside the scroll bar the rows are to have.
            RECT client;
            GetClientRect(table, &client);
            if ((GetWindowLongW(table, GWL_STYLE) & WS_VSCROLL) == 0 &&
                count > SendMessageW(table, LVM_GETCOUNTPERPAGE, 0, 0)) {
                client.right -= Scaled(GetSystemMetrics(SM_CXVSCROLL), dpi_) * 96 /
                                static_cast<int>(ScreenDpi());
            }
            wanted = std::max<int>(wanted, client.right - total);
        }
        SendMessageW(table, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), wanted);
        total += wanted;
    }
}

const KeyMapDocument::Row* KeysDialog::Selected() const {
    const LRESULT item =
        SendMessageW(table_.control, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (item < 0) {
        return nullptr;
    }
    LVITEMW data{};
    data.mask = LVIF_PARAM;
    data.iItem = static_cast<int>(item);
    SendMessageW(table_.control, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
    const auto& rows = editor_.Document().Rows();
    return data.lParam >= 0 && static_cast<std::size_t>(data.lParam) < rows.size()
               ? &rows[static_cast<std::size_t>(data.lParam)]
               : nullptr;
}

void KeysDialog::ShowRow() {
    const KeyMapDocument::Row* row = Selected();
    if (row == nullptr || !row->binding) {
        return;
    }
    const KeyMap::Line& binding = *row->binding;
    SetText(key_.control, KeyListText(binding.keys));
    Choose(gesture_.control, static_cast<LPARAM>(binding.kind));
    const KeyMap::Binding& request = binding.binding;
    Choose(action_.control, request ? static_cast<LPARAM>(request->action) : NothingAction);
    if (request && request->action == PlayerAction::Mode) {
        SetText(mode_.control, request->command);
        SetNumber(timeout_, request->seconds);
    } else if (request && request->action == PlayerAction::Run) {
        SetText(command_.control, request->command);
    } else if (request && request->seconds != 0) {
        SetNumber(seconds_, request->seconds);
    }
    const HoldShape& hold = binding.hold;
    SetNumber(binding.kind == KeyMap::Kind::Double ? gap_ : delay_, hold.delayMs);
    SetNumber(every_, hold.every);
    SendMessageW(once_, BM_SETCHECK, hold.once ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(accel_, BM_SETCHECK, hold.accel ? BST_CHECKED : BST_UNCHECKED, 0);
    SetText(section_.control, SectionTitle(binding.section));
    Say(why_, {});
    ShowFields();
}

void KeysDialog::ShowFields() {
    const LPARAM action = Chosen(action_.control);
    const auto kind = static_cast<KeyMap::Kind>(Chosen(gesture_.control));
    const bool seeks = action == static_cast<LPARAM>(PlayerAction::SeekForward) ||
                       action == static_cast<LPARAM>(PlayerAction::SeekBackward);
    const bool modes = action == static_cast<LPARAM>(PlayerAction::Mode);
    const bool held = kind == KeyMap::Kind::Held;
    const auto show = [](const Field& field, bool shown) {
        for (HWND control : {field.label, field.control, field.arrows}) {
            if (control != nullptr) {
                ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
            }
        }
    };
    show(seconds_, seeks);
    show(command_, action == static_cast<LPARAM>(PlayerAction::Run));
    show(mode_, modes);
    show(timeout_, modes);
    show(delay_, held || kind == KeyMap::Kind::Long);
    show(gap_, kind == KeyMap::Kind::Double);
    show(every_, held);
    ShowWindow(once_, held ? SW_SHOW : SW_HIDE);
    ShowWindow(accel_, held ? SW_SHOW : SW_HIDE);
    Layout();
}

int KeysDialog::Number(const Field& field) const {
    const std::string text = TrimmedText(field.control);
    int value = field.low;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return std::clamp(value, field.low, field.high);
}

void KeysDialog::SetNumber(const Field& field, int value) const {
    SendMessageW(field.arrows, UDM_SETPOS32, 0, std::clamp(value, field.low, field.high));
}

std::string KeysDialog::FieldsSection(KeySection& section) const {
    std::string text = TrimmedText(section_.control);
    section = {};
    if (text.empty() || text == Defaults) {
        return {};
    }
    if (!text.starts_with('[')) {
        text = "[" + text + "]";
    }
    return key_map_words::ParseSection(text, section);
}

KeyMap::Line KeysDialog::FieldsBinding(std::string& why) const {
    KeyMap::Line line;
    const std::string keys = TrimmedText(key_.control);
    why = keys.empty() ? "press Learn…, or type or pick a key" : ParseKeyList(keys, line.keys);
    line.kind = static_cast<KeyMap::Kind>(Chosen(gesture_.control));
    if (std::string section = FieldsSection(line.section); why.empty()) {
        why = std::move(section);
    }
    const LPARAM action = Chosen(action_.control);
    if (action != NothingAction) {
        PlayerRequest request(static_cast<PlayerAction>(action));
        if (request.action == PlayerAction::SeekForward ||
            request.action == PlayerAction::SeekBackward) {
            request.seconds = Number(seconds_);
        } else if (request.action == PlayerAction::Run) {
            request.command = TrimmedText(command_.control);
        } else if (request.action == PlayerAction::Mode) {
            request.command = TrimmedText(mode_.control);
            request.seconds = Number(timeout_);
        }
        line.binding = std::move(request);
    }
    if (line.kind == KeyMap::Kind::Held) {
        line.hold = {Number(delay_), Number(every_),
                     SendMessageW(once_, BM_GETCHECK, 0, 0) == BST_CHECKED,
                     SendMessageW(accel_, BM_GETCHECK, 0, 0) == BST_CHECKED};
    } else if (line.kind != KeyMap::Kind::Press) {
        line.hold.delayMs = Number(line.kind == KeyMap::Kind::Double ? gap_ : delay_);
    }
    return line;
}

void KeysDialog::Say(HWND line, const std::string& text) {
    SetText(line, text);
    ShowWindow(line, text.empty() ? SW_HIDE : SW_SHOW);
    Layout();
}

void KeysDialog::Edit(const std::function<std::string()>& edit) {
    const KeyMapDocument::Row* row = Selected();
    std::string selected = row != nullptr ? row->text : std::string();
    const std::string why = edit();
    Say(why_, why);
    if (!why.empty()) {
        return;
    }
    // The binding the fields say is selected where it went; else the row that was.
    std::string ignored;
    const KeyMap::Line fields = FieldsBinding(ignored);
    Fill(ignored.empty() ? editor_.Document().RowBinding(fields, selected) : selected);
}

void KeysDialog::AddSection() {
    KeySection section;
    const std::string why = FieldsSection(section);
    Edit([&] { return why.empty() ? editor_.Document().AddSection(section) : why; });
}

void KeysDialog::RemoveSection() {
    KeySection section;
    const std::string why = FieldsSection(section);
    Edit([&] { return why.empty() ? editor_.Document().RemoveSection(section) : why; });
    if (TextOf(why_).empty()) {
        SetText(section_.control, Defaults);
    }
}

void KeysDialog::Learn() {
    if (setup_.capture == nullptr) {
        return;
    }
    if (!recorder_.Listening()) {
        recorder_.Start();
    }
    // Disarm, at the latest when the dialog goes, ends the handler's calls; a message
    // posted to a dialog since closed is dropped with its window.
    setup_.capture->Arm([dialog = dialog_](const KeyEvent&) {
        if (!PostMessageW(dialog, LearntMessage, 0, 0)) {
            QUORVEL_WARNING(lcApp) << "keys window: a key learnt could not be handed over";
        }
    });
    Say(prompt_, recorder_.Prompt());
}

void KeysDialog::Took(const Key& key) {
    if (!recorder_.Listening()) {
        return;
    }
    recorder_.Took(key);
    if (recorder_.Listening()) {
        Learn();
        return;
    }
    if (recorder_.Current() == KeyRecorder::Step::Both) {
        recorder_.Answer(MessageBoxW(dialog_, Widen(recorder_.Prompt()).c_str(), Title,
                                     MB_YESNO | MB_ICONQUESTION) == IDYES);
    }
    StopLearning(false);
}

void KeysDialog::StopLearning(bool cancel) {
    if (setup_.capture != nullptr) {
        setup_.capture->Disarm();
    }
    if (cancel) {
        recorder_.Cancel();
    }
    if (recorder_.Current() == KeyRecorder::Step::Done) {
        SetText(key_.control, KeyListText(recorder_.Keys()));
    }
    Say(prompt_, recorder_.Prompt());
}

void KeysDialog::Save() {
    const bool saved = editor_.SaveAsking(
        [this](const std::string& question) {
            return MessageBoxW(dialog_, Widen(question).c_str(), Title,
                               MB_YESNO | MB_ICONQUESTION) == IDYES;
        },
        [this](const std::string& warning) {
            MessageBoxW(dialog_, Widen(warning).c_str(), Title, MB_OK | MB_ICONWARNING);
        },
        setup_.reload);
    if (saved) {
        Close();
    }
}

void KeysDialog::Close() {
    DestroyWindow(dialog_);
}

void KeysDialog::Closing() {
    if (setup_.capture != nullptr) {
        setup_.capture->Disarm();
    }
    if (annotations_ != nullptr) {
        for (HWND control : named_) {
            const MSAAPROPID name = PROPID_ACC_NAME;
            static_cast<IAccPropServices*>(annotations_)
                ->ClearHwndProps(control, OBJID_CLIENT, CHILDID_SELF, &name, 1);
        }
    }
    if (!setup_.statePath.empty()) {
        std::string problem;
        if (!SaveKeysWindowSize(setup_.statePath, {normal_.cx, normal_.cy}, problem)) {
            QUORVEL_WARNING(lcApp) << "keys window: its size is not kept: " << problem;
        }
    }
}

void KeysDialog::Name(HWND control, const std::string& name) {
    auto* annotations = static_cast<IAccPropServices*>(annotations_);
    if (annotations != nullptr &&
        SUCCEEDED(annotations->SetHwndPropStr(control, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME,
                                              Widen(name).c_str()))) {
        named_.push_back(control);
    }
}

void KeysDialog::Command(int id, int code) {
    switch (id) {
        case IDCANCEL:  // Esc: learning ends first
            if (recorder_.Listening()) {
                StopLearning(true);
            } else {
                Close();
            }
            return;
        case SearchId:
            if (code == EN_CHANGE) {
                const KeyMapDocument::Row* row = Selected();
                selected_ =
                    row != nullptr ? static_cast<int>(row - editor_.Document().Rows().data()) : -1;
                Filter();
            }
            return;
        case GestureId:
            if (code == CBN_SELCHANGE) {
                if (Chosen(gesture_.control) == static_cast<LPARAM>(KeyMap::Kind::Long) &&
                    Number(delay_) == 0) {
                    SetNumber(delay_, KeyMap::DefaultLongDelayMs);
                }
                ShowFields();
            }
            return;
        case ActionId:
            if (code == CBN_SELCHANGE) {
                ShowFields();
            }
            return;
        default:
            break;
    }
    if (code != BN_CLICKED) {
        return;
    }
    std::string why;
    switch (id) {
        case LearnId:
            Learn();
            break;
        case AddId: {
            const KeyMap::Line binding = FieldsBinding(why);
            Edit([&] { return why.empty() ? editor_.Document().Add(binding) : why; });
            break;
        }
        case ChangeId: {
            const KeyMap::Line binding = FieldsBinding(why);
            const KeyMapDocument::Row* row = Selected();
            Edit([&] {
                return !why.empty()     ? why
                       : row == nullptr ? std::string("choose a binding in the table first")
                       : row->line < 0  ? editor_.Document().Add(binding)  // overrides it
                                        : editor_.Document().Change(row->line, binding);
            });
            break;
        }
        case MoveId: {
            const KeyMapDocument::Row* row = Selected();
            KeySection section;
            why = FieldsSection(section);
            Edit([&] {
                if (row == nullptr || row->line < 0 || !row->binding) {
                    return std::string("choose a binding of the file in the table first");
                }
                KeyMap::Line moved = *row->binding;
                moved.section = section;
                return why.empty() ? editor_.Document().Change(row->line, moved) : why;
            });
            break;
        }
        case RemoveId: {
            const KeyMapDocument::Row* row = Selected();
            Edit([&] {
                return row == nullptr || row->line < 0
                           ? std::string("choose a binding of the file in the table first")
                           : editor_.Document().Remove(row->line);
            });
            break;
        }
        case AddSectionId:
            AddSection();
            break;
        case RemoveSectionId:
            RemoveSection();
            break;
        case SaveId:
            Save();
            break;
        case CancelId:
            Close();
            break;
        default:
            break;
    }
}

INT_PTR KeysDialog::Notify(NMHDR& header) {
    if (header.idFrom != static_cast<UINT_PTR>(TableId)) {
        return 0;
    }
    if (header.code == LVN_ITEMCHANGED) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if (!filling_ && (change.uChanged & LVIF_STATE) != 0 &&
            (change.uNewState & LVIS_SELECTED) != 0 && (change.uOldState & LVIS_SELECTED) == 0) {
            ShowRow();
        }
        return 0;
    }
    if (header.code != NM_CUSTOMDRAW) {
        return 0;
    }
    // The headings in bold; a mistake in red.
    auto& draw = reinterpret_cast<NMLVCUSTOMDRAW&>(header);
    const auto& rows = editor_.Document().Rows();
    const LPARAM row = draw.nmcd.lItemlParam;
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            SelectObject(draw.nmcd.hdc, row == HeadingRow ? bold_ : font_);
            return row >= 0 && static_cast<std::size_t>(row) < rows.size() &&
                           !rows[static_cast<std::size_t>(row)].problem.empty()
                       ? CDRF_NEWFONT | CDRF_NOTIFYSUBITEMDRAW
                       : CDRF_NEWFONT;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
            SelectObject(draw.nmcd.hdc, font_);
            draw.clrText =
                draw.iSubItem == NoteColumn ? RGB(192, 0, 0) : GetSysColor(COLOR_WINDOWTEXT);
            return CDRF_NEWFONT;
        default:
            return CDRF_DODEFAULT;
    }
}

INT_PTR CALLBACK KeysDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<KeysDialog*>(lParam);
        self->dialog_ = dialog;
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        return FALSE;  // the focus is set once the controls are made
    }
    auto* self = reinterpret_cast<KeysDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_COMMAND:
            self->Command(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_NOTIFY:
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT,
                              self->Notify(*reinterpret_cast<NMHDR*>(lParam)));
            return TRUE;
        case LearntMessage:
            if (self->setup_.capture != nullptr) {
                if (const std::optional<Key> key = self->setup_.capture->Collect()) {
                    self->Took(*key);
                }
            }
            return TRUE;
        case WM_SIZE:
            if (wParam == SIZE_RESTORED && self->font_ != nullptr) {
                self->normal_ = {MulDiv(LOWORD(lParam), 96, static_cast<int>(self->dpi_)),
                                 MulDiv(HIWORD(lParam), 96, static_cast<int>(self->dpi_))};
            }
            self->Layout();
            self->SizeColumns();
            return TRUE;
        case WM_GETMINMAXINFO: {
            const SIZE least =
                FrameSize({Scaled(MinimumSize.cx, self->dpi_), Scaled(MinimumSize.cy, self->dpi_)},
                          DialogStyle, DialogExStyle, self->dpi_);
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {least.cx, least.cy};
            return TRUE;
        }
        case WM_DPICHANGED: {
            // Moved to a monitor of another scale: Windows suggests the frame's new place.
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            self->dpi_ = HIWORD(wParam);
            SetWindowPos(dialog, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            self->Scale(HIWORD(wParam));
            return TRUE;
        }
        case WM_CLOSE:
            self->Close();
            return TRUE;
        case WM_DESTROY:
            self->Closing();
            return TRUE;
        case WM_NCDESTROY:
            SetWindowLongPtrW(dialog, DWLP_USER, 0);
            self->dialog_ = nullptr;
            return TRUE;
        default:
            return FALSE;
    }
}
