// The result list on a report-view list control: one row per line, with its key and icon.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/ResultList.h"

namespace velquist {

class ListViewResultList final : public ResultList {
public:
    explicit ListViewResultList(HWND listView) noexcept : list_(listView) {}

    void Clear() override;
    int Count() const override;
    // Appends the row, shows it and repaints the list at once: during a run the thread does not
    // return to the message loop, so this is the only moment the line can become visible.
    void Add(const std::string& key, const std::string& text, int icon) override;

    // The key of row index (0-based), or "" when there is no such row.
    std::string Key(int index) const;

private:
    HWND list_;
    std::vector<std::string> keys_;
};

}  // namespace velquist
