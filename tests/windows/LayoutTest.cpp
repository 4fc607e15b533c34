// Controls made from a layout table: created in their places for a DPI, moved to another DPI's places
// and back, with the edges converted from twips so that neighbours meet.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>

#include "win32/Layout.h"

namespace {

constexpr std::array<win32::ControlSpec, 3> kTable{{
    {101, "Frame", "BUTTON", "", 120, 90, 3000, 1500, BS_GROUPBOX},
    {102, "Inside", "EDIT", "", 150, 300, 1000, 330, 0, 0, 101},  // measured from the frame
    {103, "Beside", "BUTTON", "Go", 1270, 390, 915, 330, BS_PUSHBUTTON, 0, 101},
}};

RECT Placed(HWND parent, int id) {
    RECT rect{};
    HWND control = ::GetDlgItem(parent, id);
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Where the designer's twips put the control at dpi: its frame's offset added, edges converted.
RECT Expected(const win32::ControlSpec& spec, int dpi) {
    const int x = spec.parentId != 0 ? kTable[0].left : 0;
    const int y = spec.parentId != 0 ? kTable[0].top : 0;
    return RECT{win32::TwipsToPixels(x + spec.left, dpi), win32::TwipsToPixels(y + spec.top, dpi),
                win32::TwipsToPixels(x + spec.left + spec.width, dpi),
                win32::TwipsToPixels(y + spec.top + spec.height, dpi)};
}

void ExpectPlaces(HWND parent, int dpi) {
    for (const auto& spec : kTable) {
        const RECT want = Expected(spec, dpi);
        const RECT got = Placed(parent, spec.id);
        EXPECT_TRUE(::EqualRect(&got, &want)) << spec.name << " at " << dpi << " DPI: " << got.left << ","
                                             << got.top << "-" << got.right << "," << got.bottom;
    }
}

TEST(LayoutTable, ControlsAreMadeInTheirPlacesAndFollowEachDpi) {
    for (const int dpi : {96, 120, 144}) {
        HWND parent = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(parent, nullptr);
        win32::CreateControls(parent, kTable, ::GetModuleHandleA(nullptr), dpi);
        ExpectPlaces(parent, dpi);
        const int other = dpi == 144 ? 96 : 144;
        win32::PlaceControls(parent, kTable, other);
        ExpectPlaces(parent, other);
        win32::PlaceControls(parent, kTable, dpi);
        ExpectPlaces(parent, dpi);
        ::DestroyWindow(parent);
    }
}

}  // namespace
