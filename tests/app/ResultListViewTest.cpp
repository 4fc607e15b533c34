// The result list on the real window: rows, keys, icons, visibility of the newest row.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "MainWindowFixture.h"

namespace {

using testsupport::ListRow;
using testsupport::RowOf;

using ResultListView = testsupport::MainWindowFixture;

TEST_F(ResultListView, LinesKeepOrderKeysTextsAndIcons) {
    auto& results = form.Results();
    velquist::AddResultLine(results, velquist::SuccessLine(true, "C:\\a b\\x.dll  "));
    velquist::AddResultLine(results, velquist::FailedLine("C:\\y.ocx"));
    velquist::AddResultLine(results, velquist::ClosingLine(true, false));

    ASSERT_EQ(::SendMessageA(form.ListView1, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(results.Count(), 3);
    const ListRow expected[] = {{"Registered : C:\\a b\\x.dll  ", 0}, {"Failed : C:\\y.ocx", 1},
                            {"Register operation completed", 2}};
    for (int i = 0; i < 3; ++i) {
        const ListRow row = RowOf(form.ListView1, i);
        EXPECT_EQ(row.text, expected[i].text) << i;
        EXPECT_EQ(row.image, expected[i].image) << i;  // ImageList1's 1..3 are the control's 0..2
        EXPECT_EQ(form.ResultLines().Key(i), std::string("a").append(std::to_string(i + 1)));
    }
    EXPECT_EQ(form.ResultLines().Key(3), "");

    // A new run starts from an empty list and from key "a1" again.
    results.Clear();
    EXPECT_EQ(::SendMessageA(form.ListView1, LVM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_EQ(form.ResultLines().Key(0), "");
    velquist::AddResultLine(results, velquist::ClosingLine(false, false));
    EXPECT_EQ(form.ResultLines().Key(0), "a1");
    EXPECT_EQ(RowOf(form.ListView1, 0).text, "Unregister operation completed");
    EXPECT_EQ(RowOf(form.ListView1, 0).image, 2);
}

TEST_F(ResultListView, NewestLineIsScrolledIntoView) {
    // Shown, so that painting is real (other tests spare Wine's two-second wait for a window
    // without a window manager to be taken off the display).
    Show();
    for (int i = 0; i < 60; ++i) {
        std::string path = "C:\\f";
        path += std::to_string(i);
        path += ".dll";
        velquist::AddResultLine(form.Results(), velquist::SuccessLine(true, path));
        // Visible at once, without a trip through the message loop.
        const int top = static_cast<int>(::SendMessageA(form.ListView1, LVM_GETTOPINDEX, 0, 0));
        const int perPage = static_cast<int>(::SendMessageA(form.ListView1, LVM_GETCOUNTPERPAGE, 0, 0));
        ASSERT_GE(i, top);
        ASSERT_LT(i, top + perPage + 1);
        // ...and already painted: nothing of the list waits for a WM_PAINT.
        ASSERT_FALSE(::GetUpdateRect(form.ListView1, nullptr, FALSE)) << i;
    }
    EXPECT_GT(::SendMessageA(form.ListView1, LVM_GETTOPINDEX, 0, 0), 0);
    EXPECT_EQ(RowOf(form.ListView1, 59).text, "Registered : C:\\f59.dll");
}

// Counts the pixels of a row's icon that are mostly of one colour, as painted on the screen.
struct IconColours {
    int green = 0, red = 0, magenta = 0;
};

IconColours ColoursOfIcon(HWND list, int index) {
    IconColours colours;
    RECT rect{};
    rect.left = LVIR_ICON;
    if (!::SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect))) {
        return colours;
    }
    const win32::WindowDc dc(list);
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            const COLORREF c = ::GetPixel(dc.get(), x, y);
            const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
            if (g > 120 && r < 100 && b < 100) ++colours.green;
            if (r > 150 && g < 80 && b < 80) ++colours.red;
            if (r > 140 && b > 140 && g < 90) ++colours.magenta;
        }
    }
    return colours;
}

TEST_F(ResultListView, EachRowShowsItsIcon) {
    Show();
    velquist::AddResultLine(form.Results(), velquist::SuccessLine(true, "C:\\x.dll"));
    velquist::AddResultLine(form.Results(), velquist::FailedLine("C:\\y.dll"));
    velquist::AddResultLine(form.Results(), velquist::ClosingLine(true, false));
    ::UpdateWindow(form.Handle());
    const IconColours check = ColoursOfIcon(form.ListView1, 0);
    const IconColours cross = ColoursOfIcon(form.ListView1, 1);
    const IconColours cube = ColoursOfIcon(form.ListView1, 2);
    EXPECT_GT(check.green, 15);
    EXPECT_EQ(check.red + check.magenta, 0);
    EXPECT_GT(cross.red, 15);
    EXPECT_EQ(cross.green + cross.magenta, 0);
    EXPECT_GT(cube.magenta, 30);
    EXPECT_EQ(cube.green, 0);
}

TEST_F(ResultListView, ReportWithOneColumnAndFourSixteenPixelImages) {
    const LONG style = ::GetWindowLongA(form.ListView1, GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_TRUE(style & LVS_NOCOLUMNHEADER);  // the one column has no caption to show
    EXPECT_FALSE(style & LVS_EDITLABELS);     // the record of a run is not for editing
    EXPECT_FALSE(style & LVS_SORTASCENDING);
    EXPECT_FALSE(style & LVS_SORTDESCENDING);
    HWND header = reinterpret_cast<HWND>(::SendMessageA(form.ListView1, LVM_GETHEADER, 0, 0));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 1);

    // The icons are loaded with the first row, after the window has shown; once, whatever a Clear does.
    ASSERT_NE(form.ImageList1, nullptr);
    EXPECT_EQ(::ImageList_GetImageCount(form.ImageList1), 0);
    for (int i = 0; i < 2; ++i) {
        velquist::AddResultLine(form.Results(), velquist::ClosingLine(true, false));
        form.Results().Clear();
    }
    EXPECT_EQ(::ImageList_GetImageCount(form.ImageList1), 4);
    int cx = 0, cy = 0;
    ASSERT_TRUE(::ImageList_GetIconSize(form.ImageList1, &cx, &cy));
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);
    EXPECT_EQ(::SendMessageA(form.ListView1, LVM_GETIMAGELIST, LVSIL_SMALL, 0),
              reinterpret_cast<LRESULT>(form.ImageList1));
    EXPECT_EQ(::SendMessageA(form.ListView1, LVM_GETIMAGELIST, LVSIL_NORMAL, 0),
              reinterpret_cast<LRESULT>(form.ImageList1));
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageA(form.ListView1, LVM_GETBKCOLOR, 0, 0)),
              ::GetSysColor(COLOR_WINDOW));
}

}  // namespace
