#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "keys_window/key_map_editor.h"
#include "keys_window/keys_window_setup.h"
#include "learning/key_recorder.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;

// "Quorvel keys": every binding of the key map file, grouped as the file is, changed by
// pressing a key. The map is a KeyMapEditor's, read when the window opens; nothing is
// written until Save (closing is Cancel). "Learn…" arms the running receiver's capture
// and takes the key it hands over through a queued call, asking twice as --learn does
// (KeyRecorder); Esc cancels learning, else closes. After a save the map is put in force
// at once (reload). Its size is kept in the state file (window_state.h).
class KeysWindow : public QWidget {
  public:
    using Setup = KeysWindowSetup;

    explicit KeysWindow(Setup setup, QWidget* parent = nullptr);
    ~KeysWindow() override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // The table from the document, the row of the line selected (as written) selected.
    void Fill(const std::string& selected);
    void Filter();      // rows hidden by the search
    void ShowRow();     // the selected row into the fields
    void ShowFields();  // the fields the action and the gesture need
    const KeyMapDocument::Row* Selected() const;
    // The binding the fields say; empty why when it reads.
    KeyMap::Line FieldsBinding(std::string& why) const;
    // Shows text on label's row of the fields, the row hidden while there is none.
    void Say(QLabel* label, const std::string& text);
    void Edit(const std::function<std::string()>& edit);
    void AddSection();
    void RemoveSection();
    void Learn();
    void TakeLearnt();  // the key the capture kept
    void Took(const Key& key);
    void StopLearning(bool cancel);
    void Save();
    void Cancel();

    Setup setup_;
    KeyMapEditor editor_;
    KeyRecorder recorder_;

    QLabel* readOnly_;
    QLineEdit* search_;
    QTreeWidget* table_;
    QLabel* fileProblems_;
    QFormLayout* form_;
    QComboBox* key_;
    QPushButton* learn_;
    QLabel* prompt_;
    QComboBox* gesture_;
    QComboBox* action_;
    QSpinBox* seconds_;
    QLineEdit* command_;
    QComboBox* mode_;
    QSpinBox* timeout_;
    QSpinBox* delay_;
    QSpinBox* gap_;
    QSpinBox* every_;
    QCheckBox* once_;
    QCheckBox* accel_;
    QWidget* checks_;
    QComboBox* section_;
    QLabel* why_;
    QPushButton* save_;
};
