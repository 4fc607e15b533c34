// The text of a window or control as one string, whatever its length.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

inline std::string WindowText(HWND hwnd) {
    const int length = ::GetWindowTextLengthA(hwnd);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int got = ::GetWindowTextA(hwnd, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

}  // namespace win32
