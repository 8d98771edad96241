#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "keys_window/key_map_editor.h"
#include "keys_window/keys_view.h"
#include "keys_window/keys_window_setup.h"
#include "keys_window/window_state.h"
#include "learning/key_recorder.h"

// "Quorvel keys" as both toolkits show it: every binding of the key map file, grouped as
// the file is, changed by the fields or by pressing a key. The map is a KeyMapEditor's,
// read when the window opens; nothing is written until Save, which asks before writing
// over a file changed, gone or marked read-only, and offers to add a binding the fields
// hold but no edit added; the map saved is put in force at once (setup.reload). Closing
// with changes not saved asks first. "Learn…" arms the running receiver's capture with
// the view's handler and takes the key it hands over, asking twice as --learn does
// (KeyRecorder); Esc ends learning, else closes. The window's size is kept in the state
// file. Used on the UI thread; the view outlives it.
class KeysPresenter {
  public:
    KeysPresenter(KeysView& view, KeysWindowSetup setup);
    ~KeysPresenter();
    KeysPresenter(const KeysPresenter&) = delete;
    KeysPresenter& operator=(const KeysPresenter&) = delete;

    // The size the window had when it was last closed, when it was kept.
    std::optional<WindowSize> KeptSize() const;

    // Once the view's controls are made: everything shown.
    void Start();
    // What the user does, as the view tells it.
    void RowChosen();
    void SearchChanged();
    void GestureChosen();
    void ActionChosen();
    void Add();
    void Change();
    void Move();
    void Remove();
    void AddSection();
    void RemoveSection();
    void Learn();
    // After the view's learnt handler told it: the key the capture kept.
    void TakeLearnt();
    // Esc: learning ends; else the window closes, as its close box does.
    void Escape();
    void Save();
    // Before the window closes: false when the user keeps it open rather than lose changes.
    bool MayClose();
    // The window goes: learning ends, its size (in the unit KeptSize gives) is kept.
    void Closing(WindowSize size);

    const KeyMapEditor& Editor() const { return editor_; }

  private:
    const KeyMapDocument::Row* Selected() const;
    // The binding the fields say; empty why when it reads.
    KeyMap::Line FieldsBinding(std::string& why) const;
    // The fields' binding as a line under its section's header, empty when it does not read.
    std::string FieldsText() const;
    // The binding the fields hold that the user made and no edit added, if any.
    std::optional<KeyMap::Line> Pending() const;
    // Everything from the document, the row of the line selected (as written) selected.
    void Fill(const std::string& selected);
    void ShowTable(int selected);
    void ShowNeeded();
    // An edit of the document (its why: empty when made), shown; true when made.
    bool Edit(const std::function<std::string()>& edit);
    void Took(const Key& key);
    void StopLearning(bool cancel);
    // Save's questions, asked until the map is written or the user says no; true when the
    // window may close.
    bool Write();

    KeysView& view_;
    KeysWindowSetup setup_;
    KeyMapEditor editor_;
    KeyRecorder recorder_;
    bool quiet_ =
        false;  // the view's own calls while the presenter changes it are none of the user's
    bool leaving_ = false;  // saved: the window closes without asking
    std::string baseline_;  // FieldsText as an edit or a row chosen last left the fields
};
