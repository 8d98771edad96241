#include "win32_app/keys_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "program/app_log.h"
#include "text/wide_text.h"
#include "win32_app/keys_dialog_layout.h"
#include "win32_app/window_dpi.h"

namespace {

constexpr DWORD DialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                              WS_MAXIMIZEBOX | WS_CLIPCHILDREN;
// A button on the taskbar of its own.
constexpr DWORD DialogExStyle = WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;

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

void SetText(HWND control, const std::string& text) {
    SetWindowTextW(control, Widen(text).c_str());
}

void AddChoice(HWND combo, std::string_view text) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
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

bool Checked(HWND box) {
    return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Check(HWND box, bool checked) {
    SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

// The work area of the monitor window is on (or nearest to).
RECT WorkArea(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

// The client size at 96 dpi that a frame filling work would have, at dpi.
WindowSize Room(const RECT& work, UINT dpi) {
    const SIZE frame = FrameSize({0, 0}, DialogStyle, DialogExStyle, dpi);
    return {MulDiv(work.right - work.left - frame.cx, 96, static_cast<int>(dpi)),
            MulDiv(work.bottom - work.top - frame.cy, 96, static_cast<int>(dpi))};
}

}  // namespace

KeysDialog::KeysDialog(HINSTANCE instance, HWND owner, Setup setup)
    : presenter_(*this, std::move(setup)), instance_(instance) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    alignas(4) EmptyTemplate empty{};
    empty.dialog.style = DialogStyle;
    empty.dialog.dwExtendedStyle = DialogExStyle;
    // Owned by nobody: an owned window goes when its owner is minimised.
    if (CreateDialogIndirectParamW(instance, &empty.dialog, nullptr, DialogProc,
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
        list_.reset();
        controls_.reset();
        throw;
    }
}

KeysDialog::~KeysDialog() {
    if (dialog_ != nullptr) {
        DestroyWindow(dialog_);
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
    controls_ = std::make_unique<KeysDialogControls>(dialog_, instance_);
    list_ = std::make_unique<KeysListView>(*controls_);

    // Centred on the history window's work area, at its scale, within it.
    const UINT dpi = WindowDpi(owner);
    const RECT work = WorkArea(owner);
    const WindowSize room = Room(work, dpi);
    const WindowSize least =
        FitWindowSize({MinimumSize.cx, MinimumSize.cy}, {MinimumSize.cx, MinimumSize.cy}, room);
    const WindowSize size = FitWindowSize(
        presenter_.KeptSize().value_or(WindowSize{DefaultSize.cx, DefaultSize.cy}), least, room);
    normal_ = {size.width, size.height};
    Scale(dpi);
    const SIZE frame = FrameSize({Scaled(normal_.cx, dpi), Scaled(normal_.cy, dpi)}, DialogStyle,
                                 DialogExStyle, dpi);
    SetWindowPos(dialog_, nullptr,
                 std::max(work.left, work.left + (work.right - work.left - frame.cx) / 2),
                 std::max(work.top, work.top + (work.bottom - work.top - frame.cy) / 2), frame.cx,
                 frame.cy, SWP_NOZORDER | SWP_NOACTIVATE);

    presenter_.Start();
    ShowWindow(dialog_, SW_SHOW);
    SetForegroundWindow(dialog_);
    SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(controls_->search.control), TRUE);
}

SIZE KeysDialog::Least() const {
    const WindowSize least =
        FitWindowSize({MinimumSize.cx, MinimumSize.cy}, {MinimumSize.cx, MinimumSize.cy},
                      Room(WorkArea(dialog_), controls_->Dpi()));
    return {least.width, least.height};
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

void KeysDialog::Layout() {
    if (controls_ != nullptr) {
        LayOutKeysDialog(dialog_, *controls_);
    }
}

void KeysDialog::Scale(UINT dpi) {
    controls_->Scale(dpi);
    Layout();
    list_->SizeColumns();
    InvalidateRect(dialog_, nullptr, TRUE);
}

KeysView::Fields KeysDialog::ReadFields() const {
    const KeysDialogControls& c = *controls_;
    Fields fields;
    fields.keys = TextOf(c.key.control);
    fields.gesture = static_cast<KeyMap::Kind>(Chosen(c.gesture.control));
    fields.action = static_cast<int>(Chosen(c.action.control));
    fields.seconds = c.Number(c.seconds);
    fields.command = TextOf(c.command.control);
    fields.mode = TextOf(c.mode.control);
    fields.timeout = c.Number(c.timeout);
    fields.delayMs = c.Number(c.delay);
    fields.gapMs = c.Number(c.gap);
    fields.every = c.Number(c.every);
    fields.once = Checked(c.once);
    fields.accel = Checked(c.accel);
    fields.section = TextOf(c.section.control);
    return fields;
}

void KeysDialog::SetFields(const Fields& fields) {
    const KeysDialogControls& c = *controls_;
    SetText(c.key.control, fields.keys);
    Choose(c.gesture.control, static_cast<LPARAM>(fields.gesture));
    Choose(c.action.control, fields.action);
    c.SetNumber(c.seconds, fields.seconds);
    SetText(c.command.control, fields.command);
    SetText(c.mode.control, fields.mode);
    c.SetNumber(c.timeout, fields.timeout);
    c.SetNumber(c.delay, fields.delayMs);
    c.SetNumber(c.gap, fields.gapMs);
    c.SetNumber(c.every, fields.every);
    Check(c.once, fields.once);
    Check(c.accel, fields.accel);
    SetText(c.section.control, fields.section);
}

void KeysDialog::ShowNeeded(const Needed& needed) {
    const KeysDialogControls& c = *controls_;
    KeysDialogControls::Show(c.seconds, needed.seconds);
    KeysDialogControls::Show(c.command, needed.command);
    KeysDialogControls::Show(c.mode, needed.mode);
    KeysDialogControls::Show(c.timeout, needed.mode);
    KeysDialogControls::Show(c.delay, needed.delay);
    KeysDialogControls::Show(c.gap, needed.gap);
    KeysDialogControls::Show(c.every, needed.hold);
    ShowWindow(c.once, needed.hold ? SW_SHOW : SW_HIDE);
    ShowWindow(c.accel, needed.hold ? SW_SHOW : SW_HIDE);
    Layout();
}

void KeysDialog::SetChoices(const std::vector<std::string>& sections,
                            const std::vector<std::string>& modes) {
    for (const auto& [field, choices] :
         {std::pair{&controls_->section, &sections}, std::pair{&controls_->mode, &modes}}) {
        const std::string shown = TextOf(field->control);
        SendMessageW(field->control, CB_RESETCONTENT, 0, 0);
        for (const std::string& choice : *choices) {
            AddChoice(field->control, choice);
        }
        SetText(field->control,
                shown.empty() && field == &controls_->section ? sections.front() : shown);
    }
}

std::string KeysDialog::Search() const {
    return TextOf(controls_->search.control);
}

void KeysDialog::FillTable(const std::vector<TableLine>& lines, int selected) {
    list_->Fill(lines, selected);
}

int KeysDialog::SelectedRow() const {
    return list_->SelectedRow();
}

void KeysDialog::Allow(const std::string& readOnly, bool learning) {
    ShowWindow(controls_->readOnly, readOnly.empty() ? SW_HIDE : SW_SHOW);
    SetText(controls_->readOnly, readOnly);
    for (int id = KeyId; !readOnly.empty() && id < CancelId; ++id) {
        if (id != PromptId && id != WhyId) {
            EnableWindow(GetDlgItem(dialog_, id), FALSE);
        }
    }
    EnableWindow(controls_->learn, learning ? TRUE : FALSE);
}

void KeysDialog::ShowMistakes(const std::string& text) {
    std::string lines;
    for (const char c : text) {
        lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    SetText(controls_->mistakes, lines);
    ShowWindow(controls_->mistakes, text.empty() ? SW_HIDE : SW_SHOW);
    Layout();
}

void KeysDialog::Say(Said line, const std::string& text) {
    const HWND said = line == Said::Prompt ? controls_->prompt : controls_->why;
    SetText(said, text);
    ShowWindow(said, text.empty() ? SW_HIDE : SW_SHOW);
    Layout();
}

KeysView::Answer KeysDialog::Ask(const std::string& question, bool cancel) {
    switch (MessageBoxW(dialog_, Widen(question).c_str(), Title,
                        (cancel ? MB_YESNOCANCEL : MB_YESNO) | MB_ICONQUESTION)) {
        case IDYES:
            return Answer::Yes;
        case IDNO:
            return Answer::No;
        default:
            return cancel ? Answer::Cancel : Answer::No;
    }
}

void KeysDialog::Warn(const std::string& warning) {
    MessageBoxW(dialog_, Widen(warning).c_str(), Title, MB_OK | MB_ICONWARNING);
}

std::optional<std::string> KeysDialog::NewSection() {
    // The section box says which: Add section adds what it says.
    return TextOf(controls_->section.control);
}

KeyCapture::Handler KeysDialog::LearntHandler() {
    return [dialog = dialog_](const KeyEvent&) {
        if (!PostMessageW(dialog, LearntMessage, 0, 0)) {
            QUORVEL_WARNING(lcApp) << "keys window: a key learnt could not be handed over";
        }
    };
}

void KeysDialog::Close() {
    if (presenter_.MayClose()) {
        DestroyWindow(dialog_);
    }
}

void KeysDialog::Command(int id, int code) {
    // The buttons, each pressed as the presenter has it; IDOK: Enter where no default
    // button was asked.
    static constexpr std::pair<int, void (KeysPresenter::*)()> Buttons[] = {
        {LearnId, &KeysPresenter::Learn},
        {AddId, &KeysPresenter::Add},
        {ChangeId, &KeysPresenter::Change},
        {MoveId, &KeysPresenter::Move},
        {RemoveId, &KeysPresenter::Remove},
        {AddSectionId, &KeysPresenter::AddSection},
        {RemoveSectionId, &KeysPresenter::RemoveSection},
        {SaveId, &KeysPresenter::Save},
        {IDOK, &KeysPresenter::Save},
    };
    if (id == IDCANCEL) {  // Esc: learning ends first
        presenter_.Escape();
    } else if (id == SearchId && code == EN_CHANGE) {
        presenter_.SearchChanged();
    } else if (id == GestureId && code == CBN_SELCHANGE) {
        presenter_.GestureChosen();
    } else if (id == ActionId && code == CBN_SELCHANGE) {
        presenter_.ActionChosen();
    } else if (id == CancelId && code == BN_CLICKED) {
        Close();
    }
    for (const auto& [button, press] : Buttons) {
        if (id == button && code == BN_CLICKED) {
            (presenter_.*press)();
        }
    }
}

INT_PTR KeysDialog::Receive(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            Command(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_NOTIFY: {
            auto& header = *reinterpret_cast<NMHDR*>(lParam);
            bool chosen = false;
            if (header.idFrom == static_cast<UINT_PTR>(TableId)) {
                SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, list_->Notify(header, chosen));
            }
            if (chosen) {
                presenter_.RowChosen();
            }
            return TRUE;
        }
        case LearntMessage:
            presenter_.TakeLearnt();
            return TRUE;
        case WM_SIZE:
            if (wParam == SIZE_RESTORED && controls_->Font() != nullptr) {
                const int dpi = static_cast<int>(controls_->Dpi());
                normal_ = {MulDiv(LOWORD(lParam), 96, dpi), MulDiv(HIWORD(lParam), 96, dpi)};
            }
            Layout();
            list_->SizeColumns();
            return TRUE;
        case WM_GETMINMAXINFO: {
            const UINT dpi = controls_->Dpi();
            const SIZE least = Least();
            const SIZE frame = FrameSize({Scaled(least.cx, dpi), Scaled(least.cy, dpi)},
                                         DialogStyle, DialogExStyle, dpi);
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {frame.cx, frame.cy};
            return TRUE;
        }
        case WM_DPICHANGED: {
            // Moved to a monitor of another scale: Windows suggests the frame's new place.
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            Scale(HIWORD(wParam));
            SetWindowPos(dialog_, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return TRUE;
        }
        case WM_CLOSE:
            Close();
            return TRUE;
        case WM_DESTROY:
            presenter_.Closing({normal_.cx, normal_.cy});
            list_.reset();
            controls_.reset();
            return TRUE;
        default:
            return FALSE;
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
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(dialog, DWLP_USER, 0);
        self->dialog_ = nullptr;
        return TRUE;
    }
    // Until the controls are made, and once they are gone, the dialog manager's own.
    return self->controls_ != nullptr ? self->Receive(message, wParam, lParam) : FALSE;
}
