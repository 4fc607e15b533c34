// Whole reads and writes on a blocking pipe: the runner's side of the protocol (and the tests' fakes).
#pragma once

#include <windows.h>

namespace runner {

// Reads exactly size bytes; false when the pipe ends or fails first.
inline bool ReadAll(HANDLE pipe, void* buffer, DWORD size) {
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        DWORD read = 0;
        if (!::ReadFile(pipe, bytes, size, &read, nullptr) || read == 0) return false;
        bytes += read;
        size -= read;
    }
    return true;
}

// Writes all size bytes; false when the pipe fails first.
inline bool WriteAll(HANDLE pipe, const void* buffer, DWORD size) {
    const auto* bytes = static_cast<const char*>(buffer);
    while (size > 0) {
        DWORD written = 0;
        if (!::WriteFile(pipe, bytes, size, &written, nullptr) || written == 0) return false;
        bytes += written;
        size -= written;
    }
    return true;
}

}  // namespace runner
