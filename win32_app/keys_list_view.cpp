#include "win32_app/keys_list_view.h"

#include <algorithm>
#include <cwchar>

#include "text/wide_text.h"
#include "win32_app/window_dpi.h"

namespace {

constexpr int Padding = 16;  // beside a column's text, at 96 dpi

}  // namespace

KeysListView::KeysListView(const KeysDialogControls& controls)
    : controls_(controls), table_(controls.table.control) {}

void KeysListView::Fill(const std::vector<KeysView::TableLine>& lines, int selected) {
    SendMessageW(table_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(table_, LVM_DELETEALLITEMS, 0, 0);
    lines_ = lines;
    int select = -1;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const KeysView::TableLine& line = lines_[i];
        const std::wstring first = Widen(line.texts[KeysView::KeyColumn]);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(first.c_str());
        item.lParam = line.row;
        const auto index = static_cast<WPARAM>(
            SendMessageW(table_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        for (int column = KeysView::GestureColumn; column < KeysView::Columns; ++column) {
            const std::wstring text = Widen(line.texts[static_cast<std::size_t>(column)]);
            item.iSubItem = column;
            item.pszText = const_cast<wchar_t*>(text.c_str());
            SendMessageW(table_, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
        }
        if (line.row >= 0 && line.row == selected) {
            select = static_cast<int>(index);
        }
    }
    SizeColumns();
    if (select >= 0) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = state.stateMask;
        SendMessageW(table_, LVM_SETITEMSTATE, static_cast<WPARAM>(select),
                     reinterpret_cast<LPARAM>(&state));
        SendMessageW(table_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(select), FALSE);
    }
    SendMessageW(table_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(table_, nullptr, TRUE);
}

int KeysListView::SelectedRow() const {
    const LRESULT item =
        SendMessageW(table_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    return item >= 0 && static_cast<std::size_t>(item) < lines_.size()
               ? lines_[static_cast<std::size_t>(item)].row
               : -1;
}

void KeysListView::SizeColumns() {
    if (controls_.Font() == nullptr) {
        return;
    }
    const int padding = Scaled(Padding, controls_.Dpi());
    int headings = 0;  // the headings' width, in bold in the first column
    for (const KeysView::TableLine& line : lines_) {
        if (line.row < 0) {
            headings = std::max(
                headings, controls_.TextWidth(line.texts[KeysView::KeyColumn], controls_.Bold()));
        }
    }
    int total = 0;
    for (int column = KeysView::KeyColumn; column < KeysView::Columns; ++column) {
        wchar_t header[32] = {};
        LVCOLUMNW data{};
        data.mask = LVCF_TEXT;
        data.pszText = header;
        data.cchTextMax = 32;
        SendMessageW(table_, LVM_GETCOLUMNW, static_cast<WPARAM>(column),
                     reinterpret_cast<LPARAM>(&data));
        int wanted = controls_.TextWidth(Narrow(header)) + padding;
        if (column == KeysView::NoteColumn) {
            // What is left, beside the scroll bar the rows are to have.
            RECT client;
            GetClientRect(table_, &client);
            if ((GetWindowLongW(table_, GWL_STYLE) & WS_VSCROLL) == 0 &&
                static_cast<LRESULT>(lines_.size()) >
                    SendMessageW(table_, LVM_GETCOUNTPERPAGE, 0, 0)) {
                client.right -= Scaled(GetSystemMetrics(SM_CXVSCROLL), controls_.Dpi()) * 96 /
                                static_cast<int>(ScreenDpi());
            }
            wanted = std::max<int>(wanted, client.right - total);
        } else {
            SendMessageW(table_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), LVSCW_AUTOSIZE);
            wanted =
                std::max(wanted, static_cast<int>(SendMessageW(table_, LVM_GETCOLUMNWIDTH,
                                                               static_cast<WPARAM>(column), 0)));
            wanted = std::max(wanted, column == KeysView::KeyColumn ? headings + padding : 0);
        }
        SendMessageW(table_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), wanted);
        total += wanted;
    }
}

INT_PTR KeysListView::Notify(NMHDR& header, bool& chosen) {
    if (header.code == LVN_ITEMCHANGED) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        chosen = (change.uChanged & LVIF_STATE) != 0 && (change.uNewState & LVIS_SELECTED) != 0 &&
                 (change.uOldState & LVIS_SELECTED) == 0;
        return 0;
    }
    if (header.code == LVN_GETINFOTIPW) {
        auto& tip = reinterpret_cast<NMLVGETINFOTIPW&>(header);
        if (tip.iItem >= 0 && static_cast<std::size_t>(tip.iItem) < lines_.size() &&
            tip.cchTextMax > 0 && !lines_[static_cast<std::size_t>(tip.iItem)].tip.empty()) {
            const std::wstring text = Widen(lines_[static_cast<std::size_t>(tip.iItem)].tip);
            std::wcsncpy(tip.pszText, text.c_str(), static_cast<std::size_t>(tip.cchTextMax) - 1);
            tip.pszText[tip.cchTextMax - 1] = L'\0';
        }
        return 0;
    }
    if (header.code != NM_CUSTOMDRAW) {
        return 0;
    }
    // The headings in bold; a mistake's note in red.
    auto& draw = reinterpret_cast<NMLVCUSTOMDRAW&>(header);
    const std::size_t item = draw.nmcd.dwItemSpec;
    const bool heading = item < lines_.size() && lines_[item].row < 0;
    const bool mistake = item < lines_.size() && lines_[item].mistake;
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT:
            SelectObject(draw.nmcd.hdc, heading ? controls_.Bold() : controls_.Font());
            return mistake ? CDRF_NEWFONT | CDRF_NOTIFYSUBITEMDRAW : CDRF_NEWFONT;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
            SelectObject(draw.nmcd.hdc, controls_.Font());
            draw.clrText = draw.iSubItem == KeysView::NoteColumn ? RGB(192, 0, 0)
                                                                 : GetSysColor(COLOR_WINDOWTEXT);
            return CDRF_NEWFONT;
        default:
            return CDRF_DODEFAULT;
    }
}
