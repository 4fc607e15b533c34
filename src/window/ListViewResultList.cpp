// The result list on a report-view list control.
#include "window/ListViewResultList.h"

#include <commctrl.h>

#include <utility>

namespace velquist {

void ListViewResultList::Clear() {
    ::SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    keys_.clear();
    lines_.clear();
    shown_ = 0;
}

int ListViewResultList::Count() const { return static_cast<int>(lines_.size()); }

void ListViewResultList::Add(const std::string& key, const ResultLine& line) {
    Append(key, line);
    ShowNewest();
}

// The rows appended since the last time go into the control together, with its drawing off meanwhile:
// a visible list view redraws its scroll bar for every row inserted, at once.
void ListViewResultList::ShowNewest() {
    const size_t pending = lines_.size() - shown_;
    if (pending > 0 && beforeFirstRow_) std::exchange(beforeFirstRow_, nullptr)();
    if (pending > 1) ::SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    for (; shown_ < lines_.size(); ++shown_) {
        const ResultLine& line = lines_[shown_];
        std::string buffer = line.Text();  // the item record wants a writable pointer
        LVITEMA item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = static_cast<int>(shown_);
        item.pszText = buffer.data();
        item.iImage = line.Icon() - 1;  // ImageList1 is counted from 1, the control from 0
        ::SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    if (pending > 1) {
        ::SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(list_, nullptr, TRUE);
    }
    if (!lines_.empty()) ::SendMessageA(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(lines_.size() - 1), FALSE);
    ::UpdateWindow(list_);
}

void ListViewResultList::Append(const std::string& key, const ResultLine& line) {
    keys_.push_back(key);
    lines_.push_back(line);
}

std::string ListViewResultList::Key(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= keys_.size()) return {};
    return keys_[static_cast<size_t>(index)];
}

const ResultLine* ListViewResultList::Line(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= lines_.size()) return nullptr;
    return &lines_[static_cast<size_t>(index)];
}

std::vector<ResultLine> ListViewResultList::SelectedLines() const {
    std::vector<ResultLine> selected;
    for (int row = -1; (row = static_cast<int>(::SendMessageA(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                                                 LVNI_SELECTED))) >= 0;) {
        if (const ResultLine* line = Line(row)) selected.push_back(*line);
    }
    return selected;
}

void ListViewResultList::SelectAll() {
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    ::SendMessageA(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
}

int ListViewResultList::FocusedRow() const {
    const int focused = static_cast<int>(::SendMessageA(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (focused >= 0) return focused;
    return static_cast<int>(::SendMessageA(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

}  // namespace velquist
