// The result list on a report-view list control.
#include "app/ListViewResultList.h"

#include <commctrl.h>

namespace velquist {

void ListViewResultList::Clear() {
    ::SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    keys_.clear();
}

int ListViewResultList::Count() const {
    return static_cast<int>(::SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0));
}

void ListViewResultList::Add(const std::string& key, const std::string& text, int icon) {
    const int count = Count();
    std::string buffer = text;  // the item record wants a writable pointer
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = count;
    item.pszText = buffer.data();
    item.iImage = icon - 1;  // ImageList1 is counted from 1, the control from 0
    const int index = static_cast<int>(::SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) return;
    // Rows are only ever appended, so the row index is the key's place.
    keys_.resize(static_cast<size_t>(index));
    keys_.push_back(key);
    ::SendMessageA(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
    ::UpdateWindow(list_);
}

std::string ListViewResultList::Key(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= keys_.size()) return {};
    return keys_[static_cast<size_t>(index)];
}

}  // namespace velquist
