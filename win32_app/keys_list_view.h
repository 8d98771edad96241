#pragma once

#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "keys_window/keys_view.h"
#include "win32_app/keys_dialog_controls.h"

// The keys dialog's table (KeysDialog): a report-style list view of the lines a
// KeysPresenter gives, the sections' headings as rows of their own in bold (Wine draws no
// list view groups), a mistake's note in red. Each column is as wide as its texts but the
// note, which takes what is left and is cut short there, whole in the row's tip, so a long
// note never squeezes the others. Used on the UI thread.
class KeysListView {
  public:
    explicit KeysListView(const KeysDialogControls& controls);

    // The lines shown, the one of row selected (-1: none) selected and in view.
    void Fill(const std::vector<KeysView::TableLine>& lines, int selected);
    // The document row of the line selected; -1 for a heading or none.
    int SelectedRow() const;
    // After a change of size or scale.
    void SizeColumns();
    // The table's notifications: its drawing and tips. chosen is set when the user selected
    // a line.
    INT_PTR Notify(NMHDR& header, bool& chosen);

  private:
    const KeysDialogControls& controls_;
    HWND table_;
    std::vector<KeysView::TableLine> lines_;  // by item
};
