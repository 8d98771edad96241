#include "win32_app/keys_dialog_layout.h"

#include <algorithm>
#include <array>
#include <vector>

#include "text/wide_text.h"
#include "win32_app/window_dpi.h"

namespace {

using Field = KeysDialogControls::Field;
// Pixels at 96 dpi.
constexpr int Margin = 11;
constexpr int Spacing = 6;
constexpr int ButtonWidth = 75;
constexpr int ArrowsWidth = 17;
constexpr int DropDownHeight = 240;
constexpr int MistakeLines = 4;
// How many of the edits' buttons go on the left; the section's go on the right.
constexpr std::size_t LeftButtons = 4;

std::string TextOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

// Whether the control is shown while its dialog is.
bool Shown(HWND control) {
    return (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Place(HWND control, int x, int y, int width, int height) {
    SetWindowPos(control, nullptr, x, y, std::max(width, 0), std::max(height, 0),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// The client area's measures at the controls' scale.
struct Room {
    const KeysDialogControls& controls;
    int margin;
    int space;
    int row;
    int width;      // between the margins
    int labelDrop;  // a label's text down to its field's

    int ButtonWidth(HWND button) const {
        return std::max(Scaled(::ButtonWidth, controls.Dpi()),
                        controls.TextWidth(TextOf(button)) + Scaled(20, controls.Dpi()));
    }
};

// Save and Cancel, then the edits' buttons, from bottom; the top of the last row placed.
int PlaceButtons(const Room& room, int bottom) {
    const KeysDialogControls& controls = room.controls;
    int right = room.margin + room.width;
    for (HWND button : {controls.cancel, controls.save}) {
        right -= room.ButtonWidth(button);
        Place(button, right, bottom - room.row, room.ButtonWidth(button), room.row);
        right -= room.space;
    }
    bottom -= room.row + 2 * room.space;
    int needed = 0;
    for (HWND button : controls.edits) {
        needed += room.ButtonWidth(button) + room.space;
    }
    // Too narrow for one row: the section's buttons go above the others.
    const bool twoRows = needed - room.space > room.width;
    int left = room.margin;
    for (std::size_t i = 0; i < LeftButtons; ++i) {
        Place(controls.edits[i], left, bottom - room.row, room.ButtonWidth(controls.edits[i]),
              room.row);
        left += room.ButtonWidth(controls.edits[i]) + room.space;
    }
    if (twoRows) {
        bottom -= room.row + room.space;
    }
    right = room.margin + room.width;
    for (std::size_t i = controls.edits.size(); i-- > LeftButtons;) {
        right -= room.ButtonWidth(controls.edits[i]);
        Place(controls.edits[i], right, bottom - room.row, room.ButtonWidth(controls.edits[i]),
              room.row);
        right -= room.space;
    }
    return bottom - room.row;
}

// Two columns: the binding's key, gesture, action and section; what they need. Their
// top, placed above bottom.
int PlaceFields(const Room& room, int bottom) {
    const KeysDialogControls& controls = room.controls;
    const std::array<const Field*, 4> leftFields = {&controls.key, &controls.gesture,
                                                    &controls.action, &controls.section};
    std::vector<const Field*> rightFields;
    for (const Field* field :
         {&controls.seconds, &controls.command, &controls.mode, &controls.timeout, &controls.delay,
          &controls.gap, &controls.every}) {
        if (Shown(field->control)) {
            rightFields.push_back(field);
        }
    }
    const int checks = Shown(controls.once) ? 1 : 0;
    const int rows = std::max<int>(4, static_cast<int>(rightFields.size()) + checks);
    const int top = bottom - rows * (room.row + room.space) - room.space;
    const int column = (room.width - 3 * room.space) / 2;
    const auto labelsWidth = [&](const auto& fields) {
        int widest = 0;
        for (const Field* field : fields) {
            widest = std::max(widest, controls.TextWidth(TextOf(field->label)));
        }
        return widest + room.space;
    };
    const UINT dpi = controls.Dpi();
    const auto place = [&](const Field& field, int x, int y, int labels, int fieldWidth) {
        Place(field.label, x, y + room.labelDrop, labels, room.row);
        const int arrows = field.arrows != nullptr ? Scaled(ArrowsWidth, dpi) : 0;
        Place(field.control, x + labels, y, fieldWidth - labels - arrows,
              field.dropDown ? room.row + Scaled(DropDownHeight, dpi) : room.row);
        if (field.arrows != nullptr) {
            Place(field.arrows, x + fieldWidth - arrows, y, arrows, room.row);
        }
    };
    int y = top + room.space;
    const int leftLabels = labelsWidth(leftFields);
    const int learnWidth = room.ButtonWidth(controls.learn);
    for (const Field* field : leftFields) {
        place(*field, room.margin, y, leftLabels,
              column - (field == &controls.key ? learnWidth + room.space : 0));
        y += room.row + room.space;
    }
    Place(controls.learn, room.margin + column - learnWidth, top + room.space, learnWidth,
          room.row);
    const int rightAt = room.margin + column + 3 * room.space;
    const int rightLabels = labelsWidth(rightFields);
    y = top + room.space;
    for (const Field* field : rightFields) {
        place(*field, rightAt, y, rightLabels, room.width + room.margin - rightAt);
        y += room.row + room.space;
    }
    const int onceWidth = controls.TextWidth(TextOf(controls.once)) + Scaled(24, dpi);
    Place(controls.once, rightAt + rightLabels, y, onceWidth, room.row);
    Place(controls.accel, rightAt + rightLabels + onceWidth + room.space, y,
          controls.TextWidth(TextOf(controls.accel)) + Scaled(24, dpi), room.row);
    return top;
}

}  // namespace

void LayOutKeysDialog(HWND dialog, const KeysDialogControls& controls) {
    if (controls.Font() == nullptr) {
        return;
    }
    RECT client;
    GetClientRect(dialog, &client);
    const UINT dpi = controls.Dpi();
    const int margin = Scaled(Margin, dpi);
    const int width = client.right - 2 * margin;
    const Room room{controls,
                    margin,
                    Scaled(Spacing, dpi),
                    controls.RowHeight(),
                    width,
                    (controls.RowHeight() - controls.TextHeight("Ag", width)) / 2};

    // From the top: why the map is read only, the search.
    int top = margin;
    if (Shown(controls.readOnly)) {
        const int height = controls.TextHeight(TextOf(controls.readOnly), width - Scaled(8, dpi));
        Place(controls.readOnly, margin, top, width, height);
        top += height + room.space;
    }
    const int searchWidth = std::min(width / 2, Scaled(320, dpi));
    const int searchLabel = controls.TextWidth(TextOf(controls.search.label)) + room.space;
    Place(controls.table.label, margin, top + room.labelDrop, width - searchWidth - searchLabel,
          room.row);
    Place(controls.search.label, margin + width - searchWidth - searchLabel, top + room.labelDrop,
          searchLabel, room.row);
    Place(controls.search.control, margin + width - searchWidth, top, searchWidth, room.row);
    top += room.row + room.space;

    // From the bottom: the buttons, what is said, the fields, the mistakes.
    int bottom = PlaceButtons(room, client.bottom - margin) - room.space;
    for (HWND line : {controls.why, controls.prompt}) {
        if (Shown(line)) {
            const int height = controls.TextHeight(TextOf(line), width);
            Place(line, margin, bottom - height, width, height);
            bottom -= height + room.space;
        }
    }
    bottom = PlaceFields(room, bottom);
    if (Shown(controls.mistakes)) {
        const int height =
            std::min(controls.TextHeight(TextOf(controls.mistakes), width - Scaled(24, dpi)),
                     MistakeLines * controls.TextHeight("Ag", width)) +
            Scaled(4, dpi);
        bottom -= height + room.space;
        Place(controls.mistakes, margin, bottom, width, height);
    }
    // The table: what is left.
    Place(controls.table.control, margin, top, width, bottom - room.space - top);
    // What moved leaves nothing of itself where it was.
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}
