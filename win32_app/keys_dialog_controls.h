#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The keys dialog's controls (KeysDialog), made in the order Tab visits them, each field's
// label just before it, so a screen reader names a field by its label; where the system
// takes annotations (IAccPropServices) each is also named exactly (the label's words
// without its mnemonic, unit and colon). Holds the fonts for the dialog's dots per inch,
// and measures text in them. Made and used on the UI thread, while its dialog lives;
// throws std::runtime_error when a control cannot be made.
class KeysDialogControls {
  public:
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
        SaveId,  // the default button: Enter
        CancelId,
    };

    // A field with the label before it; its up-down arrows for a number.
    struct Field {
        HWND label = nullptr;
        HWND control = nullptr;
        HWND arrows = nullptr;
        bool dropDown = false;  // a combo box, its list below it
        int low = 0;
        int high = 0;
    };

    KeysDialogControls(HWND dialog, HINSTANCE instance);
    ~KeysDialogControls();
    KeysDialogControls(const KeysDialogControls&) = delete;
    KeysDialogControls& operator=(const KeysDialogControls&) = delete;

    // Fonts and sizes for dpi, given to every control.
    void Scale(UINT dpi);
    UINT Dpi() const { return dpi_; }
    HFONT Font() const { return font_; }
    HFONT Bold() const { return bold_; }  // the headings'
    // The height of a row of controls.
    int RowHeight() const { return rowHeight_; }
    // In the dialog's font (mnemonics' & left out), or font.
    int TextWidth(const std::string& text, HFONT font = nullptr) const;
    // Wrapped to width.
    int TextHeight(const std::string& text, int width) const;
    // A number field's value within its range; setting it.
    int Number(const Field& field) const;
    void SetNumber(const Field& field, int value) const;
    // Shows or hides a field, its label and arrows with it.
    static void Show(const Field& field, bool shown);

    HWND readOnly = nullptr;
    Field search;
    Field table;
    HWND mistakes = nullptr;
    Field key;
    HWND learn = nullptr;
    Field gesture;
    Field action;
    Field section;
    Field seconds;
    Field command;
    Field mode;
    Field timeout;
    Field delay;
    Field gap;
    Field every;
    HWND once = nullptr;
    HWND accel = nullptr;
    HWND prompt = nullptr;
    HWND why = nullptr;
    std::vector<HWND> edits;  // Add to Remove section
    HWND save = nullptr;
    HWND cancel = nullptr;

  private:
    void MakeTable();
    void MakeFields();
    void MakeButtons();
    HWND Make(const wchar_t* windowClass, const std::string& text, DWORD style, int id,
              DWORD exStyle = 0);
    Field MakeField(const std::string& label, const wchar_t* windowClass, DWORD style, int id);
    Field MakeNumber(const std::string& label, int id, int low, int high, int value);
    // For screen readers, where the system takes annotations: control's exact name.
    void Name(HWND control, const std::string& name);
    // The names, COM and the fonts.
    void Free();

    HWND dialog_;
    HINSTANCE instance_;
    UINT dpi_ = 96;
    HFONT font_ = nullptr;
    HFONT bold_ = nullptr;
    int rowHeight_ = 0;
    bool comInitialized_ = false;
    void* annotations_ = nullptr;  // IAccPropServices, where the system has it
    std::vector<HWND> named_;
};
