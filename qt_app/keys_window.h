#pragma once

#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "keys_window/keys_presenter.h"
#include "keys_window/keys_view.h"
#include "keys_window/keys_window_setup.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QVBoxLayout;

// "Quorvel keys" with Qt widgets: the view of a KeysPresenter, which holds the window's
// logic; this holds only the widgets. A window of its own over the history window (closing
// is Cancel, after the presenter has asked), its table's notes elided (whole in their
// tooltips) so that they never squeeze the other columns, Enter saving as a dialog's
// default button does. It opens at the size kept, fitted to its screen's work area. The
// key the capture takes is handed over through a queued call, which Qt drops once the
// window is gone.
class KeysWindow : public QWidget, private KeysView {
  public:
    using Setup = KeysWindowSetup;

    explicit KeysWindow(Setup setup, QWidget* parent = nullptr);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    Fields ReadFields() const override;
    void SetFields(const Fields& fields) override;
    void ShowNeeded(const Needed& needed) override;
    void SetChoices(const std::vector<std::string>& sections,
                    const std::vector<std::string>& modes) override;
    std::string Search() const override;
    void FillTable(const std::vector<TableLine>& lines, int selected) override;
    int SelectedRow() const override;
    void Allow(const std::string& readOnly, bool learning) override;
    void ShowMistakes(const std::string& text) override;
    void Say(Said line, const std::string& text) override;
    Answer Ask(const std::string& question, bool cancel) override;
    void Warn(const std::string& warning) override;
    std::optional<std::string> NewSection() override;
    KeyCapture::Handler LearntHandler() override;
    void Close() override;
    void TakeLearnt();

    void MakeTable(QVBoxLayout* layout);
    QWidget* MakeFields();
    void MakeButtons(QVBoxLayout* layout);
    // The size kept (else the default), fitted to the screen's work area, and its middle.
    void Place();

    KeysPresenter presenter_;
    QWidget* fields_ = nullptr;
    QLabel* readOnly_ = nullptr;
    QLineEdit* search_ = nullptr;
    QTreeWidget* table_ = nullptr;
    QLabel* fileProblems_ = nullptr;
    QFormLayout* form_ = nullptr;
    QComboBox* key_ = nullptr;
    QPushButton* learn_ = nullptr;
    QLabel* prompt_ = nullptr;
    QComboBox* gesture_ = nullptr;
    QComboBox* action_ = nullptr;
    QSpinBox* seconds_ = nullptr;
    QLineEdit* command_ = nullptr;
    QComboBox* mode_ = nullptr;
    QSpinBox* timeout_ = nullptr;
    QSpinBox* delay_ = nullptr;
    QSpinBox* gap_ = nullptr;
    QSpinBox* every_ = nullptr;
    QCheckBox* once_ = nullptr;
    QCheckBox* accel_ = nullptr;
    QWidget* checks_ = nullptr;
    QComboBox* section_ = nullptr;
    QLabel* why_ = nullptr;
};
