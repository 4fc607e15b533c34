// A file as the header readers' byte source: opened to look, read at offsets with ordinary reads.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "pe/PeFile.h"
#include "win32/Handles.h"

namespace registration {

class FileBytes final : public pefile::ByteSource {
public:
    explicit FileBytes(const std::string& path) noexcept {
        // Others may go on reading, writing or even deleting the file: we only look.
        file_.reset(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr));
        if (!win32::IsValid(file_)) error_ = ::GetLastError();
    }

    // Asked for only once the file looks like a program file: most files are decided without it.
    std::uint64_t Size() const override {
        if (!sized_ && error_ == ERROR_SUCCESS) {
            LARGE_INTEGER size{};
            if (::GetFileSizeEx(file_.get(), &size)) {
                size_ = static_cast<std::uint64_t>(size.QuadPart);
            } else {
                error_ = ::GetLastError();
            }
            sized_ = true;
        }
        return size_;
    }

    // Whether the file starts with "MZ", the mark of every program file: one read of two bytes, which
    // decides most files of a folder. False also when it cannot be read (see Error).
    bool StartsLikeProgram() {
        unsigned char mark[2] = {};
        DWORD read = 0;
        OVERLAPPED at{};
        if (!::ReadFile(file_.get(), mark, sizeof mark, &read, &at)) {
            if (::GetLastError() != ERROR_HANDLE_EOF) error_ = ::GetLastError();
            return false;
        }
        return read == sizeof mark && mark[0] == 'M' && mark[1] == 'Z';
    }

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
    mutable std::uint64_t size_ = 0;
    mutable bool sized_ = false;
    mutable DWORD error_ = ERROR_SUCCESS;
};

}  // namespace registration
