#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keys_window/keys_presenter.h"
#include "keys_window/keys_view.h"
#include "keys_window/keys_window_setup.h"
#include "win32_app/keys_dialog_controls.h"
#include "win32_app/keys_list_view.h"

// "Quorvel keys" on Windows: the view of a KeysPresenter, which holds the window's logic;
// this holds only the dialog, its controls (KeysDialogControls), their layout
// (LayOutKeysDialog) and its table (KeysListView). Cancel, Esc and closing leave the file
// as it was, once the presenter has asked; Enter is Save, the default button.
//
// A modeless dialog with a taskbar button of its own, owned by nobody, so that minimising
// the history window leaves it where it is; it opens on the history window's monitor, at
// its scale, at the size kept (in the state file, at 96 dpi) fitted to the monitor's work
// area, and may be made as small as that work area needs, the table shrinking first. Its
// controls are laid out for its monitor's dots per inch, and again when that changes. The
// keyboard works through the dialog manager, which the message loop reaches through
// Translate: Tab in the order the controls are read, the labels' mnemonics, Esc (which
// ends learning first, else closes).
//
// The capture's handler runs on the receiver thread: it only posts LearntMessage, so the
// receiver never waits for the dialog; a message posted to a dialog since closed goes
// with its window. Built and used on the UI thread.
class KeysDialog : private KeysView {
  public:
    using Setup = KeysWindowSetup;
    using enum KeysDialogControls::Control;

    static constexpr const wchar_t* Title = L"Quorvel keys";
    static constexpr UINT LearntMessage = WM_APP + 20;
    // Client sizes at 96 dpi.
    static constexpr SIZE DefaultSize{780, 640};
    static constexpr SIZE MinimumSize{560, 480};

    // Makes the dialog on owner's monitor and shows it; throws std::runtime_error when it
    // cannot.
    KeysDialog(HINSTANCE instance, HWND owner, Setup setup);
    ~KeysDialog() override;
    KeysDialog(const KeysDialog&) = delete;
    KeysDialog& operator=(const KeysDialog&) = delete;

    // Null once the dialog is closed.
    HWND Handle() const { return dialog_; }
    // Brings the open dialog to the front, restored.
    void Raise() const;
    // For the message loop: true when message was the dialog's keyboard navigation and has
    // been handled so.
    bool Translate(MSG& message) const;

  private:
    // The view, as KeysView has it: the table, which KeysListView keeps;
    std::string Search() const override;
    void FillTable(const std::vector<TableLine>& lines, int selected) override;
    int SelectedRow() const override;
    // the fields;
    Fields ReadFields() const override;
    void SetFields(const Fields& fields) override;
    void ShowNeeded(const Needed& needed) override;
    void SetChoices(const std::vector<std::string>& sections,
                    const std::vector<std::string>& modes) override;
    std::optional<std::string> NewSection() override;  // the section box's text
    // what the dialog says, and asks;
    void Allow(const std::string& readOnly, bool learning) override;
    void ShowMistakes(const std::string& text) override;
    void Say(Said line, const std::string& text) override;
    Answer Ask(const std::string& question, bool cancel) override;
    void Warn(const std::string& warning) override;
    // learning and closing.
    KeyCapture::Handler LearntHandler() override;
    void Close() override;

    // Everything but the window itself: its title, icon, controls, size and place; then
    // shows it.
    void Open(HWND owner);
    // The least client size at 96 dpi on the dialog's monitor, at its scale.
    SIZE Least() const;
    void Layout();
    void Scale(UINT dpi);
    void Command(int id, int code);
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    // The message's answer, for DialogProc, while the controls are there.
    INT_PTR Receive(UINT message, WPARAM wParam, LPARAM lParam);

    KeysPresenter presenter_;
    HINSTANCE instance_;
    HWND dialog_ = nullptr;
    std::unique_ptr<KeysDialogControls> controls_;  // while the dialog lives
    std::unique_ptr<KeysListView> list_;
    SIZE normal_ = DefaultSize;  // the client size at 96 dpi, as last restored
};
