// A file as the header readers' byte source: opened to look, read at offsets with ordinary reads.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "registration/PeFile.h"
#include "win32/Handles.h"

namespace registration {

class FileBytes final : public pefile::ByteSource {
public:
    explicit FileBytes(const std::string& path) noexcept {
        // Others may go on reading, writing or even deleting the file: we only look.
        file_.reset(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr));
        LARGE_INTEGER size{};
        if (!win32::IsValid(file_) || !::GetFileSizeEx(file_.get(), &size)) {
            error_ = ::GetLastError();
            file_.reset();
            return;
        }
        size_ = static_cast<std::uint64_t>(size.QuadPart);
    }

    std::uint64_t Size() const override { return size_; }

    bool Read(std::uint64_t offset, unsigned char* into, std::size_t count) override {
        // The offset travels with the read: no file pointer to keep in step.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        if (!::ReadFile(file_.get(), into, static_cast<DWORD>(count), &read, &at)) {
            error_ = ::GetLastError();
            return false;
        }
        if (read != count) {  // cut short since we took its size
            error_ = ERROR_HANDLE_EOF;
            return false;
        }
        return true;
    }

    // The system error of the open or of a read; ERROR_SUCCESS otherwise.
    DWORD Error() const noexcept { return error_; }

private:
    win32::unique_handle file_;
    std::uint64_t size_ = 0;
    DWORD error_ = ERROR_SUCCESS;
};

}  // namespace registration
