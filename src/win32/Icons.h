// An icon of the program's own resources at a size, shared: the system keeps it, nobody releases it.
#pragma once

#include <windows.h>

namespace win32 {

inline HICON SharedIcon(int id, int size) noexcept {
    return static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size,
                                           LR_DEFAULTCOLOR | LR_SHARED));
}

}  // namespace win32
