// MappedFile: a whole file mapped read-only, so that the header readers see its bytes without loading it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "win32/Handles.h"

namespace registration {

class MappedFile {
public:
    explicit MappedFile(const std::string& path) noexcept {
        // Others may go on reading, writing or even deleting the file: we only look.
        file_.reset(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!win32::IsValid(file_)) {
            error_ = ::GetLastError();
            return;
        }
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file_.get(), &size)) {
            error_ = ::GetLastError();
            return;
        }
        if (size.QuadPart == 0) return;  // an empty file cannot be mapped, and holds nothing
        if (static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX) {
            tooLarge_ = true;
            return;
        }
        mapping_.reset(::CreateFileMappingA(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!win32::IsValid(mapping_)) {
            error_ = ::GetLastError();
            return;
        }
        view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
        if (!view_) {
            error_ = ::GetLastError();
            return;
        }
        size_ = static_cast<std::size_t>(size.QuadPart);
    }

    // The bytes (nullptr and 0 when the file is empty or could not be mapped).
    const unsigned char* Data() const noexcept { return static_cast<const unsigned char*>(view_.get()); }
    std::size_t Size() const noexcept { return size_; }
    // The system error when the file could not be opened or mapped; ERROR_SUCCESS otherwise.
    DWORD Error() const noexcept { return error_; }
    // More bytes than this process can address.
    bool TooLarge() const noexcept { return tooLarge_; }

private:
    win32::unique_handle file_;
    win32::unique_handle mapping_;
    win32::unique_view view_;
    std::size_t size_ = 0;
    DWORD error_ = ERROR_SUCCESS;
    bool tooLarge_ = false;
};

}  // namespace registration
