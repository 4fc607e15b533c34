// The main window's result list: rows, tips, details, copying, the context menu and saving.
#include "window/ResultListView.h"

#include "pickers/CommonDialogAPI.h"

#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "window/MainLayout.h"
#include "registration/Details.h"
#include "resource.h"
#include "win32/Icons.h"
#include "results/Report.h"

namespace velquist {
namespace {

// Copies text into the tip's buffer, cut to the room it gives.
template <typename Char>
void FillTip(Char* buffer, int room, const std::basic_string<Char>& text) {
    if (buffer == nullptr || room <= 0) return;
    const size_t count = std::min(text.size(), static_cast<size_t>(room - 1));
    std::memcpy(buffer, text.data(), count * sizeof(Char));
    buffer[count] = Char{};
}

// Puts Unicode text on the clipboard, which owns the memory once it took it.
void PutOnClipboard(HWND owner, const std::wstring& text) {
    if (!::OpenClipboard(owner)) return;
    ::EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    win32::unique_hglobal memory(::GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (memory) {
        if (void* target = ::GlobalLock(memory.get())) {
            std::memcpy(target, text.c_str(), bytes);
            ::GlobalUnlock(memory.get());
            if (::SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr) (void)memory.release();
        }
    }
    ::CloseClipboard();
}

}  // namespace

ResultListView::ResultListView(HWND owner, HWND listView)
    : owner_(owner), list_(listView), images_(::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 0)),
      rows_(listView, [this] { AddIcons(); }) {
    ::SendMessageA(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images_.get()));
    ::SendMessageA(list_, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(images_.get()));
    HWND header = reinterpret_cast<HWND>(::SendMessageA(list_, LVM_GETHEADER, 0, 0));
    if (header != nullptr) ::SendMessageA(header, HDM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_.get()));
    // The detail of the row under the pointer shows as its tip.
    ::SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP,
                   LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    LVCOLUMNA column{};
    column.mask = LVCF_WIDTH | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = HimetricToPixels(kResultColumnHimetric, 96);  // the layout sets it per DPI
    ::SendMessageA(list_, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
}

// The icons go into the list when the first row does: until then the list is empty, and the window
// shows without waiting for them.
void ResultListView::AddIcons() {
    for (int id : {IDI_CHECK, IDI_CROSS, IDI_PROGRAM, IDI_CAUTION}) ::ImageList_AddIcon(images_.get(), win32::SharedIcon(id, 16));
}

void ResultListView::CopyRows() const {
    const std::vector<ResultLine> selected = rows_.SelectedLines();
    if (selected.empty()) return;
    PutOnClipboard(owner_, ClipboardText(selected));
}

void ResultListView::ShowRowDetail(int row) const {
    const ResultLine* line = rows_.Line(row);
    if (line == nullptr) return;
    const std::string text = line->detail.empty() ? line->Text() : line->Text() + "\n\n" + line->detail;
    ::MessageBoxA(owner_, text.c_str(), "Velquist!",
                  MB_OK | (line->kind == LineKind::Failed ? MB_ICONERROR : MB_ICONINFORMATION));
}

int ResultListView::TrackMenu(POINT at) const {
    if (at.x == -1 && at.y == -1) {  // from the keyboard: at the focused row, or the list's corner
        RECT place{};
        const int row = rows_.FocusedRow();
        if (row >= 0) {
            place.left = LVIR_LABEL;
            ::SendMessageA(list_, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&place));
        }
        at = POINT{place.left, place.bottom};
        ::ClientToScreen(list_, &at);
    }
    const win32::unique_hmenu menu(::CreatePopupMenu());
    if (!menu) return 0;
    const bool any = rows_.Count() > 0;
    const bool selected = ::SendMessageA(list_, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
    ::AppendMenuA(menu.get(), MF_STRING | (selected ? 0 : MF_GRAYED), IDM_COPY, "Copy\tCtrl+C");
    ::AppendMenuA(menu.get(), MF_STRING | (any ? 0 : MF_GRAYED), IDM_SELECTALL, "Select all\tCtrl+A");
    ::AppendMenuA(menu.get(), MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu.get(), MF_STRING | (any ? 0 : MF_GRAYED), IDM_SAVE, "Save results...");
    return static_cast<int>(::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y,
                                             0, owner_, nullptr));
}

LRESULT ResultListView::OnNotify(const NMHDR& header, bool busy) {
    switch (header.code) {
        case LVN_GETINFOTIPA: {
            auto& tip = const_cast<NMLVGETINFOTIPA&>(reinterpret_cast<const NMLVGETINFOTIPA&>(header));
            // Replaces the row's own text, which the control puts there first.
            const ResultLine* line = rows_.Line(tip.iItem);
            if (line != nullptr && !line->detail.empty()) FillTip(tip.pszText, tip.cchTextMax, line->detail);
            return 0;
        }
        case LVN_GETINFOTIPW: {
            auto& tip = const_cast<NMLVGETINFOTIPW&>(reinterpret_cast<const NMLVGETINFOTIPW&>(header));
            const ResultLine* line = rows_.Line(tip.iItem);
            if (line != nullptr && !line->detail.empty()) FillTip(tip.pszText, tip.cchTextMax, Wide(line->detail));
            return 0;
        }
        case NM_DBLCLK:
            if (!busy) ShowRowDetail(reinterpret_cast<const NMITEMACTIVATE&>(header).iItem);
            return 0;
        case LVN_KEYDOWN: {
            const auto& key = reinterpret_cast<const NMLVKEYDOWN&>(header);
            if (busy || ::GetKeyState(VK_CONTROL) >= 0) return 0;
            if (key.wVKey == 'C') CopyRows();
            if (key.wVKey == 'A') rows_.SelectAll();
            return 0;
        }
        default: return 0;
    }
}

void ResultListView::SaveResults() const {
    const auto& lines = rows_.Lines();
    if (lines.empty()) return;
    static const char kFilter[] = "CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
    const std::string file = pickers::ShowSaveFileDialog(owner_, "Velquist results.csv",
                                                         std::string(kFilter, std::size(kFilter) - 1), "Save results", "csv");
    if (file.empty()) return;
    DWORD error = ERROR_SUCCESS;
    if (!SaveReport(file, lines, error)) {
        const std::string reason = modRegister::CodeText(error);
        const std::string text = "The results could not be saved to " + file + "." +
                                 (reason.empty() ? "" : "\n\n" + reason);
        ::MessageBoxA(owner_, text.c_str(), "Velquist!", MB_OK | MB_ICONERROR);
    }
}

}  // namespace velquist
