// The result list on a report-view list control.
#include "app/ListViewResultList.h"

#include <commctrl.h>

namespace velquist {

void ListViewResultList::Clear() {
    ::SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    keys_.clear();
    lines_.clear();
}

int ListViewResultList::Count() const {
    return static_cast<int>(::SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
}

void ListViewResultList::Add(const std::string& key, const ResultLine& line) {
    Append(key, line);
    ShowNewest();
}

void ListViewResultList::ShowNewest() {
    const int count = Count();
    if (count > 0) ::SendMessageA(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(count - 1), FALSE);
    ::UpdateWindow(list_);
}

void ListViewResultList::Append(const std::string& key, const ResultLine& line) {
    const int count = Count();
    std::string buffer = line.Text();  // the item record wants a writable pointer
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = count;
    item.pszText = buffer.data();
    item.iImage = line.Icon() - 1;  // ImageList1 is counted from 1, the control from 0
    const int index = static_cast<int>(::SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) return;
    // Rows are only ever appended, so the row index is the line's place.
    keys_.resize(static_cast<size_t>(index));
    keys_.push_back(key);
    lines_.resize(static_cast<size_t>(index));
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
