// The main window's result list as users work with it: the rows and their icons, tips, the row's
// detail, copying, selecting all, the context menu and saving the results.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "window/ListViewResultList.h"
#include "win32/Handles.h"

namespace velquist {

class ResultListView {
public:
    // Sets up the list control (image list, column, tips); owner: the window of its boxes and dialogs.
    ResultListView(HWND owner, HWND listView);
    ResultListView(const ResultListView&) = delete;  // its rows call back into it
    ResultListView& operator=(const ResultListView&) = delete;

    ListViewResultList& Rows() noexcept { return rows_; }
    HIMAGELIST Images() const noexcept { return images_.get(); }

    // The list's notifications; busy: a run is in progress (rows take no commands then).
    LRESULT OnNotify(const NMHDR& header, bool busy);
    // The context menu at a screen point ((-1, -1): from the keyboard, at the focused row); the
    // command chosen, or 0.
    int TrackMenu(POINT at) const;

    // The selected rows to the clipboard as text, a tab and the detail.
    void CopyRows() const;
    // The row's text and detail in a message box.
    void ShowRowDetail(int row) const;
    // Asks for a file and saves the results there as a CSV report; says so when that fails.
    void SaveResults() const;

private:
    void AddIcons();

    HWND owner_;
    HWND list_;
    win32::unique_himagelist images_;
    ListViewResultList rows_;
};

}  // namespace velquist
