// A 32-bit code as users and logs read it: 0x8007007E.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace win32 {

inline std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

}  // namespace win32
