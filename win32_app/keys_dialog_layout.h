#pragma once

#include <windows.h>

#include "win32_app/keys_dialog_controls.h"

// Where the keys dialog's controls go in its client area, at their scale: from the top,
// why the map is read only and the search; from the bottom, Save and Cancel, the edits'
// buttons (the section buttons on a row of their own when one row is too narrow), the
// lines said, the fields in two columns and the mistakes; the table takes what is left,
// down to nothing, so every button stays in the window however small it is made.
void LayOutKeysDialog(HWND dialog, const KeysDialogControls& controls);
