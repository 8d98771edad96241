#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "keys_window/key_map_editor.h"
#include "keys_window/keys_window_setup.h"
#include "learning/key_recorder.h"

// "Quorvel keys" on Windows: every binding of the key map file in a report-style list view,
// grouped as the file is (a heading row for the defaults and for each section, then the
// built-in bindings the file leaves out), changed by pressing a key. The map is a
// KeyMapEditor's, read when the dialog opens; nothing is written until Save, which puts
// the map in force at once (reload); Cancel, Esc and closing leave the file as it was.
//
// A modeless dialog owned by the history window, with a taskbar button of its own:
// resizable down to MinimumSize, its controls laid out for its monitor's dots per inch and
// again when that changes; its client size is kept at 96 dpi in the state file
// (window_state.h), as the Linux window keeps its own. The keyboard works through the
// dialog manager, which the message loop reaches through Translate: Tab in the order the
// controls are read, the labels' mnemonics, Esc (which ends learning first, else closes).
// A screen reader names each field by the label just before it, and exactly (the label's
// words without the colon) where the system takes annotations.
//
// "Learn…" arms the running receiver's capture, asking twice as --learn does
// (KeyRecorder). The capture's handler runs on the receiver thread: the capture keeps the
// key and the handler only posts LearntMessage, so the receiver never waits for the
// dialog; Disarm, when learning ends and when the dialog goes, ends its calls. Built and
// used on the UI thread.
class KeysDialog {
  public:
    using Setup = KeysWindowSetup;

    static constexpr const wchar_t* Title = L"Quorvel keys";
    static constexpr UINT LearntMessage = WM_APP + 20;
    // Client sizes at 96 dpi.
    static constexpr SIZE DefaultSize{780, 640};
    static constexpr SIZE MinimumSize{560, 480};

    // The controls' identifiers (GetDlgItem), in the order Tab visits them.
    enum Control : int {
        ReadOnlyId = 1001,  // why the map is read only, when it is
        SearchId,
        TableId,
        MistakesId,  // the map's mistakes, which keep it from being saved
        KeyId,
        LearnId,
        GestureId,
        ActionId,
        SectionId,
        SecondsId,
        CommandId,
        ModeId,
        TimeoutId,
        DelayId,
        GapId,
        EveryId,
        OnceId,
        AccelId,
        PromptId,  // what learning asks
        WhyId,     // why the last edit was not made
        AddId,
        ChangeId,
        MoveId,
        RemoveId,
        AddSectionId,
        RemoveSectionId,
        SaveId,
        CancelId,
    };

    // Makes the dialog over owner and shows it; throws std::runtime_error when it cannot.
    KeysDialog(HINSTANCE instance, HWND owner, Setup setup);
    ~KeysDialog();
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
    // A field with the label before it; its up-down arrows for a number.
    struct Field {
        HWND label = nullptr;
        HWND control = nullptr;
        HWND arrows = nullptr;
        bool dropDown = false;  // a combo box, its list below it
        int low = 0;
        int high = 0;
    };

    // Everything but the window itself: its title, controls, size and place; then shows it.
    void Open(HWND owner);
    void MakeControls();
    HWND Make(const wchar_t* windowClass, const std::string& text, DWORD style, int id,
              DWORD exStyle = 0);
    Field MakeField(const std::string& label, const wchar_t* windowClass, DWORD style, int id);
    Field MakeNumber(const std::string& label, int id, int low, int high, int value);
    // Fonts and sizes for dpi, then the layout.
    void Scale(UINT dpi);
    void Layout();
    // In the dialog's font, or font.
    int TextWidth(const std::string& text, HFONT font = nullptr) const;
    int TextHeight(const std::string& text, int width) const;

    // The table's rows from the document, the row of the line selected (as written) selected.
    void Fill(const std::string& selected);
    // The rows the search finds under their sections' headings, selected_ selected.
    void Filter();
    void SizeColumns();
    void ShowRow();     // the selected row into the fields
    void ShowFields();  // the fields the action and the gesture need
    const KeyMapDocument::Row* Selected() const;
    // The binding the fields say; empty why when it reads.
    KeyMap::Line FieldsBinding(std::string& why) const;
    std::string FieldsSection(KeySection& section) const;
    int Number(const Field& field) const;
    void SetNumber(const Field& field, int value) const;
    // Shows text in a line below the fields (the prompt, why not), hidden while empty.
    void Say(HWND line, const std::string& text);
    void Edit(const std::function<std::string()>& edit);
    void AddSection();
    void RemoveSection();
    void Learn();
    void Took(const Key& key);
    void StopLearning(bool cancel);
    void Save();
    void Close();
    void Closing();  // WM_DESTROY: learning ends, the size is kept
    void Free();     // what the dialog holds besides its window
    void Command(int id, int code);
    INT_PTR Notify(NMHDR& header);
    // For screen readers, where the system takes annotations: control's exact name.
    void Name(HWND control, const std::string& name);
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    Setup setup_;
    KeyMapEditor editor_;
    KeyRecorder recorder_;
    HINSTANCE instance_;
    HWND dialog_ = nullptr;
    UINT dpi_ = 96;
    HFONT font_ = nullptr;
    HFONT bold_ = nullptr;  // the headings'
    int rowHeight_ = 0;
    SIZE normal_ = DefaultSize;  // the client size at 96 dpi, as last restored
    bool comInitialized_ = false;
    void* annotations_ = nullptr;  // IAccPropServices, where the system has it
    std::vector<HWND> named_;
    int selected_ = -1;     // the row Filter selects, by its index in the document's rows
    bool filling_ = false;  // a selection while the table fills is none of the user's

    HWND readOnly_ = nullptr;
    Field search_;
    Field table_;
    HWND mistakes_ = nullptr;
    Field key_;
    HWND learn_ = nullptr;
    Field gesture_;
    Field action_;
    Field section_;
    Field seconds_;
    Field command_;
    Field mode_;
    Field timeout_;
    Field delay_;
    Field gap_;
    Field every_;
    HWND once_ = nullptr;
    HWND accel_ = nullptr;
    HWND prompt_ = nullptr;
    HWND why_ = nullptr;
    std::vector<HWND> edits_;  // Add to Remove section
    HWND save_ = nullptr;
    HWND cancel_ = nullptr;
};
