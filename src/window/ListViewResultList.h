// The result list on a report-view list control: one row per line, with its key, icon and detail.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "results/ResultList.h"

namespace velquist {

class ListViewResultList final : public ResultList {
public:
    // beforeFirstRow: called once, before the first row goes into the control.
    explicit ListViewResultList(HWND listView, std::function<void()> beforeFirstRow = {}) noexcept
        : list_(listView), beforeFirstRow_(std::move(beforeFirstRow)) {}

    void Clear() override;
    int Count() const override;
    // Appends the row, shows it and repaints the list at once: during a run the thread does not
    // return to the message loop, so this is the only moment the line can become visible.
    void Add(const std::string& key, const ResultLine& line) override;
    // Appends the line only, not yet in the control: a run that adds lines faster than anyone can read
    // shows them at its own pace with ShowNewest.
    void Append(const std::string& key, const ResultLine& line);
    // Puts the lines appended since into the control, scrolls the newest into view and repaints now.
    void ShowNewest();

    // The key of row index (0-based), or "" when there is no such row.
    std::string Key(int index) const;
    // The line of row index, or nullptr.
    const ResultLine* Line(int index) const;
    const std::vector<ResultLine>& Lines() const noexcept { return lines_; }
    // The selected rows' lines, in list order.
    std::vector<ResultLine> SelectedLines() const;
    void SelectAll();
    // The row with the focus (else the first selected), or -1.
    int FocusedRow() const;

private:
    HWND list_;
    std::function<void()> beforeFirstRow_;
    std::vector<std::string> keys_;
    std::vector<ResultLine> lines_;
    size_t shown_ = 0;  // lines in the control: the first shown_ of lines_
};

}  // namespace velquist
